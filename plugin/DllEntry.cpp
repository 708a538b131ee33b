// The library's entry point. The plug-in opens nothing at load time and releases nothing
// at unload, so it only accepts every notification.
#include "Platform.h"

extern "C" BOOL WINAPI DllEntry(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
