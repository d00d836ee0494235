// The program's entry point on Linux: everything happens in runGame.
#include "platform/platform.h"

int main()
{
    return runGame();
}
