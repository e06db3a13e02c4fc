// The drawing example on a virtual display, on each drawing path: it starts,
// loads its pictures from the archive, shows its frames and ends by itself;
// a screenshot of each path is kept in tests/artifacts/ to be looked at, and
// a few of its pixels are checked here. Skipped where Xvfb or the X tools
// are missing.
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

#include "platform/kernel.h"
#include "platform/winmm.h"

namespace {

constexpr long kFrames = 240;

bool OnPath(const char* program) {
    const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

std::string ThisProgramFolder() {
    char path[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) {
        return ".";
    }
    std::string folder(path, static_cast<size_t>(length));
    return folder.substr(0, folder.find_last_of('/'));
}

// Beside the other virtual-display screenshots, named for the path and the
// build (release, asan, ...).
std::string ArtifactPath(const std::string& buildFolder, const char* path) {
    const char* data = std::getenv("TESSEL_TEST_DATA");
    std::string folder = buildFolder;
    if (data != nullptr) {
        const std::string tests(data);
        folder = tests.substr(0, tests.find_last_of('/')) + "/artifacts";
    }
    mkdir(folder.c_str(), 0755);
    const std::string build = buildFolder.substr(buildFolder.find_last_of('/') + 1);
    return folder + "/draw_images_" + path + "_" + build + ".png";
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
            const int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, 2);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "800x600x24",
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
        char c = 0;
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

// The whole output of a shell command.
std::string Run(const std::string& command) {
    const std::string line = command + " 2>/dev/null";
    FILE* pipe = popen(line.c_str(), "r");
    if (pipe == nullptr) {
        return std::string();
    }
    std::string out;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) {
        out += buffer;
    }
    pclose(pipe);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) {
        out.pop_back();
    }
    return out;
}

std::string OnDisplay(const std::string& display, const std::string& command) {
    return Run("DISPLAY=" + display + " " + command);
}

pid_t StartExample(const std::string& program, const std::string& display, bool software) {
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("DISPLAY", display.c_str(), 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
        // Library tests running beside this one hold windows of the same
        // class; a namespace of its own keeps them from counting as a first
        // instance of the example.
        setenv("TESSEL_INSTANCE_NAMESPACE", ("draw_images-" + std::to_string(getpid())).c_str(), 1);
        // The X client libraries keep allocations to the end; they are not ours.
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        const std::string frames = std::to_string(kFrames);
        execl(program.c_str(), program.c_str(), frames.c_str(), software ? "--software" : nullptr,
              static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// The exit status, or -1 when the program is still running after `ms`.
int WaitForExit(pid_t pid, DWORD ms) {
    const DWORD start = timeGetTime();
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

// The example's window id; empty when the program ended first or no window
// showed within 30 seconds.
std::string WaitForWindow(const std::string& display, pid_t pid) {
    const DWORD start = timeGetTime();
    while (timeGetTime() - start < 30000) {
        const std::string window =
            OnDisplay(display, "xdotool search --onlyvisible --name 'Drawing images'");
        if (!window.empty()) {
            return window;
        }
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            return std::string();
        }
        Sleep(100);
    }
    return std::string();
}

// A pixel of the screenshot as "r,g,b".
std::string PixelOf(const std::string& png, int x, int y) {
    const std::string at = "p{" + std::to_string(x) + "," + std::to_string(y) + "}";
    return Run("convert '" + png + "' -format '%[fx:int(255*" + at + ".r+0.5)],%[fx:int(255*" + at +
               ".g+0.5)],%[fx:int(255*" + at + ".b+0.5)]' info:");
}

int Field(const std::string& info, const std::string& name) {
    const size_t at = info.find(name);
    return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + name.size());
}

TEST(DrawImagesOnADisplay, EachPathShowsTheBoxesAndPicturesAndEndsCleanly) {
    if (!OnPath("Xvfb") || !OnPath("xdotool") || !OnPath("import") || !OnPath("xwininfo")) {
        GTEST_SKIP() << "Xvfb, xdotool, xwininfo or ImageMagick is not installed";
    }
    const std::string buildFolder = ThisProgramFolder();
    const std::string program = buildFolder + "/draw_images";
    ASSERT_EQ(access(program.c_str(), X_OK), 0) << program;
    ASSERT_EQ(access((buildFolder + "/example_pictures.dat").c_str(), R_OK), 0);
    ASSERT_NE(access((buildFolder + "/example_pictures").c_str(), F_OK), 0)
        << "the folder must be gone, so that the archive stands in for it";
    VirtualDisplay display;
    ASSERT_TRUE(display.Start());

    for (const bool software : {false, true}) {
        const char* path = software ? "software" : "hardware";
        SCOPED_TRACE(path);
        const pid_t pid = StartExample(program, display.name(), software);
        ASSERT_GT(pid, 0);
        const std::string window = WaitForWindow(display.name(), pid);
        ASSERT_FALSE(window.empty()) << "the window did not appear";
        Sleep(1000);  // some frames drawn and presented
        const std::string info = OnDisplay(display.name(), "xwininfo -id " + window);
        const int left = Field(info, "Absolute upper-left X:");
        const int top = Field(info, "Absolute upper-left Y:");
        ASSERT_GE(left, 0) << info;
        ASSERT_GE(top, 0) << info;
        const std::string shot = ArtifactPath(buildFolder, path);
        unlink(shot.c_str());
        OnDisplay(display.name(), "timeout 20 import -window root '" + shot + "'");
        ASSERT_EQ(access(shot.c_str(), R_OK), 0) << shot;
        EXPECT_EQ(WaitForExit(pid, 60000), 0) << "the example did not end by itself";

        struct Spot {
            int x, y;
            const char* rgb;
        };
        const Spot spots[] = {
            {50, 40, "224,60,60"},     // the red box
            {130, 40, "60,200,90"},    // the green box
            {210, 40, "70,110,230"},   // the blue box
            {290, 40, "240,210,60"},   // the yellow box
            {400, 40, "24,28,48"},     // the background
            {150, 88, "255,255,255"},  // the white outline's top edge
            {31, 101, "240,240,240"},  // the plain tile's frame
        };
        for (const Spot& spot : spots) {
            SCOPED_TRACE(testing::Message() << spot.x << "," << spot.y);
            EXPECT_EQ(PixelOf(shot, left + spot.x, top + spot.y), spot.rgb);
        }
    }
}

}  // namespace
