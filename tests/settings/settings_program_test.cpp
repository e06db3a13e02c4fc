// The real vantrelcfg on a virtual display, driven by keyboard input as a user
// would drive it. Skipped where Xvfb or xdotool is missing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/kernel.h"
#include "platform/winmm.h"

namespace {

bool OnPath(const char* program) {
    const char* path = getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) {
            end = dirs.size();
        }
        std::string candidate = dirs.substr(start, end - start) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

std::string ThisProgramFolder() {
    char path[PATH_MAX] = {};
    ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) {
        return ".";
    }
    std::string folder(path, static_cast<size_t>(length));
    return folder.substr(0, folder.find_last_of('/'));
}

std::string ArtifactPath(const std::string& buildFolder) {
    const char* data = getenv("TESSEL_TEST_DATA");
    std::string folder = buildFolder;
    if (data != nullptr) {
        // Beside the test data folder, which need not exist.
        std::string tests(data);
        folder = tests.substr(0, tests.find_last_of('/')) + "/artifacts";
    }
    mkdir(folder.c_str(), 0755);
    std::string build = buildFolder.substr(buildFolder.find_last_of('/') + 1);
    return folder + "/settings_dialog_" + build + ".png";
}

// An X server of our own on a free display number, which it reports itself.
class VirtualDisplay {
  public:
    bool Start() {
        int fds[2];
        if (pipe(fds) != 0) {
            return false;
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, 2);
            std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24",
                   "-nolisten", "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        if (pid_ < 0) {
            close(fds[0]);
            return false;
        }
        std::string number;
        pollfd wait = {fds[0], POLLIN, 0};
        char c;
        while (poll(&wait, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') {
            number += c;
        }
        close(fds[0]);
        if (number.empty()) {
            return false;
        }
        name_ = ":" + number;
        return true;
    }

    ~VirtualDisplay() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }

    const std::string& name() const { return name_; }

  private:
    pid_t pid_ = -1;
    std::string name_;
};

// Runs a shell command on the display and returns its first output line.
std::string OnDisplay(const std::string& display, const std::string& command) {
    std::string line = "DISPLAY=" + display + " " + command + " 2>/dev/null";
    FILE* pipe = popen(line.c_str(), "r");
    if (pipe == nullptr) {
        return std::string();
    }
    char buffer[256] = {};
    std::string first;
    if (fgets(buffer, sizeof(buffer), pipe) != nullptr) {
        first = buffer;
        while (!first.empty() && (first.back() == '\n' || first.back() == '\r')) {
            first.pop_back();
        }
    }
    pclose(pipe);
    return first;
}

pid_t StartProgram(const std::string& program, const std::string& folder,
                   const std::string& display) {
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0) {
            _exit(126);
        }
        setenv("DISPLAY", display.c_str(), 1);
        setenv("GDK_BACKEND", "x11", 1);
        setenv("NO_AT_BRIDGE", "1", 1);
        unsetenv("WAYLAND_DISPLAY");
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// The exit status, or -1 when the program is still running after `ms`.
int WaitForExit(pid_t pid, DWORD ms) {
    DWORD start = timeGetTime();
    int status = 0;
    while (timeGetTime() - start < ms) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        Sleep(20);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

TEST(SettingsProgramOnADisplay, KeyboardChoicesAreSavedToConfigDat) {
    if (!OnPath("Xvfb") || !OnPath("xdotool")) {
        GTEST_SKIP() << "Xvfb or xdotool is not installed";
    }
    std::string buildFolder = ThisProgramFolder();
    std::string program = buildFolder + "/vantrelcfg";
    ASSERT_EQ(access(program.c_str(), X_OK), 0) << program;
    VirtualDisplay display;
    ASSERT_TRUE(display.Start());

    char pattern[] = "/tmp/vantrelcfg_display_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string folder = pattern;
    std::string file = folder + "/config.dat";
    {
        FILE* f = fopen(file.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        const unsigned char highBits[] = {0, 0, 0, 0xF0};
        fwrite(highBits, 1, 4, f);
        fclose(f);
    }

    pid_t pid = StartProgram(program, folder, display.name());
    ASSERT_GT(pid, 0);
    std::string window = OnDisplay(
        display.name(), "timeout 30 xdotool search --sync --onlyvisible --name vantrelcfg");
    ASSERT_FALSE(window.empty()) << "the dialog did not appear";
    OnDisplay(display.name(), "timeout 10 xdotool windowfocus --sync " + window);
    Sleep(200);  // let the toolkit take the focus before the first key
    // Focus starts on the save button; Tab follows the creation order:
    // save, cancel, 32 bit, 16 bit, 640, 960, 1280, the four boxes, window,
    // full screen, ask.
    OnDisplay(display.name(),
              "timeout 20 xdotool key --delay 30 Tab Tab Tab space Tab Tab Tab space Tab space Tab "
              "Tab Tab "
              "space Tab Tab Tab space");
    Sleep(300);
    std::string shot = ArtifactPath(buildFolder);
    if (OnPath("import")) {
        OnDisplay(display.name(), "timeout 20 import -window root '" + shot + "'");
        EXPECT_EQ(access(shot.c_str(), R_OK), 0) << shot;
    }
    OnDisplay(display.name(), "timeout 10 xdotool key Return");
    EXPECT_EQ(WaitForExit(pid, 30000), 0);

    FILE* f = fopen(file.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    unsigned char saved[8] = {};
    size_t count = fread(saved, 1, sizeof(saved), f);
    fclose(f);
    ASSERT_EQ(count, 4u);
    // 1280 by 960, ask at each start, 16 bit, boxes 51 and 54 on beside the
    // untouched high bits.
    EXPECT_EQ(saved[0], 2);
    EXPECT_EQ(saved[1], 2);
    EXPECT_EQ(saved[2], 1);
    EXPECT_EQ(saved[3], 0xF9);
    std::string cleanup = "rm -rf '" + folder + "'";
    EXPECT_EQ(system(cleanup.c_str()), 0);
}

}  // namespace
