// The replay proof: a game is played live from a generated stream of button
// masks while the play state is hashed every frame; the recorded game is
// written out as a replay file's bytes, read back and played back, hashing
// again. Both hash lists must be equal, frame by frame, for the replay to
// repeat the game. The playback runs while the live scene is still allocated,
// so that it plays at other addresses. Drawing runs every frame in one of the two runs: the
// scene's draw and the flush of both queues through the bound drawing calls
// (library_draw_calls.h), on whichever drawing path the library runs; it must
// change nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "game/files/replay_file.h"
#include "game/play/play_settings.h"
#include "game/random/draw_random.h"

// Button masks that hold directions, shot, bomb and slow for stretches of a
// few to sixty frames, from a seed of their own (never the play generator).
struct MaskScript {
    DrawRandom words;
    uint16_t mask;
    int32_t framesLeft;
    bool steering;  // this stretch follows the foremost enemy
};
MaskScript MakeMaskScript(uint32_t seed);
uint16_t NextScriptedMask(MaskScript* script);

struct GameScene;
// A player of the live game: mostly the scripted mask, but on most stretches
// it shoots and steers under the foremost enemy (the boss when there is one),
// as a human would, so that generated games reach the boss and beat it.
uint16_t NextSteeredMask(MaskScript* script, const GameScene& scene);

struct ReplayCheckRun {
    std::vector<uint64_t> hashes;  // one per frame played
    PlaySettings finalSettings;
};

// Plays `frames` frames live (fewer when the game asks for another scene,
// which ends it) steered by `script`, recording, with `draw` drawing every
// frame as the main loop does. The replay as a file's bytes goes into `replay`.
ReplayCheckRun RecordScriptedGame(const PlaySettings& settings, MaskScript script, int32_t frames,
                                  bool draw, ReplayFile* replay);
// Plays the replay back for `frames` frames (fewer as above).
ReplayCheckRun PlayBackReplay(const ReplayFile& replay, int32_t frames, bool draw);

// For tests: runs before every frame of every run, live and playback alike,
// between the buttons and the update; null for none.
void SetReplayCheckFrameHook(void (*hook)(GameScene* scene));

// Both runs of one generated game, the live one drawing every frame when
// `draw` is set and the playback when it is not; the index of the first frame
// whose hashes differ (or where one run stopped early), -1 when every frame
// matches.
struct ReplayCheckSummary {
    int32_t played;   // frames the live run played
    uint64_t digest;  // of all its hashes, to compare builds with each other
};
int32_t CheckReplayOfGame(const PlaySettings& settings, uint32_t maskSeed, int32_t frames,
                          bool draw, ReplayCheckSummary* summary);
// Writes the replay file of the last game CheckReplayOfGame recorded: 0 or -1.
int SaveCheckedReplay(const char* path);

// The settings of generated game `index`: both modes, a range of seeds and
// start levels.
PlaySettings GeneratedGameSettings(uint32_t index);
