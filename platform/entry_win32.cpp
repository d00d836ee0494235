// The program's entry point on Windows: everything happens in runGame; the
// instance handles, command line and show flag are not used.
#include "platform/platform.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return runGame();
}
