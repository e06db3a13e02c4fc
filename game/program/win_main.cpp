// The game's entry. It runs in the folder that holds its data: config.dat,
// score.dat, assign.dat, the image and sound folders, and the replay and
// screenshot folders, which the game never creates itself.
#include "game/loop/frame_loop.h"
#include "platform/kernel.h"

int WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return RunGameProgram();
}
