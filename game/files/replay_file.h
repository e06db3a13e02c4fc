// The replay files replay\vn_rep00.rpl to replay\vn_rep19.rpl: a header with
// the final score, the mode and the line the replay list shows, then the
// replay state the play scene records into or plays from: the settings the
// game started with and one 16-bit button mask per play frame, 60 minutes'
// worth. 432116 bytes, little-endian, the settings block packed to 4 bytes.
//
// A file whose header could not come from a game (too short to hold it, a
// mode that is neither game mode, a starting score other than 0, a level
// above 30, lives or bombs outside 0 to 99) is an empty slot: listed as one
// and never loaded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

#include "game/play/play_settings.h"

constexpr int kReplaySlotCount = 20;
constexpr int32_t kReplayMaskCount = 216000;  // 60 minutes at 60 frames a second
constexpr size_t kReplayListLineBytes = 64;
constexpr size_t kReplayPathBytes = 64;

constexpr size_t kReplaySettingsBytes = 36;
constexpr size_t kReplayStateBytes = kReplaySettingsBytes + 4 + 2 * kReplayMaskCount;
constexpr size_t kReplayHeaderBytes = 8 + 4 + kReplayListLineBytes + kReplaySettingsBytes + 4;
constexpr size_t kReplayFileBytes = 8 + 4 + kReplayListLineBytes + kReplayStateBytes;

// Shown for a slot without a playable file.
constexpr char kEmptyReplayListLine[] = "----/--/-- --:-- ---------- --------";

// What the play scene keeps in memory while it records or plays a game.
struct ReplayState {
    PlaySettings settings;             // at the start of the game
    uint32_t savedSeed;                // the seed again, as written when saving
    uint16_t masks[kReplayMaskCount];  // frame 0 first; past the last frame, anything
};

struct ReplayFile {
    int64_t finalScore;
    uint32_t mode;
    char listLine[kReplayListLineBytes];  // NUL-terminated
    ReplayState state;
};

// "replay\vn_repNN.rpl", NN the slot with at least two digits.
void ReplaySlotPath(int slot, char path[kReplayPathBytes]);

// The record from the file: 0 when it opened and its header is in range; a
// file shorter than the record gives 0 for the masks it lacks. Otherwise -1,
// the record untouched, nothing reported.
int LoadReplayFile(ReplayFile* replay, const char* path);
// The whole record; a failed open or write drops the save: 0, or -1 then.
int SaveReplayFile(const ReplayFile& replay, const char* path);

// The list line of a slot's file: 1 and the file's line (always ended within
// its 64 bytes) when the file opens with its header in range, else 0 and the
// empty-slot line.
int BuildReplayListLine(const char* path, char line[kReplayListLineBytes]);

// "%Y/%m/%d %H:%M ", the score as "% 10" of the whole 64-bit value, a blank
// and the mode's name: the line of a replay saved at that local time.
void FormatReplayListLine(int64_t score, int32_t mode, const std::tm& localTime,
                          char line[kReplayListLineBytes]);
std::tm LocalTimeNow();

// Fills the record to save a game that has just ended: its final score, mode
// and seed, the replay state it recorded, and the list line of `localTime`.
void FillReplayFile(const PlaySettings& finalSettings, const ReplayState& state,
                    const std::tm& localTime, ReplayFile* replay);

void EncodeReplayFile(const ReplayFile& replay, uint8_t bytes[kReplayFileBytes]);
void DecodeReplayFile(const uint8_t bytes[kReplayFileBytes], ReplayFile* replay);
// True when a file's first kReplayHeaderBytes could have come from a game.
bool ReplayHeaderInRange(const uint8_t header[kReplayHeaderBytes]);
