// The replay list the replay select and replay save scenes show: one line per
// slot, "No", the slot with two digits, a blank and the slot file's list
// line. A slot whose file is missing or could not come from a game is empty:
// it shows the empty line and cannot be played.
#pragma once

#include <cstdint>

#include "game/files/replay_file.h"

constexpr int kReplayListTextBytes = 64;

struct ReplayListEntry {
    char path[kReplayPathBytes];
    int32_t exists;
    char text[kReplayListTextBytes];
};

extern ReplayListEntry ReplayList[kReplaySlotCount];

// Reads every slot's file for its line.
void BuildReplayList();
// The slot's text for a file's list line; an empty slot for a null line.
void SetReplayListLine(int slot, const char* line);
