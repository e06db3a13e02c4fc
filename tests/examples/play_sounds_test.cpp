// The sound example run as a real program with SDL's dummy drivers: it loads
// its effect and its streamed track from the folder the build fills, plays
// the effect once a second over the looping track, and ends by itself with
// the track still playing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "support/virtual_display.h"

namespace {

using tessel_test::CommandOutput;
using tessel_test::ThisProgramFolder;

TEST(PlaySoundsExample, PlaysTheEffectOverTheLoopingTrackAndEnds) {
    const std::string folder = ThisProgramFolder();
    const std::string program = folder + "/play_sounds";
    ASSERT_EQ(access(program.c_str(), X_OK), 0) << program;
    ASSERT_EQ(access((folder + "/example_sounds/shot.wav").c_str(), R_OK), 0);
    ASSERT_EQ(access((folder + "/example_sounds/track.ogg").c_str(), R_OK), 0);
    // Started from elsewhere, it still finds its sounds beside itself. 150
    // frames give three effects at frames 0, 60 and 120.
    const std::string out = CommandOutput(
        "cd / && env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy "
        "TESSEL_INSTANCE_NAMESPACE=play_sounds-" +
        std::to_string(getpid()) + " ASAN_OPTIONS=detect_leaks=0 '" + program +
        "' 150; echo \"exit $?\"");
    EXPECT_NE(out.find("looping from 19818 ms"), std::string::npos) << out;
    EXPECT_NE(out.find("150 frames, 3 effects, track playing"), std::string::npos) << out;
    EXPECT_NE(out.find("exit 0"), std::string::npos) << out;
}

}  // namespace
