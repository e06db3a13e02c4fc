// DirectInput: the keyboard and mouse from the screen's events, pads, effects.
#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

#include "platform/dinput.h"
#include "platform/dinput/system_devices_internal.h"
#include "platform/dinput_testing.h"
#include "platform/kernel.h"
#include "platform/window.h"
#include "tests/platform/window_test_support.h"

using namespace windowtest;

namespace {

struct Rumble {
    int calls = 0;
    Uint16 low = 0;
    Uint16 high = 0;
};

int RecordRumble(void* userdata, Uint16 low, Uint16 high) {
    auto* r = static_cast<Rumble*>(userdata);
    ++r->calls;
    r->low = low;
    r->high = high;
    return 0;
}

BOOL CollectPad(LPCDIDEVICEINSTANCEA instance, LPVOID reference) {
    static_cast<std::vector<DIDEVICEINSTANCEA>*>(reference)->push_back(*instance);
    return DIENUM_CONTINUE;
}

class DirectInput : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetDirectInputAvailable(true, true);
        RegisterTestClass("DirectInputTest");
        window = CreateWindowExA(0, "DirectInputTest", "input", 0x80CA0000u, 10, 20, 200, 150,
                                 nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        PumpAll();
        void* object = nullptr;
        ASSERT_EQ(CoCreateInstance(CLSID_DirectInput8, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IDirectInput8A, &object),
                  S_OK);
        input = static_cast<IDirectInput8A*>(object);
        ASSERT_EQ(input->Initialize(GetModuleHandleA(nullptr), 0x800), DI_OK);
    }
    void TearDown() override {
        if (input != nullptr) {
            input->Release();
        }
        for (int index : attached) {
            SDL_JoystickDetachVirtual(index);
        }
        DestroyWindow(window);
        PumpAll();
    }

    std::vector<DIDEVICEINSTANCEA> Pads() {
        std::vector<DIDEVICEINSTANCEA> pads;
        EXPECT_EQ(input->EnumDevices(DI8DEVCLASS_GAMECTRL, CollectPad, &pads, DIEDFL_ATTACHEDONLY),
                  DI_OK);
        return pads;
    }

    // A virtual joystick; returns the SDL joystick to move its controls.
    SDL_Joystick* Attach(SDL_JoystickType type, int axes, int buttons, int hats,
                         Rumble* rumble = nullptr) {
        SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
        SDL_VirtualJoystickDesc desc = {};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = static_cast<Uint16>(type);
        desc.naxes = static_cast<Uint16>(axes);
        desc.nbuttons = static_cast<Uint16>(buttons);
        desc.nhats = static_cast<Uint16>(hats);
        desc.name = "Test Pad";
        if (rumble != nullptr) {
            desc.userdata = rumble;
            desc.Rumble = RecordRumble;
        }
        int index = SDL_JoystickAttachVirtualEx(&desc);
        EXPECT_GE(index, 0) << SDL_GetError();
        attached.insert(attached.begin(), index);  // detached last first
        return SDL_JoystickOpen(index);
    }

    IDirectInputDevice8A* OpenPad(const DIDEVICEINSTANCEA& instance) {
        IDirectInputDevice8A* pad = nullptr;
        EXPECT_EQ(input->CreateDevice(instance.guidInstance, &pad, nullptr), DI_OK);
        return pad;
    }

    static HRESULT SetRange(IDirectInputDevice8A* pad, DWORD offset, LONG min, LONG max) {
        DIPROPRANGE range = {};
        range.diph = {sizeof range, sizeof(DIPROPHEADER), offset, DIPH_BYOFFSET};
        range.lMin = min;
        range.lMax = max;
        return pad->SetProperty(DIPROP_RANGE, &range.diph);
    }
    static HRESULT SetDeadZone(IDirectInputDevice8A* pad, DWORD offset, DWORD zone) {
        DIPROPDWORD value = {};
        value.diph = {sizeof value, sizeof(DIPROPHEADER), offset, DIPH_BYOFFSET};
        value.dwData = zone;
        return pad->SetProperty(DIPROP_DEADZONE, &value.diph);
    }

    HWND window = nullptr;
    IDirectInput8A* input = nullptr;
    std::vector<int> attached;
};

TEST_F(DirectInput, KeyboardFollowsSdlKeysByDirectInputCodeAndSignalsItsEvent) {
    IDirectInputDevice8A* keyboard = nullptr;
    ASSERT_EQ(input->CreateDevice(GUID_SysKeyboard, &keyboard, nullptr), DI_OK);
    BYTE keys[256];
    EXPECT_EQ(keyboard->GetDeviceState(256, keys), DIERR_NOTACQUIRED);
    EXPECT_EQ(keyboard->Acquire(), DIERR_INVALIDPARAM);  // no data format yet
    ASSERT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);
    EXPECT_EQ(keyboard->SetCooperativeLevel(window, DISCL_EXCLUSIVE | DISCL_BACKGROUND),
              DIERR_UNSUPPORTED);
    ASSERT_EQ(keyboard->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND), DI_OK);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_EQ(keyboard->SetEventNotification(event), DI_OK);
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    EXPECT_EQ(keyboard->Acquire(), S_FALSE);

    PushKey(window, SDL_SCANCODE_Z, true);
    PushKey(window, SDL_SCANCODE_UP, true);
    ASSERT_EQ(keyboard->GetDeviceState(256, keys), DI_OK);
    EXPECT_EQ(keys[0x2C], 0x80);
    EXPECT_EQ(keys[0xC8], 0x80);
    EXPECT_EQ(keys[0x2D], 0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);

    ResetEvent(event);
    PushKey(window, SDL_SCANCODE_Z, false);
    ASSERT_EQ(keyboard->GetDeviceState(256, keys), DI_OK);
    EXPECT_EQ(keys[0x2C], 0);
    EXPECT_EQ(keys[0xC8], 0x80);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    PushKey(window, SDL_SCANCODE_UP, false);
    EXPECT_EQ(keyboard->GetDeviceState(255, keys), DIERR_INVALIDPARAM);

    EXPECT_EQ(keyboard->Unacquire(), DI_OK);
    EXPECT_EQ(keyboard->Unacquire(), DI_NOEFFECT);
    keyboard->Release();
    CloseHandle(event);
}

TEST_F(DirectInput, KeyCodesAreTheKeyboardPositions) {
    struct Case {
        SDL_Scancode scan;
        BYTE code;
    };
    const Case cases[] = {
        {SDL_SCANCODE_ESCAPE, 0x01}, {SDL_SCANCODE_A, 0x1E},
        {SDL_SCANCODE_Q, 0x10},      {SDL_SCANCODE_SPACE, 0x39},
        {SDL_SCANCODE_KP_2, 0x50},   {SDL_SCANCODE_KP_8, 0x48},
        {SDL_SCANCODE_DOWN, 0xD0},   {SDL_SCANCODE_LEFT, 0xCB},
        {SDL_SCANCODE_RIGHT, 0xCD},  {SDL_SCANCODE_RSHIFT, 0x36},
        {SDL_SCANCODE_RCTRL, 0x9D},  {SDL_SCANCODE_KP_ENTER, 0x9C},
        {SDL_SCANCODE_F12, 0x58},    {SDL_SCANCODE_INTERNATIONAL3, 0x7D},
        {SDL_SCANCODE_AUDIOPLAY, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::DirectInputKeyOf(c.scan), c.code) << SDL_GetScancodeName(c.scan);
    }
}

TEST_F(DirectInput, MouseGivesMovementSinceTheLastReadAndItsButtons) {
    IDirectInputDevice8A* mouse = nullptr;
    ASSERT_EQ(input->CreateDevice(GUID_SysMouse, &mouse, nullptr), DI_OK);
    EXPECT_EQ(mouse->SetDataFormat(&c_dfDIKeyboard), DIERR_INVALIDPARAM);
    ASSERT_EQ(mouse->SetDataFormat(&c_dfDIMouse), DI_OK);
    ASSERT_EQ(mouse->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND), DI_OK);
    ASSERT_EQ(mouse->Acquire(), DI_OK);
    SDL_Event motion = {};
    motion.type = SDL_MOUSEMOTION;
    motion.motion.windowID = windowtest::SdlIdOf(window);
    motion.motion.xrel = 5;
    motion.motion.yrel = -3;
    SDL_PushEvent(&motion);
    SDL_PushEvent(&motion);
    SDL_Event press = {};
    press.type = SDL_MOUSEBUTTONDOWN;
    press.button.windowID = windowtest::SdlIdOf(window);
    press.button.button = SDL_BUTTON_RIGHT;
    press.button.state = SDL_PRESSED;
    SDL_PushEvent(&press);
    DIMOUSESTATE state;
    ASSERT_EQ(mouse->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.lX, 10);
    EXPECT_EQ(state.lY, -6);
    EXPECT_EQ(state.rgbButtons[0], 0);
    EXPECT_EQ(state.rgbButtons[1], 0x80);
    ASSERT_EQ(mouse->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.lX, 0);
    EXPECT_EQ(state.rgbButtons[1], 0x80);
    mouse->Release();
}

TEST_F(DirectInput, VersionsCheckTheirVersionNumberAndCanBeMadeUnavailable) {
    void* object = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DirectInput, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectInput7A,
                               &object),
              S_OK);
    auto* seven = static_cast<IDirectInput7A*>(object);
    IDirectInputDeviceA* device = nullptr;
    EXPECT_EQ(seven->CreateDevice(GUID_SysKeyboard, &device, nullptr), DIERR_NOTINITIALIZED);
    EXPECT_EQ(seven->Initialize(GetModuleHandleA(nullptr), 0x800), DIERR_OLDDIRECTINPUTVERSION);
    EXPECT_EQ(seven->Initialize(GetModuleHandleA(nullptr), 0x700), DI_OK);
    void* keyboard7 = nullptr;
    EXPECT_EQ(
        seven->CreateDeviceEx(GUID_SysKeyboard, IID_IDirectInputDevice7A, &keyboard7, nullptr),
        DI_OK);
    ASSERT_NE(keyboard7, nullptr);
    static_cast<IDirectInputDevice7A*>(keyboard7)->Release();
    seven->Release();

    platform::SetDirectInputAvailable(false, true);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_DirectInput, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectInput7A,
                               &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    platform::SetDirectInputAvailable(true, false);
    EXPECT_EQ(CoCreateInstance(CLSID_DirectInput8, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IDirectInput8A, &object),
              REGDB_E_CLASSNOTREG);
    platform::SetDirectInputAvailable(true, true);
}

TEST_F(DirectInput, PadReadsAxesInItsRangeWithDeadZoneAndButtonsWhenPolled) {
    SDL_Joystick* stick = Attach(SDL_JOYSTICK_TYPE_FLIGHT_STICK, 2, 4, 1);
    ASSERT_NE(stick, nullptr);
    std::vector<DIDEVICEINSTANCEA> pads = Pads();
    ASSERT_EQ(pads.size(), 1u);
    EXPECT_STREQ(pads[0].tszInstanceName, "Test Pad");
    EXPECT_EQ(pads[0].dwDevType, 0x14u);
    IDirectInputDevice8A* pad = OpenPad(pads[0]);
    ASSERT_NE(pad, nullptr);
    EXPECT_EQ(pad->SetDataFormat(&c_dfDIKeyboard), DIERR_INVALIDPARAM);
    ASSERT_EQ(pad->SetDataFormat(&c_dfDIJoystick), DI_OK);
    EXPECT_EQ(pad->SetCooperativeLevel(window, DISCL_EXCLUSIVE | DISCL_BACKGROUND), DI_OK);
    ASSERT_EQ(SetRange(pad, DIJOFS_X, -1000, 1000), DI_OK);
    ASSERT_EQ(SetRange(pad, DIJOFS_Y, -1000, 1000), DI_OK);
    EXPECT_EQ(SetRange(pad, DIJOFS_Z, -1000, 1000), DIERR_OBJECTNOTFOUND);  // two axes only
    EXPECT_EQ(SetRange(pad, DIJOFS_X, 5, 5), DIERR_INVALIDPARAM);
    ASSERT_EQ(SetDeadZone(pad, DIJOFS_X, 2500), DI_OK);
    EXPECT_EQ(SetDeadZone(pad, DIJOFS_Y, 10001), DIERR_INVALIDPARAM);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(pad->SetEventNotification(event), DI_POLLEDDEVICE);
    DIJOYSTATE state;
    EXPECT_EQ(pad->Poll(), DIERR_NOTACQUIRED);
    ASSERT_EQ(pad->Acquire(), DI_OK);
    EXPECT_EQ(SetRange(pad, DIJOFS_X, -1, 1), DIERR_ACQUIRED);

    struct Case {
        Sint16 x;
        Sint16 y;
        LONG wantX;  // dead zone 2500 on X
        LONG wantY;  // none on Y
    };
    const Case cases[] = {
        {-32768, 32767, -1000, 1000}, {0, 0, 0, 0},
        {8000, -8192, 0, -250},       {16384, 16384, 333, 500},
        {32767, -32768, 1000, -1000},
    };
    for (const Case& c : cases) {
        SDL_JoystickSetVirtualAxis(stick, 0, c.x);
        SDL_JoystickSetVirtualAxis(stick, 1, c.y);
        ASSERT_EQ(pad->Poll(), DI_OK);
        ASSERT_EQ(pad->GetDeviceState(sizeof state, &state), DI_OK);
        EXPECT_EQ(state.lX, c.wantX) << c.x;
        EXPECT_EQ(state.lY, c.wantY) << c.y;
        EXPECT_EQ(state.lZ, 0);
    }
    ResetEvent(event);
    SDL_JoystickSetVirtualButton(stick, 2, SDL_PRESSED);
    SDL_JoystickSetVirtualHat(stick, 0, SDL_HAT_RIGHT);
    ASSERT_EQ(pad->Poll(), DI_OK);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    ASSERT_EQ(pad->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.rgbButtons[2], 0x80);
    EXPECT_EQ(state.rgbButtons[0], 0);
    EXPECT_EQ(state.rgdwPOV[0], 9000u);
    EXPECT_EQ(state.rgdwPOV[1], 0xFFFFFFFFu);
    ResetEvent(event);
    ASSERT_EQ(pad->Poll(), DI_OK);  // nothing moved
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    pad->Release();
    CloseHandle(event);
}

TEST_F(DirectInput, KnownControllerReadsThroughItsMapping) {
    SDL_Joystick* stick = Attach(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX,
                                 SDL_CONTROLLER_BUTTON_MAX, 0);
    ASSERT_NE(stick, nullptr);
    std::vector<DIDEVICEINSTANCEA> pads = Pads();
    ASSERT_EQ(pads.size(), 1u);
    EXPECT_EQ(pads[0].dwDevType, 0x15u);  // a game pad
    IDirectInputDevice8A* pad = OpenPad(pads[0]);
    ASSERT_NE(pad, nullptr);
    ASSERT_EQ(pad->SetDataFormat(&c_dfDIJoystick), DI_OK);
    ASSERT_EQ(SetRange(pad, DIJOFS_X, -1000, 1000), DI_OK);
    ASSERT_EQ(SetRange(pad, DIJOFS_RY, -1000, 1000), DI_OK);
    ASSERT_EQ(pad->Acquire(), DI_OK);
    SDL_JoystickSetVirtualAxis(stick, SDL_CONTROLLER_AXIS_LEFTX, 32767);
    SDL_JoystickSetVirtualAxis(stick, SDL_CONTROLLER_AXIS_RIGHTY, -32768);
    SDL_JoystickSetVirtualButton(stick, SDL_CONTROLLER_BUTTON_B, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(stick, SDL_CONTROLLER_BUTTON_DPAD_LEFT, SDL_PRESSED);
    ASSERT_EQ(pad->Poll(), DI_OK);
    DIJOYSTATE state;
    ASSERT_EQ(pad->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.lX, 1000);
    EXPECT_EQ(state.lRy, -1000);
    EXPECT_EQ(state.rgbButtons[1], 0x80);  // B is the second button
    EXPECT_EQ(state.rgbButtons[0], 0);
    EXPECT_EQ(state.rgdwPOV[0], 27000u);
    pad->Release();
}

TEST_F(DirectInput, EffectsRumbleWhileExclusiveAndStop) {
    Rumble rumble;
    Attach(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 4, 0, &rumble);
    Attach(SDL_JOYSTICK_TYPE_FLIGHT_STICK, 2, 4, 0);  // no force feedback
    std::vector<DIDEVICEINSTANCEA> pads = Pads();
    ASSERT_EQ(pads.size(), 2u);
    IDirectInputDevice8A* pad = OpenPad(pads[0]);
    IDirectInputDevice8A* plain = OpenPad(pads[1]);
    ASSERT_NE(pad, nullptr);
    ASSERT_NE(plain, nullptr);

    DWORD axes[2] = {DIJOFS_X, DIJOFS_Y};
    LONG directions[2] = {0, 0};
    DICONSTANTFORCE force = {10000};
    DIEFFECT effect = {};
    effect.dwSize = sizeof effect;
    effect.dwFlags = DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS;
    effect.dwDuration = INFINITE;
    effect.dwGain = 10000;
    effect.dwTriggerButton = DIEB_NOTRIGGER;
    effect.cAxes = 2;
    effect.rgdwAxes = axes;
    effect.rglDirection = directions;
    effect.cbTypeSpecificParams = sizeof force;
    effect.lpvTypeSpecificParams = &force;
    IDirectInputEffect* constant = nullptr;
    EXPECT_EQ(plain->CreateEffect(GUID_ConstantForce, &effect, &constant, nullptr),
              DIERR_UNSUPPORTED);
    ASSERT_EQ(pad->CreateEffect(GUID_ConstantForce, &effect, &constant, nullptr), DI_OK);
    DIPERIODIC wave = {5000, 0, 0, 1500000};
    effect.cbTypeSpecificParams = sizeof wave;
    effect.lpvTypeSpecificParams = &wave;
    IDirectInputEffect* sine = nullptr;
    EXPECT_EQ(pad->CreateEffect(GUID_ConstantForce, &effect, &sine, nullptr), DIERR_INVALIDPARAM);
    ASSERT_EQ(pad->CreateEffect(GUID_Sine, &effect, &sine, nullptr), DI_OK);

    EXPECT_EQ(constant->Start(1, 0), DIERR_NOTEXCLUSIVEACQUIRED);
    ASSERT_EQ(pad->SetDataFormat(&c_dfDIJoystick), DI_OK);
    ASSERT_EQ(pad->SetCooperativeLevel(window, DISCL_EXCLUSIVE | DISCL_BACKGROUND), DI_OK);
    ASSERT_EQ(pad->Acquire(), DI_OK);
    ASSERT_EQ(constant->Start(1, 0), DI_OK);
    SDL_JoystickUpdate();
    EXPECT_EQ(rumble.low, 0xFFFF);
    EXPECT_EQ(rumble.high, 0);
    ASSERT_EQ(sine->Start(1, 0), DI_OK);
    SDL_JoystickUpdate();
    EXPECT_EQ(rumble.low, 0xFFFF);
    EXPECT_EQ(rumble.high, 0x7FFF);
    ASSERT_EQ(constant->Stop(), DI_OK);
    ASSERT_EQ(sine->Stop(), DI_OK);
    SDL_JoystickUpdate();
    EXPECT_EQ(rumble.low, 0);
    EXPECT_EQ(rumble.high, 0);
    sine->Start(1, 0);
    sine->Release();  // releasing a playing effect stops it
    SDL_JoystickUpdate();
    EXPECT_EQ(rumble.high, 0);
    constant->Release();
    pad->Release();
    plain->Release();
}

TEST_F(DirectInput, UnpluggedPadIsLostAndCannotBeAcquired) {
    Attach(SDL_JOYSTICK_TYPE_FLIGHT_STICK, 2, 2, 0);
    std::vector<DIDEVICEINSTANCEA> pads = Pads();
    ASSERT_EQ(pads.size(), 1u);
    IDirectInputDevice8A* pad = OpenPad(pads[0]);
    ASSERT_NE(pad, nullptr);
    ASSERT_EQ(pad->SetDataFormat(&c_dfDIJoystick), DI_OK);
    ASSERT_EQ(pad->Acquire(), DI_OK);
    SDL_JoystickDetachVirtual(attached.front());
    attached.clear();
    EXPECT_EQ(pad->Poll(), DIERR_INPUTLOST);
    EXPECT_EQ(pad->Acquire(), DIERR_UNPLUGGED);
    EXPECT_TRUE(Pads().empty());
    IDirectInputDevice8A* again = nullptr;
    EXPECT_EQ(input->CreateDevice(pads[0].guidInstance, &again, nullptr), DIERR_DEVICENOTREG);
    pad->Release();
}

}  // namespace
