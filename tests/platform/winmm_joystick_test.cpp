// The multimedia joystick calls over SDL's joysticks.
#include <SDL.h>
#include <gtest/gtest.h>

#include "platform/winmm.h"

namespace {

TEST(WinmmJoystick, PadsAnswerByIdWithPositionsFrom0To65535) {
    JOYCAPSA caps;
    JOYINFOEX info = {};
    info.dwSize = sizeof info;
    info.dwFlags = JOY_RETURNALL;
    EXPECT_EQ(joyGetDevCapsA(0, &caps, sizeof caps), JOYERR_PARMS);  // nothing attached
    EXPECT_EQ(joyGetPosEx(0, &info), JOYERR_UNPLUGGED);

    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0);
    int flat = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_FLIGHT_STICK, 2, 3, 0);
    int full = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_FLIGHT_STICK, 4, 20, 1);
    ASSERT_GE(flat, 0);
    ASSERT_GE(full, 0);
    SDL_Joystick* stick = SDL_JoystickOpen(full);

    ASSERT_EQ(joyGetDevCapsA(0, &caps, sizeof caps), JOYERR_NOERROR);
    EXPECT_EQ(caps.wCaps & (JOYCAPS_HASZ | JOYCAPS_HASR), 0u);
    EXPECT_EQ(caps.wNumButtons, 3u);
    ASSERT_EQ(joyGetDevCapsA(1, &caps, sizeof caps), JOYERR_NOERROR);
    EXPECT_EQ(caps.wCaps & (JOYCAPS_HASZ | JOYCAPS_HASR), JOYCAPS_HASZ | JOYCAPS_HASR);
    EXPECT_EQ(caps.wNumAxes, 4u);
    EXPECT_EQ(caps.wXmax, 65535u);
    EXPECT_EQ(joyGetDevCapsA(2, &caps, sizeof caps), JOYERR_PARMS);
    EXPECT_EQ(joyGetDevCapsA(16, &caps, sizeof caps), JOYERR_PARMS);
    EXPECT_EQ(joyGetDevCapsA(1, &caps, sizeof caps - 1), MMSYSERR_INVALPARAM);

    SDL_JoystickSetVirtualAxis(stick, 0, -32768);
    SDL_JoystickSetVirtualAxis(stick, 1, 32767);
    SDL_JoystickSetVirtualAxis(stick, 3, -4000);
    SDL_JoystickSetVirtualButton(stick, 0, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(stick, 19, SDL_PRESSED);
    SDL_JoystickSetVirtualHat(stick, 0, SDL_HAT_DOWN);
    ASSERT_EQ(joyGetPosEx(1, &info), JOYERR_NOERROR);
    EXPECT_EQ(info.dwXpos, 0u);
    EXPECT_EQ(info.dwYpos, 65535u);
    EXPECT_EQ(info.dwZpos, 32768u);
    EXPECT_EQ(info.dwRpos, 28768u);
    EXPECT_EQ(info.dwButtons, (1u << 0) | (1u << 19));
    EXPECT_EQ(info.dwButtonNumber, 2u);
    EXPECT_EQ(info.dwPOV, 18000u);
    ASSERT_EQ(joyGetPosEx(0, &info), JOYERR_NOERROR);
    EXPECT_EQ(info.dwButtons, 0u);
    EXPECT_EQ(info.dwPOV, JOY_POVCENTERED);

    info.dwSize = 0;
    EXPECT_EQ(joyGetPosEx(1, &info), MMSYSERR_INVALPARAM);
    info.dwSize = sizeof info;
    SDL_JoystickClose(stick);
    SDL_JoystickDetachVirtual(full);
    EXPECT_EQ(joyGetPosEx(1, &info), JOYERR_UNPLUGGED);
    SDL_JoystickDetachVirtual(flat);
}

}  // namespace
