// The dialog manager without a display: templates, messages, automatic
// buttons, and the keys and close box that end a dialog.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/dialog.h"
#include "platform/dialog_testing.h"

namespace {

constexpr DWORD kTab = WS_CHILD | WS_VISIBLE | WS_TABSTOP;

// Groups by WS_GROUP: {10, 11, 12, 13, 14}, {20, 21}, {30}.
const platform::DialogItemTemplate kItems[] = {
    {WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 0, 0, 50, 50, 9, "frame"},
    {kTab | WS_GROUP | BS_AUTORADIOBUTTON, 4, 4, 40, 10, 10, "a"},
    {kTab | BS_AUTORADIOBUTTON, 4, 14, 40, 10, 11, "b"},
    {kTab | BS_AUTOCHECKBOX, 4, 24, 40, 10, 12, "tick"},
    {WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 60, 0, 50, 50, 13, "frame 2"},
    {kTab | BS_AUTORADIOBUTTON, 64, 4, 40, 10, 14, "c"},
    {kTab | WS_GROUP | BS_AUTORADIOBUTTON, 64, 14, 40, 10, 20, "d"},
    {kTab | BS_AUTORADIOBUTTON, 64, 24, 40, 10, 21, "e"},
    {kTab | WS_GROUP | BS_PUSHBUTTON, 10, 60, 40, 14, 30, "push"},
};

const platform::DialogTemplate kTemplate = {
    "TEST_DIALOG",
    1041,
    DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU,
    0,
    0,
    120,
    80,
    "test",
    9,
    "MS UI Gothic",
    kItems,
    static_cast<int>(sizeof(kItems) / sizeof(kItems[0])),
};

struct Seen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// The procedure of the dialog under test records what it gets and lets the
// test decide through `handle`.
std::vector<Seen> g_seen;
std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> g_handle;
std::function<void(HWND)> g_user;

INT_PTR TestDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG || message == WM_COMMAND || message == WM_CLOSE) {
        g_seen.push_back({message, wParam, lParam});
    }
    return g_handle ? g_handle(dialog, message, wParam, lParam) : FALSE;
}

void Drive(HWND dialog, void*) {
    if (g_user) {
        g_user(dialog);
    }
}

// Ends the dialog with the id of the first command, as most dialogs do.
INT_PTR EndOnCommand(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

class DialogManager : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::RegisterDialogTemplate(&kTemplate);
        platform::SetHeadlessDialogs(Drive, nullptr);
        g_seen.clear();
        g_handle = EndOnCommand;
        g_user = nullptr;
    }
    void TearDown() override { platform::ClearHeadlessDialogs(); }

    INT_PTR Run(std::function<void(HWND)> user, LPARAM param = 0) {
        g_user = std::move(user);
        return DialogBoxParamA(nullptr, "test_dialog", nullptr, TestDialogProc, param);
    }
};

int Check(HWND dialog, int id) {
    return static_cast<int>(SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0));
}

TEST_F(DialogManager, UnknownTemplateOrNoProcedureFails) {
    EXPECT_EQ(DialogBoxParamA(nullptr, "NO_SUCH_DIALOG", nullptr, TestDialogProc, 0), -1);
    EXPECT_EQ(DialogBoxParamA(nullptr, "TEST_DIALOG", nullptr, nullptr, 0), -1);
    EXPECT_TRUE(g_seen.empty());
}

TEST_F(DialogManager, InitialisationNamesTheFirstTabStopAndCarriesTheParameter) {
    HWND first = nullptr;
    HWND missing = reinterpret_cast<HWND>(1);
    int firstId = 0;
    EXPECT_EQ(Run(
                  [&](HWND dialog) {
                      first = GetDlgItem(dialog, 10);
                      missing = GetDlgItem(dialog, 99);
                      firstId = platform::ProcWindowControlId(first);
                      EndDialog(dialog, 77);
                  },
                  1234),
              77);
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].message, WM_INITDIALOG);
    EXPECT_EQ(g_seen[0].wParam, reinterpret_cast<WPARAM>(first));
    EXPECT_EQ(g_seen[0].lParam, 1234);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(firstId, 10);
    EXPECT_EQ(GetDlgItem(nullptr, 10), nullptr);
    EXPECT_FALSE(EndDialog(nullptr, 0));
}

TEST_F(DialogManager, EndingDuringInitialisationSkipsTheUser) {
    g_handle = [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            EndDialog(dialog, 5);
        }
        return TRUE;
    };
    bool userCalled = false;
    EXPECT_EQ(Run([&](HWND) { userCalled = true; }), 5);
    EXPECT_FALSE(userCalled);
}

TEST_F(DialogManager, SetCheckMarksSilentlyAndOnlyCheckableButtons) {
    std::vector<int> marks;
    Run([&](HWND dialog) {
        SendMessageA(GetDlgItem(dialog, 11), BM_SETCHECK, BST_CHECKED, 0);
        SendMessageA(GetDlgItem(dialog, 12), BM_SETCHECK, BST_CHECKED, 0);
        SendMessageA(GetDlgItem(dialog, 30), BM_SETCHECK, BST_CHECKED, 0);
        // Setting a mark does not clear the set: only a click does.
        SendMessageA(GetDlgItem(dialog, 10), BM_SETCHECK, BST_CHECKED, 0);
        for (int id : {10, 11, 12, 30}) {
            marks.push_back(Check(dialog, id));
        }
        EndDialog(dialog, 0);
    });
    EXPECT_EQ(marks, (std::vector<int>{1, 1, 1, 0}));
    EXPECT_EQ(g_seen.size(), 1u);  // WM_INITDIALOG only
}

TEST_F(DialogManager, AutomaticRadioButtonsClearTheOtherRadioButtonsOfTheirGroup) {
    g_handle = nullptr;
    std::vector<int> marks;
    Run([&](HWND dialog) {
        for (int id : {10, 12, 20}) {
            platform::ClickDialogItem(dialog, id);
        }
        // 14 has no group mark of its own: it is in the group of 10 and 11.
        platform::ClickDialogItem(dialog, 14);
        for (int id : {10, 11, 12, 14, 20, 21}) {
            marks.push_back(Check(dialog, id));
        }
        platform::ClickDialogItem(dialog, 12);
        marks.push_back(Check(dialog, 12));
        EndDialog(dialog, 0);
    });
    EXPECT_EQ(marks, (std::vector<int>{0, 0, 1, 1, 1, 0, 0}));
    // Every click is a command with the control's id, BN_CLICKED and its window.
    ASSERT_EQ(g_seen.size(), 6u);
    for (size_t i = 1; i < g_seen.size(); ++i) {
        EXPECT_EQ(g_seen[i].message, WM_COMMAND);
        EXPECT_EQ(HIWORD(g_seen[i].wParam), BN_CLICKED);
    }
    EXPECT_EQ(LOWORD(g_seen[4].wParam), 14);
    EXPECT_NE(g_seen[4].lParam, 0);
}

TEST_F(DialogManager, GroupBoxesSendNothing) {
    g_handle = nullptr;
    Run([](HWND dialog) {
        platform::ClickDialogItem(dialog, 9);
        platform::ClickDialogItem(dialog, 13);
        EndDialog(dialog, 0);
    });
    EXPECT_EQ(g_seen.size(), 1u);
}

TEST_F(DialogManager, KeysAndTheCloseBoxBecomeCommands) {
    // No default button: Enter means OK.
    EXPECT_EQ(Run([](HWND d) { platform::PressDialogKey(d, VK_RETURN); }), IDOK);
    EXPECT_EQ(Run([](HWND d) { platform::PressDialogKey(d, VK_ESCAPE); }), IDCANCEL);
    g_seen.clear();
    EXPECT_EQ(Run([](HWND d) { platform::CloseDialogBox(d); }), IDCANCEL);
    ASSERT_EQ(g_seen.size(), 3u);
    EXPECT_EQ(g_seen[1].message, WM_CLOSE);
    EXPECT_EQ(g_seen[2].message, WM_COMMAND);
}

TEST_F(DialogManager, AProcedureThatHandlesCloseKeepsTheDialog) {
    g_handle = [](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_CLOSE) {
            return TRUE;
        }
        return EndOnCommand(dialog, message, wParam, 0);
    };
    EXPECT_EQ(Run([](HWND d) {
                  platform::CloseDialogBox(d);
                  platform::ClickDialogItem(d, 30);
              }),
              30);
}

TEST_F(DialogManager, ADialogLeftOpenByTheDriverFails) {
    EXPECT_EQ(Run([](HWND) {}), -1);
}

}  // namespace
