// What the model examples share before their loop: a model named on the
// command line is found from where the program was started, the default one
// beside the program; then a window with the title, the library on the path
// the options ask for, and the model loaded.
#pragma once

#include <cstdio>
#include <string>

#include "examples/example_options.h"
#include "examples/example_startup.h"
#include "foundation/runtime/main_window.h"
#include "foundation/runtime/startup.h"
#include "foundation/runtime/window_mode.h"
#include "graphics/device/graphics_device.h"
#include "models/loading/model_loading.h"

// The model's handle, or -1 after a line on stderr saying why (the library
// ended again when it had started).
inline int StartModelExample(const ExampleOptions& options, const char* defaultFile,
                             const char* title) {
    if (options.file == defaultFile && !MoveToProgramFolder()) {
        return -1;
    }
    tessel::ChangeWindowMode(1);
    tessel::SetWindowTitle(title);
    if (options.software) {
        tessel::SetUseHardwareOption(0);
    }
    if (tessel::StartLibrary() != 0) {
        std::fprintf(stderr, "the library did not start; see Log.txt\n");
        return -1;
    }
    const int model = tessel::LoadModel(options.file.c_str());
    if (model == -1) {
        std::fprintf(stderr, "%s did not load; see Log.txt\n", options.file.c_str());
        tessel::EndLibrary();
    }
    return model;
}
