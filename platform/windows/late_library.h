#pragma once
// A vendor DLL looked up the first time its transport needs it, so that a
// run over another link never needs it at all.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

class LateLibrary {
public:
    explicit LateLibrary(const char* fileName) : module_(LoadLibraryA(fileName)) {}
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
