// The settings dialog with real widgets on a virtual display: every label
// shows whole, whatever the face the desktop gives its template's font.
// Skipped where Xvfb is missing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "platform/dialog_testing.h"
#include "settings/settings.h"
#include "tests/support/virtual_display.h"

namespace {

using namespace tessel_test;

struct Inspection {
    int cutLabels = -2;  // -2: the dialog was never shown
};

void InspectAndCancel(HWND dialog, void* context) {
    static_cast<Inspection*>(context)->cutLabels = platform::CountCutDialogLabels(dialog);
    platform::ClickDialogItem(dialog, IDC_CANCEL);
}

TEST(SettingsDialogOnADisplay, EveryLabelShowsWhole) {
    if (!OnPath("Xvfb")) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    VirtualDisplay display;
    ASSERT_TRUE(display.Start());
    // The toolkit starts once per process, on the display named now.
    setenv("DISPLAY", display.name().c_str(), 1);
    setenv("GDK_BACKEND", "x11", 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    unsetenv("WAYLAND_DISPLAY");

    char pattern[] = "/tmp/vantrelcfg_layout_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    char oldFolder[PATH_MAX] = {};
    ASSERT_NE(getcwd(oldFolder, sizeof oldFolder), nullptr);
    ASSERT_EQ(chdir(pattern), 0);

    RegisterSettingsResources();
    Inspection inspection;
    platform::SetShownDialogDriver(InspectAndCancel, &inspection);
    char commandLine[] = "";
    EXPECT_EQ(WinMain(nullptr, nullptr, commandLine, 1), 0);
    platform::SetShownDialogDriver(nullptr, nullptr);

    EXPECT_EQ(inspection.cutLabels, 0);
    EXPECT_EQ(chdir(oldFolder), 0);
    EXPECT_EQ(std::system(("rm -rf '" + std::string(pattern) + "'").c_str()), 0);
}

}  // namespace
