// Loads a built effect module the way a host does and looks up its exported functions.
#pragma once

#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

class LoadedModule {
public:
    explicit LoadedModule(const std::string& path)
    {
#if defined(_WIN32)
        handle = LoadLibraryA(path.c_str());
#else
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
    }
    ~LoadedModule()
    {
        if (handle == nullptr) {
            return;
        }
#if defined(_WIN32)
        FreeLibrary(handle);
#else
        dlclose(handle);
#endif
    }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    bool loaded() const
    {
        return handle != nullptr;
    }

    // The address of an exported function, or null when the module has no such export.
    template <typename Function> Function find(const char* name) const
    {
        if (handle == nullptr) {
            return nullptr;
        }
#if defined(_WIN32)
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(handle, name)));
#else
        return reinterpret_cast<Function>(dlsym(handle, name));
#endif
    }

    // Why loading failed, for a test's message.
    static std::string lastError()
    {
#if defined(_WIN32)
        return "error " + std::to_string(GetLastError());
#else
        const char* message = dlerror();
        return message != nullptr ? message : "";
#endif
    }

private:
#if defined(_WIN32)
    HMODULE handle;
#else
    void* handle;
#endif
};
