// MCI without devices: nothing opens one, so each command is refused with
// the error of a device id that is not open, and no notification is posted.
#include "platform/winmm.h"

MCIERROR mciSendCommandA(MCIDEVICEID, UINT, DWORD_PTR, DWORD_PTR) {
    return MCIERR_INVALID_DEVICE_ID;
}
