// Modal dialogs built from a template that the program holds, as the settings
// program uses them. The dialog and each control are window records whose
// messages reach the dialog procedure through SendMessageA; on a display the
// controls are real GTK widgets, and headless (tests) they live only in the
// records, driven by the test hooks of dialog_testing.h.
#pragma once

#include "platform/types.h"
#include "platform/window.h"

using INT_PTR = intptr_t;
using DLGPROC = INT_PTR (*)(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#ifndef WM_INITDIALOG
#define WM_INITDIALOG 0x0110u
#endif
#ifndef WM_COMMAND
#define WM_COMMAND 0x0111u
#endif
#ifndef WM_CLOSE
#define WM_CLOSE 0x0010u
#endif

#define BM_GETCHECK 0x00F0u
#define BM_SETCHECK 0x00F1u
#define BST_UNCHECKED 0
#define BST_CHECKED 1
#define BN_CLICKED 0

#ifndef IDOK
#define IDOK 1
#endif
#ifndef IDCANCEL
#define IDCANCEL 2
#endif

#ifndef VK_RETURN
#define VK_RETURN 0x0D
#endif
#ifndef VK_ESCAPE
#define VK_ESCAPE 0x1B
#endif

#ifndef WS_POPUP
#define WS_POPUP 0x80000000u
#endif
#ifndef WS_CHILD
#define WS_CHILD 0x40000000u
#endif
#ifndef WS_VISIBLE
#define WS_VISIBLE 0x10000000u
#endif
#ifndef WS_CAPTION
#define WS_CAPTION 0x00C00000u
#endif
#ifndef WS_SYSMENU
#define WS_SYSMENU 0x00080000u
#endif
#ifndef WS_GROUP
#define WS_GROUP 0x00020000u
#endif
#ifndef WS_TABSTOP
#define WS_TABSTOP 0x00010000u
#endif
#define DS_SETFONT 0x40u
#define DS_MODALFRAME 0x80u

// Button kinds: the low four bits of a button control's style.
#define BS_PUSHBUTTON 0x0u
#define BS_DEFPUSHBUTTON 0x1u
#define BS_AUTOCHECKBOX 0x3u
#define BS_GROUPBOX 0x7u
#define BS_AUTORADIOBUTTON 0x9u
#define BS_TYPEMASK 0xFu

#define MAKEWPARAM(low, high) (static_cast<WPARAM>(static_cast<DWORD>(MAKELONG(low, high))))

// Runs the template named `templateName` modally and returns the value given
// to EndDialog, or -1 when the dialog cannot be made (no such template, no
// display, or a headless run whose driver left it open).
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC procedure,
                        LPARAM initParam);
BOOL EndDialog(HWND dialog, INT_PTR result);
HWND GetDlgItem(HWND dialog, int controlId);

namespace platform {

// One control of a dialog template; all controls are of the button class,
// their kind is in the style's low bits. Positions in dialog units.
struct DialogItemTemplate {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    const char* label;  // code page 932
};

// The resource that a program holds in place of a compiled dialog resource.
struct DialogTemplate {
    const char* name;  // the resource name, e.g. "IDD_DIALOG"
    WORD language;
    DWORD style;
    short x, y, cx, cy;   // dialog units
    const char* caption;  // code page 932
    WORD pointSize;
    const char* fontName;  // code page 932
    const DialogItemTemplate* items;
    int itemCount;
};

// Makes a template findable by DialogBoxParamA, as linking a resource into a
// program does. The template must outlive the program's dialogs.
void RegisterDialogTemplate(const DialogTemplate* dialogTemplate);

// The program's icon group: 32-bit pixels 0xAARRGGBB, rows top-down. It
// becomes the icon of every dialog window.
void RegisterProgramIcon(int groupId, int width, int height, const uint32_t* pixels);

}  // namespace platform
