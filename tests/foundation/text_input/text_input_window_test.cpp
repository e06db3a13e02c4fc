// Text input in a started library: the window procedure fills the ring from
// typed characters, editing keys and the input method's messages, and each
// frame's pump hands the ring to the active field.
#include <SDL.h>
#include <gtest/gtest.h>

#include <string>

#include "foundation/text_input/text_input.h"
#include "foundation/text_input/text_input_testing.h"
#include "platform/ime.h"
#include "tests/foundation/runtime/library_test_support.h"
#include "tests/platform/window_test_support.h"

using namespace tessel;
using tessel_test::LibraryTest;

namespace {

const char* Utf8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

// "かな" and "仮名" in code page 932.
const std::string kKanaCp932 = "\x82\xA9\x82\xC8";
const std::string kKanjiCp932 = "\x89\xBC\x96\xBC";

class TextInputWindow : public LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        EnableImeInput(1);
        ASSERT_EQ(StartLibrary(), 0);
        window = GetMainWindow();
        DrainMessages();
    }
    void TearDown() override {
        EnableImeInput(0);
        LibraryTest::TearDown();
    }
    // What waits in the ring, taken out.
    static std::string TakeRing() {
        std::string out;
        char bytes[2];
        for (int count; (count = TakeInputChar(bytes, 1)) != 0;) {
            out.append(bytes, static_cast<size_t>(count));
        }
        return out;
    }
    HWND window = nullptr;
};

TEST_F(TextInputWindow, ACompositionAndItsResultReachTheRingInCodePage932) {
    windowtest::PushEditing(window, Utf8(u8"かな"), 1);
    DrainMessages();
    const ImeState& ime = CurrentImeState();
    EXPECT_EQ(ime.composing, 1);
    EXPECT_EQ(std::string(ime.composition), kKanaCp932);
    EXPECT_EQ(ime.compositionCursor, 1);
    EXPECT_EQ(ime.used, 1);
    EXPECT_EQ(TakeRing(), "");

    windowtest::PushText(window, Utf8(u8"仮名"));
    DrainMessages();
    EXPECT_EQ(ime.composing, 0);
    EXPECT_EQ(std::string(ime.composition), "");
    EXPECT_EQ(TakeRing(), kKanjiCp932);  // once: not typed a second time as characters
}

TEST_F(TextInputWindow, TheActiveFieldTakesTypedTextEachFrame) {
    int handle = CreateTextInputForTesting({});
    SetActiveTextInputForTesting(handle);
    windowtest::PushEditing(window, Utf8(u8"かな"), 2);
    windowtest::PushText(window, Utf8(u8"仮名"));
    DrainMessages();
    PostMessageA(window, WM_CHAR, 'x', 0);
    PostMessageA(window, WM_KEYDOWN, VK_LEFT, 0);
    PostMessageA(window, WM_CHAR, 10, 0);  // a line feed is Enter
    DrainMessages();
    TextInputRecord* record = FindTextInput(handle);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(std::string(record->text), kKanjiCp932 + "x");
    EXPECT_EQ(record->cursor, 4);
    EXPECT_EQ(record->ended, 1);
}

TEST_F(TextInputWindow, TheWindowPassesOnlyTheControlCharactersFieldsUse) {
    for (WPARAM c : {1, 2, 3, 8, 9, 10, 13, 16, 22, 24, 27, 31, 0x7F}) {
        PostMessageA(window, WM_CHAR, c, 0);
    }
    PostMessageA(window, WM_KEYDOWN, VK_DELETE, 0);
    PostMessageA(window, WM_KEYDOWN, VK_F1, 0);  // no control character
    DrainMessages();
    EXPECT_EQ(TakeRing(), std::string("\x01\x03\x08\x09\x0D\x0D\x10\x16\x18\x1B\x7F\x10"));
}

TEST_F(TextInputWindow, ACompositionLongerThanTheFieldTakesIsCut) {
    TextFieldOptions three;
    three.maxLength = 3;
    int handle = CreateTextInputForTesting(three);
    SetActiveTextInputForTesting(handle);
    windowtest::PushEditing(window, Utf8(u8"かなa"), 3);
    DrainMessages();
    EXPECT_EQ(std::string(CurrentImeState().composition), kKanaCp932.substr(0, 2));
    HIMC context = ImmGetContext(window);
    char text[16] = {};
    EXPECT_EQ(ImmGetCompositionStringA(context, GCS_COMPSTR, text, sizeof text), 2);
    ImmReleaseContext(window, context);
}

TEST_F(TextInputWindow, ReactivationReopensTheImeAndKeepsTheComposition) {
    // The IME reports itself open (the fields see it through its notification).
    HIMC context = ImmGetContext(window);
    ImmSetOpenStatus(context, FALSE);
    ImmSetOpenStatus(context, TRUE);
    ImmReleaseContext(window, context);
    windowtest::PushEditing(window, Utf8(u8"かな"), 2);
    DrainMessages();
    ASSERT_EQ(CurrentImeState().open, 1);
    RequestImeReopen();
    EXPECT_EQ(CurrentImeState().resetStep, 1);
    for (int frame = 0; frame < 4; ++frame) {
        PumpMessages();
    }
    DrainMessages();
    const ImeState& ime = CurrentImeState();
    EXPECT_EQ(ime.resetStep, 0);
    EXPECT_EQ(ime.open, 1);
    EXPECT_EQ(ime.composing, 1);
    EXPECT_EQ(std::string(ime.composition), kKanaCp932);
}

TEST_F(TextInputWindow, DeletingTheLastFieldSwitchesTheImeOff) {
    int handle = CreateTextInputForTesting({});
    EXPECT_EQ(IsImeInputEnabled(), 1);
    EXPECT_EQ(DeleteTextInput(handle), 0);
    EXPECT_EQ(IsImeInputEnabled(), 0);
    windowtest::PushEditing(window, Utf8(u8"かな"), 2);
    DrainMessages();
    EXPECT_EQ(CurrentImeState().composing, 0);
}

TEST_F(TextInputWindow, StartUpAndAnEmptyCandidateListAreLogged) {
    SendMessageA(window, WM_IME_NOTIFY, IMN_OPENCANDIDATE, 0);
    EXPECT_EQ(CurrentImeState().candidateList, nullptr);
    EndLibrary();
    std::string log = Log();
    EXPECT_NE(log.find("文字コードバッファの初期化を行います... 完了しました\r\n"),
              std::string::npos);
    EXPECT_NE(log.find("漢字変換候補のデータサイズが０でした  DefHWND:0 IMC:"), std::string::npos);
}

}  // namespace
