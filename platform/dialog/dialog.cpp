// The dialog manager: builds the records of a dialog from its template, turns
// the user's actions into the messages a dialog procedure handles, and runs
// the dialog modally. Two routes, chosen once per dialog: with a display, a
// GTK view (gtk_view.cpp) shows real widgets; headless (a test has set a
// driver, see dialog_testing.h), the records alone run and the driver acts as
// the user. Without either, DialogBoxParamA fails with a line on standard error.
// Not here: modeless dialogs, dialog units other than the template's own.
#include <cstdio>
#include <vector>

#include "platform/dialog/dialog_record_internal.h"
#include "platform/dialog_testing.h"

namespace platform::dialog {
namespace {

HeadlessDialogDriver g_headlessDriver = nullptr;
void* g_headlessContext = nullptr;
bool g_headless = false;
HeadlessDialogDriver g_shownDriver = nullptr;  // acts on real widgets once shown
void* g_shownContext = nullptr;

// Dialogs open now, innermost last; one thread runs them.
std::vector<DialogRecord*>& OpenDialogs() {
    static std::vector<DialogRecord*> open;
    return open;
}

DialogRecord* FindDialog(HWND window) {
    if (window == nullptr) {
        return nullptr;
    }
    for (DialogRecord* record : OpenDialogs()) {
        if (record->window == window) {
            return record;
        }
    }
    return nullptr;
}

DialogControl* FindControl(DialogRecord* record, int controlId) {
    for (int i = 0; i < record->controlCount; ++i) {
        if (record->controls[i].item->id == static_cast<WORD>(controlId)) {
            return &record->controls[i];
        }
    }
    return nullptr;
}

void SendCommand(DialogRecord* record, int controlId, HWND control) {
    SendMessageA(record->window, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(control));
}

void SetCheck(DialogControl* control, int state) {
    if (control->checked == state) {
        return;
    }
    control->checked = state;
    UpdateViewCheck(control->dialog->view, control);
}

// Messages to the dialog go to the program's procedure first; what it leaves
// (returns FALSE for) gets the default dialog handling.
LRESULT DialogWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DialogRecord* record = FindDialog(window);
    if (record == nullptr) {
        return 0;
    }
    INT_PTR handled = record->procedure(window, message, wParam, lParam);
    if (handled != FALSE) {
        return handled;
    }
    if (message == WM_CLOSE) {
        // The close box means the same as Cancel.
        SendCommand(record, IDCANCEL, GetDlgItem(window, IDCANCEL));
    }
    return 0;
}

LRESULT ControlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* control = static_cast<DialogControl*>(ProcWindowUserData(window));
    if (control == nullptr) {
        return 0;
    }
    bool checkable =
        control->kind == ControlKind::kCheckBox || control->kind == ControlKind::kRadioButton;
    switch (message) {
        case BM_GETCHECK:
            return checkable ? control->checked : BST_UNCHECKED;
        case BM_SETCHECK:
            if (checkable) {
                SetCheck(control, wParam == BST_CHECKED ? BST_CHECKED : BST_UNCHECKED);
            }
            return 0;
        default:
            return 0;
    }
}

// A group runs from a control with WS_GROUP to the next such control; the
// first control starts one whatever its style.
void BuildControls(DialogRecord* record) {
    const DialogTemplate* dialogTemplate = record->dialogTemplate;
    record->controlCount = dialogTemplate->itemCount;
    record->controls = std::make_unique<DialogControl[]>(record->controlCount);
    int group = 0;
    for (int i = 0; i < record->controlCount; ++i) {
        DialogControl& control = record->controls[i];
        control.dialog = record;
        control.item = &dialogTemplate->items[i];
        control.kind = KindOfStyle(control.item->style);
        if (i > 0 && (control.item->style & WS_GROUP) != 0) {
            ++group;
        }
        control.group = group;
    }
}

bool CreateWindows(DialogRecord* record, HWND owner) {
    record->window = CreateProcWindow(DialogWindowProc, owner, 0, record);
    if (record->window == nullptr) {
        return false;
    }
    for (int i = 0; i < record->controlCount; ++i) {
        DialogControl& control = record->controls[i];
        control.window =
            CreateProcWindow(ControlWindowProc, record->window, control.item->id, &control);
        if (control.window == nullptr) {
            return false;
        }
    }
    return true;
}

void DestroyWindows(DialogRecord* record) {
    for (int i = 0; i < record->controlCount; ++i) {
        if (record->controls[i].window != nullptr) {
            DestroyWindow(record->controls[i].window);
        }
    }
    if (record->window != nullptr) {
        DestroyWindow(record->window);
    }
}

HWND FirstTabStop(DialogRecord* record) {
    for (int i = 0; i < record->controlCount; ++i) {
        if (IsTabStop(record->controls[i])) {
            return record->controls[i].window;
        }
    }
    return nullptr;
}

void RemoveOpenDialog(DialogRecord* record) {
    std::vector<DialogRecord*>& open = OpenDialogs();
    for (auto it = open.begin(); it != open.end(); ++it) {
        if (*it == record) {
            open.erase(it);
            return;
        }
    }
}

INT_PTR RunModal(DialogRecord* record, LPARAM initParam) {
    SendMessageA(record->window, WM_INITDIALOG, reinterpret_cast<WPARAM>(FirstTabStop(record)),
                 initParam);
    if (g_headless) {
        if (!record->ended && g_headlessDriver != nullptr) {
            g_headlessDriver(record->window, g_headlessContext);
        }
        if (!record->ended) {
            fprintf(stderr, "dialog: the headless driver left \"%s\" open\n",
                    record->dialogTemplate->name);
            return -1;
        }
        return record->result;
    }
    if (!record->ended) {
        ShowView(record->view);
        if (g_shownDriver != nullptr && WaitForViewLaidOut(record->view)) {
            g_shownDriver(record->window, g_shownContext);
        }
    }
    while (!record->ended) {
        RunViewOnce();
    }
    return record->result;
}

}  // namespace

ControlKind KindOfStyle(DWORD style) {
    switch (style & BS_TYPEMASK) {
        case BS_DEFPUSHBUTTON:
            return ControlKind::kDefaultPushButton;
        case BS_AUTOCHECKBOX:
            return ControlKind::kCheckBox;
        case BS_GROUPBOX:
            return ControlKind::kGroupBox;
        case BS_AUTORADIOBUTTON:
            return ControlKind::kRadioButton;
        default:
            return ControlKind::kPushButton;
    }
}

bool IsTabStop(const DialogControl& control) {
    return (control.item->style & WS_TABSTOP) != 0 && control.kind != ControlKind::kGroupBox;
}

void UserClicked(DialogControl* control) {
    DialogRecord* record = control->dialog;
    if (record->ended) {
        return;
    }
    switch (control->kind) {
        case ControlKind::kGroupBox:
            return;
        case ControlKind::kCheckBox:
            SetCheck(control, control->checked == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
            break;
        case ControlKind::kRadioButton:
            // An automatic radio button clears only the radio buttons of its own group.
            for (int i = 0; i < record->controlCount; ++i) {
                DialogControl& other = record->controls[i];
                if (&other != control && other.group == control->group &&
                    other.kind == ControlKind::kRadioButton) {
                    SetCheck(&other, BST_UNCHECKED);
                }
            }
            SetCheck(control, BST_CHECKED);
            break;
        default:
            break;
    }
    SendCommand(record, control->item->id, control->window);
}

void UserPressedKey(DialogRecord* record, int virtualKey, DialogControl* focused) {
    if (record->ended) {
        return;
    }
    if (virtualKey == VK_ESCAPE) {
        SendCommand(record, IDCANCEL, GetDlgItem(record->window, IDCANCEL));
        return;
    }
    if (virtualKey != VK_RETURN) {
        return;
    }
    // Enter presses the focused push button, else the default one.
    if (focused != nullptr && (focused->kind == ControlKind::kPushButton ||
                               focused->kind == ControlKind::kDefaultPushButton)) {
        SendCommand(record, focused->item->id, focused->window);
        return;
    }
    for (int i = 0; i < record->controlCount; ++i) {
        DialogControl& control = record->controls[i];
        if (control.kind == ControlKind::kDefaultPushButton) {
            SendCommand(record, control.item->id, control.window);
            return;
        }
    }
    SendCommand(record, IDOK, GetDlgItem(record->window, IDOK));
}

void UserClosed(DialogRecord* record) {
    if (!record->ended) {
        SendMessageA(record->window, WM_CLOSE, 0, 0);
    }
}

}  // namespace platform::dialog

using platform::dialog::DialogRecord;

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC procedure,
                        LPARAM initParam) {
    const platform::DialogTemplate* dialogTemplate =
        platform::dialog::FindDialogTemplate(templateName);
    if (dialogTemplate == nullptr || procedure == nullptr) {
        fprintf(stderr, "dialog: no dialog template of that name\n");
        return -1;
    }
    if (!platform::dialog::g_headless && !platform::dialog::ViewAvailable()) {
        fprintf(stderr, "dialog: \"%s\" cannot be shown: no display\n", dialogTemplate->name);
        return -1;
    }
    auto record = std::make_unique<DialogRecord>();
    record->dialogTemplate = dialogTemplate;
    record->procedure = procedure;
    platform::dialog::BuildControls(record.get());
    INT_PTR result = -1;
    if (platform::dialog::CreateWindows(record.get(), owner)) {
        platform::dialog::OpenDialogs().push_back(record.get());
        if (!platform::dialog::g_headless) {
            record->view = platform::dialog::CreateView(record.get());
        }
        if (platform::dialog::g_headless || record->view != nullptr) {
            result = platform::dialog::RunModal(record.get(), initParam);
        } else {
            fprintf(stderr, "dialog: \"%s\" cannot be built\n", dialogTemplate->name);
        }
        platform::dialog::DestroyView(record->view);
        platform::dialog::RemoveOpenDialog(record.get());
    }
    platform::dialog::DestroyWindows(record.get());
    return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    DialogRecord* record = platform::dialog::FindDialog(dialog);
    if (record == nullptr) {
        return FALSE;
    }
    record->ended = true;
    record->result = result;
    return TRUE;
}

HWND GetDlgItem(HWND dialog, int controlId) {
    DialogRecord* record = platform::dialog::FindDialog(dialog);
    if (record == nullptr) {
        return nullptr;
    }
    platform::dialog::DialogControl* control = platform::dialog::FindControl(record, controlId);
    return control != nullptr ? control->window : nullptr;
}

namespace platform {

void SetHeadlessDialogs(HeadlessDialogDriver driver, void* context) {
    dialog::g_headless = true;
    dialog::g_headlessDriver = driver;
    dialog::g_headlessContext = context;
}

void SetShownDialogDriver(HeadlessDialogDriver driver, void* context) {
    dialog::g_shownDriver = driver;
    dialog::g_shownContext = context;
}

int CountCutDialogLabels(HWND window) {
    dialog::DialogRecord* record = dialog::FindDialog(window);
    return record != nullptr ? dialog::CountCutLabels(record->view) : -1;
}

void ClearHeadlessDialogs() {
    dialog::g_headless = false;
    dialog::g_headlessDriver = nullptr;
    dialog::g_headlessContext = nullptr;
}

void ClickDialogItem(HWND dialog, int controlId) {
    DialogRecord* record = dialog::FindDialog(dialog);
    if (record == nullptr) {
        return;
    }
    dialog::DialogControl* control = dialog::FindControl(record, controlId);
    if (control != nullptr) {
        dialog::UserClicked(control);
    }
}

void PressDialogKey(HWND dialog, int virtualKey) {
    DialogRecord* record = dialog::FindDialog(dialog);
    if (record != nullptr) {
        dialog::UserPressedKey(record, virtualKey, nullptr);
    }
}

void CloseDialogBox(HWND dialog) {
    DialogRecord* record = dialog::FindDialog(dialog);
    if (record != nullptr) {
        dialog::UserClosed(record);
    }
}

}  // namespace platform
