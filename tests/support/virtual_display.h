// Running real programs on an X server of the test's own (Xvfb): finding the
// tools, starting the server, running commands on it, finding a program's
// window and taking pictures of it, waiting for a program to end, and where
// screenshots are kept (tests/artifacts/).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/kernel.h"
#include "platform/winmm.h"

namespace tessel_test {

inline bool OnPath(const char* program) {
    const char* path = getenv("PATH");
    const std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) {
            end = dirs.size();
        }
        const std::string candidate = dirs.substr(start, end - start) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// The build folder, where the test program and the programs it runs lie.
inline std::string ThisProgramFolder() {
    char path[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) {
        return ".";
    }
    const std::string folder(path, static_cast<size_t>(length));
    return folder.substr(0, folder.find_last_of('/'));
}

// tests/artifacts/STEM_BUILD.png, named for the build (release, asan, ...):
// beside the test data folder when the environment names it, else found
// from this file's own place in the sources.
inline std::string ScreenshotPath(const std::string& buildFolder, const std::string& stem) {
    const char* data = getenv("TESSEL_TEST_DATA");
    std::string tests = data != nullptr ? std::string(data) + "/" : std::string(__FILE__);
    tests = tests.substr(0, tests.find_last_of('/'));  // .../tests/data or .../tests/support
    const std::string folder = tests.substr(0, tests.find_last_of('/')) + "/artifacts";
    mkdir(folder.c_str(), 0755);
    const std::string build = buildFolder.substr(buildFolder.find_last_of('/') + 1);
    return folder + "/" + stem + "_" + build + ".png";
}

// An X server of our own on a free display number, which it reports itself.
class VirtualDisplay {
  public:
    bool Start(const char* geometry = "640x480x24") {
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
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", geometry, "-nolisten",
                   "tcp", static_cast<char*>(nullptr));
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

// The whole output of a shell command, without its last line end.
inline std::string CommandOutput(const std::string& command) {
    const std::string line = command + " 2>/dev/null";
    FILE* pipe = popen(line.c_str(), "r");
    if (pipe == nullptr) {
        return std::string();
    }
    std::string out;
    char buffer[256];
    while (fgets(buffer, sizeof(buffer), pipe) != nullptr) {
        out += buffer;
    }
    pclose(pipe);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) {
        out.pop_back();
    }
    return out;
}

inline std::string OnDisplay(const std::string& display, const std::string& command) {
    return CommandOutput("DISPLAY=" + display + " " + command);
}

inline std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

// The id of the program's visible window titled `name` (an xdotool pattern);
// empty when the program ended first or no such window showed within 30
// seconds.
inline std::string WaitForWindow(const std::string& display, pid_t pid, const std::string& name) {
    const DWORD start = timeGetTime();
    while (timeGetTime() - start < 30000) {
        const std::string window =
            OnDisplay(display, "xdotool search --onlyvisible --name '" + name + "'");
        if (!window.empty()) {
            return FirstLine(window);
        }
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            return std::string();
        }
        Sleep(100);
    }
    return std::string();
}

struct Rgb {
    int r, g, b;
};

// What one window shows, read from the X server by ImageMagick's import as a
// binary PPM: its pixels for checks, and the picture to keep as a PNG.
class WindowPicture {
  public:
    // False when the window could not be read.
    bool Take(const std::string& display, const std::string& window) {
        const std::string command = "DISPLAY=" + display + " timeout 20 import -window " + window +
                                    " -depth 8 ppm:- 2>/dev/null";
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) {
            return false;
        }
        ppm_.clear();
        char buffer[65536];
        size_t count;
        while ((count = fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
            ppm_.append(buffer, count);
        }
        pclose(pipe);
        return Parse();
    }

    int width() const { return width_; }
    int height() const { return height_; }

    // Black outside the picture.
    Rgb At(int x, int y) const {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) {
            return {0, 0, 0};
        }
        const size_t at = pixels_ + 3 * (static_cast<size_t>(y) * width_ + x);
        const auto byte = [&](size_t i) { return static_cast<int>(static_cast<uint8_t>(ppm_[i])); };
        return {byte(at), byte(at + 1), byte(at + 2)};
    }

    bool SaveAsPng(const std::string& path) const {
        FILE* pipe = popen(("convert ppm:- 'png:" + path + "' 2>/dev/null").c_str(), "w");
        if (pipe == nullptr) {
            return false;
        }
        const bool written = fwrite(ppm_.data(), 1, ppm_.size(), pipe) == ppm_.size();
        return pclose(pipe) == 0 && written;
    }

  private:
    // "P6", width, height and 255, each after blanks, then one blank and the
    // pixels.
    bool Parse() {
        width_ = height_ = 0;
        size_t at = 2;
        int fields[3] = {};
        if (ppm_.compare(0, 2, "P6") != 0) {
            return false;
        }
        for (int& field : fields) {
            while (at < ppm_.size() && isspace(static_cast<unsigned char>(ppm_[at]))) {
                ++at;
            }
            while (at < ppm_.size() && isdigit(static_cast<unsigned char>(ppm_[at]))) {
                field = field * 10 + (ppm_[at++] - '0');
            }
        }
        pixels_ = at + 1;
        const size_t size = 3 * static_cast<size_t>(fields[0]) * fields[1];
        if (fields[2] != 255 || fields[0] <= 0 || fields[1] <= 0 || ppm_.size() < pixels_ + size) {
            return false;
        }
        width_ = fields[0];
        height_ = fields[1];
        return true;
    }

    std::string ppm_;
    size_t pixels_ = 0;
    int width_ = 0;
    int height_ = 0;
};

// The exit status, or -1 when the program is still running after `ms`.
inline int WaitForExit(pid_t pid, DWORD ms) {
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

}  // namespace tessel_test
