// Windows multimedia services: the millisecond clock, timer resolution and
// the joystick calls (backed by SDL's joysticks, in SDL's device order).
#pragma once

#include "platform/types.h"

using MMRESULT = UINT;

#define TIMERR_NOERROR 0u
#define TIMERR_NOCANDO 97u

struct TIMECAPS {
    UINT wPeriodMin;
    UINT wPeriodMax;
};
using LPTIMECAPS = TIMECAPS*;

// Milliseconds of the monotonic clock, wrapping at 2^32 as on Windows.
DWORD timeGetTime();
// The resolution is always 1 ms here; the calls check their argument and
// keep Windows' pairing rule but change nothing.
MMRESULT timeBeginPeriod(UINT period);
MMRESULT timeEndPeriod(UINT period);
MMRESULT timeGetDevCaps(LPTIMECAPS caps, UINT size);

// ---------------------------------------------------------------- joysticks
#define MMSYSERR_NOERROR 0u
#define MMSYSERR_NODRIVER 6u
#define MMSYSERR_INVALPARAM 11u
#define JOYERR_NOERROR 0u
#define JOYERR_PARMS 165u
#define JOYERR_UNPLUGGED 167u

#define JOYCAPS_HASZ 0x0001u
#define JOYCAPS_HASR 0x0002u
#define JOYCAPS_HASU 0x0004u
#define JOYCAPS_HASV 0x0008u
#define JOYCAPS_HASPOV 0x0010u
#define JOYCAPS_POV4DIR 0x0020u

#define JOY_RETURNX 0x00000001u
#define JOY_RETURNY 0x00000002u
#define JOY_RETURNZ 0x00000004u
#define JOY_RETURNR 0x00000008u
#define JOY_RETURNU 0x00000010u
#define JOY_RETURNV 0x00000020u
#define JOY_RETURNPOV 0x00000040u
#define JOY_RETURNBUTTONS 0x00000080u
#define JOY_RETURNALL 0x000000FFu
#define JOY_POVCENTERED 0xFFFFu

#define MAXPNAMELEN 32
#define MAX_JOYSTICKOEMVXDNAME 260

struct JOYCAPSA {
    WORD wMid;
    WORD wPid;
    CHAR szPname[MAXPNAMELEN];
    UINT wXmin;
    UINT wXmax;
    UINT wYmin;
    UINT wYmax;
    UINT wZmin;
    UINT wZmax;
    UINT wNumButtons;
    UINT wPeriodMin;
    UINT wPeriodMax;
    UINT wRmin;
    UINT wRmax;
    UINT wUmin;
    UINT wUmax;
    UINT wVmin;
    UINT wVmax;
    UINT wCaps;
    UINT wMaxAxes;
    UINT wNumAxes;
    UINT wMaxButtons;
    CHAR szRegKey[MAXPNAMELEN];
    CHAR szOEMVxD[MAX_JOYSTICKOEMVXDNAME];
};
using LPJOYCAPSA = JOYCAPSA*;

// Axis positions run from 0 to 65535 with 32767 at rest.
struct JOYINFOEX {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwXpos;
    DWORD dwYpos;
    DWORD dwZpos;
    DWORD dwRpos;
    DWORD dwUpos;
    DWORD dwVpos;
    DWORD dwButtons;
    DWORD dwButtonNumber;
    DWORD dwPOV;
    DWORD dwReserved1;
    DWORD dwReserved2;
};
using LPJOYINFOEX = JOYINFOEX*;

// Joystick ids 0 to 15 are the attached pads in order; a higher id, or one
// with no pad, answers JOYERR_PARMS (capabilities) or JOYERR_UNPLUGGED (position).
MMRESULT joyGetDevCapsA(UINT_PTR joystickId, LPJOYCAPSA caps, UINT size);
MMRESULT joyGetPosEx(UINT joystickId, LPJOYINFOEX info);

// ---------------------------------------------------------------------- MCI
// No MIDI device is ever opened here, so every command names a device that
// is not open and fails cleanly, as on a machine without a synthesiser.
using MCIDEVICEID = UINT;
using MCIERROR = DWORD;

#define MM_MCINOTIFY 0x03B9u
#define MCI_CLOSE 0x0804u
#define MCI_PLAY 0x0806u
#define MCI_NOTIFY 0x00000001u
#define MCI_FROM 0x00000004u
#define MCIERR_BASE 256u
#define MCIERR_INVALID_DEVICE_ID (MCIERR_BASE + 1u)

struct MCI_PLAY_PARMS {
    DWORD_PTR dwCallback;
    DWORD dwFrom;
    DWORD dwTo;
};
using LPMCI_PLAY_PARMS = MCI_PLAY_PARMS*;

MCIERROR mciSendCommandA(MCIDEVICEID device, UINT message, DWORD_PTR flags, DWORD_PTR parameters);
