// DirectInput's devices: the system keyboard and mouse (reading the window
// service's events through system_devices) and one device per game pad (an
// SDL joystick or game controller through pads), each answering the version
// 7 or 8 interface of the object that made it; data formats, cooperative
// levels, axis ranges and dead zones, polled state, event notification, and
// force feedback: constant and periodic effects as SDL haptic effects, or
// rumble on pads without haptics.
// Not here: buffered data (GetDeviceData), action maps, effects other than
// constant force and sine.
#include "platform/dinput/devices_internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/dinput/system_devices_internal.h"
#include "platform/kernel.h"
#include "platform/window.h"

namespace platform::dinput {
namespace {

constexpr BYTE kPadGuidTag[8] = {'T', 'e', 's', 's', 'P', 'a', 'd', 0};
constexpr uint32_t kLongestRumbleMs =
    0xFFFF;  // SDL's longest; an effect that runs for ever is stopped by its owner

struct AxisSettings {
    LONG min = 0;
    LONG max = 0xFFFF;
    DWORD deadZone = 0;
};

// The offset of an axis in DIJOYSTATE, by axis, as the property calls name them.
int AxisOfOffset(DWORD offset) {
    if (offset % 4 != 0 || offset >= 4u * pads::kAxisCount) {
        return -1;
    }
    return static_cast<int>(offset / 4);
}

LONG ScaleAxis(int32_t raw, const AxisSettings& axis) {
    double n = raw < 0 ? raw / 32768.0 : raw / 32767.0;
    double zone = axis.deadZone / 10000.0;
    double size = std::fabs(n);
    n = size <= zone ? 0.0 : std::copysign((size - zone) / (1.0 - zone), n);
    double centre = (static_cast<double>(axis.min) + axis.max) / 2.0;
    double half = (static_cast<double>(axis.max) - axis.min) / 2.0;
    return static_cast<LONG>(std::lround(centre + n * half));
}

class Device;

// An effect holds a reference to its device until its last Release.
class Effect final : public RefCounted<Effect, IDirectInputEffect> {
  public:
    Effect(Device* device, bool constant, DWORD magnitude, DWORD durationMicroseconds,
           int hapticId);
    ~Effect();

    HRESULT Start(DWORD iterations, DWORD flags) override;
    HRESULT Stop() override;

    bool constant() const { return constant_; }
    DWORD magnitude() const { return magnitude_; }
    bool playing() const { return playing_; }
    int hapticId() const { return hapticId_; }

  private:
    Device* device_;
    bool constant_;
    DWORD magnitude_;  // 0 to 10000
    DWORD durationMicroseconds_;
    int hapticId_;
    bool playing_ = false;
    friend class Device;
};

class Device final : public RefCounted<Device, IDirectInputDevice8A> {
  public:
    Device(DeviceKind kind, bool version8) : kind_(kind), version8_(version8) {
        if (kind_ == DeviceKind::kPad) {
            for (int i = 0; i < pads::kAxisCount; ++i) {
                axes_[i] = AxisSettings{};
            }
        }
    }
    ~Device() {
        Unacquire();
        SetEventNotification(nullptr);
        if (haptic_ != nullptr) {
            SDL_HapticClose(haptic_);
        }
        pads::Close(&pad_);
    }

    bool OpenPad(SDL_JoystickID id) {
        if (!pads::Open(id, &pad_)) {
            return false;
        }
        pads::Describe(pad_, &layout_);
        return true;
    }

    // Which interface a device answers depends on the version that made it.
    HRESULT QueryInterface(REFIID iid, void** object) override {
        return QueryFor(this, iid, object,
                        {version8_ ? &IID_IDirectInputDevice8A : &IID_IDirectInputDevice7A});
    }

    HRESULT GetDeviceState(DWORD size, LPVOID data) override {
        if (data == nullptr || size != DataSize()) {
            return DIERR_INVALIDPARAM;
        }
        if (!acquired_) {
            return DIERR_NOTACQUIRED;
        }
        switch (kind_) {
            case DeviceKind::kKeyboard:
                StartWatching();
                CopyKeyboardState(static_cast<BYTE*>(data));
                return DI_OK;
            case DeviceKind::kMouse:
                StartWatching();
                TakeMouseState(static_cast<DIMOUSESTATE*>(data));
                return DI_OK;
            case DeviceKind::kPad:
                return ReadPad(static_cast<DIJOYSTATE*>(data));
        }
        return DIERR_INVALIDPARAM;
    }

    HRESULT SetDataFormat(LPCDIDATAFORMAT format) override {
        if (format == nullptr || format->dwSize != sizeof(DIDATAFORMAT)) {
            return DIERR_INVALIDPARAM;
        }
        if (acquired_) {
            return DIERR_ACQUIRED;
        }
        if (format->dwDataSize != DataSize()) {
            return DIERR_INVALIDPARAM;
        }
        formatSet_ = true;
        return DI_OK;
    }

    HRESULT SetEventNotification(HANDLE event) override {
        if (acquired_) {
            return DIERR_ACQUIRED;
        }
        if (event_ != nullptr && kind_ != DeviceKind::kPad) {
            RemoveNotification(kind_ == DeviceKind::kKeyboard, event_);
        }
        event_ = event;
        if (event_ != nullptr && kind_ != DeviceKind::kPad) {
            AddNotification(kind_ == DeviceKind::kKeyboard, event_);
        }
        // A pad is read when polled; its event is signalled by the poll
        // that sees a change.
        return kind_ == DeviceKind::kPad ? DI_POLLEDDEVICE : DI_OK;
    }

    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override {
        bool exclusive = (flags & DISCL_EXCLUSIVE) != 0;
        bool shared = (flags & DISCL_NONEXCLUSIVE) != 0;
        bool foreground = (flags & DISCL_FOREGROUND) != 0;
        bool background = (flags & DISCL_BACKGROUND) != 0;
        if (exclusive == shared || foreground == background) {
            return DIERR_INVALIDPARAM;
        }
        if (window == nullptr || !IsWindow(window)) {
            return E_HANDLE;
        }
        // No program may take the whole keyboard while it is in the background.
        if (kind_ == DeviceKind::kKeyboard && exclusive && background) {
            return DIERR_UNSUPPORTED;
        }
        if (acquired_) {
            return DIERR_ACQUIRED;
        }
        cooperation_ = flags;
        return DI_OK;
    }

    HRESULT SetProperty(DIPROPID property, LPCDIPROPHEADER header) override {
        if (header == nullptr || header->dwHeaderSize != sizeof(DIPROPHEADER)) {
            return DIERR_INVALIDPARAM;
        }
        if (property == DIPROP_BUFFERSIZE) {
            if (header->dwSize != sizeof(DIPROPDWORD) || header->dwHow != DIPH_DEVICE ||
                header->dwObj != 0) {
                return DIERR_INVALIDPARAM;
            }
            if (acquired_) {
                return DIERR_ACQUIRED;
            }
            bufferSize_ = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
            return DI_OK;
        }
        if (property == DIPROP_RANGE || property == DIPROP_DEADZONE) {
            return SetAxisProperty(property, header);
        }
        return DIERR_UNSUPPORTED;
    }

    HRESULT Acquire() override {
        if (!formatSet_) {
            return DIERR_INVALIDPARAM;
        }
        if (acquired_) {
            return S_FALSE;
        }
        if (kind_ == DeviceKind::kPad) {
            pads::Update();
            if (!pads::Attached(pad_)) {
                return DIERR_UNPLUGGED;
            }
        }
        if (kind_ == DeviceKind::kMouse) {
            StartWatching();
            ResetMouseMovement();
        }
        acquired_ = true;
        return DI_OK;
    }

    HRESULT Unacquire() override {
        if (!acquired_) {
            return DI_NOEFFECT;
        }
        acquired_ = false;
        StopAllEffects();
        return DI_OK;
    }

    HRESULT GetDeviceInfo(DIDEVICEINSTANCEA* instance) override {
        if (instance == nullptr || instance->dwSize != sizeof(DIDEVICEINSTANCEA)) {
            return DIERR_INVALIDPARAM;
        }
        if (kind_ == DeviceKind::kPad) {
            pads::PadInfo info;
            int index = pads::IndexOf(pad_.id);
            if (index < 0 || !pads::Info(index, &info)) {
                return DIERR_UNPLUGGED;
            }
            FillPadInstance(info, version8_, instance);
            return DI_OK;
        }
        std::memset(instance, 0, sizeof *instance);
        instance->dwSize = sizeof *instance;
        bool keyboard = kind_ == DeviceKind::kKeyboard;
        instance->guidInstance = keyboard ? GUID_SysKeyboard : GUID_SysMouse;
        instance->guidProduct = instance->guidInstance;
        // Device types: keyboard 3 and mouse 2 (version 7), 0x13 and 0x12 (version 8).
        instance->dwDevType = version8_ ? (keyboard ? 0x13u : 0x12u) : (keyboard ? 3u : 2u);
        const char* name = keyboard ? "Keyboard" : "Mouse";
        std::strcpy(instance->tszInstanceName, name);
        std::strcpy(instance->tszProductName, name);
        return DI_OK;
    }

    HRESULT Poll() override {
        if (kind_ != DeviceKind::kPad) {
            return DI_NOEFFECT;
        }
        if (!acquired_) {
            return DIERR_NOTACQUIRED;
        }
        pads::Update();
        pads::Reading reading;
        if (!pads::Read(pad_, &reading)) {
            acquired_ = false;
            return DIERR_INPUTLOST;
        }
        if (event_ != nullptr && (!havePolled_ || !SameReading(reading, lastPoll_))) {
            SetEvent(event_);
        }
        lastPoll_ = reading;
        havePolled_ = true;
        return DI_OK;
    }

    HRESULT CreateEffect(const GUID& kind, LPCDIEFFECT parameters, LPDIRECTINPUTEFFECT* out,
                         LPUNKNOWN outer) override;

    void EffectChanged();
    void ForgetEffect(Effect* effect) {
        effects_.erase(std::remove(effects_.begin(), effects_.end(), effect), effects_.end());
        EffectChanged();
    }
    bool MayPlayEffects() const {
        return kind_ == DeviceKind::kPad && acquired_ && (cooperation_ & DISCL_EXCLUSIVE) != 0;
    }
    SDL_Haptic* haptic() const { return haptic_; }

  private:
    DWORD DataSize() const {
        switch (kind_) {
            case DeviceKind::kKeyboard:
                return 256;
            case DeviceKind::kMouse:
                return sizeof(DIMOUSESTATE);
            case DeviceKind::kPad:
                return sizeof(DIJOYSTATE);
        }
        return 0;
    }

    static bool SameReading(const pads::Reading& a, const pads::Reading& b) {
        return std::memcmp(a.axis, b.axis, sizeof a.axis) == 0 &&
               std::memcmp(a.pov, b.pov, sizeof a.pov) == 0 &&
               std::memcmp(a.button, b.button, sizeof a.button) == 0;
    }

    HRESULT SetAxisProperty(DIPROPID property, LPCDIPROPHEADER header) {
        bool range = property == DIPROP_RANGE;
        if (header->dwSize != (range ? sizeof(DIPROPRANGE) : sizeof(DIPROPDWORD))) {
            return DIERR_INVALIDPARAM;
        }
        if (kind_ != DeviceKind::kPad) {
            return DIERR_UNSUPPORTED;
        }
        if (acquired_) {
            return DIERR_ACQUIRED;
        }
        std::vector<int> targets;
        if (header->dwHow == DIPH_DEVICE && header->dwObj == 0) {
            for (int i = 0; i < pads::kAxisCount; ++i) {
                targets.push_back(i);
            }
        } else if (header->dwHow == DIPH_BYOFFSET) {
            int axis = AxisOfOffset(header->dwObj);
            if (!formatSet_ || axis < 0 || !layout_.hasAxis[axis]) {
                return DIERR_OBJECTNOTFOUND;
            }
            targets.push_back(axis);
        } else {
            return DIERR_INVALIDPARAM;
        }
        if (range) {
            const auto* r = reinterpret_cast<const DIPROPRANGE*>(header);
            if (r->lMin >= r->lMax) {
                return DIERR_INVALIDPARAM;
            }
            for (int axis : targets) {
                axes_[axis].min = r->lMin;
                axes_[axis].max = r->lMax;
            }
            return DI_OK;
        }
        DWORD zone = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
        if (zone > 10000) {
            return DIERR_INVALIDPARAM;
        }
        for (int axis : targets) {
            axes_[axis].deadZone = zone;
        }
        return DI_OK;
    }

    HRESULT ReadPad(DIJOYSTATE* out) {
        pads::Reading reading;
        if (!pads::Read(pad_, &reading)) {
            acquired_ = false;
            return DIERR_INPUTLOST;
        }
        std::memset(out, 0, sizeof *out);
        LONG* axes[pads::kAxisCount] = {&out->lX,           &out->lY,          &out->lZ,
                                        &out->lRx,          &out->lRy,         &out->lRz,
                                        &out->rglSlider[0], &out->rglSlider[1]};
        for (int i = 0; i < pads::kAxisCount; ++i) {
            if (reading.hasAxis[i]) {
                *axes[i] = ScaleAxis(reading.axis[i], axes_[i]);
            }
        }
        for (int i = 0; i < pads::kPovCount; ++i) {
            out->rgdwPOV[i] = reading.pov[i];
        }
        for (int i = 0; i < reading.buttonCount; ++i) {
            out->rgbButtons[i] = reading.button[i] ? 0x80 : 0;
        }
        return DI_OK;
    }

    void StopAllEffects() {
        for (Effect* effect : effects_) {
            effect->playing_ = false;
        }
        EffectChanged();
    }

    DeviceKind kind_;
    bool version8_;
    bool formatSet_ = false;
    bool acquired_ = false;
    DWORD cooperation_ = 0;
    HANDLE event_ = nullptr;
    DWORD bufferSize_ = 0;
    AxisSettings axes_[pads::kAxisCount];
    pads::Pad pad_;
    pads::Reading layout_ = {};
    pads::Reading lastPoll_ = {};
    bool havePolled_ = false;
    SDL_Haptic* haptic_ = nullptr;
    std::vector<Effect*> effects_;
    uint16_t rumbleLow_ = 0;
    uint16_t rumbleHigh_ = 0;
};

Effect::Effect(Device* device, bool constant, DWORD magnitude, DWORD durationMicroseconds,
               int hapticId)
    : device_(device),
      constant_(constant),
      magnitude_(magnitude),
      durationMicroseconds_(durationMicroseconds),
      hapticId_(hapticId) {
    device_->AddRef();
}

Effect::~Effect() {
    playing_ = false;
    if (hapticId_ >= 0) {
        SDL_HapticDestroyEffect(device_->haptic(), hapticId_);
    }
    device_->ForgetEffect(this);
    device_->Release();
}

HRESULT Effect::Start(DWORD iterations, DWORD) {
    if (!device_->MayPlayEffects()) {
        return DIERR_NOTEXCLUSIVEACQUIRED;
    }
    if (hapticId_ >= 0) {
        Uint32 times = iterations == INFINITE ? SDL_HAPTIC_INFINITY : iterations;
        if (SDL_HapticRunEffect(device_->haptic(), hapticId_, times) != 0) {
            return E_FAIL;
        }
    }
    playing_ = true;
    device_->EffectChanged();
    return DI_OK;
}

HRESULT Effect::Stop() {
    if (hapticId_ >= 0 && playing_) {
        SDL_HapticStopEffect(device_->haptic(), hapticId_);
    }
    playing_ = false;
    device_->EffectChanged();
    return DI_OK;
}

// Without haptics, a constant force drives the low-frequency motor and a
// sine the high-frequency one, each as strong as its strongest playing effect.
void Device::EffectChanged() {
    if (haptic_ != nullptr || pad_.joystick == nullptr) {
        return;
    }
    DWORD low = 0;
    DWORD high = 0;
    for (const Effect* effect : effects_) {
        if (effect->playing() && effect->hapticId() < 0) {
            DWORD& motor = effect->constant() ? low : high;
            motor = std::max(motor, effect->magnitude());
        }
    }
    auto level = [](DWORD magnitude) {
        return static_cast<uint16_t>(std::min<DWORD>(magnitude, 10000) * 0xFFFFu / 10000);
    };
    uint16_t newLow = level(low);
    uint16_t newHigh = level(high);
    if (newLow == rumbleLow_ && newHigh == rumbleHigh_) {
        return;
    }
    rumbleLow_ = newLow;
    rumbleHigh_ = newHigh;
    bool any = newLow != 0 || newHigh != 0;
    SDL_JoystickRumble(pad_.joystick, newLow, newHigh, any ? kLongestRumbleMs : 0);
}

bool ValidEffectAxes(const DIEFFECT& p) {
    if (p.cAxes > 2 || (p.cAxes > 0 && (p.rgdwAxes == nullptr || p.rglDirection == nullptr))) {
        return false;
    }
    for (DWORD i = 0; i < p.cAxes; ++i) {
        if (p.rgdwAxes[i] != DIJOFS_X && p.rgdwAxes[i] != DIJOFS_Y) {
            return false;
        }
    }
    return true;
}

Uint16 HapticLevel(DWORD level) {
    return static_cast<Uint16>(std::min<DWORD>(level, 10000) * 32767 / 10000);
}

Uint32 HapticLength(DWORD microseconds) {
    return microseconds == INFINITE ? SDL_HAPTIC_INFINITY : microseconds / 1000;
}

int MakeHapticEffect(SDL_Haptic* haptic, bool constant, const DIEFFECT& p) {
    SDL_HapticEffect effect;
    std::memset(&effect, 0, sizeof effect);
    SDL_HapticDirection direction = {};
    direction.type = SDL_HAPTIC_CARTESIAN;
    direction.dir[0] = p.cAxes > 0 ? p.rglDirection[0] : 0;
    direction.dir[1] = p.cAxes > 1 ? p.rglDirection[1] : 0;
    if (constant) {
        const auto* force = static_cast<const DICONSTANTFORCE*>(p.lpvTypeSpecificParams);
        effect.type = SDL_HAPTIC_CONSTANT;
        effect.constant.direction = direction;
        effect.constant.length = HapticLength(p.dwDuration);
        effect.constant.level =
            static_cast<Sint16>(std::clamp<LONG>(force->lMagnitude, -10000, 10000) * 32767 / 10000);
    } else {
        const auto* wave = static_cast<const DIPERIODIC*>(p.lpvTypeSpecificParams);
        effect.type = SDL_HAPTIC_SINE;
        effect.periodic.direction = direction;
        effect.periodic.length = HapticLength(p.dwDuration);
        effect.periodic.period =
            static_cast<Uint16>(std::min<DWORD>(wave->dwPeriod / 1000, 0xFFFF));
        effect.periodic.magnitude = static_cast<Sint16>(HapticLevel(wave->dwMagnitude));
        effect.periodic.phase = static_cast<Uint16>(wave->dwPhase % 36000);
        if (p.lpEnvelope != nullptr) {
            effect.periodic.attack_length = static_cast<Uint16>(p.lpEnvelope->dwAttackTime / 1000);
            effect.periodic.attack_level = HapticLevel(p.lpEnvelope->dwAttackLevel);
            effect.periodic.fade_length = static_cast<Uint16>(p.lpEnvelope->dwFadeTime / 1000);
            effect.periodic.fade_level = HapticLevel(p.lpEnvelope->dwFadeLevel);
        }
    }
    return SDL_HapticNewEffect(haptic, &effect);
}

HRESULT Device::CreateEffect(const GUID& kind, LPCDIEFFECT parameters, LPDIRECTINPUTEFFECT* out,
                             LPUNKNOWN outer) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    bool constant = IsEqualGUID(kind, GUID_ConstantForce);
    if (!constant && !IsEqualGUID(kind, GUID_Sine)) {
        return DIERR_DEVICENOTREG;
    }
    if (kind_ != DeviceKind::kPad) {
        return DIERR_UNSUPPORTED;
    }
    DWORD paramsSize = constant ? sizeof(DICONSTANTFORCE) : sizeof(DIPERIODIC);
    if (parameters == nullptr || parameters->dwSize != sizeof(DIEFFECT) ||
        parameters->cbTypeSpecificParams != paramsSize ||
        parameters->lpvTypeSpecificParams == nullptr || !ValidEffectAxes(*parameters)) {
        return DIERR_INVALIDPARAM;
    }
    if (haptic_ == nullptr && SDL_JoystickIsHaptic(pad_.joystick) == SDL_TRUE) {
        haptic_ = SDL_HapticOpenFromJoystick(pad_.joystick);
    }
    int hapticId = -1;
    if (haptic_ != nullptr) {
        unsigned int wanted = constant ? SDL_HAPTIC_CONSTANT : SDL_HAPTIC_SINE;
        if ((SDL_HapticQuery(haptic_) & wanted) == 0) {
            return DIERR_UNSUPPORTED;
        }
        hapticId = MakeHapticEffect(haptic_, constant, *parameters);
        if (hapticId < 0) {
            return E_FAIL;
        }
    } else if (SDL_JoystickHasRumble(pad_.joystick) != SDL_TRUE) {
        return DIERR_UNSUPPORTED;
    }
    DWORD magnitude = 0;
    if (constant) {
        LONG m = static_cast<const DICONSTANTFORCE*>(parameters->lpvTypeSpecificParams)->lMagnitude;
        magnitude = static_cast<DWORD>(std::abs(m));
    } else {
        magnitude = static_cast<const DIPERIODIC*>(parameters->lpvTypeSpecificParams)->dwMagnitude;
    }
    magnitude = static_cast<DWORD>(static_cast<uint64_t>(magnitude) *
                                   std::min<DWORD>(parameters->dwGain, 10000) / 10000);
    auto* effect = new Effect(this, constant, magnitude, parameters->dwDuration, hapticId);
    effects_.push_back(effect);
    *out = effect;
    return DI_OK;
}

}  // namespace

IDirectInputDevice8A* CreateSystemDevice(DeviceKind kind, bool version8) {
    StartWatching();
    return new Device(kind, version8);
}

IDirectInputDevice8A* CreatePadDevice(SDL_JoystickID id, bool version8) {
    auto* device = new Device(DeviceKind::kPad, version8);
    if (!device->OpenPad(id)) {
        device->Release();
        return nullptr;
    }
    return device;
}

GUID PadInstanceGuid(SDL_JoystickID id) {
    GUID guid = {};
    guid.Data1 = static_cast<DWORD>(id);
    guid.Data2 = 0x5D1;
    guid.Data3 = 0x1A9;
    std::memcpy(guid.Data4, kPadGuidTag, sizeof guid.Data4);
    return guid;
}

bool PadOfInstanceGuid(const GUID& guid, SDL_JoystickID* id) {
    GUID expected = PadInstanceGuid(static_cast<SDL_JoystickID>(guid.Data1));
    if (!IsEqualGUID(guid, expected)) {
        return false;
    }
    *id = static_cast<SDL_JoystickID>(guid.Data1);
    return true;
}

void FillPadInstance(const pads::PadInfo& info, bool version8, DIDEVICEINSTANCEA* out) {
    std::memset(out, 0, sizeof *out);
    out->dwSize = sizeof *out;
    out->guidInstance = PadInstanceGuid(info.id);
    const Uint8* g = info.guid.data;
    out->guidProduct.Data1 =
        static_cast<DWORD>(g[0] | g[1] << 8 | g[2] << 16) | static_cast<DWORD>(g[3]) << 24;
    out->guidProduct.Data2 = static_cast<WORD>(g[4] | g[5] << 8);
    out->guidProduct.Data3 = static_cast<WORD>(g[6] | g[7] << 8);
    std::memcpy(out->guidProduct.Data4, g + 8, 8);
    // Game pad (0x15) or joystick (0x14) in version 8; joystick (4) in version 7.
    out->dwDevType = version8 ? (info.controller ? 0x15u : 0x14u) : 4u;
    pads::ToCodePage(info.name, out->tszInstanceName, MAX_PATH);
    pads::ToCodePage(info.name, out->tszProductName, MAX_PATH);
    out->wUsagePage = 1;                    // generic desktop
    out->wUsage = info.controller ? 5 : 4;  // game pad or joystick
}

}  // namespace platform::dinput
