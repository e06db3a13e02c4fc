// The key configuration: pad buttons found by their new press, assigned to
// shot, bomb, slow and pause, saved to assign.dat or dropped for the backup.
#include "game/menu/key_config.h"

#include <gtest/gtest.h>

#include "game/files/assign_file.h"
#include "tests/game/menu/menu_fixture.h"

namespace {

using game_test::Bytes;
using game_test::PutLe;
using menu_test::Buttons;
using menu_test::World;

constexpr int PadButton(int n) {
    return 16 << (n - 1);
}

class KeyConfigTest : public menu_test::MenuTest {
  protected:
    // One update with the pad reading `bits` and no button pressed anew.
    static void PadFrame(MenuScene* scene, int bits) {
        World.padBits = bits;
        Hold(scene, 0);
    }
};

TEST_F(KeyConfigTest, FindsTheHighestPadButtonPressedThisFrame) {
    const struct {
        int last;
        int now;
        int read;
        int found;
    } cases[] = {
        {0, 0, 0, 0},
        {0, PadButton(3), 3, 3},
        {PadButton(3), PadButton(3), 3, 0},
        {PadButton(2), PadButton(2) | PadButton(5), 5, 5},
        {PadButton(9), PadButton(2) | PadButton(9), 9, 2},
        {0, PadButton(1) | PadButton(16), 16, 16},
        {PadButton(16), PadButton(1) | PadButton(16), 16, 1},
        {0, 0x8 | 0x1, 0, 0},  // directions are no buttons
        {0, PadButton(16) << 1, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "last " << c.last << " now " << c.now);
        BeginKeyConfig();
        World.padBits = c.last;
        ReadPadButtonsForConfig(1);
        World.padBits = c.now;
        EXPECT_EQ(ReadPadButtonsForConfig(1), c.read);
        EXPECT_EQ(FindNewPadButton(1), c.found);
    }
}

TEST_F(KeyConfigTest, PadButtonThreeOnTheBombEntryBecomesBombsPadCode) {
    auto scene = Build(kMenuKeyConfig);
    Press(scene.get(), Buttons({kButtonDown}));
    ASSERT_EQ(scene->cursor, 1);
    ClearFrame();
    PadFrame(scene.get(), PadButton(3));
    EXPECT_EQ(LiveInput.assignment.buttons[kButtonBomb].padCode, 3);
    EXPECT_EQ(LiveInput.assignment.buttons[kButtonBomb].keyCode, 45) << "the key stays";
    EXPECT_EQ(LiveInput.assignment.buttons[kButtonSlow].padCode, 3);
    EXPECT_EQ(Sounds(), std::vector<int32_t>{kMenuSoundCheck});
    // Held on, it is not new: nothing more happens.
    ClearFrame();
    PadFrame(scene.get(), PadButton(3));
    EXPECT_TRUE(Sounds().empty());
}

TEST_F(KeyConfigTest, EachButtonEntrySetsItsOwnButton) {
    const int buttons[] = {kButtonShot, kButtonBomb, kButtonSlow, kButtonPause};
    for (int entry = 0; entry < 4; ++entry) {
        SCOPED_TRACE(testing::Message() << "entry " << entry);
        SetDefaultKeyAssignment(&LiveInput.assignment);
        KeyAssignment before = LiveInput.assignment;
        auto scene = Build(kMenuKeyConfig);
        scene->cursor = entry;
        PadFrame(scene.get(), 0);
        PadFrame(scene.get(), PadButton(11 + entry));
        for (int b = 0; b < kButtonCount; ++b) {
            uint16_t expected = b == buttons[entry] ? 11 + entry : before.buttons[b].padCode;
            EXPECT_EQ(LiveInput.assignment.buttons[b].padCode, expected) << "button " << b;
        }
    }
}

TEST_F(KeyConfigTest, APadButtonOnSaveOrCancelChangesNothing) {
    auto scene = Build(kMenuKeyConfig);
    KeyAssignment before = LiveInput.assignment;
    for (int entry : {kKeyConfigSaveEntry, kKeyConfigCancelEntry}) {
        scene->cursor = entry;
        PadFrame(scene.get(), 0);
        PadFrame(scene.get(), PadButton(7));
    }
    EXPECT_EQ(memcmp(&LiveInput.assignment, &before, sizeof before), 0);
    EXPECT_FALSE(SceneRequested());
}

TEST_F(KeyConfigTest, CancelRestoresTheAssignmentTheSceneBeganWith) {
    auto scene = Build(kMenuKeyConfig);
    KeyAssignment before = LiveInput.assignment;
    scene->cursor = 1;
    PadFrame(scene.get(), PadButton(3));
    scene->cursor = 3;
    PadFrame(scene.get(), PadButton(12));
    ASSERT_EQ(LiveInput.assignment.buttons[kButtonPause].padCode, 12);
    scene->cursor = kKeyConfigCancelEntry;
    ClearFrame();
    Press(scene.get(), Buttons({kButtonShot}));
    EXPECT_EQ(memcmp(&LiveInput.assignment, &before, sizeof before), 0);
    ASSERT_TRUE(SceneRequested());
    EXPECT_EQ(NextSceneId, kMenuTitle);
    EXPECT_EQ(FadeState.length, 20);
    EXPECT_EQ(Sounds(), std::vector<int32_t>{kMenuSoundCheck});
    Bytes ignored;
    EXPECT_FALSE(Read("assign.dat", &ignored));
}

TEST_F(KeyConfigTest, SaveWritesAssignDatExactly) {
    auto scene = Build(kMenuKeyConfig);
    scene->cursor = 1;
    PadFrame(scene.get(), PadButton(3));
    scene->cursor = kKeyConfigSaveEntry;
    ClearFrame();
    Press(scene.get(), Buttons({kButtonShot}));
    ASSERT_TRUE(SceneRequested());
    EXPECT_EQ(NextSceneId, kMenuTitle);
    EXPECT_EQ(FadeState.length, 20);

    const uint16_t pairs[16][2] = {{1, 200}, {2, 205}, {3, 208}, {4, 203}, {1, 44}, {3, 45},
                                   {3, 42},  {0, 0},   {0, 0},   {0, 0},   {4, 1},  {0, 0},
                                   {0, 0},   {0, 0},   {0, 0},   {0, 0}};
    Bytes expected(64);
    for (int b = 0; b < 16; ++b) {
        PutLe(&expected, 4 * b, pairs[b][0], 2);
        PutLe(&expected, 4 * b + 2, pairs[b][1], 2);
    }
    Bytes written;
    ASSERT_TRUE(Read("assign.dat", &written));
    EXPECT_EQ(written, expected);
}

TEST_F(KeyConfigTest, BombOnSaveOrCancelLeavesUnsavedButKeepsTheChange) {
    for (int entry : {kKeyConfigSaveEntry, kKeyConfigCancelEntry}) {
        SCOPED_TRACE(testing::Message() << "entry " << entry);
        ClearFrame();
        SetDefaultKeyAssignment(&LiveInput.assignment);
        auto scene = Build(kMenuKeyConfig);
        scene->cursor = 2;
        PadFrame(scene.get(), 0);
        PadFrame(scene.get(), PadButton(8));
        scene->cursor = entry;
        ClearFrame();
        Press(scene.get(), Buttons({kButtonBomb}));
        ASSERT_TRUE(SceneRequested());
        EXPECT_EQ(NextSceneId, kMenuTitle);
        EXPECT_EQ(Sounds(), std::vector<int32_t>{kMenuSoundCancel});
        EXPECT_EQ(LiveInput.assignment.buttons[kButtonSlow].padCode, 8);
        Bytes ignored;
        EXPECT_FALSE(Read("assign.dat", &ignored));
    }
}

TEST_F(KeyConfigTest, BombOnAButtonEntryStays) {
    auto scene = Build(kMenuKeyConfig);
    Press(scene.get(), Buttons({kButtonBomb}));
    EXPECT_FALSE(SceneRequested());
}

TEST_F(KeyConfigTest, AButtonHeldThroughTheFadeIsNotNewAfterIt) {
    auto scene = Build(kMenuKeyConfig);
    RequestSceneChange(kMenuKeyConfig, 10, MakeColor(0, 0, 0));
    PadFrame(scene.get(), PadButton(6));
    ClearFrame();
    PadFrame(scene.get(), PadButton(6));
    EXPECT_EQ(LiveInput.assignment.buttons[kButtonShot].padCode, 1);
    EXPECT_TRUE(Sounds().empty());
}

}  // namespace
