// The settings program run whole (WinMain) with a headless dialog: a driver
// stands in for the user, and config.dat lives in a temporary folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/dialog_testing.h"
#include "platform/window.h"
#include "platform/window_testing.h"
#include "settings/settings.h"
#include "tests/game/game_folder_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

const int kCheckableIds[] = {IDC_COLOUR_32,      IDC_COLOUR_16,       IDC_RESOLUTION_640,
                             IDC_RESOLUTION_960, IDC_RESOLUTION_1280, IDC_HALF_FRAME_RATE,
                             IDC_RUN_INACTIVE,   IDC_NO_MIPMAPS,      IDC_SHOW_FPS,
                             IDC_SCREEN_WINDOW,  IDC_SCREEN_FULL,     IDC_SCREEN_ASK};

// What the user does once the dialog is up, and what they saw then.
struct UserScript {
    std::function<void(HWND)> act;
    std::vector<int> checkedAtStart;
    int dialogsShown = 0;
};

std::vector<int> CheckedControls(HWND dialog) {
    std::vector<int> checked;
    for (int id : kCheckableIds) {
        if (SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED) {
            checked.push_back(id);
        }
    }
    return checked;
}

void RunScript(HWND dialog, void* context) {
    auto* script = static_cast<UserScript*>(context);
    ++script->dialogsShown;
    script->checkedAtStart = CheckedControls(dialog);
    if (script->act) {
        script->act(dialog);
    }
}

std::function<void(HWND)> Clicks(std::vector<int> ids) {
    return [ids](HWND dialog) {
        for (int id : ids) {
            platform::ClickDialogItem(dialog, id);
        }
    };
}

class SettingsProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterSettingsResources();
        char pattern[] = "/tmp/vantrelcfg_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        ASSERT_NE(getcwd(oldFolder_, sizeof(oldFolder_)), nullptr);
        ASSERT_EQ(chdir(folder_.c_str()), 0);
        platform::SetHeadlessDialogs(RunScript, &script_);
        platform::SetMessageBoxAnswer(0, true);
        boxesBefore_ = platform::MessageBoxCount();
    }

    void TearDown() override {
        platform::ClearHeadlessDialogs();
        platform::SetMessageBoxAnswer(0, false);
        EXPECT_EQ(chdir(oldFolder_), 0);
        std::string command = "rm -rf '" + folder_ + "'";
        EXPECT_EQ(system(command.c_str()), 0);
    }

    void WriteFile(const Bytes& bytes) {
        FILE* file = fopen("config.dat", "wb");
        ASSERT_NE(file, nullptr);
        if (!bytes.empty()) {
            ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
        }
        fclose(file);
    }

    // The file's bytes, or nothing and false when there is no file.
    bool ReadFile(Bytes* bytes) {
        FILE* file = fopen("config.dat", "rb");
        if (file == nullptr) {
            return false;
        }
        bytes->clear();
        int c;
        while ((c = fgetc(file)) != EOF) {
            bytes->push_back(static_cast<uint8_t>(c));
        }
        fclose(file);
        return true;
    }

    int Run(std::function<void(HWND)> act) {
        script_.act = std::move(act);
        char commandLine[] = "";
        return WinMain(nullptr, nullptr, commandLine, 1);
    }

    int BoxesShown() { return platform::MessageBoxCount() - boxesBefore_; }

    // One save that cannot reach the file: one error box, and a normal end.
    void ExpectOneFailedSave() {
        int before = BoxesShown();
        EXPECT_EQ(Run(Clicks({IDC_RESOLUTION_960, IDC_SAVE})), 0);
        EXPECT_EQ(BoxesShown() - before, 1);
        EXPECT_STREQ(platform::LastMessageBoxText(),
                     "ファイルが書き込みモードで開けなかったよぉおおお///");
        EXPECT_STREQ(platform::LastMessageBoxCaption(), "エラーだよ！");
        EXPECT_EQ(script_.dialogsShown, 1);
        script_.dialogsShown = 0;
    }

    UserScript script_;
    std::string folder_;
    char oldFolder_[PATH_MAX] = {};
    int boxesBefore_ = 0;
};

struct StartCase {
    const char* name;
    bool hasFile;
    Bytes file;
    std::vector<int> checked;  // in the order CheckedControls lists them
    Bytes saved;               // what saving at once writes
};

TEST_F(SettingsProgram, ShowsTheFileAndSavesItBackUnchanged) {
    const StartCase cases[] = {
        {"no file", false, {}, {31, 21, 41}, {0, 0, 0, 0}},
        {"every choice", true, {2, 1, 1, 0x0F}, {32, 23, 51, 52, 53, 54, 42}, {2, 1, 1, 0x0F}},
        {"2-byte file", true, {1, 2}, {31, 22, 43}, {1, 2, 0, 0}},
        {"longer file", true, {1, 0, 1, 4, 9, 9}, {32, 22, 53, 41}, {1, 0, 1, 4}},
        {"values out of range", true, {7, 3, 2, 0}, {}, {7, 3, 2, 0}},
        {"only high option bits", true, {0, 0, 0, 0xF0}, {31, 21, 41}, {0, 0, 0, 0xF0}},
        {"empty file", true, {}, {31, 21, 41}, {0, 0, 0, 0}},
    };
    for (const StartCase& c : cases) {
        SCOPED_TRACE(c.name);
        remove("config.dat");
        if (c.hasFile) {
            WriteFile(c.file);
        }
        EXPECT_EQ(Run(Clicks({IDC_SAVE})), 0);
        EXPECT_EQ(script_.checkedAtStart, c.checked);
        Bytes saved;
        ASSERT_TRUE(ReadFile(&saved));
        EXPECT_EQ(saved, c.saved);
    }
    EXPECT_EQ(BoxesShown(), 0);
}

TEST_F(SettingsProgram, AnExistingFileIsFoundWhateverTheCaseOfItsName) {
    FILE* file = fopen("CONFIG.DAT", "wb");
    ASSERT_NE(file, nullptr);
    const uint8_t bytes[] = {2, 1, 1, 0x0F};
    ASSERT_EQ(fwrite(bytes, 1, sizeof bytes, file), sizeof bytes);
    fclose(file);
    EXPECT_EQ(Run(Clicks({IDC_SHOW_FPS, IDC_SAVE})), 0);
    EXPECT_EQ(script_.checkedAtStart, (std::vector<int>{32, 23, 51, 52, 53, 54, 42}));
    EXPECT_EQ(access("config.dat", F_OK), -1) << "no second file beside it";
    file = fopen("CONFIG.DAT", "rb");
    ASSERT_NE(file, nullptr);
    uint8_t saved[8] = {};
    EXPECT_EQ(fread(saved, 1, sizeof saved, file), 4u);
    fclose(file);
    EXPECT_EQ(saved[3], 0x07);
}

struct ClickCase {
    const char* name;
    Bytes file;
    std::vector<int> clicks;  // the last one ends the dialog
    Bytes saved;
};

TEST_F(SettingsProgram, ClicksChangeOnlyTheirOwnByteOrBit) {
    const ClickCase cases[] = {
        {"every resolution", {0, 0, 0, 0}, {22, 1}, {1, 0, 0, 0}},
        {"1280 by 960", {0, 0, 0, 0}, {23, 1}, {2, 0, 0, 0}},
        {"back to 640 by 480", {2, 0, 0, 0}, {21, 1}, {0, 0, 0, 0}},
        {"full screen", {0, 0, 0, 0}, {42, 1}, {0, 1, 0, 0}},
        {"ask at each start", {0, 0, 0, 0}, {43, 1}, {0, 2, 0, 0}},
        {"window", {0, 2, 0, 0}, {41, 1}, {0, 0, 0, 0}},
        {"16 bit", {0, 0, 0, 0}, {32, 1}, {0, 0, 1, 0}},
        {"32 bit", {0, 0, 1, 0}, {31, 1}, {0, 0, 0, 0}},
        {"each option", {0, 0, 0, 0}, {51, 52, 53, 54, 1}, {0, 0, 0, 0x0F}},
        {"option off", {0, 0, 0, 0x0F}, {53, 1}, {0, 0, 0, 0x0B}},
        {"high bits kept", {0, 0, 0, 0xF0}, {51, 1}, {0, 0, 0, 0xF1}},
        {"box clicked twice", {0, 0, 0, 0x02}, {52, 52, 1}, {0, 0, 0, 0x02}},
        {"selected radio clicked again", {1, 1, 1, 0}, {22, 42, 32, 1}, {1, 1, 1, 0}},
        {"out-of-range byte untouched", {7, 0, 0, 0}, {42, 1}, {7, 1, 0, 0}},
        {"group boxes do nothing", {1, 1, 1, 1}, {20, 30, 40, 50, 1}, {1, 1, 1, 1}},
    };
    for (const ClickCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(c.file);
        EXPECT_EQ(Run(Clicks(c.clicks)), 0);
        Bytes saved;
        ASSERT_TRUE(ReadFile(&saved));
        EXPECT_EQ(saved, c.saved);
    }
}

TEST_F(SettingsProgram, RadioButtonsClearOnlyTheirOwnSet) {
    WriteFile({0, 0, 0, 0});
    std::vector<int> afterClicks;
    Run([&](HWND dialog) {
        Clicks({IDC_HALF_FRAME_RATE, IDC_RESOLUTION_960, IDC_COLOUR_16, IDC_SCREEN_ASK,
                IDC_RESOLUTION_1280})(dialog);
        afterClicks = CheckedControls(dialog);
        platform::ClickDialogItem(dialog, IDC_CANCEL);
    });
    EXPECT_EQ(afterClicks, (std::vector<int>{32, 23, 51, 43}));
}

TEST_F(SettingsProgram, EnterSavesAsTheDefaultButtonDoes) {
    WriteFile({0, 0, 0, 0});
    EXPECT_EQ(Run([](HWND dialog) {
                  platform::ClickDialogItem(dialog, IDC_SHOW_FPS);
                  platform::PressDialogKey(dialog, VK_RETURN);
              }),
              0);
    Bytes saved;
    ASSERT_TRUE(ReadFile(&saved));
    EXPECT_EQ(saved, (Bytes{0, 0, 0, 8}));
}

TEST_F(SettingsProgram, CancelNeverWrites) {
    const std::pair<const char*, std::function<void(HWND)>> cancels[] = {
        {"button 2", [](HWND d) { platform::ClickDialogItem(d, IDC_CANCEL); }},
        {"Esc", [](HWND d) { platform::PressDialogKey(d, VK_ESCAPE); }},
        {"close box", [](HWND d) { platform::CloseDialogBox(d); }},
    };
    for (const auto& [name, cancel] : cancels) {
        SCOPED_TRACE(name);
        for (bool hasFile : {false, true}) {
            remove("config.dat");
            if (hasFile) {
                WriteFile({2, 2, 1, 0xF5});
            }
            EXPECT_EQ(Run([&cancel](HWND d) {
                          Clicks({21, 41, 31, 51, 52})(d);
                          cancel(d);
                      }),
                      0);
            Bytes kept;
            EXPECT_EQ(ReadFile(&kept), hasFile);
            if (hasFile) {
                EXPECT_EQ(kept, (Bytes{2, 2, 1, 0xF5}));
            }
        }
    }
    EXPECT_EQ(BoxesShown(), 0);
}

// Each way the file cannot take the word gives one error box, and the program
// still ends normally.
TEST_F(SettingsProgram, AFailedSaveShowsOneBoxAndEnds) {
    struct Case {
        const char* name;
        std::function<bool()> prepare;
    };
    const Case cases[] = {
        {"a folder in the file's place", [] { return mkdir("config.dat", 0755) == 0; }},
        {"a full disk", [] { return symlink("/dev/full", "config.dat") == 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(system("rm -rf config.dat"), 0);
        ASSERT_TRUE(c.prepare());
        ExpectOneFailedSave();
    }
    struct stat info;
    ASSERT_EQ(lstat("config.dat", &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
}

TEST_F(SettingsProgram, ASaveTheDiskStopsPartWayKeepsThePreviousFile) {
    for (bool hasFile : {true, false}) {
        SCOPED_TRACE(hasFile ? "a previous file" : "no file");
        remove("config.dat");
        if (hasFile) {
            WriteFile({1, 2, 1, 0xF5});
        }
        {
            game_test::FileSizeLimit limit(2);  // two of the four bytes land
            ASSERT_TRUE(limit.set());
            ExpectOneFailedSave();
        }
        Bytes kept;
        EXPECT_EQ(ReadFile(&kept), hasFile);
        if (hasFile) {
            EXPECT_EQ(kept, (Bytes{1, 2, 1, 0xF5}));
        }
        EXPECT_EQ(access("config.dat.tmp", F_OK), -1);
    }
}

TEST_F(SettingsProgram, AReadOnlyFileShowsOneBoxAndEnds) {
    WriteFile({1, 1, 1, 1});
    ASSERT_EQ(chmod("config.dat", 0444), 0);
    if (access("config.dat", W_OK) == 0) {
        GTEST_SKIP() << "the superuser writes through the mode bits";
    }
    ExpectOneFailedSave();
    Bytes kept;
    ASSERT_TRUE(ReadFile(&kept));
    EXPECT_EQ(kept, (Bytes{1, 1, 1, 1}));
}

TEST_F(SettingsProgram, ADialogThatCannotBeShownEndsTheProgramWithAnError) {
    // The driver leaves the dialog open: no user will ever close it.
    EXPECT_EQ(Run([](HWND) {}), 1);
    // No display at all.
    platform::ClearHeadlessDialogs();
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    EXPECT_EQ(Run(nullptr), 1);
    Bytes none;
    EXPECT_FALSE(ReadFile(&none));
}

}  // namespace
