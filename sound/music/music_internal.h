// What the sound system's start and end call of the music, soft-sound and
// capture tables.
#pragma once

#include <cstdint>

namespace tessel {

void DeleteAllSoftSoundData();
void DeleteAllSoftSoundPlayers();
void DeleteMidiTempFile();
bool WaveCaptureOpen();

}  // namespace tessel
