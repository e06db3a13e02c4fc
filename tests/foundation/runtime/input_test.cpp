#include <SDL.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/runtime/input.h"
#include "foundation/runtime/public_call_lock.h"
#include "foundation/runtime/system_state.h"
#include "platform/dinput.h"
#include "tests/foundation/runtime/library_test_support.h"

namespace {

using tessel_test::LibraryTest;

class Input : public LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        platform::SetDirectInputAvailable(true, true);
        tessel::g_input.noDirectInput = 0;
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER), 0);
    }
    void TearDown() override {
        LibraryTest::TearDown();
        for (SDL_Joystick* stick : sticks) {
            SDL_JoystickClose(stick);
        }
        while (SDL_NumJoysticks() > 0) {
            SDL_JoystickDetachVirtual(0);
        }
        platform::SetDirectInputAvailable(true, true);
        tessel::g_input.noDirectInput = 0;
    }

    // A virtual pad, opened so that the test can move it.
    SDL_Joystick* Attach(int axes, int buttons) {
        int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_FLIGHT_STICK, axes, buttons, 0);
        EXPECT_GE(index, 0) << SDL_GetError();
        SDL_Joystick* stick = SDL_JoystickOpen(index);
        sticks.push_back(stick);
        return stick;
    }

    static void PushKey(SDL_Scancode code, bool down) {
        SDL_Event event = {};
        event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        event.key.keysym.scancode = code;
        event.key.keysym.sym = SDL_GetKeyFromScancode(code);
        SDL_PushEvent(&event);
    }

    // One frame, which takes the key messages and refreshes the keyboard.
    static void Frame() {
        tessel::PumpMessages();
        SDL_Delay(2);  // the next refresh is at least a millisecond later
        tessel::PumpMessages();
    }

    // The log ends its lines with CR LF.
    static std::string Crlf(std::string text) {
        for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2)) {
            text.insert(at, "\r");
        }
        return text;
    }
    bool Has(const std::string& text) { return Log().find(Crlf(text)) != std::string::npos; }

    int Count(std::string text) {
        text = Crlf(text);
        std::string log = Log();
        int n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
            ++n;
        }
        return n;
    }

    std::vector<SDL_Joystick*> sticks;
};

TEST_F(Input, StartsDirectInputSevenAndEndsIt) {
    ASSERT_EQ(tessel::StartLibrary(), 0);
    EXPECT_NE(tessel::g_input.directInput, nullptr);
    EXPECT_NE(tessel::g_input.directInput, tessel::kFallbackMarker);
    EXPECT_EQ(tessel::g_input.version8, 0);
    EXPECT_NE(tessel::g_input.keyboard, nullptr);
    EXPECT_NE(tessel::g_input.mouse, nullptr);
    tessel::EndLibrary();
    EXPECT_EQ(tessel::g_input.directInput, nullptr);
    for (const char* line :
         {"DirectInput関係初期化処理\n", "DirectInput7 の取得中... 成功\n",
          "引き続き初期化処理... 初期化成功\n", "ジョイパッドの初期化... \n",
          "ジョイパッドの初期化は正常に終了しました\n", "マウスデバイスの初期化... 初期化成功\n",
          "キーボードデバイスの初期化... 初期化成功\n",
          "DirectInput 関連の初期化は正常に終了しました\n",
          "DirectInput 関連の終了処理... 完了\n"}) {
        EXPECT_TRUE(Has(line)) << line;
    }
}

TEST_F(Input, TakesVersionEightWhenSevenIsMissingAndTheFallbackWithoutEither) {
    platform::SetDirectInputAvailable(false, true);
    SDL_Joystick* stick = Attach(2, 2);
    ASSERT_EQ(tessel::StartLibrary(), 0);
    EXPECT_EQ(tessel::g_input.version8, 1);
    ASSERT_EQ(tessel::g_input.padCount, 1);  // pads come from version 8's devices too
    SDL_JoystickSetVirtualAxis(stick, 1, -32768);
    SDL_Delay(2);
    EXPECT_EQ(tessel::ReadPadBits(1), 0x8);
    EXPECT_TRUE(Has("取得に失敗。\n"));
    EXPECT_TRUE(Has("DirectInput8 の取得を試みます...成功\n"));
    tessel::EndLibrary();

    platform::SetDirectInputAvailable(false, false);
    ASSERT_EQ(tessel::StartLibrary(), 0);
    EXPECT_EQ(tessel::g_input.directInput, tessel::kFallbackMarker);
    EXPECT_EQ(tessel::g_input.noDirectInput, 1);
    EXPECT_EQ(tessel::g_input.padCount, 16);
    EXPECT_TRUE(Has("DirectInput を使用しません。\n"));
    EXPECT_TRUE(Has("パッドの数は 1 個です\n"));
    EXPECT_TRUE(Has("入力関連の初期化をしました\n"));
    tessel::EndLibrary();
    EXPECT_TRUE(Has("入力関連の終了処理... 完了\n"));

    // Once neither version was usable, a later start goes straight to the fallback.
    platform::SetDirectInputAvailable(true, true);
    ASSERT_EQ(tessel::StartLibrary(), 0);
    EXPECT_EQ(tessel::g_input.directInput, tessel::kFallbackMarker);
}

// The window keyboard state (this platform reports Windows 7) and the
// DirectInput keyboard device (an older system) give the same bits.
TEST_F(Input, PadBitsFromKeysThroughEitherKeyboardPath) {
    struct Key {
        SDL_Scancode key;
        int bits;  // of pad 1's default map
    };
    const Key keys[] = {
        {SDL_SCANCODE_Z, 0x10},       {SDL_SCANCODE_ESCAPE, 0x1000}, {SDL_SCANCODE_DOWN, 0x1},
        {SDL_SCANCODE_KP_4, 0x2},     {SDL_SCANCODE_RIGHT, 0x4},     {SDL_SCANCODE_KP_8, 0x8},
        {SDL_SCANCODE_SPACE, 0x2000}, {SDL_SCANCODE_W, 0x800},       {SDL_SCANCODE_M, 0},
    };
    ASSERT_EQ(tessel::StartLibrary(), 0);
    for (int32_t os : {tessel::kOsWindows7, tessel::kOsWindowsXp}) {
        tessel::g_system.info.osCode = os;
        for (const Key& k : keys) {
            PushKey(k.key, true);
            Frame();
            EXPECT_EQ(tessel::ReadPadBits(tessel::kPadKeyboard), k.bits)
                << SDL_GetScancodeName(k.key) << " os " << os;
            EXPECT_EQ(tessel::ReadPadBits(1), 0);  // no pad, no keyboard bit
            PushKey(k.key, false);
            Frame();
            EXPECT_EQ(tessel::ReadPadBits(tessel::kPadKeyboard), 0);
        }
        PushKey(SDL_SCANCODE_Z, true);
        Frame();
        EXPECT_EQ(tessel::IsKeyPressed(0x2C), 1);
        EXPECT_EQ(tessel::IsKeyPressed(0x2D), 0);
        EXPECT_EQ(tessel::IsKeyPressed(300), 0);
        EXPECT_EQ(tessel::IsKeyPressed(-1), 0);
        // Pads past the sixteenth have no key map: only their pad part (none).
        EXPECT_EQ(tessel::ReadPadBits(tessel::kPadKeyboard | 17), 0);
        EXPECT_EQ(tessel::ReadPadBits(tessel::kPadKeyboard | 0xFFF), 0);
        EXPECT_EQ(tessel::ReadPadBits(tessel::kPadKeyboard | 16), 0);  // pad 16's map is empty
        PushKey(SDL_SCANCODE_Z, false);
        Frame();
    }
}

TEST_F(Input, PadBitsFromAPadMergedWithItsKeys) {
    SDL_Joystick* stick = Attach(2, 30);
    ASSERT_EQ(tessel::StartLibrary(), 0);
    ASSERT_EQ(tessel::g_input.padCount, 1);
    EXPECT_EQ(tessel::ReadPadBits(1), 0);
    SDL_JoystickSetVirtualAxis(stick, 0, -32768);
    SDL_JoystickSetVirtualButton(stick, 0, SDL_PRESSED);
    SDL_Delay(2);
    EXPECT_EQ(tessel::ReadPadBits(1), 0x12);  // left and button 0
    EXPECT_EQ(tessel::ReadPadBits(3), 0);     // one pad only
    SDL_JoystickSetVirtualAxis(stick, 0, 0);
    SDL_JoystickSetVirtualAxis(stick, 1, 32767);
    SDL_JoystickSetVirtualButton(stick, 0, SDL_RELEASED);
    SDL_JoystickSetVirtualButton(stick, 23, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(stick, 24, SDL_PRESSED);  // beyond the mask's 24 buttons
    SDL_Delay(2);
    EXPECT_EQ(tessel::ReadPadBits(1), 0x1 | (1 << 27));
    // Inside the dead zone the stick reads as centred.
    SDL_JoystickSetVirtualAxis(stick, 1, 8000);
    SDL_Delay(2);
    EXPECT_EQ(tessel::ReadPadBits(1) & 0xF, 0);

    PushKey(SDL_SCANCODE_X, true);
    Frame();
    EXPECT_EQ(tessel::ReadPadBits(tessel::kPadKeyboard | 1), (1 << 27) | 0x20);
    EXPECT_EQ(tessel::ReadPadBits(tessel::kPadKeyboard), 0x20);
    PushKey(SDL_SCANCODE_X, false);
    Frame();
}

TEST_F(Input, FallbackAxisTable) {
    struct Case {
        DWORD position;
        int32_t value;
    };
    const Case cases[] = {
        {0, -1000}, {1, -999},  {12288, -500}, {24575, 0},   {24576, 0},   {30000, 0},
        {32767, 0}, {40960, 0}, {40961, 0},    {53248, 500}, {65534, 999}, {65535, 1000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tessel::FallbackAxisValue(c.position), c.value) << c.position;
    }
}

TEST_F(Input, FallbackReadsPadsThroughTheJoystickCalls) {
    platform::SetDirectInputAvailable(false, false);
    SDL_Joystick* plain = Attach(2, 4);
    SDL_Joystick* full = Attach(4, 4);
    ASSERT_EQ(tessel::StartLibrary(), 0);
    ASSERT_EQ(tessel::g_input.directInput, tessel::kFallbackMarker);
    EXPECT_EQ(tessel::g_input.pads[0].hasZAndR, 0);
    EXPECT_EQ(tessel::g_input.pads[1].hasZAndR, 1);
    SDL_JoystickSetVirtualAxis(plain, 0, 12288 - 32768);  // position 12288: -500
    SDL_JoystickSetVirtualAxis(plain, 1, 30000 - 32768);  // position 30000: 0
    SDL_JoystickSetVirtualButton(plain, 3, SDL_PRESSED);
    SDL_JoystickSetVirtualAxis(full, 2, 32767);
    SDL_JoystickSetVirtualAxis(full, 3, -32768);
    SDL_Delay(2);
    EXPECT_EQ(tessel::ReadPadBits(1), 0x2 | 0x80);
    EXPECT_EQ(tessel::g_input.pads[0].state.lX, -500);
    EXPECT_EQ(tessel::g_input.pads[0].state.lY, 0);
    tessel::ReadPadBits(2);
    EXPECT_EQ(tessel::g_input.pads[1].state.lZ, 1000);
    EXPECT_EQ(tessel::g_input.pads[1].state.lRz, -1000);
    EXPECT_EQ(tessel::ReadPadBits(5), 0);  // every id is polled; nothing there reads as released
}

TEST_F(Input, RefreshesAtMostOncePerMillisecond) {
    Attach(2, 2);
    ASSERT_EQ(tessel::StartLibrary(), 0);
    for (int32_t os : {tessel::kOsWindowsXp, tessel::kOsWindows7}) {
        tessel::g_system.info.osCode = os;
        int sameMillisecond = 0;
        tessel::LockPublicCall();  // the window keyboard state is read by the lock's holder only
        for (int i = 0; i < 200 && sameMillisecond < 5; ++i) {
            SDL_Delay(1);
            int before = tessel::ReadMillisecondClock();
            int first = tessel::RefreshKeyboardState();
            int second = tessel::RefreshKeyboardState();
            if (tessel::ReadMillisecondClock() == before) {
                EXPECT_EQ(first, 1) << "os " << os;
                EXPECT_EQ(second, 0) << "os " << os;
                ++sameMillisecond;
            }
        }
        tessel::UnlockPublicCall();
        EXPECT_GT(sameMillisecond, 0);
    }
    // Outside the lock the window keyboard state is not read at all.
    SDL_Delay(2);
    EXPECT_EQ(tessel::RefreshKeyboardState(), 0);

    // A pad is polled once per millisecond as well (unless its event says it
    // changed): a change within the millisecond of a poll shows only later.
    SDL_Joystick* stick = sticks[0];
    EXPECT_EQ(tessel::RefreshPadState(16), -1);
    EXPECT_EQ(tessel::RefreshPadState(-1), -1);
    bool seen = false;
    for (int i = 0; i < 200 && !seen; ++i) {
        SDL_JoystickSetVirtualButton(stick, 0, SDL_RELEASED);
        SDL_Delay(2);
        tessel::RefreshPadState(0);
        SDL_Delay(2);
        tessel::RefreshPadState(0);  // the change's event is taken
        int before = tessel::ReadMillisecondClock();
        tessel::RefreshPadState(0);
        SDL_JoystickSetVirtualButton(stick, 0, SDL_PRESSED);
        tessel::RefreshPadState(0);
        if (tessel::ReadMillisecondClock() == before) {
            EXPECT_EQ(tessel::g_input.pads[0].state.rgbButtons[0], 0);
            seen = true;
        }
    }
    EXPECT_TRUE(seen);
    SDL_Delay(2);
    tessel::RefreshPadState(0);
    EXPECT_EQ(tessel::g_input.pads[0].state.rgbButtons[0], 0x80);
}

TEST_F(Input, APadReadStoppedByTheQuitAnswersMinusOne) {
    Attach(2, 2);
    ASSERT_EQ(tessel::StartLibrary(), 0);
    ASSERT_EQ(tessel::g_input.padCount, 1);
    SDL_Delay(2);
    EXPECT_EQ(tessel::RefreshPadState(0), 0);
    // A read that fails sends the pump round; a quit it brings stops the read.
    tessel::g_input.pads[0].device->Unacquire();
    tessel::g_system.quit = 1;
    SDL_Delay(2);
    EXPECT_EQ(tessel::RefreshPadState(0), -1);
    tessel::g_system.quit = 0;
}

// A pad device that notes the calls that change its use, then passes every
// call on to the real one.
class RecordingPad final : public IDirectInputDevice7A {
  public:
    explicit RecordingPad(IDirectInputDevice7A* real) : real_(real) {}
    std::vector<std::string> calls;

    HRESULT QueryInterface(REFIID iid, void** object) override {
        return real_->QueryInterface(iid, object);
    }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT GetDeviceState(DWORD size, LPVOID data) override {
        return real_->GetDeviceState(size, data);
    }
    HRESULT SetDataFormat(LPCDIDATAFORMAT format) override { return real_->SetDataFormat(format); }
    HRESULT SetEventNotification(HANDLE event) override {
        return real_->SetEventNotification(event);
    }
    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override {
        calls.push_back("level " + std::to_string(flags) +
                        (window == tessel::g_system.mainWindow ? "" : " (another window)"));
        return real_->SetCooperativeLevel(window, flags);
    }
    HRESULT SetProperty(DIPROPID property, LPCDIPROPHEADER header) override {
        return real_->SetProperty(property, header);
    }
    HRESULT Acquire() override {
        calls.push_back("acquire");
        return real_->Acquire();
    }
    HRESULT Unacquire() override {
        calls.push_back("unacquire");
        return real_->Unacquire();
    }
    HRESULT GetDeviceInfo(DIDEVICEINSTANCEA* instance) override {
        return real_->GetDeviceInfo(instance);
    }
    HRESULT Poll() override { return real_->Poll(); }
    HRESULT CreateEffect(const GUID& effect, LPCDIEFFECT parameters, LPDIRECTINPUTEFFECT* out,
                         LPUNKNOWN outer) override {
        return real_->CreateEffect(effect, parameters, out, outer);
    }

  private:
    IDirectInputDevice7A* real_;
};

TEST_F(Input, ReacquiringTakesPadsExclusivelyOnlyWhileActive) {
    Attach(2, 2);
    ASSERT_EQ(tessel::StartLibrary(), 0);
    ASSERT_EQ(tessel::g_input.padCount, 1);
    IDirectInputDevice7A* real = tessel::g_input.pads[0].device;
    RecordingPad pad(real);
    tessel::g_input.pads[0].device = &pad;
    const int wasActive = tessel::g_system.active;
    tessel::g_system.active = 1;
    EXPECT_EQ(tessel::ReacquireInputDevices(), 0);
    tessel::g_system.active = 0;
    EXPECT_EQ(tessel::ReacquireInputDevices(), 0);
    tessel::g_system.active = wasActive;
    tessel::g_input.pads[0].device = real;
    // Flags 5 (exclusive) while active, 10 (shared and background) while
    // not; each time released first and taken again after.
    EXPECT_EQ(pad.calls, (std::vector<std::string>{"unacquire", "level 5", "acquire", "unacquire",
                                                   "level 10", "acquire"}));
}

TEST_F(Input, MoreThanSixteenPadsEnumerateAsSixteen) {
    for (int i = 0; i < 18; ++i) {
        Attach(2, 2);
    }
    ASSERT_EQ(tessel::StartLibrary(), 0);
    EXPECT_EQ(tessel::g_input.padCount, 16);
    EXPECT_EQ(Count("ジョイパッドの追加は正常に終了しました\n"), 16);
    EXPECT_EQ(Count("入力装置を見つけました\n"), 16);
    SDL_JoystickSetVirtualButton(sticks[15], 1, SDL_PRESSED);
    SDL_Delay(2);
    EXPECT_EQ(tessel::ReadPadBits(16), 0x20);
    EXPECT_EQ(tessel::ReadPadBits(17), 0);
}

TEST_F(Input, PadThatCannotBeSetUpIsSkipped) {
    Attach(2, 2);
    Attach(0, 4);  // no X axis
    Attach(1, 4);  // no Y axis
    SDL_Joystick* third = Attach(2, 2);
    ASSERT_EQ(tessel::StartLibrary(), 0);
    EXPECT_EQ(tessel::g_input.padCount, 2);
    EXPECT_EQ(Count("ジョイパッドデバイスのＸ軸関係の設定に失敗しました\n"), 1);
    EXPECT_EQ(Count("ジョイパッドデバイスのＹ軸関係の設定に失敗しました\n"), 1);
    // Without rumble no effect can be made; the pads are used all the same.
    EXPECT_EQ(Count("周期的エフェクトの作成に失敗しました。\n"), 2);
    SDL_JoystickSetVirtualButton(third, 1, SDL_PRESSED);
    SDL_Delay(2);
    EXPECT_EQ(tessel::ReadPadBits(2), 0x20);
}

TEST_F(Input, ActivationReacquiresAndVibrationStaysOff) {
    Attach(2, 2);
    ASSERT_EQ(tessel::StartLibrary(), 0);
    ASSERT_EQ(tessel::g_input.padCount, 1);
    tessel::g_input.pads[0].vibrationPower = 1;
    tessel::g_input.pads[0].vibrationDuration = 0;
    tessel::g_input.pads[0].vibrationLastTick = tessel::ReadMillisecondClock();
    tessel::TickPadVibration();  // the duration is reached at once
    EXPECT_EQ(tessel::g_input.pads[0].vibrationPower, 0);
    EXPECT_EQ(tessel::g_input.pads[0].vibrationSecondPower, 10000);
    EXPECT_EQ(tessel::EndPadVibration(17), -1);
    EXPECT_EQ(tessel::ReacquireInputDevices(), 0);
    EXPECT_EQ(tessel::ReadPadBits(1), 0);
}

}  // namespace

namespace {

// Without a window there is nothing to read input for: the queries answer 0
// and start nothing (neither wait for an activation that cannot come nor end
// the process over a device that needs the window).
TEST_F(Input, QueriesBeforeStartUpAnswerZero) {
    EXPECT_EQ(tessel::IsKeyPressed(0x2C), 0);
    EXPECT_EQ(tessel::ReadPadBits(tessel::kPadKeyboard | 1), 0);
    EXPECT_EQ(tessel::g_input.directInput, nullptr);
    ASSERT_EQ(tessel::StartLibrary(), 0);
    tessel::EndLibrary();
    EXPECT_EQ(tessel::IsKeyPressed(0x2C), 0);
    EXPECT_EQ(tessel::g_input.directInput, nullptr);
}

}  // namespace

namespace {

// The keyboard refresh of a frame must not take messages beyond the frame's
// five, whichever keyboard it reads.
TEST_F(Input, FrameKeyboardRefreshTakesNoMoreMessages) {
    constexpr UINT kProbe = WM_USER + 77;
    ASSERT_EQ(tessel::StartLibrary(), 0);
    for (int32_t os : {tessel::kOsWindows7, tessel::kOsWindowsXp}) {
        tessel::g_system.info.osCode = os;
        for (int i = 0; i < 20; ++i) {
            tessel::PumpMessages();
        }
        SDL_Delay(2);  // a new millisecond: the frame reads the keyboard
        for (UINT i = 0; i < 6; ++i) {
            PostMessageA(tessel::GetMainWindow(), kProbe, i, 0);
        }
        EXPECT_EQ(tessel::PumpMessages(), 0);
        MSG left;
        ASSERT_TRUE(PeekMessageA(&left, nullptr, kProbe, kProbe, PM_REMOVE)) << "os " << os;
        EXPECT_EQ(left.wParam, 5u);
    }
}

}  // namespace
