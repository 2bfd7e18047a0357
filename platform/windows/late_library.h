#pragma once
// A vendor DLL looked up the first time its transport needs it, so that a
// run over another link never needs it at all.
//
// It is looked for only beside fwsend.exe and in the system folder, where the
// vendors' installers put it, never in the current directory or on PATH: a
// DLL of that name left in the folder a user runs fwsend from would otherwise
// be loaded and run. (These search flags need Windows 8, or Windows 7 with
// update KB2533623; without them the load fails and so does the open.)

#include "platform/windows/windows_api.h"

class LateLibrary {
public:
    explicit LateLibrary(const char* fileName)
        : module_(LoadLibraryExA(fileName, nullptr,
                                 LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32)) {}
    ~LateLibrary() {
        if (module_) FreeLibrary(module_);
    }
    LateLibrary(const LateLibrary&) = delete;
    LateLibrary& operator=(const LateLibrary&) = delete;

    // The exported function, or null when the DLL or the function is missing.
    template <typename Function>
    Function Find(const char* name) const {
        if (!module_) return nullptr;
        // FARPROC to the real signature; the detour through void(*)() keeps
        // the compiler's function-cast check quiet.
        return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module_, name)));
    }

private:
    HMODULE module_;
};
