// The model examples run as real programs with SDL's dummy drivers, started
// from elsewhere: each finds its default model beside itself (the build
// writes it there), draws the frames it is given and ends by itself; a model
// file that is not there ends the program with one line and 1.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "support/virtual_display.h"

namespace {

using tessel_test::CommandOutput;
using tessel_test::ThisProgramFolder;

std::string RunExample(const std::string& program, const std::string& arguments) {
    return CommandOutput(
        "cd / && env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy "
        "TESSEL_INSTANCE_NAMESPACE=model-example-" +
        std::to_string(getpid()) + " ASAN_OPTIONS=detect_leaks=0 '" + program + "' " + arguments +
        " 2>&1; echo \"exit $?\"");
}

TEST(ModelExamples, EachLoadsItsModelDrawsItsFramesAndEnds) {
    struct Case {
        const char* program;
        const char* says;  // what it prints of the model it loaded
    };
    const Case cases[] = {
        {"view_model", "model from (-300.0, 0.0, -150.0) to (300.0, 40.0, 150.0)"},
        {"play_walker", "2 motions playing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        const std::string program = ThisProgramFolder() + "/" + c.program;
        ASSERT_EQ(access(program.c_str(), X_OK), 0) << program;
        const std::string out = RunExample(program, "12");
        EXPECT_NE(out.find(c.says), std::string::npos) << out;
        EXPECT_NE(out.find("12 frames"), std::string::npos) << out;
        EXPECT_NE(out.find("exit 0"), std::string::npos) << out;
        const std::string missing = RunExample(program, "/nonexistent/model.mqo 5");
        EXPECT_NE(missing.find("/nonexistent/model.mqo did not load"), std::string::npos)
            << missing;
        EXPECT_NE(missing.find("exit 1"), std::string::npos) << missing;
    }
}

}  // namespace
