// The character ring and the editing of the active text field, frame by frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/base/charset.h"
#include "foundation/runtime/main_window.h"
#include "foundation/text_input/text_input.h"
#include "foundation/text_input/text_input_internal.h"
#include "foundation/text_input/text_input_testing.h"

using namespace tessel;

namespace {

// Code page 932: "あ" and "ぁ" (whose trail byte 0x9F is also a lead byte).
const std::string kA = "\x82\xA0";
const std::string kSmallA = "\x82\x9F";

class TextFields : public ::testing::Test {
  protected:
    void SetUp() override {
        LibraryCharSet = kCharSetShiftJis;
        StartTextInput();
    }
    void TearDown() override {
        SetShiftHeldForTesting(-1);
        DeleteAllTextInputs();
    }
    // A field holding `text`, made the active one.
    int Field(const std::string& text, TextFieldOptions options = {}) {
        int handle = CreateTextInputForTesting(options, text.c_str());
        EXPECT_NE(handle, -1);
        SetActiveTextInputForTesting(handle);
        return handle;
    }
    // The bytes are typed and the frame's update runs.
    static void Type(const std::string& bytes) {
        for (char c : bytes) {
            ASSERT_EQ(PushInputChar(static_cast<uint8_t>(c)), 0);
        }
        ASSERT_EQ(UpdateTextInput(), 0);
    }
    static std::string Text(int handle) { return FindTextInput(handle)->text; }
    static int Cursor(int handle) { return FindTextInput(handle)->cursor; }
};

TEST_F(TextFields, TheRingHolds1024BytesAndRefusesThe1025th) {
    for (int i = 0; i < 1024; ++i) {
        ASSERT_EQ(PushInputChar('a' + i % 26), 0) << i;
    }
    EXPECT_EQ(InputRingHasRoom(), 0);
    EXPECT_EQ(PushInputChar('z'), -1);
    char out[2];
    ASSERT_EQ(TakeInputChar(out, 1), 1);
    EXPECT_EQ(out[0], 'a');
    EXPECT_EQ(PushInputChar('z'), 0);  // room again, and the write index wraps
    int taken = 0;
    char last = 0;
    while (TakeInputChar(out, 1) != 0) {
        last = out[0];
        ++taken;
    }
    EXPECT_EQ(taken, 1024);
    EXPECT_EQ(last, 'z');
}

TEST_F(TextFields, ALeadByteWaitsForItsTrailByte) {
    char out[2] = {};
    ASSERT_EQ(PushInputChar(0x82), 0);
    EXPECT_EQ(TakeInputChar(out, 1), 0);
    ASSERT_EQ(PushInputChar(0xA0), 0);
    EXPECT_EQ(TakeInputChar(out, 0), 2);  // only looks
    EXPECT_EQ(std::string(out, 2), kA);
    EXPECT_EQ(TakeInputChar(out, 1), 2);
    EXPECT_EQ(TakeInputChar(out, 1), 0);
}

// Every byte that comes out of the ring, in order, a character per entry.
std::vector<std::string> DrainRing() {
    std::vector<std::string> out;
    char bytes[2];
    for (int count; (count = TakeInputChar(bytes, 1)) != 0;) {
        out.emplace_back(bytes, static_cast<size_t>(count));
    }
    return out;
}

TEST_F(TextFields, TheRingTakesWholeCharactersOnly) {
    for (int i = 0; i < 1023; ++i) {
        ASSERT_EQ(PushInputChar('a'), 0) << i;
    }
    // One byte of room: a double-byte character goes in whole or not at all.
    EXPECT_EQ(PushInputChar(0x82), -1);
    EXPECT_EQ(PushInputChar(0xA0), -1) << "the trail byte goes with its lead byte";
    EXPECT_EQ(PushInputChar('b'), 0);
    std::vector<std::string> taken = DrainRing();
    ASSERT_EQ(taken.size(), 1024u);
    EXPECT_EQ(taken.back(), "b");

    // Text pushed at once (the input method's result) stops at the first
    // character that does not fit and leaves out a lead byte without trail.
    for (int i = 0; i < 1021; ++i) {
        ASSERT_EQ(PushInputChar('a'), 0) << i;
    }
    const std::string result = "c" + kA + "d";
    EXPECT_EQ(PushInputText(result.data(), static_cast<int>(result.size())), 3);
    EXPECT_EQ(PushInputChar('e'), -1) << "full";
    taken = DrainRing();
    ASSERT_EQ(taken.size(), 1023u);
    EXPECT_EQ(taken[1021], "c");
    EXPECT_EQ(taken[1022], kA);
    const std::string cut = "f\x82";
    EXPECT_EQ(PushInputText(cut.data(), static_cast<int>(cut.size())), 1);
    ASSERT_EQ(PushInputChar('g'), 0);
    EXPECT_EQ(DrainRing(), (std::vector<std::string>{"f", "g"}));
}

TEST_F(TextFields, EditingKeysBecomeTheirControlCharacters) {
    const struct {
        int key;
        uint8_t character;
    } cases[] = {{0x2E, 0x10}, {0x25, 0x1D}, {0x27, 0x1C}, {0x26, 0x1E}, {0x28, 0x1F},
                 {0x24, 0x1A}, {0x23, 0x19}, {0x21, 0x17}, {0x22, 0x15}, {0x41, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(KeyTableChar(c.key), c.character);
    }
}

TEST_F(TextFields, BackspaceRemovesWholeCharactersFoundFromTheStart) {
    const struct {
        std::string text;
        std::string left;
    } cases[] = {
        {kA, ""},
        {kSmallA + "a", kSmallA},  // 0x9F before the cursor is a trail byte here
        {"a" + kSmallA, "a"},
        {kSmallA + kSmallA, kSmallA},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int handle = Field(c.text);
        Type("\x08");
        EXPECT_EQ(Text(handle), c.left);
        EXPECT_EQ(Cursor(handle), static_cast<int>(c.left.size()));
        DeleteTextInput(handle);
    }
}

TEST_F(TextFields, LeftAndRightStepOverWholeCharacters) {
    int handle = Field(kSmallA + "a" + kA);
    const struct {
        char key;
        int cursor;
    } steps[] = {{0x1D, 3}, {0x1D, 2}, {0x1D, 0}, {0x1D, 0},
                 {0x1C, 2}, {0x1C, 3}, {0x1C, 5}, {0x1C, 5}};
    for (const auto& step : steps) {
        Type(std::string(1, step.key));
        EXPECT_EQ(Cursor(handle), step.cursor);
    }
}

TEST_F(TextFields, ShiftStretchesTheSelectionAndTypingReplacesIt) {
    int handle = Field("hello");
    SetShiftHeldForTesting(1);
    Type("\x1A");  // Home
    TextInputRecord* record = FindTextInput(handle);
    EXPECT_EQ(std::min(record->selectStart, record->selectEnd), 0);
    EXPECT_EQ(std::max(record->selectStart, record->selectEnd), 5);
    EXPECT_EQ(record->cursor, 0);
    Type("\x1C\x1C");  // two on: the selection keeps its start
    EXPECT_EQ(record->selectStart, 5);
    EXPECT_EQ(record->selectEnd, 2);
    SetShiftHeldForTesting(0);
    Type("J");
    EXPECT_EQ(Text(handle), "heJ");
    EXPECT_EQ(record->selectStart, -1);
    EXPECT_EQ(Cursor(handle), 3);
    Type("\x1A");  // Home without Shift selects nothing
    EXPECT_EQ(record->selectStart, -1);
    EXPECT_EQ(Cursor(handle), 0);
}

TEST_F(TextFields, DeleteRemovesTheCharacterAtTheCursorOrTheSelection) {
    int handle = Field(kA + "bc");
    Type("\x1A\x10");
    EXPECT_EQ(Text(handle), "bc");
    SetShiftHeldForTesting(1);
    Type("\x19");  // select to the end
    SetShiftHeldForTesting(0);
    Type("\x10");
    EXPECT_EQ(Text(handle), "");
    EXPECT_EQ(Cursor(handle), 0);
}

TEST_F(TextFields, FieldModesRefuseWhatTheyDoNotTake) {
    TextFieldOptions numbers;
    numbers.numbersOnly = 1;
    TextFieldOptions singleByte;
    singleByte.singleByteOnly = 1;
    const struct {
        const char* name;
        TextFieldOptions options;
        std::string start;
        std::string typed;
        std::string result;
    } cases[] = {
        {"digits, one '.', a leading '-'", numbers, "", "-1.5", "-1.5"},
        {"a second '.'", numbers, "1.5", ".2", "1.52"},
        {"a '-' behind the start", numbers, "12", "-", "12"},
        {"letters", numbers, "", "a1b", "1"},
        {"double-byte", singleByte, "a", kA + "b", "ab"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int handle = Field(c.start, c.options);
        Type(c.typed);
        EXPECT_EQ(Text(handle), c.result);
        DeleteTextInput(handle);
    }
}

TEST_F(TextFields, AFullFieldDropsCharactersFromItsEndForANewOne) {
    TextFieldOptions four;
    four.maxLength = 4;
    int handle = Field("abcd", four);
    Type("e");
    EXPECT_EQ(Text(handle), "abce");
    Type(kA);
    EXPECT_EQ(Text(handle), "ab" + kA);
    EXPECT_EQ(Cursor(handle), 4);
    Type(
        "\x1A"
        "x");  // at the start, the end still gives way
    EXPECT_EQ(Text(handle), "xab");

    // A double-byte character never fits a one-byte field.
    TextFieldOptions one;
    one.maxLength = 1;
    int small = Field("a", one);
    Type(kA);
    EXPECT_EQ(Text(small), "a");
}

TEST_F(TextFields, EnterAndEscapeEndTheFieldAndLeaveTheRestInTheRing) {
    TextFieldOptions escapable;
    escapable.escapeAllowed = 1;
    int handle = Field("", escapable);
    Type(
        "ab\x1B"
        "cd");
    TextInputRecord* record = FindTextInput(handle);
    EXPECT_EQ(record->ended, 1);
    EXPECT_EQ(record->cancelled, 1);
    EXPECT_EQ(Text(handle), "ab");
    char out[2];
    ASSERT_EQ(TakeInputChar(out, 1), 1);
    EXPECT_EQ(out[0], 'c');
    TakeInputChar(out, 1);

    int plain = Field("");
    Type(
        "a\x1B"
        "b\r"
        "c");
    EXPECT_EQ(FindTextInput(plain)->ended, 1);
    EXPECT_EQ(FindTextInput(plain)->cancelled, 0);
    EXPECT_EQ(Text(plain), "ab");  // Escape, not allowed here, does nothing
}

TEST_F(TextFields, ACopiedOrCutSelectionPastesBackAtTheCursor) {
    int handle = Field("ab" + kA);
    SetShiftHeldForTesting(1);
    Type("\x1A");
    SetShiftHeldForTesting(0);
    Type(std::string("\x03\x19\x16"));  // copy, End, paste
    EXPECT_EQ(Text(handle), "ab" + kA + "ab" + kA);
    SetShiftHeldForTesting(1);
    Type("\x1D");
    SetShiftHeldForTesting(0);
    Type("\x18");  // cut the last character
    EXPECT_EQ(Text(handle), "ab" + kA + "ab");
    Type("\x16");
    EXPECT_EQ(Text(handle), "ab" + kA + "ab" + kA);
}

TEST_F(TextFields, PastedControlBytesAreTextAndNeverKeys) {
    // A pasted Ctrl+V would paste again for ever; a pasted Enter would end
    // the field and leave the rest for the next one.
    const std::string pasted =
        "a\x16"
        "b\r"
        "c\x1B\x08";
    ASSERT_EQ(WriteClipboardText(pasted.c_str()), 0);
    TextFieldOptions escapable;
    escapable.escapeAllowed = 1;
    int handle = Field("", escapable);
    Type("\x16z");
    EXPECT_EQ(Text(handle), pasted + "z");
    EXPECT_EQ(FindTextInput(handle)->ended, 0);
    EXPECT_EQ(Cursor(handle), static_cast<int>(pasted.size()) + 1);
    EXPECT_EQ(InputRingFreeBytes(), 1024) << "nothing left in the ring";
}

TEST_F(TextFields, APasteTakesWholeCharactersUpToTheRingsSize) {
    // 1023 bytes and then a double-byte character: the ring's 1024 bytes
    // would end in its lead byte alone.
    const std::string pasted = std::string(1023, 'x') + kA + "tail";
    ASSERT_EQ(WriteClipboardText(pasted.c_str()), 0);
    TextFieldOptions wide;
    wide.maxLength = 2000;
    int handle = Field("", wide);
    Type("\x16");
    Type("b");
    EXPECT_EQ(Text(handle), std::string(1023, 'x') + "b");
}

TEST_F(TextFields, HandlesAreCheckedAndDeletingTheActiveOneLeavesNone) {
    int handle = Field("a");
    EXPECT_EQ(DeleteTextInput(handle + 1), -1);
    EXPECT_EQ(DeleteTextInput(-1), -1);
    EXPECT_EQ(DeleteTextInput(handle), 0);
    EXPECT_EQ(FindTextInput(handle), nullptr);
    EXPECT_EQ(DeleteTextInput(handle), -1);
    EXPECT_EQ(CurrentTextInputDisplay().activeHandle, -1);
    EXPECT_EQ(UpdateTextInput(), 0);
    SetActiveTextInputForTesting(handle);  // stale
    EXPECT_EQ(UpdateTextInput(), -1);
}

TEST_F(TextFields, CountCharsStepsOverDoubleByteCharactersAndStopsAtANul) {
    const std::string text = kA + "b" + kSmallA;
    EXPECT_EQ(CountChars(text.c_str(), 5), 3);
    EXPECT_EQ(CountChars(text.c_str(), 2), 1);
    EXPECT_EQ(CountChars(text.c_str(), 3), 2);
    EXPECT_EQ(CountChars("ab\0cd", 5), 2);
}

TEST_F(TextFields, StartSetsTheDisplaySettings) {
    const TextInputDisplay& display = CurrentTextInputDisplay();
    EXPECT_EQ(display.caretBlinkPeriod, 500);
    EXPECT_EQ(display.activeHandle, -1);
    // Screen pixel values of the default 16-bit (5-6-5) screen.
    EXPECT_EQ(display.colors[0], 0xFFFFu);   // white
    EXPECT_EQ(display.colors[1], 0xFFE0u);   // yellow
    EXPECT_EQ(display.colors[6], 0xFFE2u);   // (255, 255, 20)
    EXPECT_EQ(display.colors[14], 0x8410u);  // grey
}

}  // namespace
