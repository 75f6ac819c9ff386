#include "module_loader.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

LoadedModule::LoadedModule(const std::string& path)
{
#if defined(_WIN32)
    handle = LoadLibraryA(path.c_str());
#else
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

LoadedModule::~LoadedModule()
{
    if (handle == nullptr) {
        return;
    }
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(handle));
#else
    dlclose(handle);
#endif
}

void* LoadedModule::findAddress(const char* name) const
{
    if (handle == nullptr) {
        return nullptr;
    }
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
#else
    return dlsym(handle, name);
#endif
}

std::string LoadedModule::lastError()
{
#if defined(_WIN32)
    return "Windows error " + std::to_string(GetLastError());
#else
    const char* message = dlerror();
    return message != nullptr ? message : "unknown loader error";
#endif
}
