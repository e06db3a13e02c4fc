// The table of sound records: making a record and its handle, checking a
// handle, and deleting one sound or all of them.
//
// A handle is ((check | 0x1000) << 16) | slot: kind 0x10000000, an 11-bit
// check number that changes with every new handle, and the slot.
#pragma once

#include <cstdint>

#include "sound/handles/sound_record.h"

namespace tessel {

constexpr int kSoundSlots = 32768;
constexpr int32_t kSoundHandleKind = 0x10000000;

// -1 makes a new record in a new slot. A sound handle whose slot is free is
// made again in that very slot and stays valid; a handle whose slot is taken
// is treated like -1. Returns the handle or -1.
int AddSoundData(int handle);

// The record of a live handle while the sound system is up, else null.
SoundRecord* SoundRecordFromHandle(int handle);

// 0 or -1. A stream sound others still play through is only marked; it goes
// with its last sharer.
int DeleteSoundHandle(int handle);
// 0; -1 when the sound system is down.
int DeleteAllSounds();

// The table's counters, for the sound system and its tests.
int SoundsInUse();
int SoundTableEndIndex();
// Empties the table's slots and counters without freeing anything; the sound
// system calls it before its first sound.
void ResetSoundTable();

}  // namespace tessel
