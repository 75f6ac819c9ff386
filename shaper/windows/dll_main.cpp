// The platform calls this when the module is loaded or unloaded and when threads
// start or end. The module keeps no state of its own, so there is nothing to do:
// no effect exists until the host calls main.

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
