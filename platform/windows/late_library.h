#pragma once
// A vendor DLL looked up the first time its transport needs it, so that a
// run over another link never needs it at all, and each of our forwarders
// to its exports.
//
// It is looked for only beside fwsend.exe and in the system folder, where the
// vendors' installers put it, never in the current directory or on PATH: a
// DLL of that name left in the folder a user runs fwsend from would otherwise
// be loaded and run. (These search flags need Windows 8, or Windows 7 with
// update KB2533623; without them the load fails and so does the open.)

#include <array>
#include <cstddef>

#include "platform/windows/windows_api.h"

namespace fwsend {

// The exports of one DLL, found by name when it loads. The first `required`
// names must all be there or the binding is incomplete and is not used; the
// rest are extras the caller can do without.
template <std::size_t Count>
class LateLibrary {
public:
    LateLibrary(const char* fileName, const std::array<const char*, Count>& names, std::size_t required)
        : module_(LoadLibraryExA(fileName, nullptr,
                                 LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        complete_ = module_ != nullptr;
        for (std::size_t i = 0; i < Count; ++i) {
            exports_[i] = module_ ? GetProcAddress(module_, names[i]) : nullptr;
            if (i < required && !exports_[i]) complete_ = false;
        }
    }
    ~LateLibrary() {
        if (module_) FreeLibrary(module_);
    }
    LateLibrary(const LateLibrary&) = delete;
    LateLibrary& operator=(const LateLibrary&) = delete;

    bool Complete() const { return complete_; }

    // Export `index` typed as the function we declare for it, with the
    // DLL's calling convention; null when the DLL lacks it.
    template <typename Declared>
    auto Export(std::size_t index) const {
        // FARPROC to the real signature; the detour through void(*)() keeps
        // the compiler's function-cast check quiet.
        return reinterpret_cast<typename WinapiPointer<Declared>::Type>(
            reinterpret_cast<void (*)()>(exports_[index]));
    }

private:
    template <typename Signature>
    struct WinapiPointer;
    template <typename Result, typename... Params>
    struct WinapiPointer<Result(Params...)> {
        using Type = Result(WINAPI*)(Params...);
    };

    HMODULE module_;
    std::array<FARPROC, Count> exports_{};
    bool complete_ = false;
};

// What every forwarder does: calls the export with the caller's arguments
// when the library is complete, else answers `failure`.
template <typename Declared, std::size_t Count, typename Result, typename... Args>
Result Forward(const LateLibrary<Count>& library, std::size_t index, Result failure, Args... args) {
    return library.Complete() ? library.template Export<Declared>(index)(args...) : failure;
}

}  // namespace fwsend
