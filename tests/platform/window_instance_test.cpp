// Single instance across processes. The second process is this test program
// again, started with a filter that runs only the helper below and an
// environment variable that tells the helper what to do.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/kernel.h"
#include "platform/window.h"
#include "platform/window_testing.h"
#include "tests/platform/window_test_support.h"
#include "tests/support/spawn_self.h"

using namespace windowtest;

namespace {

std::string UniqueNamespace() {
    return "test-" + std::to_string(getpid()) + "-" + std::to_string(GetTickCount());
}

using tessel_test::SpawnSelf;
using tessel_test::WaitExit;

// The helper: with TESSEL_INSTANCE_ROLE=find it looks for the class and
// fails when it does not find it; with =own it makes a window of the class
// and keeps it until the file named by TESSEL_INSTANCE_READY is gone.
TEST(SingleInstanceHelper, Role) {
    const char* role = std::getenv("TESSEL_INSTANCE_ROLE");
    if (role == nullptr) {
        GTEST_SKIP() << "runs only as the second process of SingleInstance tests";
    }
    if (std::string(role) == "find") {
        EXPECT_NE(FindWindowA("InstanceTestClass", nullptr), nullptr);
        EXPECT_NE(FindWindowA("instancetestclass", "Instance Title"), nullptr);
        EXPECT_EQ(FindWindowA("InstanceTestClass", "Other Title"), nullptr);
        EXPECT_EQ(FindWindowA("OtherClass", nullptr), nullptr);
        return;
    }
    RegisterTestClass("InstanceTestClass");
    HWND window = CreateWindowExA(0, "InstanceTestClass", "Instance Title", WS_POPUP, 0, 0, 10, 10,
                                  nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    std::string ready = std::getenv("TESSEL_INSTANCE_READY");
    FILE* f = std::fopen(ready.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    DWORD start = GetTickCount();
    while (access(ready.c_str(), F_OK) == 0 && GetTickCount() - start < 20000) {
        Sleep(5);
    }
    // Ends without destroying the window: its lock goes with the process.
}

TEST(SingleInstance, ASecondProcessFindsTheFirstByClass) {
    std::string space = UniqueNamespace();
    platform::SetInstanceNamespace(space.c_str());
    RegisterTestClass("InstanceTestClass");
    HWND window = CreateWindowExA(0, "InstanceTestClass", "Instance Title", WS_POPUP, 0, 0, 10, 10,
                                  nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(FindWindowA("InstanceTestClass", nullptr), window);  // in this process

    pid_t finder = SpawnSelf("SingleInstanceHelper.Role",
                             {"TESSEL_INSTANCE_ROLE=find", "TESSEL_INSTANCE_NAMESPACE=" + space});
    ASSERT_GT(finder, 0);
    EXPECT_EQ(WaitExit(finder), 0);

    // Another namespace sees nothing: parallel tests stay apart.
    pid_t stranger =
        SpawnSelf("SingleInstanceHelper.Role",
                  {"TESSEL_INSTANCE_ROLE=find", "TESSEL_INSTANCE_NAMESPACE=" + space + "-other"});
    ASSERT_GT(stranger, 0);
    EXPECT_NE(WaitExit(stranger), 0);

    DestroyWindow(window);
    pid_t late = SpawnSelf("SingleInstanceHelper.Role",
                           {"TESSEL_INSTANCE_ROLE=find", "TESSEL_INSTANCE_NAMESPACE=" + space});
    ASSERT_GT(late, 0);
    EXPECT_NE(WaitExit(late), 0);  // gone with its window
}

TEST(SingleInstance, TheFirstIsFoundInAnotherProcessUntilThatProcessEnds) {
    std::string space = UniqueNamespace() + "-b";
    platform::SetInstanceNamespace(space.c_str());
    std::string ready = ::testing::TempDir() + "instance-ready-" + std::to_string(getpid());
    unlink(ready.c_str());
    pid_t owner = SpawnSelf("SingleInstanceHelper.Role",
                            {"TESSEL_INSTANCE_ROLE=own", "TESSEL_INSTANCE_NAMESPACE=" + space,
                             "TESSEL_INSTANCE_READY=" + ready});
    ASSERT_GT(owner, 0);
    DWORD start = GetTickCount();
    while (access(ready.c_str(), F_OK) != 0 && GetTickCount() - start < 20000) {
        Sleep(5);
    }
    HWND found = FindWindowA("InstanceTestClass", "Instance Title");
    EXPECT_NE(found, nullptr);
    EXPECT_TRUE(IsWindow(found));
    unlink(ready.c_str());  // lets the owner end
    EXPECT_EQ(WaitExit(owner), 0);
    EXPECT_FALSE(IsWindow(found));
    EXPECT_EQ(FindWindowA("InstanceTestClass", nullptr), nullptr);
}

}  // namespace
