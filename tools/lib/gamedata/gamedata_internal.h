// The parts of the game-data generator: each writes one family of files under
// the output folder and counts what it could not write.
#pragma once

#include <string>

#include "tools/lib/gamedata/canvas.h"
#include "tools/lib/gamedata/text_render.h"

namespace tessel::gamedata {

struct Output {
    std::string root;  // the game's data folder, a Linux path
    int failures = 0;
    int files = 0;
    bool previews = false;  // also write a PNG beside pictures the game reads under other names
};

// Creates the folders of `relative` ('/' separated) below the root.
bool MakeFolders(Output& out, const std::string& relative);
void SavePicture(Output& out, const std::string& relative, const Canvas& canvas);
void SaveBytes(Output& out, const std::string& relative, const void* bytes, size_t size);

// The house colours of the pictures.
inline constexpr Rgba kNight{0.04f, 0.03f, 0.12f, 1.0f};
inline constexpr Rgba kDusk{0.22f, 0.07f, 0.30f, 1.0f};
inline constexpr Rgba kCyan{0.35f, 0.95f, 1.0f, 1.0f};
inline constexpr Rgba kPink{1.0f, 0.42f, 0.78f, 1.0f};
inline constexpr Rgba kGold{1.0f, 0.86f, 0.35f, 1.0f};
inline constexpr Rgba kWhite{1.0f, 1.0f, 1.0f, 1.0f};

// Styles shared by the menus.
TextStyle MenuTextStyle(float size);
TextStyle LabelTextStyle(float size, const Rgba& top = kWhite,
                         const Rgba& bottom = Rgba{0.85f, 0.85f, 0.95f, 1});

// The side panel's heading, drawn in the 64 x 16 cell at (x, y).
inline constexpr const char* kPanelTitleText = "Status";
void DrawPanelTitle(Canvas& canvas, const std::string& text, float x, float y);

// Where the replay lists' text lies over the title background: 20 lines of 16
// pixels from (80, 80), up to 42 letters at a step of 12.
inline constexpr int kReplayListLeft = 80;
inline constexpr int kReplayListTop = 80;
inline constexpr int kReplayListRight = 80 + 42 * 12 + 4;
inline constexpr int kReplayListBottom = 80 + 20 * 16;

// The stage floor's MQO text (CR LF line ends), as the data folder holds it.
std::string FloorModelText();
void MakeTitlePictures(Output& out);
void MakeMenuPictures(Output& out);
void MakeHudPictures(Output& out);
void MakeLetterSheet(Output& out);
void MakeCharacterPictures(Output& out);
void MakePlayerPictures(Output& out);
void MakeEnemyPictures(Output& out);
void MakeBulletPictures(Output& out);
void MakeEffectPictures(Output& out);
void MakeFloorModel(Output& out);
void MakeSoundEffects(Output& out);
void MakeMusic(Output& out);
// Copies the data tables below `tablesFolder`, line ends made CR LF.
void CopyTables(Output& out, const std::string& tablesFolder);

}  // namespace tessel::gamedata
