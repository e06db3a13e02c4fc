// Reading the replay slots into the list.
#include "game/menu/replay_list.h"

#include <cstdio>

ReplayListEntry ReplayList[kReplaySlotCount];

void SetReplayListLine(int slot, const char* line) {
    ReplayListEntry& entry = ReplayList[slot];
    entry.exists = line != nullptr ? 1 : 0;
    // A line of the file's full 63 characters loses its end: "NoNN " takes five.
    std::snprintf(entry.text, sizeof entry.text, "No%02u %.58s", static_cast<unsigned>(slot) % 100u,
                  line != nullptr ? line : kEmptyReplayListLine);
}

void BuildReplayList() {
    for (int slot = 0; slot < kReplaySlotCount; ++slot) {
        ReplayListEntry& entry = ReplayList[slot];
        ReplaySlotPath(slot, entry.path);
        char line[kReplayListLineBytes];
        bool stored = BuildReplayListLine(entry.path, line) == 1;
        SetReplayListLine(slot, stored ? line : nullptr);
    }
}
