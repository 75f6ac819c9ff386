// Prints a file's version resource as Windows reads it for the file's properties, one
// field a line: the fixed file and product versions, then the strings of the first
// language the resource names.
//
//     version_fields FILE

#include <windows.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: version_fields FILE\n", stderr);
        return 2;
    }
    const DWORD size = GetFileVersionInfoSizeA(argv[1], nullptr);
    std::vector<char> info(size);
    if (size == 0 || !GetFileVersionInfoA(argv[1], 0, size, info.data())) {
        std::fprintf(stderr, "%s has no version resource\n", argv[1]);
        return 1;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    WORD* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length) ||
        !VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length)) {
        std::fprintf(stderr, "%s: no fixed version or no translation\n", argv[1]);
        return 1;
    }
    std::printf("FixedFileVersion=%u.%u.%u.%u\n", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    std::printf("FixedProductVersion=%u.%u.%u.%u\n", HIWORD(fixed->dwProductVersionMS),
                LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS),
                LOWORD(fixed->dwProductVersionLS));
    for (const char* name : {"ProductName", "ProductVersion", "FileVersion", "FileDescription", "CompanyName",
                             "LegalCopyright", "OriginalFilename"}) {
        char path[128];
        std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", translation[0], translation[1], name);
        char* value = nullptr;
        const bool found = VerQueryValueA(info.data(), path, reinterpret_cast<void**>(&value), &length);
        std::printf("%s=%s\n", name, found ? value : "(none)");
    }
    return 0;
}
