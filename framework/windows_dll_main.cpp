// The platform calls this when a module is loaded or unloaded and when threads start or
// end. An effect module keeps no state of its own, so there is nothing to do: no effect
// exists until the host calls main. Every effect's Windows module links this file.

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
