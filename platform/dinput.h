// DirectInput 7 and 8 as the library uses them: the keyboard, the mouse and
// the attached game controllers, each a device made from the DirectInput
// object that COM creates, plus force-feedback effects on the controllers.
// The window service's events (WindowEvent, seen through its observer) give
// the keyboard state and the mouse; SDL2's joystick and game-controller
// support gives the controllers, SDL haptics or rumble the effects. Test
// hooks are in dinput_testing.h.
#pragma once

#include "platform/com.h"
#include "platform/types.h"

// ------------------------------------------------------------------ results
#define DI_OK S_OK
#define DI_NOEFFECT S_FALSE
#define DI_POLLEDDEVICE ((HRESULT)0x00000002)
#define DIERR_INVALIDPARAM E_INVALIDARG
#define DIERR_UNSUPPORTED E_NOTIMPL
#define DIERR_NOTINITIALIZED ((HRESULT)0x80070015)
#define DIERR_ALREADYINITIALIZED ((HRESULT)0x800704DF)
#define DIERR_OBJECTNOTFOUND ((HRESULT)0x80070002)
#define DIERR_DEVICENOTREG REGDB_E_CLASSNOTREG
#define DIERR_NOTACQUIRED ((HRESULT)0x8007000C)
#define DIERR_ACQUIRED ((HRESULT)0x800700AA)
#define DIERR_INPUTLOST ((HRESULT)0x8007001E)
#define DIERR_OTHERAPPHASPRIO ((HRESULT)0x80070005)
#define DIERR_UNPLUGGED ((HRESULT)0x80040209)
#define DIERR_OLDDIRECTINPUTVERSION ((HRESULT)0x8007047E)
#define DIERR_NOTEXCLUSIVEACQUIRED ((HRESULT)0x80040205)
#ifndef E_HANDLE
#define E_HANDLE ((HRESULT)0x80070006)
#endif

// ------------------------------------------------------------ class ids
extern const CLSID CLSID_DirectInput;
extern const CLSID CLSID_DirectInput8;
extern const IID IID_IDirectInput7A;
extern const IID IID_IDirectInput8A;
extern const IID IID_IDirectInputDevice7A;
extern const IID IID_IDirectInputDevice8A;
extern const GUID GUID_SysMouse;
extern const GUID GUID_SysKeyboard;
extern const GUID GUID_ConstantForce;
extern const GUID GUID_Sine;

// -------------------------------------------------------- enumeration
#define DIDEVTYPE_JOYSTICK 4u
#define DI8DEVCLASS_GAMECTRL 4u
#define DIEDFL_ATTACHEDONLY 0x00000001u
#define DIENUM_STOP 0
#define DIENUM_CONTINUE 1

struct DIDEVICEINSTANCEA {
    DWORD dwSize;
    GUID guidInstance;
    GUID guidProduct;
    DWORD dwDevType;
    CHAR tszInstanceName[MAX_PATH];
    CHAR tszProductName[MAX_PATH];
    GUID guidFFDriver;
    WORD wUsagePage;
    WORD wUsage;
};
using LPCDIDEVICEINSTANCEA = const DIDEVICEINSTANCEA*;
using LPDIENUMDEVICESCALLBACKA = BOOL (*)(LPCDIDEVICEINSTANCEA instance, LPVOID reference);

// --------------------------------------------------------- data formats
// The standard formats; a device takes the one of its kind.
struct DIDATAFORMAT {
    DWORD dwSize;
    DWORD dwObjSize;
    DWORD dwFlags;
    DWORD dwDataSize;
    DWORD dwNumObjs;
    const void* rgodf;
};
using LPCDIDATAFORMAT = const DIDATAFORMAT*;
extern const DIDATAFORMAT c_dfDIKeyboard;
extern const DIDATAFORMAT c_dfDIMouse;
extern const DIDATAFORMAT c_dfDIJoystick;

struct DIMOUSESTATE {
    LONG lX;
    LONG lY;
    LONG lZ;
    BYTE rgbButtons[4];
};

struct DIJOYSTATE {
    LONG lX;
    LONG lY;
    LONG lZ;
    LONG lRx;
    LONG lRy;
    LONG lRz;
    LONG rglSlider[2];
    DWORD rgdwPOV[4];  // hundredths of degrees clockwise from up; 0xFFFFFFFF centred
    BYTE rgbButtons[32];
};
static_assert(sizeof(DIJOYSTATE) == 80, "DIJOYSTATE keeps its Windows size");

#define DIJOFS_X 0u
#define DIJOFS_Y 4u
#define DIJOFS_Z 8u
#define DIJOFS_RX 12u
#define DIJOFS_RY 16u
#define DIJOFS_RZ 20u

// ------------------------------------------------- cooperative levels
#define DISCL_EXCLUSIVE 0x1u
#define DISCL_NONEXCLUSIVE 0x2u
#define DISCL_FOREGROUND 0x4u
#define DISCL_BACKGROUND 0x8u

// ------------------------------------------------------------ properties
// A property is named by a small number in the place of a GUID's address.
using DIPROPID = const GUID*;
#define DIPROP_BUFFERSIZE (reinterpret_cast<DIPROPID>(static_cast<uintptr_t>(1)))
#define DIPROP_RANGE (reinterpret_cast<DIPROPID>(static_cast<uintptr_t>(4)))
#define DIPROP_DEADZONE (reinterpret_cast<DIPROPID>(static_cast<uintptr_t>(5)))

#define DIPH_DEVICE 0u
#define DIPH_BYOFFSET 1u

struct DIPROPHEADER {
    DWORD dwSize;
    DWORD dwHeaderSize;
    DWORD dwObj;
    DWORD dwHow;
};
using LPCDIPROPHEADER = const DIPROPHEADER*;

struct DIPROPDWORD {
    DIPROPHEADER diph;
    DWORD dwData;
};

struct DIPROPRANGE {
    DIPROPHEADER diph;
    LONG lMin;
    LONG lMax;
};

// ------------------------------------------------------ force feedback
#define DI_SECONDS 1000000u
#define DI_FFNOMINALMAX 10000
#define DIEB_NOTRIGGER 0xFFFFFFFFu
#define DIEFF_OBJECTOFFSETS 0x00000002u
#define DIEFF_CARTESIAN 0x00000010u
#define DIEFF_POLAR 0x00000020u

struct DIENVELOPE {
    DWORD dwSize;
    DWORD dwAttackLevel;
    DWORD dwAttackTime;  // microseconds
    DWORD dwFadeLevel;
    DWORD dwFadeTime;
};

struct DICONSTANTFORCE {
    LONG lMagnitude;
};

struct DIPERIODIC {
    DWORD dwMagnitude;
    LONG lOffset;
    DWORD dwPhase;
    DWORD dwPeriod;  // microseconds
};

struct DIEFFECT {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwDuration;  // microseconds, INFINITE for ever
    DWORD dwSamplePeriod;
    DWORD dwGain;
    DWORD dwTriggerButton;
    DWORD dwTriggerRepeatInterval;
    DWORD cAxes;
    LPDWORD rgdwAxes;
    LPLONG rglDirection;
    DIENVELOPE* lpEnvelope;
    DWORD cbTypeSpecificParams;
    LPVOID lpvTypeSpecificParams;
    DWORD dwStartDelay;
};
using LPCDIEFFECT = const DIEFFECT*;

struct IDirectInputEffect : IUnknown {
    virtual HRESULT Start(DWORD iterations, DWORD flags) = 0;
    virtual HRESULT Stop() = 0;

  protected:
    ~IDirectInputEffect() = default;
};
using LPDIRECTINPUTEFFECT = IDirectInputEffect*;

// ---------------------------------------------------------------- devices
// The calls every device version has.
struct IDirectInputDeviceA : IUnknown {
    virtual HRESULT GetDeviceState(DWORD size, LPVOID data) = 0;
    virtual HRESULT SetDataFormat(LPCDIDATAFORMAT format) = 0;
    virtual HRESULT SetEventNotification(HANDLE event) = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
    virtual HRESULT SetProperty(DIPROPID property, LPCDIPROPHEADER header) = 0;
    virtual HRESULT Acquire() = 0;
    virtual HRESULT Unacquire() = 0;
    virtual HRESULT GetDeviceInfo(DIDEVICEINSTANCEA* instance) = 0;

  protected:
    ~IDirectInputDeviceA() = default;
};
using LPDIRECTINPUTDEVICEA = IDirectInputDeviceA*;

// Game controllers: polling and effects.
struct IDirectInputDevice7A : IDirectInputDeviceA {
    virtual HRESULT Poll() = 0;
    virtual HRESULT CreateEffect(const GUID& effect, LPCDIEFFECT parameters,
                                 LPDIRECTINPUTEFFECT* out, LPUNKNOWN outer) = 0;

  protected:
    ~IDirectInputDevice7A() = default;
};
using LPDIRECTINPUTDEVICE7A = IDirectInputDevice7A*;

struct IDirectInputDevice8A : IDirectInputDevice7A {
  protected:
    ~IDirectInputDevice8A() = default;
};
using LPDIRECTINPUTDEVICE8A = IDirectInputDevice8A*;

// --------------------------------------------------------- the objects
struct IDirectInput7A : IUnknown {
    virtual HRESULT Initialize(HINSTANCE instance, DWORD version) = 0;
    virtual HRESULT CreateDevice(const GUID& device, LPDIRECTINPUTDEVICEA* out,
                                 LPUNKNOWN outer) = 0;
    virtual HRESULT CreateDeviceEx(const GUID& device, REFIID iid, LPVOID* out,
                                   LPUNKNOWN outer) = 0;
    virtual HRESULT EnumDevices(DWORD deviceType, LPDIENUMDEVICESCALLBACKA callback,
                                LPVOID reference, DWORD flags) = 0;

  protected:
    ~IDirectInput7A() = default;
};
using LPDIRECTINPUT7A = IDirectInput7A*;

struct IDirectInput8A : IUnknown {
    virtual HRESULT Initialize(HINSTANCE instance, DWORD version) = 0;
    virtual HRESULT CreateDevice(const GUID& device, LPDIRECTINPUTDEVICE8A* out,
                                 LPUNKNOWN outer) = 0;
    virtual HRESULT EnumDevices(DWORD deviceClass, LPDIENUMDEVICESCALLBACKA callback,
                                LPVOID reference, DWORD flags) = 0;

  protected:
    ~IDirectInput8A() = default;
};
using LPDIRECTINPUT8A = IDirectInput8A*;
