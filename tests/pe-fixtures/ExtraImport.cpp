// A plug-in that also calls into the user-interface library, which no plug-in may import.
#include <windows.h>

extern "C" BOOL FixtureBeep()
{
    return MessageBeep(0);
}
