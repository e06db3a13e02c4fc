// The records behind an open dialog, shared by the dialog manager and its GTK
// view. The records are the truth (check marks, the end of the dialog); the
// widgets only show them and report the user's actions.
#pragma once

#include <memory>
#include <vector>

#include "platform/dialog.h"

namespace platform::dialog {

struct DialogView;
struct DialogRecord;

enum class ControlKind { kPushButton, kDefaultPushButton, kCheckBox, kRadioButton, kGroupBox };

struct DialogControl {
    DialogRecord* dialog = nullptr;
    const DialogItemTemplate* item = nullptr;
    ControlKind kind = ControlKind::kPushButton;
    int group = 0;  // index of the group the control belongs to
    HWND window = nullptr;
    int checked = BST_UNCHECKED;
    void* widget = nullptr;       // the view's widget, or null headless
    void* clearWidget = nullptr;  // the hidden radio whose selection clears this one
};

struct DialogRecord {
    const DialogTemplate* dialogTemplate = nullptr;
    DLGPROC procedure = nullptr;
    HWND window = nullptr;
    std::unique_ptr<DialogControl[]> controls;
    int controlCount = 0;
    bool ended = false;
    INT_PTR result = 0;
    // Set while the layer changes widgets itself: their signals are not the user's.
    int updatingWidgets = 0;
    DialogView* view = nullptr;
};

ControlKind KindOfStyle(DWORD style);
bool IsTabStop(const DialogControl& control);

// The user's actions, in the same form for widgets and for headless drivers.
void UserClicked(DialogControl* control);
// `focused` is the control that has the keyboard focus, or null.
void UserPressedKey(DialogRecord* record, int virtualKey, DialogControl* focused);
void UserClosed(DialogRecord* record);

// The view (GTK). Each returns false / does nothing when there is no display.
bool ViewAvailable();
DialogView* CreateView(DialogRecord* record);
void ShowView(DialogView* view);
void UpdateViewCheck(DialogView* view, DialogControl* control);
void RunViewOnce();
// Test support: true once the shown view has its final sizes; then the number
// of control labels that do not show whole (-1 without a view).
bool WaitForViewLaidOut(DialogView* view);
int CountCutLabels(DialogView* view);
void DestroyView(DialogView* view);

// The registered resources.
const DialogTemplate* FindDialogTemplate(const char* name);
struct ProgramIcon {
    int groupId = 0;
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};
const ProgramIcon* FindProgramIcon();

}  // namespace platform::dialog
