// The multimedia joystick calls over the layer's pads: joystick id n is the
// n-th attached pad, opened on first use and kept open while it stays.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/dinput/pads_internal.h"
#include "platform/winmm.h"

namespace {

constexpr UINT kJoystickIds = 16;

struct OpenedPads {
    std::mutex lock;
    platform::pads::Pad pads[kJoystickIds];
};

OpenedPads& Opened() {
    static auto* opened = new OpenedPads();
    return *opened;
}

// The pad behind a joystick id, opened; false when there is none.
bool PadOfId(UINT id, platform::pads::Pad** out) {
    if (id >= kJoystickIds) {
        return false;
    }
    platform::pads::Update();
    platform::pads::PadInfo info;
    if (!platform::pads::Info(static_cast<int>(id), &info)) {
        return false;
    }
    platform::pads::Pad& pad = Opened().pads[id];
    if (pad.id != info.id || !platform::pads::Attached(pad)) {
        platform::pads::Close(&pad);
        if (!platform::pads::Open(info.id, &pad)) {
            return false;
        }
    }
    *out = &pad;
    return true;
}

DWORD Position(const platform::pads::Reading& r, int axis) {
    return r.hasAxis[axis] ? static_cast<DWORD>(r.axis[axis] + 32768) : 0;
}

}  // namespace

MMRESULT joyGetDevCapsA(UINT_PTR joystickId, LPJOYCAPSA caps, UINT size) {
    if (caps == nullptr || size < sizeof(JOYCAPSA)) {
        return MMSYSERR_INVALPARAM;
    }
    if (!platform::pads::EnsureStarted()) {
        return MMSYSERR_NODRIVER;
    }
    std::lock_guard<std::mutex> guard(Opened().lock);
    platform::pads::Pad* pad = nullptr;
    if (joystickId >= kJoystickIds || !PadOfId(static_cast<UINT>(joystickId), &pad)) {
        return JOYERR_PARMS;
    }
    platform::pads::PadInfo info;
    platform::pads::Info(static_cast<int>(joystickId), &info);
    platform::pads::Reading layout;
    platform::pads::Describe(*pad, &layout);
    std::memset(caps, 0, sizeof *caps);
    caps->wMid = info.vendor;
    caps->wPid = info.product;
    platform::pads::ToCodePage(info.name, caps->szPname, MAXPNAMELEN);
    UINT* ranges[6][2] = {{&caps->wXmin, &caps->wXmax}, {&caps->wYmin, &caps->wYmax},
                          {&caps->wZmin, &caps->wZmax}, {&caps->wRmin, &caps->wRmax},
                          {&caps->wUmin, &caps->wUmax}, {&caps->wVmin, &caps->wVmax}};
    const UINT kHas[6] = {0, 0, JOYCAPS_HASZ, JOYCAPS_HASR, JOYCAPS_HASU, JOYCAPS_HASV};
    for (int axis = 0; axis < 6; ++axis) {
        if (!layout.hasAxis[axis]) {
            continue;
        }
        *ranges[axis][1] = 0xFFFF;
        caps->wCaps |= kHas[axis];
        ++caps->wNumAxes;
    }
    if (layout.povCount > 0) {
        caps->wCaps |= JOYCAPS_HASPOV | JOYCAPS_POV4DIR;
    }
    caps->wNumButtons = static_cast<UINT>(layout.buttonCount);
    caps->wPeriodMin = 10;
    caps->wPeriodMax = 1000;
    caps->wMaxAxes = 6;
    caps->wMaxButtons = 32;
    return JOYERR_NOERROR;
}

MMRESULT joyGetPosEx(UINT joystickId, LPJOYINFOEX info) {
    if (info == nullptr || info->dwSize != sizeof(JOYINFOEX)) {
        return MMSYSERR_INVALPARAM;
    }
    if (!platform::pads::EnsureStarted()) {
        return MMSYSERR_NODRIVER;
    }
    if (joystickId >= kJoystickIds) {
        return JOYERR_PARMS;
    }
    std::lock_guard<std::mutex> guard(Opened().lock);
    platform::pads::Pad* pad = nullptr;
    platform::pads::Reading r;
    if (!PadOfId(joystickId, &pad) || !platform::pads::Read(*pad, &r)) {
        return JOYERR_UNPLUGGED;
    }
    DWORD flags = info->dwFlags;
    DWORD* positions[6] = {&info->dwXpos, &info->dwYpos, &info->dwZpos,
                           &info->dwRpos, &info->dwUpos, &info->dwVpos};
    for (int axis = 0; axis < 6; ++axis) {
        if ((flags & (JOY_RETURNX << axis)) != 0) {
            *positions[axis] = Position(r, axis);
        }
    }
    if ((flags & JOY_RETURNBUTTONS) != 0) {
        info->dwButtons = 0;
        info->dwButtonNumber = 0;
        for (int i = 0; i < r.buttonCount; ++i) {
            if (r.button[i]) {
                info->dwButtons |= 1u << i;
                ++info->dwButtonNumber;
            }
        }
    }
    if ((flags & JOY_RETURNPOV) != 0) {
        info->dwPOV =
            r.povCount > 0 && r.pov[0] != platform::pads::kPovCentred ? r.pov[0] : JOY_POVCENTERED;
    }
    return JOYERR_NOERROR;
}
