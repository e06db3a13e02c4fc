// The play globals' storage.
#include "game/play/play_state.h"

PlaySettings CurrentPlay{};
ScoreFile GameScoreFile{};
int32_t ReplayPlayback = 0;
ReplayState GameReplay{};
InputState LiveInput{};
PlayKindTables PlayTables{};
PlayPictures PlayImages{};
int32_t FloorModel = -1;
