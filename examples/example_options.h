// What the examples take from their command line: a number of frames after
// which they end by themselves (or from an environment variable; 0 runs until
// the window is closed), "--software" to draw without the Direct3D device,
// and for the examples that open a file of the user's, any other argument as
// that file.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

struct ExampleOptions {
    long frames = 0;
    bool software = false;
    std::string file;
};

// With a default file, an argument that is not a number names the file.
inline ExampleOptions ReadExampleOptions(int argc, char** argv, const char* framesVariable,
                                         const char* defaultFile = nullptr) {
    ExampleOptions options;
    if (defaultFile != nullptr) {
        options.file = defaultFile;
    }
    const char* frames = std::getenv(framesVariable);
    for (int i = 1; i < argc; ++i) {
        const bool number = argv[i][std::strspn(argv[i], "0123456789")] == '\0';
        if (std::strcmp(argv[i], "--software") == 0) {
            options.software = true;
        } else if (defaultFile != nullptr && !number) {
            options.file = argv[i];
        } else {
            frames = argv[i];
        }
    }
    options.frames = frames != nullptr ? std::strtol(frames, nullptr, 10) : 0;
    return options;
}
