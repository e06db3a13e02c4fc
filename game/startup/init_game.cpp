// InitGame's steps in their order, and the screens of LoadSystemImages.
#include "game/startup/init_game.h"

#include "game/behaviour/behaviour_tables.h"
#include "game/data/data_tables.h"
#include "game/draw/game_screens.h"
#include "game/random/dsfmt_random.h"
#include "game/startup/game_sounds.h"
#include "game/startup/image_cells.h"
#include "game/startup/play_assets.h"
#include "game/startup/startup_calls.h"
#include "platform/window.h"

FloorRecord GameFloor = {-1, 300, 0};
int32_t SidePanelImage = -1;
int32_t FpsSheetImage = -1;
int32_t LetterSheetImage = -1;
int32_t PauseImage = -1;

const char kGameArchiveSuffix[] = "dat";
const char kGameArchiveKey[] = "lanternfix";

namespace {

constexpr int kWindowStyle = 9;
constexpr int kWindowIcon = 101;
constexpr int kRefreshRate = 60;
constexpr int kBackScreen = -2;

// The options set before start: archives, the window, the screen.
void SetStartOptions(const StartupCalls& calls, const ConfigWord& config, ScreenSize size) {
    calls.setArchiveUse(1);
    if (ConfigOptionOn(config, kConfigRunInactive)) {
        calls.setRunWhenInactive(1);
    }
    calls.enableLogFile(0);
    calls.setTransparentColorKeying(1);
    calls.setPowerOfTwoTextures(1);
    calls.setWindowStyleIndex(kWindowStyle);
    calls.setWindowIcon(kWindowIcon);
    calls.setWindowTitle("Vantrel!");
    calls.setDesktopCompositionOff(1);
    switch (ConfigScreenModeOf(config)) {
        case kConfigScreenAskEachStart: {
            // A closed box is no answer, so it keeps the window.
            const int answer =
                calls.askYesNo("ねぇ、フルスクリーン、するの？", "画面のコトだけど……");
            calls.changeWindowMode(answer == IDYES ? 0 : 1);
            break;
        }
        case kConfigScreenFull:
            calls.changeWindowMode(0);
            break;
        default:
            calls.changeWindowMode(1);
            break;
    }
    calls.setScreenMode(size.width, size.height, ConfigColourBits(config), kRefreshRate);
}

void SetRunningOptions(const StartupCalls& calls) {
    calls.setArchiveSuffix(kGameArchiveSuffix);
    calls.setArchiveKey(kGameArchiveKey);
    calls.setVerticalBlankWait(0);
    calls.setImageFilterMode(1);
    calls.setNewImageColorDepth(32);
    calls.setImageLoadOption(0);
    calls.setZBufferWrite(1);
}

void ShowLoadingPicture(const StartupCalls& calls, ScreenSize size) {
    calls.selectDrawTarget(kBackScreen);
    const int picture = calls.loadImage("image\\loading");
    calls.drawImageStretched(0, 0, size.width, size.height, picture, 1);
    calls.presentScreen();
    calls.releaseImage(picture);
}

// The data tables reach image handles through the start-up table too.
int32_t TableLoadImage(const char* path) {
    return CurrentStartupCalls().loadImage(path);
}
int32_t TableCutImage(int x, int y, int width, int height, int32_t source) {
    return CurrentStartupCalls().cutImage(x, y, width, height, source);
}
int TableImageSize(int32_t image, int* width, int* height) {
    return CurrentStartupCalls().imageSize(image, width, height);
}

void LoadFloor(const StartupCalls& calls, const ConfigWord& config) {
    GameFloor.model = calls.loadModel("image\\model\\stage_1\\yuka.mqo");
    GameFloor.tileLength = 300;
    if (ConfigOptionOn(config, kConfigNoMipmaps)) {
        calls.setModelTextureFilter(GameFloor.model, 0, 1);
    }
}

}  // namespace

int InitGame(const ConfigWord& config) {
    const StartupCalls& calls = CurrentStartupCalls();
    const ScreenSize size = ConfigScreenSize(config);
    GameData.screenWidth = size.width;
    GameData.screenHeight = size.height;
    SetStartOptions(calls, config, size);
    if (calls.startLibrary() != 0) {
        return -1;
    }
    SetRunningOptions(calls);
    ShowLoadingPicture(calls, size);
    GameFloor.ready = 1;
    SeedRandom(&PlayRandom, 0);
    SeedRandom(&AuxRandomB, 0);
    LoadDataTables(&GameData, TableImageOps{&TableLoadImage, &TableCutImage, &TableImageSize},
                   nullptr);
    LoadGameImages();
    LoadFloor(calls, config);
    LoadGameSounds();
    RegisterBulletBehaviours();
    RegisterEnemyBehaviours();
    RegisterObjectBehaviours();
    RegisterPlayerBehaviours();
    return 0;
}

void LoadSystemImages() {
    const StartupCalls& calls = CurrentStartupCalls();
    SidePanelImage = calls.loadImage("image\\SYSTEM\\panel.png");
    FpsSheetImage = calls.loadImage("image\\SYSTEM\\FPS.png");
    calls.setDrawableImageCreation(1);
    FloorScreen = calls.createBlankImage(512, 512);
    PauseImage = calls.createBlankImage(128, 128);
    EffectScreen = calls.createBlankImage(512, 512);
    FrameImage = calls.createBlankImage(640, 480);
    calls.setDrawableImageCreation(0);
    LetterSheetImage = calls.loadImage("image\\SYSTEM\\ascii.png");
    InstallPlayAssets();
}
