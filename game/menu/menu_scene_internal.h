// What the mode handlers share: the pictures they draw by GameImages record,
// the layers and colours of the menus, and the live-input tests every
// handler makes.
#pragma once

#include <cstdint>

#include "game/math/color.h"
#include "game/play/play_settings.h"

// GameImages records the menus draw.
enum MenuPicture : int32_t {
    kPictureSplash = 0,
    kPictureBackground = 1,
    kPictureLogo = 2,
    kPictureCredit = 3,
    kPictureTitleEntries = 4,       // a cell per entry
    kPictureTitleDescriptions = 5,  // a cell per entry
    kPictureVersion = 13,
    kPictureSceneTitles = 21,      // replay select, replay save, key configuration, collection
    kPictureCollectionIcons = 24,  // cell 0 locked, cell i + 1 entry i
    kPictureCollectionInfo = 25,   // the same cells
    kPictureMessageWindow = 26,
    kPicturePadLabels = 27,  // shot, bomb, slow, pause, save, cancel
    kPictureTitleCharacter = 28,
    kPictureCollectionCharacter = 29,
};

// Cells of kPictureSceneTitles.
enum SceneTitleCell : int32_t {
    kTitleCellReplaySelect = 0,
    kTitleCellReplaySave = 1,
    kTitleCellKeyConfig = 2,
    kTitleCellCollection = 3,
};

constexpr int32_t kMenuBackLayer = 1000000;  // full-screen pictures, behind all
constexpr int32_t kMenuPictureLayer = -100;
constexpr int32_t kMenuFrontLayer = -1000;
constexpr int32_t kTitleFade = 10;  // from the title to another menu
constexpr int32_t kMenuFade = 20;   // everything else the menus ask for

inline ColorRecord MenuBlack() {
    return MakeColor(0, 0, 0);
}
// The background of the key configuration and the collection.
inline ColorRecord MenuTint() {
    return MakeColor(160, 160, 112);
}
// An entry that is not selected.
inline ColorRecord MenuGrey() {
    return MakeColor(160, 160, 160);
}

// Queues the cell onto the frame image with the alpha blend.
void QueueMenuPicture(int32_t record, int32_t cell, double x, double y, int32_t layer, double alpha,
                      ColorRecord colour);
// The title's background over the whole frame, behind everything, tinted.
void QueueMenuBackground(ColorRecord tint);
// The picture naming a list scene at its top left.
void QueueSceneTitle(int32_t cell);

// What a game of `mode` starts with: no score, the mode's high score, its
// lives, two bombs, level 0, and the seed.
PlaySettings StartingSettings(int32_t mode, uint32_t seed);

// False while a scene fade runs: the handlers then leave the live input alone.
bool MenuTakesInput();
// New presses of the live buttons.
bool DecidePressed();
bool CancelPressed();  // bomb without shot: shot wins when both come at once
