// A module file opened the way a host opens one, and its exported functions looked up.
// plughost, the tests and the timing programs all load modules through it, so that
// every program that says "loaded from its file" means the same thing.
#pragma once

#include <string>

class LoadedModule {
public:
    // Opens the file at `path` as given: a bare file name makes the system search its
    // library path, so a caller that means a file in the current folder writes "./name".
    explicit LoadedModule(const std::string& path);
    // Closes the file; nothing the module made may be used afterwards.
    ~LoadedModule();
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    bool loaded() const { return handle != nullptr; }

    // The address of an exported function, or null when the module has no such export.
    template <typename Function> Function find(const char* name) const
    {
        return reinterpret_cast<Function>(findAddress(name));
    }

    // Why the last load failed, in the system's words; ask right after the failure.
    static std::string lastError();

private:
    void* findAddress(const char* name) const;
    void* handle;
};
