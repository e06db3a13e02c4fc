// What the play scene shares with the behaviours and the rest of the game: the
// running game's settings, the score file held in memory, the replay state the
// scene records into or plays from, the live buttons, the kind tables the
// managers copy and the picture handles of the play field. All are globals
// because the scene machine builds and ends the scene while they live on.
#pragma once

#include <cstdint>

#include "game/files/replay_file.h"
#include "game/files/score_file.h"
#include "game/input/input_state.h"
#include "game/play/kind_rows.h"
#include "game/play/play_settings.h"

// The running game's settings; the wave logic raises its level, the
// behaviours its score.
extern PlaySettings CurrentPlay;
// score.dat as loaded at start-up; nothing changes it during playback.
extern ScoreFile GameScoreFile;
// Non-zero while a recorded game is played back.
extern int32_t ReplayPlayback;
// The game being recorded, or the one being played back.
extern ReplayState GameReplay;
// The live buttons, updated once a frame by the main loop; play never reads
// them except through the recorded masks, the pause menu reads them directly.
extern InputState LiveInput;

// The kind rows and image tables that the managers copy when a scene is built.
struct PlayKindTables {
    BulletInfoRow bulletRows[kKindRows];
    BulletImageTable bulletImages;
    EnemyInfoRow enemyRows[kKindRows];
    EnemyImageTable enemyImages;
};
extern PlayKindTables PlayTables;

// Image handles of the play field's pictures; 0 until start-up loads them.
struct PlayPictures {
    int32_t playerCells[4];  // the player's animation
    int32_t slowMarker;
    int32_t sidePanel;
    int32_t panelTitle;      // the panel's heading
    int32_t panelLabels[4];  // high score, score, lives, bombs
    int32_t panelRule;       // the line under each label
    int32_t panelIcons[2];   // a life, a bomb
    int32_t timeDigits[10];  // the 2minutes clock's digits
    int32_t levelLabel;
    int32_t pauseImage;    // the 128 x 128 drawable image of the pause overlay
    int32_t pauseMenu[3];  // title, resume, give up
    int32_t shot;
    int32_t burst[16];
    int32_t item;
    int32_t itemBonus;
    int32_t bombRing;
    int32_t gameOver[2];
    int32_t levelUp;
    int32_t particle[16];
    int32_t bossShadow;
};
extern PlayPictures PlayImages;

// The floor model's handle; -1 until the model system loads it.
extern int32_t FloorModel;
