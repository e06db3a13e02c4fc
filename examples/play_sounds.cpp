// Plays a looping music track streamed from its file and a short effect held
// in memory over it, once a second, from the folder "example_sounds" beside
// the program (the build copies them there from the game's generated sounds).
// The track's intro plays once; after that it loops back to the start of its
// eight-bar section for as long as the program runs.
//
//   play_sounds [FRAMES]
//
// It runs until the window is closed, or for FRAMES frames (also taken from
// PLAY_SOUNDS_FRAMES). SDL_AUDIODRIVER picks where the sound goes.
#include <cstdio>

#include "examples/example_options.h"
#include "examples/example_startup.h"
#include "foundation/runtime/main_window.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/startup.h"
#include "foundation/runtime/window_mode.h"
#include "platform/kernel.h"
#include "sound/play/sound_calls.h"

namespace {

// Where the track's loop section begins: the generator ends its intro there.
constexpr int64_t kTrackLoopMs = 19818;
// The effect is held whole with this many buffers, so that a play that comes
// while the last one still sounds overlaps it rather than cutting it off.
constexpr int kEffectBuffers = 3;
constexpr long kFramesBetweenEffects = 60;

struct Sounds {
    int effect = -1;
    int track = -1;
};

// The effect decoded into memory, the track streamed from its open file.
bool LoadSounds(Sounds* sounds) {
    tessel::SetSoundLoadMode(tessel::kLoadWhole);
    sounds->effect = tessel::LoadSoundFile("example_sounds\\shot.wav", kEffectBuffers, -1);
    tessel::SetSoundLoadMode(tessel::kLoadFromFile);
    sounds->track = tessel::LoadSoundFile("example_sounds\\track.ogg", 1, -1);
    if (sounds->effect == -1 || sounds->track == -1) {
        return false;
    }
    return tessel::SetLoopPointMs(kTrackLoopMs, sounds->track) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const ExampleOptions options = ReadExampleOptions(argc, argv, "PLAY_SOUNDS_FRAMES");
    if (!MoveToProgramFolder()) {
        return 1;
    }
    tessel::ChangeWindowMode(1);
    tessel::SetWindowTitle("Playing sounds");
    if (tessel::StartLibrary() != 0) {
        std::fprintf(stderr, "the library did not start; see Log.txt\n");
        return 1;
    }
    Sounds sounds;
    if (!LoadSounds(&sounds)) {
        std::fprintf(stderr, "the sounds did not load; see Log.txt\n");
        tessel::EndLibrary();
        return 1;
    }
    std::printf("effect: %lld ms, track: %lld ms, looping from %lld ms\n",
                static_cast<long long>(tessel::GetSoundLengthMs(sounds.effect)),
                static_cast<long long>(tessel::GetSoundLengthMs(sounds.track)),
                static_cast<long long>(kTrackLoopMs));
    tessel::PlaySoundHandle(sounds.track, tessel::kPlayLooping, 1);
    long frame = 0;
    long effects = 0;
    while (tessel::PumpMessages() == 0) {
        if (frame % kFramesBetweenEffects == 0) {
            tessel::PlaySoundHandle(sounds.effect, tessel::kPlayOnce, 1);
            ++effects;
        }
        ++frame;
        if (options.frames > 0 && frame >= options.frames) {
            break;
        }
        // Nothing is drawn, so nothing waits for the display: a frame's worth
        // of sleep paces the loop.
        Sleep(16);
    }
    const int trackPlaying = tessel::IsSoundPlaying(sounds.track);
    tessel::EndLibrary();
    std::printf("%ld frames, %ld effects, track %s\n", frame, effects,
                trackPlaying == 1 ? "playing" : "stopped");
    return trackPlaying == 1 ? 0 : 1;
}
