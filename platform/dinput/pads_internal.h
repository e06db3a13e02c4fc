// SDL's joysticks as the layer's game pads, shared by DirectInput and the
// multimedia joystick calls: the attached pads in SDL's device order, each
// opened through SDL's game-controller support when its mapping database
// knows it (so that a known controller reads the same whatever its make),
// else as a plain joystick. Internal to the platform layer.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>

namespace platform::pads {

enum Axis { kX, kY, kZ, kRx, kRy, kRz, kSlider0, kSlider1, kAxisCount };
constexpr int kPovCount = 4;
constexpr int kButtonCount = 32;
constexpr uint32_t kPovCentred = 0xFFFFFFFFu;

// One reading of a pad. Axes run from -32768 to 32767 with 0 at rest.
struct Reading {
    bool hasAxis[kAxisCount];
    int32_t axis[kAxisCount];
    int povCount;
    uint32_t pov[kPovCount];  // hundredths of degrees clockwise from up, or kPovCentred
    int buttonCount;
    bool button[kButtonCount];
};

struct PadInfo {
    SDL_JoystickID id;
    std::string name;  // UTF-8
    SDL_JoystickGUID guid;
    uint16_t vendor;
    uint16_t product;
    bool controller;
};

// Starts SDL's joystick, game-controller and haptic support once; false when
// SDL cannot read joysticks at all.
bool EnsureStarted();
// Lets SDL find attached and removed pads and read their state.
void Update();
int Count();
bool Info(int index, PadInfo* out);
// The device index of the pad with this instance id, or -1 when it is gone.
int IndexOf(SDL_JoystickID id);

// An opened pad. Closing it lets SDL close the device.
struct Pad {
    SDL_JoystickID id = -1;
    SDL_Joystick* joystick = nullptr;
    SDL_GameController* controller = nullptr;
};
bool Open(SDL_JoystickID id, Pad* pad);
void Close(Pad* pad);
bool Attached(const Pad& pad);
// The layout of the pad: which axes it has and how many buttons and hats.
void Describe(const Pad& pad, Reading* out);
// False when the pad is no longer attached.
bool Read(const Pad& pad, Reading* out);

// Text in UTF-8 to code page 932, cut to fit `size` bytes with the terminator.
void ToCodePage(const std::string& utf8, char* out, int size);

}  // namespace platform::pads
