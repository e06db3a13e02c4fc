// The input method: the screen's editing and text events become the IME's
// window messages, with the composition and result readable in code page 932.
#include <SDL.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/ime.h"
#include "platform/window.h"
#include "tests/platform/window_test_support.h"

using namespace windowtest;

namespace {

const char* Utf8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

// "かな" and "仮名" in code page 932.
const std::string kKanaCp932 = "\x82\xA9\x82\xC8";
const std::string kKanjiCp932 = "\x89\xBC\x96\xBC";

class Ime : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterTestClass("ImeTest");
        window = CreateWindowExA(0, "ImeTest", "ime", WS_OVERLAPPEDWINDOW, 10, 20, 200, 150,
                                 nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        PumpAll();
        Log().clear();
        context = ImmGetContext(window);
        ASSERT_NE(context, nullptr);
    }
    void TearDown() override {
        ImmReleaseContext(window, context);
        if (IsWindow(window)) {
            DestroyWindow(window);
        }
        PumpAll();
        Log().clear();
    }
    std::string Read(DWORD index) const {
        LONG size = ImmGetCompositionStringA(context, index, nullptr, 0);
        std::string text(static_cast<size_t>(size > 0 ? size : 0), '\0');
        ImmGetCompositionStringA(context, index, text.data(), static_cast<DWORD>(text.size()));
        return text;
    }
    std::vector<Received> ImeMessages() const {
        return Only({WM_IME_STARTCOMPOSITION, WM_IME_COMPOSITION, WM_IME_ENDCOMPOSITION});
    }
    std::string Characters() const {
        std::string out;
        for (const Received& r : Only({WM_CHAR})) {
            out.push_back(static_cast<char>(r.wParam));
        }
        return out;
    }
    HWND window = nullptr;
    HIMC context = nullptr;
};

TEST_F(Ime, ACompositionIsReadInCodePage932WithItsCursorInBytes) {
    PushEditing(window, Utf8(u8"かな"), 1);
    PumpAll();
    auto messages = ImeMessages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].message, WM_IME_STARTCOMPOSITION);
    EXPECT_EQ(messages[1].message, WM_IME_COMPOSITION);
    EXPECT_EQ(static_cast<DWORD>(messages[1].lParam), GCS_COMPSTR | GCS_CURSORPOS);
    EXPECT_EQ(Read(GCS_COMPSTR), kKanaCp932);
    EXPECT_EQ(ImmGetCompositionStringA(context, GCS_CURSORPOS, nullptr, 0), 2);
    EXPECT_EQ(Characters(), "");

    // A change of a composition under way does not start another.
    Log().clear();
    PushEditing(window, Utf8(u8"かなa"), 3);
    PumpAll();
    messages = ImeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, WM_IME_COMPOSITION);
    EXPECT_EQ(Read(GCS_COMPSTR), kKanaCp932 + "a");
    EXPECT_EQ(ImmGetCompositionStringA(context, GCS_CURSORPOS, nullptr, 0), 5);
}

TEST_F(Ime, TextThatEndsACompositionIsItsResultAndReachesTheWindowOnceAsCharacters) {
    PushEditing(window, Utf8(u8"かな"), 2);
    PushText(window, Utf8(u8"仮名"));
    PumpAll();
    auto messages = ImeMessages();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[2].message, WM_IME_COMPOSITION);
    EXPECT_NE(static_cast<DWORD>(messages[2].lParam) & GCS_RESULTSTR, 0u);
    EXPECT_EQ(messages[3].message, WM_IME_ENDCOMPOSITION);
    EXPECT_EQ(Read(GCS_RESULTSTR), kKanjiCp932);
    EXPECT_EQ(Read(GCS_COMPSTR), "");
    // The test's procedure leaves the result to DefWindowProcA, which types it.
    EXPECT_EQ(Characters(), kKanjiCp932);
}

TEST_F(Ime, TextWithoutACompositionStaysCharacters) {
    PushText(window, Utf8(u8"仮"));
    PumpAll();
    EXPECT_TRUE(ImeMessages().empty());
    EXPECT_EQ(Characters(), kKanjiCp932.substr(0, 2));
}

TEST_F(Ime, AWindowWithoutItsInputMethodGetsNoCompositionButItsText) {
    WINNLSEnableIME(window, FALSE);
    PushEditing(window, Utf8(u8"かな"), 2);
    PushText(window, Utf8(u8"仮名"));
    PumpAll();
    EXPECT_TRUE(ImeMessages().empty());
    EXPECT_EQ(Read(GCS_COMPSTR), "");
    EXPECT_EQ(Characters(), kKanjiCp932);
    WINNLSEnableIME(window, TRUE);
}

TEST_F(Ime, ClosingDropsTheCompositionAndIsToldOncePerChange) {
    EXPECT_TRUE(ImmGetOpenStatus(context));
    PushEditing(window, Utf8(u8"かな"), 2);
    PumpAll();
    Log().clear();
    EXPECT_TRUE(ImmSetOpenStatus(context, FALSE));
    EXPECT_TRUE(ImmSetOpenStatus(context, FALSE));
    EXPECT_FALSE(ImmGetOpenStatus(context));
    PumpAll();
    auto notes = Only({WM_IME_NOTIFY});
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].wParam, IMN_SETOPENSTATUS);
    EXPECT_EQ(Read(GCS_COMPSTR), "");
    auto ends = Only({WM_IME_ENDCOMPOSITION});
    EXPECT_EQ(ends.size(), 1u);

    // While closed the desktop's text is plain typing.
    Log().clear();
    PushEditing(window, Utf8(u8"かな"), 2);
    PushText(window, Utf8(u8"仮名"));
    PumpAll();
    EXPECT_TRUE(ImeMessages().empty());
    EXPECT_EQ(Characters(), kKanjiCp932);
    EXPECT_TRUE(ImmSetOpenStatus(context, TRUE));
}

TEST_F(Ime, NotifyCancelsOrCompletesAndSettingAStringStartsAComposition) {
    ASSERT_TRUE(ImmSetCompositionStringA(context, SCS_SETSTR, kKanaCp932.data(), 4, nullptr, 0));
    PumpAll();
    EXPECT_EQ(Read(GCS_COMPSTR), kKanaCp932);
    EXPECT_EQ(ImmGetCompositionStringA(context, GCS_CURSORPOS, nullptr, 0), 4);
    EXPECT_EQ(Only({WM_IME_STARTCOMPOSITION}).size(), 1u);

    Log().clear();
    ASSERT_TRUE(ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_COMPLETE, 0));
    PumpAll();
    EXPECT_EQ(Read(GCS_RESULTSTR), kKanaCp932);
    EXPECT_EQ(Characters(), kKanaCp932);
    EXPECT_EQ(Only({WM_IME_ENDCOMPOSITION}).size(), 1u);

    Log().clear();
    PushEditing(window, Utf8(u8"かな"), 2);
    PumpAll();
    ASSERT_TRUE(ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_CANCEL, 0));
    PumpAll();
    EXPECT_EQ(Read(GCS_COMPSTR), "");
    EXPECT_EQ(Characters(), "");
    EXPECT_EQ(Only({WM_IME_ENDCOMPOSITION}).size(), 1u);
}

TEST_F(Ime, ThereIsNoCandidateListAndABadWindowHasNoContext) {
    EXPECT_EQ(ImmGetCandidateListA(context, 0, nullptr, 0), 0u);
    EXPECT_EQ(ImmGetCompositionStringA(context, GCS_COMPCLAUSE, nullptr, 0), 0);
    HWND gone = CreateWindowExA(0, "ImeTest", "gone", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr,
                                nullptr, nullptr, nullptr);
    HIMC goneContext = ImmGetContext(gone);
    DestroyWindow(gone);
    EXPECT_EQ(ImmGetContext(gone), nullptr);
    EXPECT_EQ(ImmGetCompositionStringA(goneContext, GCS_COMPSTR, nullptr, 0), IMM_ERROR_GENERAL);
    EXPECT_FALSE(ImmSetOpenStatus(goneContext, FALSE));
}

}  // namespace
