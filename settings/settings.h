// vantrelcfg: one modal dialog that edits config.dat, the game's configuration.
#pragma once

#include "game/config_word.h"
#include "platform/dialog.h"

#define IDC_SAVE 1
#define IDC_CANCEL 2
#define IDC_RESOLUTION_GROUP 20
#define IDC_RESOLUTION_640 21
#define IDC_RESOLUTION_960 22
#define IDC_RESOLUTION_1280 23
#define IDC_COLOUR_GROUP 30
#define IDC_COLOUR_32 31
#define IDC_COLOUR_16 32
#define IDC_SCREEN_GROUP 40
#define IDC_SCREEN_WINDOW 41
#define IDC_SCREEN_FULL 42
#define IDC_SCREEN_ASK 43
#define IDC_OPTIONS_GROUP 50
#define IDC_HALF_FRAME_RATE 51
#define IDC_RUN_INACTIVE 52
#define IDC_NO_MIPMAPS 53
#define IDC_SHOW_FPS 54

#define IDI_SETTINGS 101

// The word the dialog edits; it follows every click.
extern ConfigWord g_configWord;

int WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);
INT_PTR SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void WriteConfigFile(const ConfigWord* word);

// What the program carries in place of compiled resources: the dialog
// template "IDD_DIALOG" and icon group 101. Done once before WinMain.
void RegisterSettingsResources();
