// Test hooks of the dialog service (not part of Windows): dialogs run without
// widgets, and the calls that act as the user on them.
#pragma once

#include "platform/dialog.h"

namespace platform {

// Headless dialogs: DialogBoxParamA builds the records without widgets, sends
// WM_INITDIALOG, then calls the driver, which acts as the user through the
// calls below. A dialog still open when the driver returns is closed and
// DialogBoxParamA returns -1.
using HeadlessDialogDriver = void (*)(HWND dialog, void* context);
void SetHeadlessDialogs(HeadlessDialogDriver driver, void* context);
void ClearHeadlessDialogs();

// Dialogs with real widgets (a display, no headless driver): once a dialog is
// shown and laid out, `driver` is called once, on the dialog's thread, and
// may act as the user through the calls below. Null stops it.
void SetShownDialogDriver(HeadlessDialogDriver driver, void* context);
// The number of the shown dialog's control labels that do not show whole
// (cut by their widget's size or ellipsized); -1 for a dialog without widgets.
int CountCutDialogLabels(HWND dialog);

// The user clicks control `controlId` (or presses Space on it).
void ClickDialogItem(HWND dialog, int controlId);
// The user presses a key with focus on no push button: VK_RETURN or VK_ESCAPE.
void PressDialogKey(HWND dialog, int virtualKey);
// The user clicks the caption's close box.
void CloseDialogBox(HWND dialog);

}  // namespace platform
