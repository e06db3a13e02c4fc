// What the examples take from their command line: a number of frames after
// which they end by themselves (or from an environment variable; 0 runs until
// the window is closed), and "--software" to draw without the Direct3D device.
#pragma once

#include <cstdlib>
#include <cstring>

struct ExampleOptions {
    long frames = 0;
    bool software = false;
};

inline ExampleOptions ReadExampleOptions(int argc, char** argv, const char* framesVariable) {
    ExampleOptions options;
    const char* frames = std::getenv(framesVariable);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--software") == 0) {
            options.software = true;
        } else {
            frames = argv[i];
        }
    }
    options.frames = frames != nullptr ? std::strtol(frames, nullptr, 10) : 0;
    return options;
}
