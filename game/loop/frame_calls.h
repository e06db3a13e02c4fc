// The library calls the frame loop makes, gathered in one table: the program
// binds the library's own functions, and a test binds a recorder with a clock
// and a sleep of its own, so that a frame's draw sequence, its waits and its
// sounds can be read back call by call.
#pragma once

#include <cstdint>
#include <ctime>

struct DrawQueue;
struct InputState;

struct FrameCalls {
    // Window messages: 0 to go on, anything else ends the loop.
    int (*pumpMessages)();
    // The live input's update from the keyboard and pads.
    void (*updateInput)(InputState* live);
    // Milliseconds; and a sleep of that many.
    int (*readClock)();
    void (*sleep)(int milliseconds);
    // 1 while the key (scan code) is down.
    int (*isKeyPressed)(int scanCode);
    std::tm (*localTime)();
    // Draw targets: select, erase the selected one whole, present.
    int (*selectDrawTarget)(int target);
    int (*eraseDrawTarget)();
    int (*presentScreen)();
    int (*saveDrawScreen)(int x1, int y1, int x2, int y2, const char* fileName, int saveType,
                          int jpegQuality, int jpegExtra, int pngLevel);
    // Drawing.
    void (*flushDrawQueue)(DrawQueue* queue);
    int (*setBlendMode)(int mode, int parameter);
    int (*setBrightness)(int red, int green, int blue);
    uint32_t (*colorToScreenPixel)(uint8_t red, uint8_t green, uint8_t blue);
    int (*drawBoxShape)(int x1, int y1, int x2, int y2, uint32_t colour, int fill);
    int (*drawImagePart)(int x, int y, int srcX, int srcY, int width, int height, int image,
                         int transparent, int mirror);
    int (*drawImageStretched)(int x1, int y1, int x2, int y2, int image, int transparent);
    // Sounds.
    int (*playSound)(int sound, int playType, int fromStart);
    int (*stopSound)(int sound);
    int (*setSoundPositionSamples)(int64_t samples, int sound);
    // The library's shutdown after the loop.
    int (*endLibrary)();
    // The 3D floor: fog, camera and models. A table without them (a test's
    // recorder) draws no floor models.
    int (*setFogSwitch)(int on);
    int (*setFogTint)(int red, int green, int blue);
    int (*setFogRange)(float start, float end);
    int (*placeCameraByAngles)(float x, float y, float z, float vRot, float hRot, float tRot);
    int (*setCameraDepthRange)(float nearZ, float farZ);
    int (*placeModel)(int model, float x, float y, float z);
    int (*renderModel)(int model);
};

// The table bound to the library.
const FrameCalls& LibraryFrameCalls();
// Binds `calls` (kept by address, not copied); null goes back to the library's.
void BindFrameCalls(const FrameCalls* calls);
const FrameCalls& CurrentFrameCalls();
