// The screen's events as other services see them: SDL's events, pushed as a
// driver reports them, reach the observers as the layer's own WindowEvent.
#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

#include "platform/window.h"
#include "tests/platform/window_test_support.h"

using namespace windowtest;

namespace {

constexpr DWORD kCaptioned = 0x80CA0000u;  // pop-up, caption, system menu, minimise box

class WindowEvents : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterTestClass("EventsTest");
        window = CreateWindowExA(0, "EventsTest", "events", kCaptioned, 10, 20, 200, 150, nullptr,
                                 nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        PumpAll();
        platform::AddWindowEventObserver(Collect, &seen);
    }
    void TearDown() override {
        platform::RemoveWindowEventObserver(Collect, &seen);
        if (IsWindow(window)) {
            DestroyWindow(window);
        }
        PumpAll();
        Log().clear();
    }
    static void Collect(const platform::WindowEvent& event, void* context) {
        static_cast<std::vector<platform::WindowEvent>*>(context)->push_back(event);
    }
    std::vector<platform::WindowEvent> Seen(platform::WindowEventKind kind) const {
        std::vector<platform::WindowEvent> out;
        for (const auto& event : seen) {
            if (event.kind == kind) {
                out.push_back(event);
            }
        }
        return out;
    }
    HWND window = nullptr;
    std::vector<platform::WindowEvent> seen;
};

TEST_F(WindowEvents, KeysArriveWithTheirWindowsCodes) {
    struct Case {
        SDL_Scancode key;
        BYTE virtualKey;
        BYTE scanCode;
        bool extended;
        BYTE sidedKey;
        BYTE directInputKey;
    };
    const Case cases[] = {
        {SDL_SCANCODE_A, 'A', 0x1E, false, 0, 0x1E},
        {SDL_SCANCODE_RCTRL, VK_CONTROL, 0x1D, true, VK_RCONTROL, 0x9D},
        {SDL_SCANCODE_LSHIFT, VK_SHIFT, 0x2A, false, VK_LSHIFT, 0x2A},
        {SDL_SCANCODE_UP, VK_UP, 0x48, true, 0, 0xC8},
        {SDL_SCANCODE_KP_ENTER, VK_RETURN, 0x1C, true, 0, 0x9C},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(SDL_GetScancodeName(c.key));
        seen.clear();
        PushKey(window, c.key, true, KMOD_CAPS);
        PushKey(window, c.key, false);
        PumpAll();
        auto downs = Seen(platform::WindowEventKind::KeyDown);
        auto ups = Seen(platform::WindowEventKind::KeyUp);
        ASSERT_EQ(downs.size(), 1u);
        ASSERT_EQ(ups.size(), 1u);
        const platform::WindowEvent& down = downs[0];
        EXPECT_EQ(down.window, window);
        EXPECT_EQ(down.virtualKey, c.virtualKey);
        EXPECT_EQ(down.scanCode, c.scanCode);
        EXPECT_EQ(down.extended, c.extended);
        EXPECT_EQ(down.sidedKey, c.sidedKey);
        EXPECT_EQ(down.directInputKey, c.directInputKey);
        EXPECT_TRUE(down.capsLock);
        EXPECT_FALSE(ups[0].capsLock);
    }
}

TEST_F(WindowEvents, MouseEventsCarryPositionMovementButtonAndWheel) {
    SDL_Event motion = {};
    motion.type = SDL_MOUSEMOTION;
    motion.motion.windowID = SdlIdOf(window);
    motion.motion.x = 31;
    motion.motion.y = 17;
    motion.motion.xrel = 5;
    motion.motion.yrel = -3;
    SDL_PushEvent(&motion);
    SDL_Event press = {};
    press.type = SDL_MOUSEBUTTONDOWN;
    press.button.windowID = SdlIdOf(window);
    press.button.button = SDL_BUTTON_RIGHT;
    press.button.clicks = 2;
    SDL_PushEvent(&press);
    SDL_Event wheel = {};
    wheel.type = SDL_MOUSEWHEEL;
    wheel.wheel.windowID = SdlIdOf(window);
    wheel.wheel.y = 2;
    wheel.wheel.direction = SDL_MOUSEWHEEL_FLIPPED;
    SDL_PushEvent(&wheel);
    PumpAll();
    auto moves = Seen(platform::WindowEventKind::MouseMove);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].window, window);
    EXPECT_EQ(moves[0].x, 31);
    EXPECT_EQ(moves[0].y, 17);
    EXPECT_EQ(moves[0].dx, 5);
    EXPECT_EQ(moves[0].dy, -3);
    auto presses = Seen(platform::WindowEventKind::MouseButtonDown);
    ASSERT_EQ(presses.size(), 1u);
    EXPECT_EQ(presses[0].button, platform::MouseButton::Right);
    EXPECT_EQ(presses[0].clicks, 2);
    auto wheels = Seen(platform::WindowEventKind::MouseWheel);
    ASSERT_EQ(wheels.size(), 1u);
    EXPECT_EQ(wheels[0].wheel, -2);  // a flipped wheel turned the other way
}

TEST_F(WindowEvents, EventsOfADestroyedWindowNameNoWindow) {
    uint32_t id = SdlIdOf(window);
    ASSERT_NE(id, 0u);
    PushWindowEvent(window, SDL_WINDOWEVENT_CLOSE);
    PumpAll();
    auto closes = Seen(platform::WindowEventKind::CloseAsked);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].window, window);
    EXPECT_FALSE(IsWindow(window));  // WM_CLOSE's default handling destroyed it
    seen.clear();
    SDL_Event late = {};
    late.type = SDL_WINDOWEVENT;
    late.window.windowID = id;
    late.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&late);
    PumpAll();
    closes = Seen(platform::WindowEventKind::CloseAsked);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].window, nullptr);
}

}  // namespace
