// The library calls that start-up and asset loading make, gathered in one
// table: start-up binds the library's own functions, and a test binds a
// recorder to see exactly which options a configuration word turns into.
#pragma once

#include <cstdint>

struct StartupCalls {
    // Options set before the library starts.
    int (*setArchiveUse)(int on);
    int (*setRunWhenInactive)(int on);
    int (*enableLogFile)(int on);
    int (*setTransparentColorKeying)(int on);
    int (*setPowerOfTwoTextures)(int on);
    int (*setWindowStyleIndex)(int index);
    int (*setWindowIcon)(int iconId);
    int (*setWindowTitle)(const char* title);
    int (*setDesktopCompositionOff)(int off);
    // A Yes/No message box without an owner window: IDYES, IDNO, or
    // anything else when the box was closed.
    int (*askYesNo)(const char* text, const char* caption);
    int (*changeWindowMode)(int mode);
    int (*setScreenMode)(int width, int height, int bits, int refresh);
    int (*startLibrary)();
    // Options set once the library runs.
    int (*setArchiveSuffix)(const char* text);
    int (*setArchiveKey)(const char* text);
    int (*setVerticalBlankWait)(int on);
    int (*setImageFilterMode)(int mode);
    int (*setNewImageColorDepth)(int bits);
    int (*setImageLoadOption)(int option);
    int (*setZBufferWrite)(int on);
    // Drawing the loading picture.
    int (*selectDrawTarget)(int target);
    int (*drawImageStretched)(int x1, int y1, int x2, int y2, int image, int transparent);
    int (*presentScreen)();
    // Image handles.
    int (*loadImage)(const char* path);
    int (*cutImage)(int x, int y, int width, int height, int source);
    int (*imageSize)(int image, int* width, int* height);
    int (*releaseImage)(int image);
    int (*setDrawableImageCreation)(int on);
    int (*createBlankImage)(int width, int height);
    // The floor model.
    int (*loadModel)(const char* path);
    int (*setModelTextureFilter)(int model, int texture, int mode);
    // Sounds and music.
    int (*setSoundLoadMode)(int mode);
    int (*loadSound)(const char* path, int bufferCount, int unused);
    int (*setLoopPointMs)(int64_t milliseconds, int sound);
};

// The table bound to the library.
const StartupCalls& LibraryStartupCalls();
// Binds `calls` (kept by address, not copied); null goes back to the library's.
void BindStartupCalls(const StartupCalls* calls);
// The bound table.
const StartupCalls& CurrentStartupCalls();
