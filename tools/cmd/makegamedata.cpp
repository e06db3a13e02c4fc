// makegamedata: writes the game's data folder (the command line is
// tools/lib/gamedata/game_data_generator.h).
#include "tools/lib/gamedata/game_data_generator.h"

int main(int argc, char** argv) {
    return tessel::RunMakeGameData(argc, argv);
}
