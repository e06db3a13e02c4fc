// Bringing the sound system up at library start-up and down at its end, the
// polls the message pump and the window procedure make, and the music and
// capture interfaces they reach.
#pragma once

#include <cstdint>

namespace tessel {

// 0, or -1 on failure or when already up; the library runs silent then.
int StartSoundSystem();
// 0, or -1 when not up. Stops the sound thread before anything it uses goes.
int EndSoundSystem();

// The message pump's per-frame music poll: -1 while down, else 0.
int RefreshMusicState();
// The window procedure's answer to the MCI notify message: 0.
int ReplayMusicMci();
// Library end: stops and deletes the handle kept for playing a file
// directly, when there is one. 0.
int ReleaseDirectPlayHandle();

int GetMusicState(int handle);
int StopMusicHandle(int handle);
int DeleteMusicHandle(int handle);
int DeleteAllMusicHandles();

// Writes the capture file's 46-byte WAV header and closes it; 0, -1 when no
// capture file is open.
int CloseWaveCapture();

}  // namespace tessel
