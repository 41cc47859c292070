// The module's entry. The plug-in keeps no state per process or per thread,
// so loading, unloading and thread start or exit need nothing from it.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
