// The program's entry point on Linux: everything happens in runGame.
#include "platform/platform.h"

#include <csignal>

int main()
{
    // Past a file-size limit a write should fail (the settings save then
    // keeps the previous file) rather than kill the game at its exit.
    signal(SIGXFSZ, SIG_IGN);
    return runGame();
}
