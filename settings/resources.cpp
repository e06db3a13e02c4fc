// The program's resources, held as data: the dialog template and the icon.
#include <cmath>
#include <cstdint>

#include "settings/settings.h"

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kButton = kChild | WS_TABSTOP;

// Creation order is tab order and decides the groups: a group runs from a
// WS_GROUP control to the next one.
const platform::DialogItemTemplate kSettingsItems[] = {
    {kButton | BS_DEFPUSHBUTTON, 50, 204, 48, 16, IDC_SAVE, "保存して終了"},
    {kButton | BS_PUSHBUTTON, 100, 204, 48, 16, IDC_CANCEL, "やっぱりやめる"},
    {kChild | BS_GROUPBOX, 8, 8, 62, 64, IDC_RESOLUTION_GROUP, "画面解像度"},
    {kChild | BS_GROUPBOX, 8, 120, 140, 80, IDC_OPTIONS_GROUP, "その他"},
    {kChild | BS_GROUPBOX, 8, 80, 140, 32, IDC_COLOUR_GROUP, "画面色数"},
    {kButton | WS_GROUP | BS_AUTORADIOBUTTON, 14, 94, 59, 14, IDC_COLOUR_32,
     "３２ｂｉｔ（高品質）"},
    {kButton | BS_AUTORADIOBUTTON, 76, 94, 58, 14, IDC_COLOUR_16, "１６ｂｉｔ（中品質）"},
    {kButton | WS_GROUP | BS_AUTORADIOBUTTON, 14, 22, 51, 12, IDC_RESOLUTION_640, "６４０×４８０"},
    {kButton | BS_AUTORADIOBUTTON, 14, 38, 51, 12, IDC_RESOLUTION_960, "９６０×７２０"},
    {kButton | BS_AUTORADIOBUTTON, 14, 54, 52, 12, IDC_RESOLUTION_1280, "１２８０×９６０"},
    {kButton | BS_AUTOCHECKBOX, 14, 134, 87, 14, IDC_HALF_FRAME_RATE, "描画間隔を1/2にするにゃん"},
    {kButton | BS_AUTOCHECKBOX, 14, 150, 127, 14, IDC_RUN_INACTIVE,
     "ウィンドウが非アクティブでも動作するにゃん"},
    {kButton | BS_AUTOCHECKBOX, 14, 166, 122, 14, IDC_NO_MIPMAPS,
     "ミップマップ＆ぐんにょりを使用しないにゃん"},
    {kButton | BS_AUTOCHECKBOX, 14, 182, 97, 14, IDC_SHOW_FPS, "画面端にFPSを表示するにゃん"},
    {kChild | BS_GROUPBOX, 78, 8, 71, 64, IDC_SCREEN_GROUP, "スクリーンモード"},
    {kButton | WS_GROUP | BS_AUTORADIOBUTTON, 84, 22, 54, 14, IDC_SCREEN_WINDOW, "ウィンドウ"},
    {kButton | BS_AUTORADIOBUTTON, 84, 38, 54, 14, IDC_SCREEN_FULL, "フルスクリーン"},
    {kButton | BS_AUTORADIOBUTTON, 84, 54, 54, 14, IDC_SCREEN_ASK, "毎回聞いちゃう"},
};

constexpr WORD kLanguageJapanese = 1041;

const platform::DialogTemplate kSettingsDialog = {
    "IDD_DIALOG",
    kLanguageJapanese,
    DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU,
    32,
    32,
    156,
    224,
    "vantrelcfgだよ",
    9,
    "MS UI Gothic",
    kSettingsItems,
    static_cast<int>(sizeof(kSettingsItems) / sizeof(kSettingsItems[0])),
};

constexpr int kIconSize = 32;

// A white cog with eight teeth on a rounded blue tile.
uint32_t IconPixel(int x, int y) {
    double dx = x + 0.5 - kIconSize / 2.0;
    double dy = y + 0.5 - kIconSize / 2.0;
    double cornerX = std::fmax(std::fabs(dx) - 10.0, 0.0);
    double cornerY = std::fmax(std::fabs(dy) - 10.0, 0.0);
    if (cornerX * cornerX + cornerY * cornerY > 36.0) {
        return 0x00000000u;  // outside the tile's rounded corners
    }
    double radius = std::sqrt(dx * dx + dy * dy);
    double angle = std::atan2(dy, dx);
    bool tooth = std::cos(angle * 8.0) > 0.3;
    bool cog = radius >= 4.0 && (radius <= 9.5 || (tooth && radius <= 12.5));
    if (cog) {
        return 0xFFFFFFFFu;
    }
    // Lighter at the top, darker at the bottom.
    uint32_t blue = static_cast<uint32_t>(230 - y * 3);
    uint32_t green = static_cast<uint32_t>(120 - y * 2);
    return 0xFF000000u | (40u << 16) | (green << 8) | blue;
}

}  // namespace

void RegisterSettingsResources() {
    platform::RegisterDialogTemplate(&kSettingsDialog);
    static uint32_t icon[kIconSize * kIconSize];
    for (int y = 0; y < kIconSize; ++y) {
        for (int x = 0; x < kIconSize; ++x) {
            icon[y * kIconSize + x] = IconPixel(x, y);
        }
    }
    platform::RegisterProgramIcon(IDI_SETTINGS, kIconSize, kIconSize, icon);
}
