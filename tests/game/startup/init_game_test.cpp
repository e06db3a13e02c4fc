// Start-up against a recording library: the options each configuration word
// asks for, the image records' cells, the sounds in slot order, and missing
// files that leave -1 handles while start-up goes on.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "game/data/game_data.h"
#include "game/draw/game_screens.h"
#include "game/startup/game_sounds.h"
#include "game/startup/image_cells.h"
#include "game/startup/init_game.h"
#include "tests/foundation/files/files_test_support.h"
#include "tests/game/startup/startup_recorder.h"

namespace {

using game_test::RecordedCut;
using game_test::StartupRecorder;
using Calls = std::vector<std::string>;

// Every call up to the loading picture, for one configuration word.
Calls OptionCalls(const StartupRecorder& recorder) {
    Calls out;
    for (const std::string& call : recorder.calls) {
        if (call.rfind("SelectDrawTarget", 0) == 0) {
            break;
        }
        out.push_back(call);
    }
    return out;
}

Calls ExpectedOptions(const Calls& mode, const std::string& screen, bool runInactive) {
    Calls calls = {"SetArchiveUse(1)"};
    if (runInactive) {
        calls.push_back("SetRunWhenInactive(1)");
    }
    for (const char* call :
         {"EnableLogFile(0)", "SetTransparentColorKeying(1)", "SetPowerOfTwoTextures(1)",
          "SetWindowStyleIndex(9)", "SetWindowIcon(101)", "SetWindowTitle(Vantrel!)",
          "SetDesktopCompositionOff(1)"}) {
        calls.push_back(call);
    }
    calls.insert(calls.end(), mode.begin(), mode.end());
    calls.push_back(screen);
    for (const char* call :
         {"StartLibrary()", "SetArchiveSuffix(dat)", "SetArchiveKey(lanternfix)",
          "SetVerticalBlankWait(0)", "SetImageFilterMode(1)", "SetNewImageColorDepth(32)",
          "SetImageLoadOption(0)", "SetZBufferWrite(1)"}) {
        calls.push_back(call);
    }
    return calls;
}

class StartUp : public ::testing::Test {
  protected:
    tessel_test::ScratchDirectory folder_;  // no data: the tables are skipped
    StartupRecorder recorder_;
};

TEST_F(StartUp, EachConfigurationWordGivesItsOptionCalls) {
    const std::string ask = "MessageBox(ねぇ、フルスクリーン、するの？,画面のコトだけど……)";
    struct Case {
        const char* name;
        ConfigWord word;
        int answer;
        Calls mode;
        const char* screen;
        bool runInactive;
        bool linearFloor;
        int width, height;
    } cases[] = {
        // clang-format off
        {"all zero", {0, 0, 0, 0}, 6, {"ChangeWindowMode(1)"}, "SetScreenMode(640,480,32,60)", false, false, 640, 480},
        {"960x720", {1, 0, 0, 0}, 6, {"ChangeWindowMode(1)"}, "SetScreenMode(960,720,32,60)", false, false, 960, 720},
        {"1280x960 16-bit", {2, 0, 1, 0}, 6, {"ChangeWindowMode(1)"}, "SetScreenMode(1280,960,16,60)", false, false, 1280, 960},
        {"size 3 is 640x480", {3, 0, 0, 0}, 6, {"ChangeWindowMode(1)"}, "SetScreenMode(640,480,32,60)", false, false, 640, 480},
        {"depth 2 is 32-bit", {0, 0, 2, 0}, 6, {"ChangeWindowMode(1)"}, "SetScreenMode(640,480,32,60)", false, false, 640, 480},
        {"full screen", {0, 1, 0, 0}, 6, {"ChangeWindowMode(0)"}, "SetScreenMode(640,480,32,60)", false, false, 640, 480},
        {"screen mode 3 is a window", {0, 3, 0, 0}, 6, {"ChangeWindowMode(1)"}, "SetScreenMode(640,480,32,60)", false, false, 640, 480},
        {"asked, yes", {0, 2, 0, 0}, 6, {ask, "ChangeWindowMode(0)"}, "SetScreenMode(640,480,32,60)", false, false, 640, 480},
        {"asked, no", {0, 2, 0, 0}, 7, {ask, "ChangeWindowMode(1)"}, "SetScreenMode(640,480,32,60)", false, false, 640, 480},
        {"asked, box closed", {0, 2, 0, 0}, 2, {ask, "ChangeWindowMode(1)"}, "SetScreenMode(640,480,32,60)", false, false, 640, 480},
        {"run inactive", {0, 0, 0, 0x02}, 6, {"ChangeWindowMode(1)"}, "SetScreenMode(640,480,32,60)", true, false, 640, 480},
        {"linear floor", {0, 0, 0, 0x04}, 6, {"ChangeWindowMode(1)"}, "SetScreenMode(640,480,32,60)", false, true, 640, 480},
        {"half rate and fps change nothing here", {0, 0, 0, 0x09}, 6, {"ChangeWindowMode(1)"}, "SetScreenMode(640,480,32,60)", false, false, 640, 480},
        // clang-format on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartupRecorder recorder;
        recorder.answer = c.answer;
        recorder.Bind();
        ASSERT_EQ(InitGame(c.word), 0);
        EXPECT_EQ(OptionCalls(recorder), ExpectedOptions(c.mode, c.screen, c.runInactive));
        EXPECT_EQ(recorder.Named("SetModelTextureFilter"),
                  c.linearFloor ? Calls{"SetModelTextureFilter(1342177281,0,1)"} : Calls{});
        EXPECT_EQ(GameData.screenWidth, c.width);
        EXPECT_EQ(GameData.screenHeight, c.height);
        // The loading picture covers the whole screen and is let go.
        const std::string stretched = "DrawImageStretched(0,0," + std::to_string(c.width) + "," +
                                      std::to_string(c.height) + ",";
        ASSERT_EQ(recorder.Named(stretched).size(), 1u);
        const std::string picture = recorder.Named(stretched)[0].substr(stretched.size());
        EXPECT_EQ(recorder.Named("ReleaseImage"),
                  Calls{"ReleaseImage(" + picture.substr(0, picture.find(',')) + ")"});
    }
}

TEST_F(StartUp, ALibraryThatDoesNotStartEndsStartUpBeforeAnythingLoads) {
    recorder_.startResult = -1;
    recorder_.Bind();
    EXPECT_EQ(InitGame(ConfigWord{}), -1);
    EXPECT_EQ(recorder_.calls.back(), "StartLibrary()");
    EXPECT_TRUE(recorder_.Named("LoadImage").empty());
}

TEST_F(StartUp, TheLoadingPictureShowsBeforeTablesImagesFloorAndSoundsLoad) {
    recorder_.Bind();
    ASSERT_EQ(InitGame(ConfigWord{}), 0);
    auto at = [&](const std::string& call) {
        return std::find(recorder_.calls.begin(), recorder_.calls.end(), call) -
               recorder_.calls.begin();
    };
    EXPECT_LT(at("SetZBufferWrite(1)"), at("SelectDrawTarget(-2)"));
    EXPECT_LT(at("SelectDrawTarget(-2)"), at("LoadImage(image\\loading)"));
    EXPECT_LT(at("PresentScreen()"), at("LoadImage(image\\system\\circle.png)"));
    EXPECT_LT(at("LoadImage(image\\effect\\fire.png)"),
              at("LoadModel(image\\model\\stage_1\\yuka.mqo)"));
    EXPECT_LT(at("LoadModel(image\\model\\stage_1\\yuka.mqo)"),
              at("LoadSound(sound\\se\\select.wav,3,-1)"));
    EXPECT_EQ(GameFloor.model, 0x50000001);
    EXPECT_EQ(GameFloor.tileLength, 300);
    EXPECT_EQ(GameFloor.ready, 1);
}

// The cells record `record` should hold, from its row of the layout.
std::vector<RecordedCut> CellsOf(int count, int perRow, int x0, int y0, int w, int h) {
    std::vector<RecordedCut> cells;
    for (int i = 0; i < count; ++i) {
        cells.push_back({x0 + (i % perRow) * w, y0 + (i / perRow) * h, w, h, 0});
    }
    return cells;
}

TEST_F(StartUp, ImageRecordsCutTheirCellsFromFilesLoadedOnce) {
    recorder_.Bind();
    ASSERT_EQ(InitGame(ConfigWord{}), 0);
    struct Expected {
        int record;
        std::vector<RecordedCut> cells;
    } expected[] = {
        {4,
         {{0, 0, 160, 24},
          {0, 24, 160, 24},
          {0, 48, 160, 24},
          {0, 72, 160, 24},
          {0, 96, 160, 24},
          {0, 120, 160, 24}}},
        {5,
         {{0, 144, 320, 12},
          {0, 156, 320, 12},
          {0, 168, 320, 12},
          {0, 180, 320, 12},
          {0, 192, 320, 12},
          {0, 204, 320, 12}}},
        {17, {{0, 112, 16, 16}, {16, 112, 16, 16}}},
        {18,
         {{0, 0, 32, 32},
          {32, 0, 32, 32},
          {64, 0, 32, 32},
          {96, 0, 32, 32},
          {128, 0, 32, 32},
          {0, 32, 32, 32},
          {32, 32, 32, 32},
          {64, 32, 32, 32},
          {96, 32, 32, 32},
          {128, 32, 32, 32}}},
        {31, CellsOf(4, 4, 0, 0, 32, 32)},
        {32, CellsOf(4, 4, 128, 0, 32, 32)},
        {33, CellsOf(4, 4, 0, 32, 32, 32)},
        {34, CellsOf(4, 4, 128, 32, 32, 32)},
        {35, CellsOf(4, 4, 0, 64, 32, 32)},
        {36, CellsOf(4, 4, 128, 64, 32, 32)},
        {37, CellsOf(4, 4, 0, 96, 32, 32)},
        {38, CellsOf(4, 4, 128, 96, 32, 32)},
        {39, CellsOf(4, 4, 0, 128, 64, 64)},
        {40, CellsOf(4, 4, 0, 192, 64, 64)},
        {41, CellsOf(2, 2, 0, 0, 32, 32)},
        {42, CellsOf(2, 2, 0, 32, 32, 32)},
        {43, CellsOf(2, 2, 0, 64, 32, 32)},
        {44, CellsOf(2, 2, 0, 96, 32, 32)},
        {45, CellsOf(4, 4, 0, 0, 64, 64)},
        {46, CellsOf(16, 16, 0, 0, 16, 16)},
        {47, CellsOf(16, 16, 0, 16, 16, 16)},
        {48, CellsOf(16, 16, 0, 32, 16, 16)},
        {49, CellsOf(16, 16, 0, 48, 16, 16)},
        {50, CellsOf(16, 16, 0, 64, 16, 16)},
        {51, CellsOf(16, 16, 0, 80, 16, 16)},
        {52, CellsOf(16, 16, 0, 96, 16, 16)},
        {53, CellsOf(16, 16, 0, 112, 16, 16)},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.record);
        const ImageCellRecord record = GameImages[e.record];
        ASSERT_EQ(record.count, static_cast<int>(e.cells.size()));
        int source = -2;
        for (int i = 0; i < record.count; ++i) {
            SCOPED_TRACE(i);
            const RecordedCut& cut = recorder_.cuts.at(ImageCellTable[record.first + i]);
            EXPECT_EQ(cut.x, e.cells[i].x);
            EXPECT_EQ(cut.y, e.cells[i].y);
            EXPECT_EQ(cut.width, e.cells[i].width);
            EXPECT_EQ(cut.height, e.cells[i].height);
            EXPECT_TRUE(source == -2 || cut.source == source) << "cells of one file";
            source = cut.source;
        }
    }
    // Records follow one another with no gap; 283 cells in all.
    int next = 0;
    for (int i = 0; i < kGameImageRecords; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(GameImages[i].first, next);
        next += GameImages[i].count;
    }
    EXPECT_EQ(next, 283);
    EXPECT_EQ(ImageCellNext, 283);
    EXPECT_NE(ImageCellTable[282], -1);
    EXPECT_EQ(ImageCellTable[283], -1);
    // Every file the records cut is read once: 23 files.
    int recordFiles = 0;
    for (const auto& [path, loads] : recorder_.loadsByPath) {
        SCOPED_TRACE(path);
        EXPECT_EQ(loads, 1);
        recordFiles += path != "image\\loading" ? 1 : 0;
    }
    EXPECT_EQ(recordFiles, 23);
    EXPECT_EQ(recorder_.loadsByPath.count("image\\ver"), 1u);
}

TEST_F(StartUp, AMissingFileLeavesItsCellsMinusOneAndStartUpGoesOn) {
    recorder_.missingFiles = {"image\\system\\num.png", "image\\loading"};
    recorder_.Bind();
    ASSERT_EQ(InitGame(ConfigWord{}), 0);
    EXPECT_EQ(recorder_.loadsByPath.at("image\\system\\num.png"), 1) << "not tried again";
    for (int record : {18, 19}) {
        SCOPED_TRACE(record);
        for (int i = 0; i < GameImages[record].count; ++i) {
            EXPECT_EQ(ImageCellTable[GameImages[record].first + i], -1);
        }
    }
    // The records after it load all the same.
    EXPECT_EQ(GameImages[53].first + GameImages[53].count, 283);
    EXPECT_NE(ImageCellTable[282], -1);
    EXPECT_EQ(recorder_.Named("LoadSound").size(), 24u);
}

TEST_F(StartUp, ACellCountOfZeroStoresTheFilesOwnHandleOnce) {
    recorder_.Bind();
    ResetImageCells();
    const ImageCellRecord whole = LoadImageCells("image\\a.png", 0, 1, 0, 0, 8, 8);
    const ImageCellRecord again = LoadImageCells("image\\a.png", 2, 2, 8, 0, 8, 8);
    EXPECT_EQ(whole.first, 0);
    EXPECT_EQ(whole.count, 1);
    EXPECT_EQ(ImageCellTable[0], 0x08000001);
    EXPECT_EQ(again.first, 1);
    EXPECT_EQ(recorder_.cuts.at(ImageCellTable[2]).x, 16);
    EXPECT_EQ(recorder_.cuts.at(ImageCellTable[2]).source, 0x08000001);
    EXPECT_EQ(ImageCellNext, 3);
}

TEST_F(StartUp, ANameTooLongForTheCacheIsRefusedAndACellsPerRowOfZeroCutsNothing) {
    const std::string name = "image\\" + std::string(57, 'n') + ".png";  // 64 characters
    const char* tooLongName = name.c_str();
    recorder_.Bind();
    ResetImageCells();
    const ImageCellRecord tooLong = LoadImageCells(tooLongName, 2, 1, 0, 0, 8, 8);
    const ImageCellRecord noRow = LoadImageCells("image\\b.png", 2, 0, 0, 0, 8, 8);
    EXPECT_EQ(tooLong.count, 2);
    EXPECT_EQ(noRow.first, 2);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(ImageCellTable[i], -1) << i;
    }
    EXPECT_TRUE(recorder_.cuts.empty());
    EXPECT_EQ(recorder_.loadsByPath.count(tooLongName), 0u);
}

TEST_F(StartUp, SoundsLoadInSlotOrderThenTheTracksStreamWithTheirLoopPoints) {
    recorder_.Bind();
    ASSERT_EQ(InitGame(ConfigWord{}), 0);
    Calls expected;
    for (const char* name :
         {"select", "cancel", "check",   "pshot",   "bomb",    "item",    "extend",  "graze",
          "death",  "kill",   "eshot_a", "eshot_b", "eshot_c", "eshot_k", "eshot_f", "eshot_p",
          "laser",  "hit",    "hit2",    "timer",   "level",   "cat"}) {
        expected.push_back(std::string("LoadSound(sound\\se\\") + name + ".wav,3,-1)");
    }
    expected.push_back("SetSoundLoadMode(2)");
    expected.push_back("LoadSound(sound\\bgm\\01.ogg,3,-1)");
    expected.push_back("SetLoopPointMs(32972,268435479)");
    expected.push_back("LoadSound(sound\\bgm\\02.ogg,3,-1)");
    expected.push_back("SetLoopPointMs(19818,268435480)");
    Calls got;
    for (const std::string& call : recorder_.calls) {
        if (call.rfind("LoadSound", 0) == 0 || call.rfind("SetSoundLoadMode", 0) == 0 ||
            call.rfind("SetLoopPointMs", 0) == 0) {
            got.push_back(call);
        }
    }
    EXPECT_EQ(got, expected);
    for (int i = 0; i < kSoundSlots; ++i) {
        EXPECT_EQ(SoundSlots[i].sound, 0x10000001 + i) << i;
    }
    EXPECT_EQ(MusicTrack1, 0x10000001 + 22);
    EXPECT_EQ(MusicTrack2, 0x10000001 + 23);
}

TEST_F(StartUp, SoundsThatDoNotLoadLeaveMinusOneAndClearedSlots) {
    for (SoundRequestSlot& slot : SoundSlots) {
        slot = {5, 3, 1};
    }
    // The library as it stands: no sound system, so every load is refused.
    BindStartupCalls(nullptr);
    LoadGameSounds();
    for (const SoundRequestSlot& slot : SoundSlots) {
        EXPECT_EQ(slot.sound, -1);
        EXPECT_EQ(slot.cooldown, 0);
        EXPECT_EQ(slot.requested, 0);
    }
    EXPECT_EQ(MusicTrack1, -1);
    EXPECT_EQ(MusicTrack2, -1);
}

TEST_F(StartUp, SystemImagesMakeTheScreensDrawable) {
    recorder_.Bind();
    LoadSystemImages();
    EXPECT_EQ(recorder_.calls,
              (Calls{"LoadImage(image\\SYSTEM\\panel.png)", "LoadImage(image\\SYSTEM\\FPS.png)",
                     "SetDrawableImageCreation(1)", "CreateBlankImage(512,512)",
                     "CreateBlankImage(128,128)", "CreateBlankImage(512,512)",
                     "CreateBlankImage(640,480)", "SetDrawableImageCreation(0)",
                     "LoadImage(image\\SYSTEM\\ascii.png)"}));
    EXPECT_EQ(SidePanelImage, 0x08000001);
    EXPECT_EQ(FpsSheetImage, 0x08000002);
    EXPECT_EQ(FloorScreen, 0x08000003);
    EXPECT_EQ(PauseImage, 0x08000004);
    EXPECT_EQ(EffectScreen, 0x08000005);
    EXPECT_EQ(FrameImage, 0x08000006);
    EXPECT_EQ(LetterSheetImage, 0x08000007);
}

}  // namespace
