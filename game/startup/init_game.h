// Game start-up: the configuration word becomes library options, the library
// starts, a loading picture shows, and every asset loads once and stays until
// the process ends: the data tables, the image cells, the floor model, the
// sounds; the behaviour tables are filled. LoadSystemImages then makes the
// screens the frame loop draws on.
#pragma once

#include <cstdint>

#include "game/config_word.h"

// The stage floor: its model and the length of one floor tile.
struct FloorRecord {
    int32_t model;       // -1 when the model did not load: nothing is drawn
    int32_t tileLength;  // 300
    int32_t ready;       // set by start-up; the floor is drawn only once set
};
extern FloorRecord GameFloor;

// The plain pictures of LoadSystemImages, and the pause overlay's drawable
// image; -1 until made. FrameImage, EffectScreen and FloorScreen are in
// game/draw/game_screens.h.
extern int32_t SidePanelImage;
extern int32_t FpsSheetImage;
extern int32_t LetterSheetImage;
extern int32_t PauseImage;

// The archive options of the game's data folders.
extern const char kGameArchiveSuffix[];  // "dat"
extern const char kGameArchiveKey[];     // "lanternfix"

// 0, or -1 when the library did not start (then nothing is loaded).
int InitGame(const ConfigWord& config);
void LoadSystemImages();
