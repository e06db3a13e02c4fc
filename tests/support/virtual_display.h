// Running real programs on an X server of the test's own (Xvfb): finding the
// tools, starting the server, running commands on it, waiting for a program
// to end, and where screenshots are kept (tests/artifacts/).
#pragma once

#include <fcntl.h>
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
