// The live input from stand-in devices, the hold counters and the pressed and
// held tests, and the game's state fed from live buttons or from masks.
#include "game/input/input_state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "foundation/runtime/input.h"

namespace {

// The stand-in keyboard and pad, and what was asked of them.
uint8_t g_keys[256];
uint32_t g_pad;
int g_padIdAsked;
std::set<int> g_keysAsked;

int FakeKeyDown(int scanCode) {
    g_keysAsked.insert(scanCode);
    return scanCode >= 0 && scanCode < 256 ? g_keys[scanCode] : 1;
}

int FakePadBits(int padId) {
    g_padIdAsked = padId;
    return static_cast<int>(g_pad);
}

const InputDevices kFakeDevices = {FakeKeyDown, FakePadBits};

class LiveInput : public ::testing::Test {
  protected:
    void SetUp() override {
        memset(g_keys, 0, sizeof g_keys);
        g_pad = 0;
        g_padIdAsked = -1;
        g_keysAsked.clear();
        ConstructInputState(&live_);
        SetDefaultKeyAssignment(&live_.assignment);
        live_.padId = 1;
    }
    void Frame() { UpdateInputFrom(&live_, kFakeDevices); }

    InputState live_;
};

TEST_F(LiveInput, DefaultKeysAndPadCodesPressTheirButtons) {
    struct Source {
        const char* what;
        int key;       // scan code held, or 0
        uint32_t pad;  // pad bits set
        int button;
    };
    const Source sources[] = {
        {"up arrow", 200, 0, kButtonUp},
        {"right arrow", 205, 0, kButtonRight},
        {"down arrow", 208, 0, kButtonDown},
        {"left arrow", 203, 0, kButtonLeft},
        {"Z", 44, 0, kButtonShot},
        {"X", 45, 0, kButtonBomb},
        {"left shift", 42, 0, kButtonSlow},
        {"escape", 1, 0, kButtonPause},
        {"pad up", 0, tessel::kPadUp, kButtonUp},
        {"pad right", 0, tessel::kPadRight, kButtonRight},
        {"pad down", 0, tessel::kPadDown, kButtonDown},
        {"pad left", 0, tessel::kPadLeft, kButtonLeft},
        {"pad button 1", 0, 1u << 4, kButtonShot},
        {"pad button 2", 0, 1u << 5, kButtonBomb},
        {"pad button 3", 0, 1u << 6, kButtonSlow},
        {"pad button 4", 0, 1u << 7, kButtonPause},
    };
    for (const Source& s : sources) {
        SCOPED_TRACE(s.what);
        if (s.key != 0) {
            g_keys[s.key] = 1;
        }
        g_pad = s.pad;
        Frame();
        EXPECT_EQ(live_.currentButtons, 1u << s.button);
        if (s.key != 0) {
            g_keys[s.key] = 0;
        }
        g_pad = 0;
        Frame();
        EXPECT_EQ(live_.currentButtons, 0);
    }
    EXPECT_EQ(g_padIdAsked, 1);
}

TEST_F(LiveInput, KeyAndPadTogetherCountOnceAndReleasingOneKeepsTheButtonDown) {
    g_keys[44] = 1;
    g_pad = 1u << 4;  // pad button 1, also shot
    Frame();
    EXPECT_EQ(live_.holdFrames[kButtonShot], 1u);
    EXPECT_TRUE(IsShotPressed(live_));
    g_keys[44] = 0;
    Frame();
    EXPECT_TRUE(IsShotHeld(live_));
    EXPECT_FALSE(IsShotPressed(live_));
    EXPECT_EQ(live_.holdFrames[kButtonShot], 2u);
    g_pad = 0;
    Frame();
    EXPECT_FALSE(IsShotHeld(live_));
    EXPECT_EQ(live_.holdFrames[kButtonShot], 0u);
}

TEST_F(LiveInput, HeldThreeFramesCountsThreeAndIsPressedOnlyOnTheFirst) {
    // Every pressed and held test on its own button.
    struct Tests {
        int button;
        bool (*pressed)(const InputState&);
        bool (*held)(const InputState&);
    };
    const Tests tests[] = {
        {kButtonUp, IsUpPressed, IsUpHeld},       {kButtonRight, IsRightPressed, IsRightHeld},
        {kButtonDown, IsDownPressed, IsDownHeld}, {kButtonLeft, IsLeftPressed, IsLeftHeld},
        {kButtonShot, IsShotPressed, IsShotHeld}, {kButtonBomb, IsBombPressed, IsBombHeld},
        {kButtonSlow, nullptr, IsSlowHeld},       {kButtonPause, IsPausePressed, nullptr},
    };
    for (const Tests& t : tests) {
        SCOPED_TRACE(t.button);
        int key = live_.assignment.buttons[t.button].keyCode;
        g_keys[key] = 1;
        for (uint32_t frame = 1; frame <= 3; ++frame) {
            Frame();
            EXPECT_EQ(live_.holdFrames[t.button], frame);
            if (t.pressed != nullptr) {
                EXPECT_EQ(t.pressed(live_), frame == 1);
            }
            if (t.held != nullptr) {
                EXPECT_TRUE(t.held(live_));
            }
            EXPECT_EQ(live_.currentButtons, 1u << t.button);  // no other test's button
        }
        g_keys[key] = 0;
        Frame();
        EXPECT_EQ(live_.holdFrames[t.button], 0u);
        if (t.pressed != nullptr) {
            EXPECT_FALSE(t.pressed(live_));
        }
        if (t.held != nullptr) {
            EXPECT_FALSE(t.held(live_));
        }
    }
}

TEST_F(LiveInput, CodesThatNameNothingNeverPressTheirButton) {
    struct Binding {
        const char* what;
        int button;
        KeyBinding binding;
    };
    const Binding bindings[] = {
        {"pad code 0, key 0", kButtonShot, {0, 0}},
        {"pad button 17", kButtonShot, {17, 0}},
        {"pad code all ones", kButtonBomb, {0xFFFF, 0}},
        {"direction 5", kButtonUp, {5, 0}},
        {"key code 256", kButtonPause, {0, 256}},
        {"key code all ones", kButtonSlow, {0, 0xFFFF}},
    };
    memset(g_keys, 1, sizeof g_keys);  // every key that can be asked about is down
    for (const Binding& b : bindings) {
        SCOPED_TRACE(b.what);
        ConstructInputState(&live_);
        live_.padId = 1;
        live_.assignment.buttons[b.button] = b.binding;
        g_pad = 0xFFFFFFFF;
        g_keysAsked.clear();
        Frame();
        EXPECT_EQ(live_.currentButtons, 0);
        // A device is never asked about a code outside the scan codes.
        for (int code : g_keysAsked) {
            EXPECT_TRUE(code >= 1 && code <= 255) << code;
        }
    }
    // Pad button 16 is the highest and reaches bit 19.
    ConstructInputState(&live_);
    live_.assignment.buttons[kButtonShot] = {16, 0};
    g_pad = 1u << 19;
    Frame();
    EXPECT_TRUE(IsShotHeld(live_));
}

TEST_F(LiveInput, TheGameStateFromMasksEqualsTheGameStateFromLiveButtons) {
    InputState fromLive, fromMask;
    ConstructInputState(&fromLive);
    ConstructInputState(&fromMask);
    const uint32_t padFrames[] = {0x10, 0x10, 0x18, 0x8, 0, 0x30, 0x30, 0x30, 0x4, 0x84};
    for (uint32_t pad : padFrames) {
        g_pad = pad;
        g_keys[42] = (pad & 0x8) != 0;  // shift with the pad's up
        Frame();
        ApplyLiveInput(&fromLive, live_);
        ApplyButtonMask(&fromMask, live_.currentButtons);
        EXPECT_EQ(memcmp(&fromLive, &fromMask, sizeof fromLive), 0) << std::hex << pad;
        EXPECT_EQ(fromLive.currentButtons, live_.currentButtons);
        EXPECT_EQ(memcmp(fromLive.holdFrames, live_.holdFrames, sizeof live_.holdFrames), 0);
    }
}

TEST(MaskInput, UpThenShotMasksGiveUpHeldOnceAndShotPressedOnlyFirst) {
    InputState game;
    ConstructInputState(&game);
    ApplyButtonMask(&game, 0x0011);
    EXPECT_TRUE(IsUpHeld(game));
    EXPECT_TRUE(IsShotHeld(game));
    EXPECT_TRUE(IsShotPressed(game));
    ApplyButtonMask(&game, 0x0010);
    EXPECT_FALSE(IsUpHeld(game));
    EXPECT_TRUE(IsShotHeld(game));
    EXPECT_FALSE(IsShotPressed(game));
    EXPECT_EQ(game.holdFrames[kButtonShot], 2u);
    EXPECT_EQ(game.holdFrames[kButtonUp], 0u);
    EXPECT_EQ(game.previousButtons, 0x0011);
}

}  // namespace
