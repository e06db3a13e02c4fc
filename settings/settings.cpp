#include "settings/settings.h"

#include <cstdio>

#include "game/files/config_file.h"
#include "platform/kernel.h"

ConfigWord g_configWord;

namespace {

void ShowWriteError() {
    MessageBoxA(nullptr, "ファイルが書き込みモードで開けなかったよぉおおお///", "エラーだよ！",
                MB_OK);
}

void CheckButton(HWND dialog, int controlId) {
    SendMessageA(GetDlgItem(dialog, controlId), BM_SETCHECK, BST_CHECKED, 0);
}

void ShowConfigWord(HWND dialog, const ConfigWord& word) {
    static const int kResolutionIds[] = {IDC_RESOLUTION_640, IDC_RESOLUTION_960,
                                         IDC_RESOLUTION_1280};
    static const int kColourIds[] = {IDC_COLOUR_32, IDC_COLOUR_16};
    static const int kScreenIds[] = {IDC_SCREEN_WINDOW, IDC_SCREEN_FULL, IDC_SCREEN_ASK};
    static const int kOptionIds[] = {IDC_HALF_FRAME_RATE, IDC_RUN_INACTIVE, IDC_NO_MIPMAPS,
                                     IDC_SHOW_FPS};
    // A byte outside its range selects nothing in its group.
    if (word.resolution < 3) {
        CheckButton(dialog, kResolutionIds[word.resolution]);
    }
    if (word.colourDepth < 2) {
        CheckButton(dialog, kColourIds[word.colourDepth]);
    }
    if (word.screenMode < 3) {
        CheckButton(dialog, kScreenIds[word.screenMode]);
    }
    for (int bit = 0; bit < 4; ++bit) {
        if ((word.options & (1u << bit)) != 0) {
            CheckButton(dialog, kOptionIds[bit]);
        }
    }
}

void CloseDialog(HWND dialog) {
    EndDialog(dialog, 0);
    PostQuitMessage(0);
}

void ApplyCommand(HWND dialog, int controlId, ConfigWord* word) {
    switch (controlId) {
        case IDC_SAVE:
            WriteConfigFile(word);
            CloseDialog(dialog);
            break;
        case IDC_CANCEL:
            CloseDialog(dialog);
            break;
        case IDC_RESOLUTION_640:
        case IDC_RESOLUTION_960:
        case IDC_RESOLUTION_1280:
            word->resolution = static_cast<uint8_t>(controlId - IDC_RESOLUTION_640);
            break;
        case IDC_COLOUR_32:
        case IDC_COLOUR_16:
            word->colourDepth = static_cast<uint8_t>(controlId - IDC_COLOUR_32);
            break;
        case IDC_SCREEN_WINDOW:
        case IDC_SCREEN_FULL:
        case IDC_SCREEN_ASK:
            word->screenMode = static_cast<uint8_t>(controlId - IDC_SCREEN_WINDOW);
            break;
        case IDC_HALF_FRAME_RATE:
        case IDC_RUN_INACTIVE:
        case IDC_NO_MIPMAPS:
        case IDC_SHOW_FPS:
            word->options ^= static_cast<uint8_t>(1u << (controlId - IDC_HALF_FRAME_RATE));
            break;
        default:
            break;
    }
}

}  // namespace

int WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand) {
    // Zeroed first: bytes a short file lacks read as 0, whatever an earlier
    // run of the dialog in this process left in the word. No range is tested,
    // so values the dialog cannot show survive a save untouched.
    g_configWord = ConfigWord{};
    LoadConfigFile(&g_configWord);
    if (DialogBoxParamA(instance, "IDD_DIALOG", nullptr, SettingsDialogProc, 0) == -1) {
        // Without the dialog nobody would post the quit message.
        fprintf(stderr, "vantrelcfg: the settings dialog cannot be shown\n");
        return 1;
    }
    MSG message;
    for (;;) {
        BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            break;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

INT_PTR SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            ShowConfigWord(dialog, g_configWord);
            return TRUE;
        case WM_COMMAND:
            ApplyCommand(dialog, LOWORD(wParam), &g_configWord);
            return TRUE;
        default:
            return FALSE;
    }
}

// A save that cannot reach the file leaves the previous file as it was.
void WriteConfigFile(const ConfigWord* word) {
    if (SaveConfigFile(*word) != 0) {
        ShowWriteError();
    }
}
