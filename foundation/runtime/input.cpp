#include "foundation/runtime/input.h"

#include <cstring>

#include "foundation/memory/log.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/public_call_lock.h"
#include "foundation/runtime/startup.h"
#include "foundation/runtime/system_state.h"
#include "platform/com.h"
#include "platform/kernel.h"
#include "platform/window.h"
#include "platform/winmm.h"

namespace tessel {

InputState g_input;

namespace {

constexpr DWORD kSharedBackground = DISCL_NONEXCLUSIVE | DISCL_BACKGROUND;  // 10
// Pads are taken with flags 5 while the window is active: exclusive, and
// (as the value says) for the foreground only; inactive they are shared.
constexpr DWORD kExclusivePads = DISCL_EXCLUSIVE | DISCL_FOREGROUND;  // 5
constexpr int kRightShiftCode = 0x36;

// Window keyboard state to key codes: virtual key, key code. The enter key
// feeds both enter codes.
constexpr uint8_t kVirtualKeyCodes[][2] = {
    {0x41, 0x1E}, {0x42, 0x30}, {0x43, 0x2E}, {0x44, 0x20}, {0x45, 0x12}, {0x46, 0x21},
    {0x47, 0x22}, {0x48, 0x23}, {0x49, 0x17}, {0x4A, 0x24}, {0x4B, 0x25}, {0x4C, 0x26},
    {0x4D, 0x32}, {0x4E, 0x31}, {0x4F, 0x18}, {0x50, 0x19}, {0x51, 0x10}, {0x52, 0x13},
    {0x53, 0x1F}, {0x54, 0x14}, {0x55, 0x16}, {0x56, 0x2F}, {0x57, 0x11}, {0x58, 0x2D},
    {0x59, 0x15}, {0x5A, 0x2C}, {0x30, 0x0B}, {0x31, 0x02}, {0x32, 0x03}, {0x33, 0x04},
    {0x34, 0x05}, {0x35, 0x06}, {0x36, 0x07}, {0x37, 0x08}, {0x38, 0x09}, {0x39, 0x0A},
    {0x25, 0xCB}, {0x26, 0xC8}, {0x27, 0xCD}, {0x28, 0xD0}, {0xBB, 0x27}, {0xBA, 0x92},
    {0xDB, 0x1A}, {0xDD, 0x1B}, {0xC0, 0x91}, {0xE2, 0x2B}, {0xBC, 0x33}, {0xBD, 0x0C},
    {0xDC, 0x7D}, {0xBE, 0x34}, {0xBF, 0x35}, {0x2E, 0xD3}, {0x1B, 0x01}, {0x20, 0x39},
    {0x08, 0x0E}, {0x09, 0x0F}, {0x0D, 0x1C}, {0x60, 0x52}, {0x61, 0x4F}, {0x62, 0x50},
    {0x63, 0x51}, {0x64, 0x4B}, {0x65, 0x4C}, {0x66, 0x4D}, {0x67, 0x47}, {0x68, 0x48},
    {0x69, 0x49}, {0x6A, 0x37}, {0x6B, 0x4E}, {0x6D, 0x4A}, {0x6E, 0x53}, {0x6F, 0xB5},
    {0x0D, 0x9C}, {0xA0, 0x2A}, {0xA1, 0x36}, {0xA2, 0x1D}, {0xA3, 0x9D}, {0x21, 0xC9},
    {0x22, 0xD1}, {0x23, 0xCF}, {0x24, 0xC7}, {0x2D, 0xD2}, {0xA4, 0x38}, {0xA5, 0xB8},
    {0x91, 0x46}, {0x14, 0x3A}, {0x13, 0xC5}, {0x70, 0x3B}, {0x71, 0x3C}, {0x72, 0x3D},
    {0x73, 0x3E}, {0x74, 0x3F}, {0x75, 0x40}, {0x76, 0x41}, {0x77, 0x42}, {0x78, 0x43},
    {0x79, 0x44}, {0x7A, 0x57}, {0x7B, 0x58},
};
static_assert(sizeof kVirtualKeyCodes / sizeof kVirtualKeyCodes[0] == 99);

// Pad 1's keys: bit, two key codes (0 where the bit has only one).
constexpr int32_t kDefaultPadKeys[][3] = {
    {0, 0x50, 0xD0}, {1, 0x4B, 0xCB}, {2, 0x4D, 0xCD}, {3, 0x48, 0xC8}, {4, 0x2C, 0},
    {5, 0x2D, 0},    {6, 0x2E, 0},    {7, 0x1E, 0},    {8, 0x1F, 0},    {9, 0x20, 0},
    {10, 0x10, 0},   {11, 0x11, 0},   {12, 0x01, 0},   {13, 0x39, 0},
};

bool UsingDirectInput() {
    return g_input.directInput != nullptr && g_input.directInput != kFallbackMarker;
}

IDirectInput7A* DirectInput7() {
    return static_cast<IDirectInput7A*>(g_input.directInput);
}

IDirectInput8A* DirectInput8() {
    return static_cast<IDirectInput8A*>(g_input.directInput);
}

void FillDefaultPadKeyMap() {
    for (auto& pad : g_input.padKeyMap) {
        for (auto& entry : pad) {
            entry[0] = -1;
            entry[1] = -1;
            entry[2] = 0;
            entry[3] = 0;
        }
    }
    for (const auto& keys : kDefaultPadKeys) {
        int32_t* entry = g_input.padKeyMap[0][keys[0]];
        entry[0] = keys[1];
        entry[1] = keys[2] != 0 ? keys[2] : -1;
    }
}

// Takes down whatever a pad slot holds and clears it.
void ClearPadSlot(PadRecord& pad) {
    if (pad.device != nullptr) {
        pad.device->Unacquire();
        pad.device->SetEventNotification(nullptr);
    }
    for (IDirectInputEffect*& effect : pad.effects) {
        if (effect != nullptr) {
            effect->Stop();
            effect->Release();
            effect = nullptr;
        }
    }
    if (pad.device != nullptr) {
        pad.device->Release();
    }
    if (pad.event != nullptr) {
        CloseHandle(pad.event);
    }
    std::memset(&pad, 0, sizeof pad);
}

// Initialises a freshly created DirectInput object of the given version;
// on failure the object is released and null returned.
template <typename Interface>
IUnknown* InitializeVersion(Interface* input, DWORD version) {
    WriteLog("成功\n");
    IndentLog();
    WriteLog("引き続き初期化処理... ");
    if (FAILED(input->Initialize(GetModuleHandleA(nullptr), version))) {
        WriteLog("初期化に失敗。");
        input->Release();
        OutdentLog();
        return nullptr;
    }
    WriteLog("初期化成功\n");
    OutdentLog();
    return input;
}

// Creates the DirectInput object of one version and initialises it; null
// when either fails (with the log line of the failure).
IUnknown* CreateVersion7() {
    WriteLog("DirectInput7 の取得中... ");
    void* object = nullptr;
    HRESULT result = CoCreateInstance(CLSID_DirectInput, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IDirectInput7A, &object);
    if (FAILED(result)) {
        WriteLog("取得に失敗。\n");
        WriteLogFormat("エラーコード 0x%x", static_cast<unsigned>(result));
        return nullptr;
    }
    return InitializeVersion(static_cast<IDirectInput7A*>(object), 0x700);
}

IUnknown* CreateVersion8() {
    WriteLog("DirectInput8 の取得を試みます...");
    void* object = nullptr;
    HRESULT result = CoCreateInstance(CLSID_DirectInput8, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IDirectInput8A, &object);
    if (FAILED(result)) {
        WriteLog("取得に失敗。");
        return nullptr;
    }
    return InitializeVersion(static_cast<IDirectInput8A*>(object), 0x800);
}

void StartFallback() {
    IndentLog();
    int found = 0;
    JOYCAPSA caps;
    while (found < kMaxPads &&
           joyGetDevCapsA(static_cast<UINT_PTR>(found), &caps, sizeof caps) == JOYERR_NOERROR) {
        bool z = (caps.wCaps & JOYCAPS_HASZ) != 0;
        bool r = (caps.wCaps & JOYCAPS_HASR) != 0;
        g_input.pads[found].hasZAndR = z && r ? 1 : 0;
        ++found;
    }
    WriteLogFormat("パッドの数は %d 個です", found);
    OutdentLog();
    g_input.directInput = kFallbackMarker;
    WriteLog("入力関連の初期化をしました\n");
    // Every joystick id is polled; one without a pad reads as released.
    g_input.padCount = kMaxPads;
}

IDirectInputDeviceA* CreateSystemDevice(const GUID& guid) {
    if (g_input.version8 != 0) {
        IDirectInputDevice8A* device = nullptr;
        return SUCCEEDED(DirectInput8()->CreateDevice(guid, &device, nullptr)) ? device : nullptr;
    }
    IDirectInputDeviceA* device = nullptr;
    return SUCCEEDED(DirectInput7()->CreateDevice(guid, &device, nullptr)) ? device : nullptr;
}

void StartMouse() {
    WriteLog("マウスデバイスの初期化... ");
    IDirectInputDeviceA* mouse = CreateSystemDevice(GUID_SysMouse);
    if (mouse == nullptr) {
        AbortWithLog("マウスデバイスの取得に失敗しました");
    }
    if (FAILED(mouse->SetDataFormat(&c_dfDIMouse))) {
        mouse->Release();
        AbortWithLog("マウスデバイスのデータ形式の設定に失敗しました");
    }
    if (FAILED(mouse->SetCooperativeLevel(g_system.mainWindow, kSharedBackground))) {
        mouse->Release();
        AbortWithLog("マウスデバイスの協調レベルの設定に失敗しました");
    }
    g_input.mouse = mouse;
    WriteLog("初期化成功\n");
}

// 0, or -1 when the keyboard's notification cannot be set up.
int StartKeyboard() {
    WriteLog("キーボードデバイスの初期化... ");
    IDirectInputDeviceA* keyboard = CreateSystemDevice(GUID_SysKeyboard);
    if (keyboard == nullptr) {
        AbortWithLog("キーボードデバイスの取得に失敗しました");
    }
    g_input.keyboard = keyboard;
    if (FAILED(keyboard->SetDataFormat(&c_dfDIKeyboard))) {
        AbortWithLog("キーボードデバイスのデータ形式の設定に失敗しました");
    }
    if (FAILED(keyboard->SetCooperativeLevel(g_system.mainWindow, kSharedBackground))) {
        AbortWithLog("キーボードデバイスの協調レベルの設定に失敗しました");
    }
    DIPROPDWORD buffer = {};
    buffer.diph = {sizeof buffer, sizeof(DIPROPHEADER), 0, DIPH_DEVICE};
    buffer.dwData = 100;
    if (FAILED(keyboard->SetProperty(DIPROP_BUFFERSIZE, &buffer.diph))) {
        WriteLog("キーボードのプロパティ設定に失敗しました\n");
    }
    g_input.keyboardEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HRESULT result = keyboard->SetEventNotification(g_input.keyboardEvent);
    if (result != DI_OK && result != DI_POLLEDDEVICE) {
        WriteLog("キーボードイベントのセットアップが失敗しました\n");
        return -1;
    }
    if (FAILED(keyboard->Acquire()) && FAILED(keyboard->Acquire())) {
        AbortWithLog("キーボードデバイスの取得に失敗しました");
    }
    WriteLog("初期化成功\n");
    return 0;
}

// Axis range and dead zone of one axis; false when the device refused.
bool SetAxis(IDirectInputDevice7A* device, DWORD offset, bool range) {
    if (range) {
        DIPROPRANGE value = {};
        value.diph = {sizeof value, sizeof(DIPROPHEADER), offset, DIPH_BYOFFSET};
        value.lMin = -1000;
        value.lMax = 1000;
        return SUCCEEDED(device->SetProperty(DIPROP_RANGE, &value.diph));
    }
    DIPROPDWORD value = {};
    value.diph = {sizeof value, sizeof(DIPROPHEADER), offset, DIPH_BYOFFSET};
    value.dwData = 2500;
    return SUCCEEDED(device->SetProperty(DIPROP_DEADZONE, &value.diph));
}

// Both effects stay stopped until a pad's vibration power asks for them.
void CreatePadEffects(PadRecord& pad) {
    DWORD axes[2] = {DIJOFS_X, DIJOFS_Y};
    LONG directions[2] = {0, 0};
    DIENVELOPE envelope = {sizeof(DIENVELOPE), 0, DI_SECONDS / 2, 0, DI_SECONDS};
    DIPERIODIC wave = {10000, 0, 0, DI_SECONDS * 3 / 2};
    DIEFFECT effect = {};
    effect.dwSize = sizeof effect;
    effect.dwFlags = DIEFF_POLAR | DIEFF_OBJECTOFFSETS;
    effect.dwDuration = INFINITE;
    effect.dwGain = 10000;
    effect.dwTriggerButton = DIEB_NOTRIGGER;
    effect.cAxes = 2;
    effect.rgdwAxes = axes;
    effect.rglDirection = directions;
    effect.lpEnvelope = &envelope;
    effect.cbTypeSpecificParams = sizeof wave;
    effect.lpvTypeSpecificParams = &wave;
    if (FAILED(pad.device->CreateEffect(GUID_Sine, &effect, &pad.effects[kSineEffect], nullptr))) {
        pad.effects[kSineEffect] = nullptr;
    }
    DICONSTANTFORCE force = {10000};
    effect.dwFlags = DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS;
    effect.lpEnvelope = nullptr;
    effect.cbTypeSpecificParams = sizeof force;
    effect.lpvTypeSpecificParams = &force;
    if (FAILED(pad.device->CreateEffect(GUID_ConstantForce, &effect, &pad.effects[kConstantEffect],
                                        nullptr))) {
        pad.effects[kConstantEffect] = nullptr;
        WriteLog("周期的エフェクトの作成に失敗しました。\n");
    }
    pad.vibrationPower = 0;
    pad.vibrationSecondPower = 10000;
    pad.effectPlaying[kConstantEffect] = 0;
    pad.effectPlaying[kSineEffect] = 0;
}

IDirectInputDevice7A* CreatePadDevice(const GUID& guid) {
    if (g_input.version8 != 0) {
        IDirectInputDevice8A* device = nullptr;
        return SUCCEEDED(DirectInput8()->CreateDevice(guid, &device, nullptr)) ? device : nullptr;
    }
    void* device = nullptr;
    HRESULT result =
        DirectInput7()->CreateDeviceEx(guid, IID_IDirectInputDevice7A, &device, nullptr);
    return SUCCEEDED(result) ? static_cast<IDirectInputDevice7A*>(device) : nullptr;
}

// Sets a found pad up in its slot; false (slot cleared) when it cannot be used.
bool SetUpPad(PadRecord& pad, const DIDEVICEINSTANCEA* instance) {
    pad.device = CreatePadDevice(instance->guidInstance);
    if (pad.device == nullptr) {
        WriteLog("入力装置の取得に失敗しました\n");
        return false;
    }
    DIDEVICEINSTANCEA info = {};
    info.dwSize = sizeof info;
    pad.device->GetDeviceInfo(&info);
    IndentLog();
    WriteLogFormat("デバイスの登録名:%s", info.tszInstanceName);
    WriteLogFormat("デバイスの製品登録名:%s", info.tszProductName);
    OutdentLog();
    if (FAILED(pad.device->SetDataFormat(&c_dfDIJoystick))) {
        WriteLog("ジョイパッドデバイスではありませんでした、又は設定に失敗しました\n");
        return false;
    }
    if (FAILED(pad.device->SetCooperativeLevel(g_system.mainWindow, kExclusivePads))) {
        WriteLog("ジョイパッドデバイスの協調レベルの設定に失敗しました\n");
    }
    if (!SetAxis(pad.device, DIJOFS_X, true)) {
        WriteLog("ジョイパッドデバイスのＸ軸関係の設定に失敗しました\n");
        return false;
    }
    if (!SetAxis(pad.device, DIJOFS_Y, true)) {
        WriteLog("ジョイパッドデバイスのＹ軸関係の設定に失敗しました\n");
        return false;
    }
    SetAxis(pad.device, DIJOFS_Z, true);
    SetAxis(pad.device, DIJOFS_RZ, true);
    if (!SetAxis(pad.device, DIJOFS_X, false)) {
        WriteLog("ジョイパッドデバイスのＸ軸の無効ゾーンの設定に失敗しました\n");
        return false;
    }
    if (!SetAxis(pad.device, DIJOFS_Y, false)) {
        WriteLog("ジョイパッドデバイスのＹ軸の無効ゾーンの設定に失敗しました\n");
        return false;
    }
    SetAxis(pad.device, DIJOFS_Z, false);
    SetAxis(pad.device, DIJOFS_RZ, false);
    CreatePadEffects(pad);
    pad.event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HRESULT result = pad.device->SetEventNotification(pad.event);
    if (result != DI_OK && result != DI_POLLEDDEVICE) {
        WriteLog("ジョイパッドイベントのセットアップが失敗しました\n");
        return false;
    }
    pad.device->Acquire();
    std::memset(&pad.state, 0, sizeof pad.state);
    return true;
}

BOOL PadFound(LPCDIDEVICEINSTANCEA instance, LPVOID) {
    return OnPadDeviceFound(instance);
}

bool Signalled(HANDLE event) {
    return event != nullptr && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

// The refresh takes the window's messages first (so that the key messages are
// in) unless the frame pump has just done so: a second round there would take
// more messages than a frame may.
bool messagesJustTaken = false;

int TakeMessagesFirst() {
    return messagesJustTaken ? 0 : PumpMessagesInner();
}

int RefreshFromDirectInput() {
    int now = ReadMillisecondClock();
    bool signalled = Signalled(g_input.keyboardEvent);
    if (now == g_input.keyboardReadTime && !signalled) {
        return 0;
    }
    if (TakeMessagesFirst() != 0 || g_input.directInput == nullptr) {
        return 0;
    }
    if (FAILED(g_input.keyboard->GetDeviceState(256, g_input.keyState))) {
        g_input.keyboard->Acquire();
        if (FAILED(g_input.keyboard->GetDeviceState(256, g_input.keyState))) {
            return 0;
        }
    }
    g_input.keyboardReadTime = now;
    if (signalled) {
        ResetEvent(g_input.keyboardEvent);
    }
    // The device does not tell the right shift key reliably; the window's
    // keyboard state does.
    BYTE windowKeys[256];
    if (GetKeyboardState(windowKeys)) {
        g_input.keyState[kRightShiftCode] = windowKeys[VK_RSHIFT];
    }
    return 1;
}

int RefreshFromWindowKeys() {
    if (IsPublicCallLockHolder() == 0) {
        return 0;
    }
    int now = ReadMillisecondClock();
    if (now == g_input.keyboardReadTime) {
        return 0;
    }
    if (TakeMessagesFirst() != 0) {
        return 0;
    }
    BYTE windowKeys[256];
    if (!GetKeyboardState(windowKeys)) {
        return 0;
    }
    g_input.keyboardReadTime = now;
    std::memset(g_input.keyState, 0, sizeof g_input.keyState);
    for (const auto& pair : kVirtualKeyCodes) {
        g_input.keyState[pair[1]] = windowKeys[pair[0]];
    }
    return 1;
}

// False when a failed read sent the pump round and that stopped the program
// (or ended the input system): the caller must stop reading.
bool RefreshPadFromDirectInput(PadRecord& pad) {
    int now = ReadMillisecondClock();
    bool signalled = Signalled(pad.event);
    if (now == pad.lastPollTime && !signalled) {
        return true;
    }
    pad.device->Poll();
    DIJOYSTATE state;
    HRESULT result = pad.device->GetDeviceState(sizeof state, &state);
    if (FAILED(result)) {
        if (PumpMessagesInner() != 0 || g_input.directInput == nullptr) {
            return false;
        }
        if (SUCCEEDED(pad.device->Acquire())) {
            if (PumpMessagesInner() != 0 || g_input.directInput == nullptr) {
                return false;
            }
            result = pad.device->GetDeviceState(sizeof state, &state);
        }
    }
    if (SUCCEEDED(result)) {
        pad.state = state;
    }
    pad.lastPollTime = now;
    if (signalled) {
        ResetEvent(pad.event);
    }
    return true;
}

void RefreshPadFromJoystick(int index) {
    PadRecord& pad = g_input.pads[index];
    int now = ReadMillisecondClock();
    if (now == pad.lastPollTime) {
        return;
    }
    pad.lastPollTime = now;
    JOYINFOEX info = {};
    info.dwSize = sizeof info;
    info.dwFlags = JOY_RETURNALL;
    std::memset(&pad.state, 0, sizeof pad.state);
    if (joyGetPosEx(static_cast<UINT>(index), &info) != JOYERR_NOERROR) {
        return;
    }
    pad.state.lX = FallbackAxisValue(info.dwXpos);
    pad.state.lY = FallbackAxisValue(info.dwYpos);
    if (pad.hasZAndR != 0) {
        pad.state.lZ = FallbackAxisValue(info.dwZpos);
        pad.state.lRz = FallbackAxisValue(info.dwRpos);
    }
    for (int i = 0; i < kPadButtons; ++i) {
        pad.state.rgbButtons[i] = (info.dwButtons & (1u << i)) != 0 ? 128 : 0;
    }
}

uint32_t PadPart(const PadRecord& pad) {
    uint32_t mask = 0;
    if (pad.state.lX < 0) {
        mask |= kPadLeft;
    }
    if (pad.state.lX > 0) {
        mask |= kPadRight;
    }
    if (pad.state.lY < 0) {
        mask |= kPadUp;
    }
    if (pad.state.lY > 0) {
        mask |= kPadDown;
    }
    for (int i = 0; i < kPadButtons; ++i) {
        if ((pad.state.rgbButtons[i] & 0x80) != 0) {
            mask |= 1u << (kPadFirstButtonBit + i);
        }
    }
    return mask;
}

bool KeyDown(int32_t code) {
    return code >= 0 && code < 256 && (g_input.keyState[code] & 0x80) != 0;
}

// The devices belong to the main window: without one (before start-up or
// after shutdown) input cannot start, and starting it anyway would end the
// process at the first device that needs the window.
bool MayStartOnDemand() {
    return g_system.closePosted == 0 && g_system.mainWindow != nullptr;
}

void PlayEffect(PadRecord& pad, int which, bool play) {
    IDirectInputEffect* effect = pad.effects[which];
    if (effect == nullptr || (pad.effectPlaying[which] != 0) == play) {
        return;
    }
    if (play) {
        effect->Start(1, 0);
    } else {
        effect->Stop();
    }
    pad.effectPlaying[which] = play ? 1 : 0;
}

}  // namespace

int32_t FallbackAxisValue(DWORD position) {
    auto v = static_cast<int32_t>(position);
    if (v == 0) {
        return -1000;
    }
    if (v == 32767) {
        return 0;
    }
    if (v == 65535) {
        return 1000;
    }
    if (v < 24576) {
        return (v - 24576) * 1000 / 24576;
    }
    if (v > 40960) {
        return (v - 40960) * 1000 / 24576;
    }
    return 0;
}

int StartInputSystem() {
    if (g_input.directInput != nullptr || g_input.starting != 0) {
        return 0;
    }
    int32_t noDirectInput = g_input.noDirectInput;
    std::memset(&g_input, 0, sizeof g_input);
    g_input.noDirectInput = noDirectInput;
    g_input.starting = 1;

    IUnknown* object = nullptr;
    if (g_input.noDirectInput == 0) {
        WriteLog("DirectInput関係初期化処理\n");
        IndentLog();
        object = CreateVersion7();
        if (object == nullptr) {
            object = CreateVersion8();
            g_input.version8 = object != nullptr ? 1 : 0;
        }
        if (object == nullptr) {
            WriteLog("DirectInput を使用しません。\n");
            OutdentLog();
            g_input.noDirectInput = 1;
        }
    }
    if (object == nullptr) {
        StartFallback();
    } else {
        g_input.directInput = object;
        BringWindowToTop(g_system.mainWindow);
        PumpMessagesInner();
        EnumeratePads();
        StartMouse();
        if (StartKeyboard() != 0) {
            g_input.starting = 0;
            return -1;
        }
        OutdentLog();
        WriteLog("DirectInput 関連の初期化は正常に終了しました\n");
    }
    FillDefaultPadKeyMap();
    g_input.starting = 0;
    return 0;
}

int EndInputSystem() {
    if (g_input.directInput == nullptr) {
        return 0;
    }
    if (g_input.directInput == kFallbackMarker) {
        WriteLog("入力関連の終了処理... 完了\n");
        g_input.directInput = nullptr;
        return 0;
    }
    WriteLog("DirectInput 関連の終了処理... 完了\n");
    ReleasePads();
    if (g_input.keyboard != nullptr) {
        g_input.keyboard->Unacquire();
        g_input.keyboard->Release();
        g_input.keyboard = nullptr;
    }
    if (g_input.keyboardEvent != nullptr) {
        CloseHandle(g_input.keyboardEvent);
        g_input.keyboardEvent = nullptr;
    }
    if (g_input.mouse != nullptr) {
        g_input.mouse->Unacquire();
        g_input.mouse->Release();
        g_input.mouse = nullptr;
    }
    g_input.directInput->Release();
    g_input.directInput = nullptr;
    return 0;
}

int EnumeratePads() {
    if (!UsingDirectInput()) {
        return -1;
    }
    ReleasePads();
    WriteLog("ジョイパッドの初期化... \n");
    g_input.padCount = 0;
    if (g_input.version8 != 0) {
        DirectInput8()->EnumDevices(DI8DEVCLASS_GAMECTRL, PadFound, nullptr, DIEDFL_ATTACHEDONLY);
    } else {
        DirectInput7()->EnumDevices(DIDEVTYPE_JOYSTICK, PadFound, nullptr, DIEDFL_ATTACHEDONLY);
    }
    WriteLog("ジョイパッドの初期化は正常に終了しました\n");
    return 0;
}

BOOL OnPadDeviceFound(const DIDEVICEINSTANCEA* instance) {
    if (g_input.padCount >= kMaxPads) {
        return DIENUM_STOP;
    }
    WriteLog("入力装置を見つけました\n");
    PadRecord& pad = g_input.pads[g_input.padCount];
    if (!SetUpPad(pad, instance)) {
        ClearPadSlot(pad);
        return DIENUM_CONTINUE;
    }
    ++g_input.padCount;
    WriteLog("ジョイパッドの追加は正常に終了しました\n");
    return g_input.padCount < kMaxPads ? DIENUM_CONTINUE : DIENUM_STOP;
}

int ReleasePads() {
    for (PadRecord& pad : g_input.pads) {
        ClearPadSlot(pad);
    }
    g_input.padCount = 0;
    return 0;
}

int RefreshKeyboardState() {
    if (g_input.refreshingKeyboard != 0) {
        return 0;
    }
    g_input.refreshingKeyboard = 1;
    bool deviceKeyboard =
        UsingDirectInput() && g_input.keyboard != nullptr && g_system.info.osCode < kOsWindowsVista;
    int result = deviceKeyboard ? RefreshFromDirectInput() : RefreshFromWindowKeys();
    g_input.refreshingKeyboard = 0;
    return result;
}

int RefreshKeyboardStateAfterMessages() {
    messagesJustTaken = true;
    int result = RefreshKeyboardState();
    messagesJustTaken = false;
    return result;
}

int RefreshPadState(int index) {
    if (index < 0 || index >= kMaxPads) {
        return -1;
    }
    if (g_input.directInput == kFallbackMarker) {
        RefreshPadFromJoystick(index);
        return 0;
    }
    PadRecord& pad = g_input.pads[index];
    if (!UsingDirectInput() || pad.device == nullptr) {
        return 0;
    }
    return RefreshPadFromDirectInput(pad) ? 0 : -1;
}

int ReadPadBits(int inputId) {
    WaitWhileInactive();
    if (g_input.directInput == nullptr && MayStartOnDemand()) {
        return StartInputSystem();
    }
    bool keyboard = (inputId & kPadKeyboard) != 0;
    int index = (inputId & ~kPadKeyboard) - 1;
    bool isPad = index >= 0 && index < g_input.padCount;
    if (g_input.padCount > 0 && !isPad && !keyboard) {
        return 0;
    }
    uint32_t mask = 0;
    if (isPad) {
        RefreshPadState(index);
        mask = PadPart(g_input.pads[index]);
    }
    // Only pads 1 to 16 have a key map (an index below 0 means pad 1's).
    if (!keyboard || index < -1 || index >= kMaxPads) {
        return static_cast<int>(mask);
    }
    RefreshKeyboardState();
    const auto& map = g_input.padKeyMap[index < 0 ? 0 : index];
    for (int bit = 0; bit < 32; ++bit) {
        for (int32_t code : map[bit]) {
            if (KeyDown(code)) {
                mask |= 1u << bit;
                break;
            }
        }
    }
    return static_cast<int>(mask);
}

int IsKeyPressed(int code) {
    WaitWhileInactive();
    if (g_input.directInput != nullptr) {
        RefreshKeyboardState();
        return KeyDown(code) ? 1 : 0;
    }
    if (MayStartOnDemand()) {
        return StartInputSystem();
    }
    return 0;
}

int ReacquireInputDevices() {
    if (!UsingDirectInput()) {
        return 0;
    }
    DWORD level = g_system.active != 0 ? kExclusivePads : kSharedBackground;
    for (int i = 0; i < g_input.padCount; ++i) {
        IDirectInputDevice7A* device = g_input.pads[i].device;
        if (device == nullptr) {
            continue;
        }
        device->Unacquire();
        device->SetCooperativeLevel(g_system.mainWindow, level);
        device->Acquire();
    }
    if (g_input.keyboard != nullptr) {
        g_input.keyboard->Unacquire();
        g_input.keyboard->Acquire();
    }
    return 0;
}

int ApplyPadVibration() {
    if (!UsingDirectInput()) {
        return 0;
    }
    bool active = g_system.active != 0;
    for (int i = 0; i < g_input.padCount; ++i) {
        PadRecord& pad = g_input.pads[i];
        bool constant = active && pad.vibrationPower == 1;
        bool sine = constant && pad.vibrationSecondPower > 5000;
        PlayEffect(pad, kConstantEffect, constant);
        PlayEffect(pad, kSineEffect, sine);
    }
    return 0;
}

int TickPadVibration() {
    int now = ReadMillisecondClock();
    for (int i = 0; i < g_input.padCount; ++i) {
        PadRecord& pad = g_input.pads[i];
        if (pad.vibrationPower == 0 || pad.vibrationDuration < 0) {
            continue;
        }
        pad.vibrationElapsed += now - pad.vibrationLastTick;
        pad.vibrationLastTick = now;
        if (pad.vibrationElapsed >= pad.vibrationDuration) {
            EndPadVibration(i + 1);
        }
    }
    return ApplyPadVibration();
}

int EndPadVibration(int inputId) {
    int index = (inputId & ~kPadKeyboard) - 1;
    if (index < 0 || index >= kMaxPads) {
        return -1;
    }
    g_input.pads[index].vibrationPower = 0;
    g_input.pads[index].vibrationSecondPower = 10000;
    return ApplyPadVibration();
}

}  // namespace tessel
