// Loading the sound effects and the music tracks.
#include "game/startup/game_sounds.h"

#include <cstdio>

#include "game/startup/startup_calls.h"

SoundRequestSlot SoundSlots[kSoundSlots] = {};
int32_t MusicTrack1 = -1;
int32_t MusicTrack2 = -1;

const char* const kSoundSlotNames[kSoundSlots] = {
    "select", "cancel", "check",   "pshot",   "bomb",    "item",    "extend",  "graze",
    "death",  "kill",   "eshot_a", "eshot_b", "eshot_c", "eshot_k", "eshot_f", "eshot_p",
    "laser",  "hit",    "hit2",    "timer",   "level",   "cat"};

namespace {

constexpr int kPlaybackBuffers = 3;
constexpr int kStreamFromFile = 2;

}  // namespace

void LoadGameSounds() {
    const StartupCalls& calls = CurrentStartupCalls();
    for (int i = 0; i < kSoundSlots; ++i) {
        char path[64];
        std::snprintf(path, sizeof path, "sound\\se\\%s.wav", kSoundSlotNames[i]);
        SoundSlots[i].sound = calls.loadSound(path, kPlaybackBuffers, -1);
    }
    for (SoundRequestSlot& slot : SoundSlots) {
        slot.requested = 0;
        slot.cooldown = 0;
    }
    calls.setSoundLoadMode(kStreamFromFile);
    MusicTrack1 = calls.loadSound("sound\\bgm\\01.ogg", kPlaybackBuffers, -1);
    calls.setLoopPointMs(kTrack1LoopMs, MusicTrack1);
    MusicTrack2 = calls.loadSound("sound\\bgm\\02.ogg", kPlaybackBuffers, -1);
    calls.setLoopPointMs(kTrack2LoopMs, MusicTrack2);
}
