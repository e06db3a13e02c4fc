// assign.dat: the default bytes, a round trip, and files that must not load.
#include "game/files/assign_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/game/game_folder_support.h"

namespace {

using game_test::Bytes;
using game_test::PutLe;

class AssignFile : public game_test::GameFolder {
  protected:
    void SetUp() override {
        GameFolder::SetUp();
        ConstructInputState(&state_);
        SetDefaultKeyAssignment(&state_.assignment);
    }
    InputState state_;
};

const Bytes kDefaultBytes = {
    0x01, 0x00, 0xC8, 0x00,  // up: pad up, up arrow
    0x02, 0x00, 0xCD, 0x00,  // right: pad right, right arrow
    0x03, 0x00, 0xD0, 0x00,  // down: pad down, down arrow
    0x04, 0x00, 0xCB, 0x00,  // left: pad left, left arrow
    0x01, 0x00, 0x2C, 0x00,  // shot: pad button 1, Z
    0x02, 0x00, 0x2D, 0x00,  // bomb: pad button 2, X
    0x03, 0x00, 0x2A, 0x00,  // slow: pad button 3, left shift
    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0x04, 0x00, 0x01, 0x00,  // pause: pad button 4,
                                                                             // escape
    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0,    0,    0,    0,    0, 0, 0, 0,
};

TEST_F(AssignFile, TheDefaultAssignmentIsWrittenByteForByte) {
    ASSERT_EQ(SaveKeyAssignment(state_), 0);
    Bytes bytes;
    ASSERT_TRUE(Read("assign.dat", &bytes));
    EXPECT_EQ(bytes, kDefaultBytes);
}

TEST_F(AssignFile, AChangedAssignmentComesBackAndAMissingFileKeepsTheDefaults) {
    EXPECT_EQ(LoadKeyAssignment(&state_), -1);
    EXPECT_EQ(state_.assignment.buttons[kButtonBomb].padCode, 2);

    state_.assignment.buttons[kButtonBomb].padCode = 3;
    state_.assignment.buttons[kButtonPause].padCode = 16;
    ASSERT_EQ(SaveKeyAssignment(state_), 0);
    InputState other;
    ConstructInputState(&other);
    SetDefaultKeyAssignment(&other.assignment);
    ASSERT_EQ(LoadKeyAssignment(&other), 0);
    EXPECT_EQ(memcmp(&other.assignment, &state_.assignment, sizeof other.assignment), 0);
}

TEST_F(AssignFile, AShortFileFillsOnlyThePairsItHolds) {
    Write("assign.dat", {0x02, 0x00, 0x11, 0x00, 0x00, 0x00});  // pair 0 and half of pair 1
    ASSERT_EQ(LoadKeyAssignment(&state_), 0);
    EXPECT_EQ(state_.assignment.buttons[kButtonUp].padCode, 2);
    EXPECT_EQ(state_.assignment.buttons[kButtonUp].keyCode, 0x11);
    EXPECT_EQ(state_.assignment.buttons[kButtonRight].padCode, 0);
    EXPECT_EQ(state_.assignment.buttons[kButtonRight].keyCode, 205);
    EXPECT_EQ(state_.assignment.buttons[kButtonShot].keyCode, 44);
}

TEST_F(AssignFile, AFileHoldingACodeTheGameCannotStoreLeavesTheAssignment) {
    struct Damage {
        const char* what;
        size_t offset;
        uint16_t value;
    };
    const Damage damages[] = {
        {"key code past 255", 4 * kButtonShot + 2, 0x0100},
        {"key code all ones", 4 * 15 + 2, 0xFFFF},
        {"direction code 5", 4 * kButtonLeft, 5},
        {"pad button 17", 4 * kButtonBomb, 17},
        {"pad button code on a spare button", 4 * 12, 0x8000},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        Bytes bytes = kDefaultBytes;
        bytes[0] = 0x03;  // an otherwise valid change that must not come through
        PutLe(&bytes, d.offset, d.value, 2);
        Write("assign.dat", bytes);
        KeyAssignment before = state_.assignment;
        EXPECT_EQ(LoadKeyAssignment(&state_), -1);
        EXPECT_EQ(memcmp(&before, &state_.assignment, sizeof before), 0);
    }
    // The same bytes with in-range codes load.
    Bytes bytes = kDefaultBytes;
    PutLe(&bytes, 4 * kButtonShot + 2, 255, 2);
    PutLe(&bytes, 4 * kButtonBomb, 16, 2);
    Write("assign.dat", bytes);
    EXPECT_EQ(LoadKeyAssignment(&state_), 0);
    EXPECT_EQ(state_.assignment.buttons[kButtonShot].keyCode, 255);
    EXPECT_EQ(state_.assignment.buttons[kButtonBomb].padCode, 16);
}

}  // namespace
