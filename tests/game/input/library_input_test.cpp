// The live input read through the library: a real key and a virtual pad.
#include <SDL.h>
#include <gtest/gtest.h>

#include "foundation/runtime/input.h"
#include "game/input/input_state.h"
#include "platform/dinput_testing.h"
#include "tests/foundation/runtime/library_test_support.h"

namespace {

using tessel_test::PushKey;

class LibraryInput : public tessel_test::LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        platform::SetDirectInputAvailable(true, true);
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER), 0);
        ConstructInputState(&live_);
        SetDefaultKeyAssignment(&live_.assignment);
        live_.padId = 1;
    }
    void TearDown() override {
        LibraryTest::TearDown();
        if (stick_ != nullptr) {
            SDL_JoystickClose(stick_);
        }
        while (SDL_NumJoysticks() > 0) {
            SDL_JoystickDetachVirtual(0);
        }
    }

    // One frame of the main loop: messages, then the live input.
    void Frame() {
        tessel::PumpMessages();
        SDL_Delay(2);  // the keyboard is read at most once a millisecond
        tessel::PumpMessages();
        UpdateInput(&live_);
    }

    InputState live_;
    SDL_Joystick* stick_ = nullptr;
};

TEST_F(LibraryInput, BeforeTheLibraryStartsEveryButtonIsUp) {
    UpdateInput(&live_);
    EXPECT_EQ(live_.currentButtons, 0);
}

TEST_F(LibraryInput, AKeyAndAPadButtonReachTheirButtonsAndThePadsKeyMapDoesNot) {
    int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 8, 0);
    ASSERT_GE(index, 0) << SDL_GetError();
    stick_ = SDL_JoystickOpen(index);
    ASSERT_EQ(tessel::StartLibrary(), 0);
    ASSERT_EQ(tessel::g_input.padCount, 1);
    // Pause on pad button 10, which the library's own key map puts on space.
    live_.assignment.buttons[kButtonPause].padCode = 10;

    PushKey(SDL_SCANCODE_Z, true);
    SDL_JoystickSetVirtualButton(stick_, 1, SDL_PRESSED);  // pad button 2: bomb
    Frame();
    EXPECT_EQ(live_.currentButtons, (1u << kButtonShot) | (1u << kButtonBomb));

    PushKey(SDL_SCANCODE_Z, false);
    PushKey(SDL_SCANCODE_SPACE, true);
    SDL_JoystickSetVirtualButton(stick_, 1, SDL_RELEASED);
    Frame();
    EXPECT_EQ(live_.currentButtons, 0);
    PushKey(SDL_SCANCODE_SPACE, false);
    Frame();
}

}  // namespace
