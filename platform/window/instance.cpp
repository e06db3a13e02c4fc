// Single instance across processes: each top-level window of a class leaves
// a file under the user's runtime directory, locked for as long as the window
// (and its process) lives. Another process finds it by class; a file whose
// lock nobody holds is left from a process that ended, and is removed.
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <string>

#include "platform/kernel.h"
#include "platform/window/window_internal.h"

namespace {

struct InstanceState {
    std::mutex lock;
    std::string space;
    std::map<std::string, HWND> proxies;  // windows of other processes, by file name
};

InstanceState& Instances() {
    static auto* state = new InstanceState();
    return *state;
}

// Only letters, digits, '-' and '_' reach the file system.
std::string Clean(const char* name) {
    std::string out;
    for (const char* p = name; p != nullptr && *p != '\0'; ++p) {
        char c = *p;
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '_';
        out += plain ? c : '_';
    }
    return out.empty() ? "default" : out;
}

bool IsSet(const char* value) {
    return value != nullptr && value[0] != '\0';
}

// ":0.0" and ":0" are one X display: the screen number after the dot goes.
std::string XDisplayName(const char* display) {
    std::string name = display;
    size_t colon = name.rfind(':');
    size_t dot = name.find('.', colon == std::string::npos ? 0 : colon);
    return dot == std::string::npos ? name : name.substr(0, dot);
}

// One copy runs per display: a program on another X display or Wayland
// socket, or one kept in memory by a headless driver, is not "another copy".
std::string DisplayNamespace() {
    const char* named = std::getenv("TESSEL_INSTANCE_NAMESPACE");
    if (IsSet(named)) {
        return Clean(named);
    }
    std::string driver =
        IsSet(std::getenv("SDL_VIDEODRIVER")) ? std::getenv("SDL_VIDEODRIVER") : "";
    driver = driver.substr(0, driver.find(','));
    if (strcasecmp(driver.c_str(), "dummy") == 0 || strcasecmp(driver.c_str(), "offscreen") == 0) {
        return "headless";
    }
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    bool waylandFirst = strcasecmp(driver.c_str(), "wayland") == 0 || !IsSet(x11);
    if (waylandFirst && IsSet(wayland)) {
        return "wayland-" + Clean(wayland);
    }
    if (IsSet(x11)) {
        return "x11-" + Clean(XDisplayName(x11).c_str());
    }
    return "headless";
}

std::string NamespaceLocked(InstanceState& state) {
    if (state.space.empty()) {
        state.space = DisplayNamespace();
    }
    return state.space;
}

bool MakeDirectory(const std::string& path) {
    return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string Directory(InstanceState& state) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string base;
    if (runtime != nullptr && runtime[0] != '\0' && access(runtime, W_OK) == 0) {
        base = runtime;
    } else {
        base = "/tmp/tessel-" + std::to_string(getuid());
        MakeDirectory(base);
    }
    std::string windows = base + "/tessel-windows";
    MakeDirectory(windows);
    std::string dir = windows + "/" + NamespaceLocked(state);
    MakeDirectory(dir);
    return dir;
}

bool ReadRecord(int fd, std::string* className, std::string* title) {
    std::string content;
    char buffer[1024];
    ssize_t n = 0;
    lseek(fd, 0, SEEK_SET);
    while ((n = read(fd, buffer, sizeof buffer)) > 0) {
        content.append(buffer, static_cast<size_t>(n));
    }
    size_t split = content.find('\n');
    if (split == std::string::npos) {
        return false;
    }
    *className = content.substr(0, split);
    size_t end = content.find('\n', split + 1);
    *title =
        content.substr(split + 1, end == std::string::npos ? std::string::npos : end - split - 1);
    return true;
}

bool Matches(const std::string& className, const std::string& title, LPCSTR wantedClass,
             LPCSTR wantedTitle) {
    if (wantedClass != nullptr && strcasecmp(className.c_str(), wantedClass) != 0) {
        return false;
    }
    return wantedTitle == nullptr || strcasecmp(title.c_str(), wantedTitle) == 0;
}

// A window of another process: a record that names it and carries nothing.
HWND ProxyFor(InstanceState& state, const std::string& file) {
    HWND& proxy = state.proxies[file];
    if (proxy == nullptr) {
        auto* record = new platform::WindowRecord();
        record->procOnly = true;
        record->proxy = true;
        record->instanceFile = file;
        std::lock_guard<std::recursive_mutex> guard(platform::WindowLock());
        proxy = platform::AddWindowHandle(record);
        if (proxy == nullptr) {
            delete record;
        }
    }
    return proxy;
}

HWND FindInOtherProcesses(LPCSTR className, LPCSTR windowName) {
    InstanceState& state = Instances();
    std::lock_guard<std::mutex> guard(state.lock);
    std::string dir = Directory(state);
    DIR* listing = opendir(dir.c_str());
    if (listing == nullptr) {
        return nullptr;
    }
    std::string ownPrefix = std::to_string(getpid()) + "-";
    HWND found = nullptr;
    while (dirent* entry = readdir(listing)) {
        std::string name = entry->d_name;
        if (name.size() < 5 || name.compare(name.size() - 4, 4, ".win") != 0) {
            continue;
        }
        std::string path = dir + "/" + name;
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        if (flock(fd, LOCK_SH | LOCK_NB) == 0) {
            unlink(path.c_str());  // its process ended without taking it away
            close(fd);
            continue;
        }
        std::string windowClass;
        std::string title;
        bool ours = name.compare(0, ownPrefix.size(), ownPrefix) == 0;
        if (!ours && found == nullptr && ReadRecord(fd, &windowClass, &title) &&
            Matches(windowClass, title, className, windowName)) {
            found = ProxyFor(state, path);
        }
        close(fd);
    }
    closedir(listing);
    return found;
}

}  // namespace

namespace platform {

void SetInstanceNamespace(const char* name) {
    InstanceState& state = Instances();
    std::lock_guard<std::mutex> guard(state.lock);
    state.space = name != nullptr ? Clean(name) : std::string();  // null: the display's again
}

void RegisterInstanceWindow(WindowRecord* window) {
    if (window->windowClass == nullptr) {
        return;
    }
    InstanceState& state = Instances();
    std::lock_guard<std::mutex> guard(state.lock);
    static std::atomic<int> sequence{0};
    std::string dir = Directory(state);
    std::string stem = dir + "/" + std::to_string(getpid()) + "-" + std::to_string(++sequence);
    // Written and locked under a temporary name first, so that no finder can
    // take the file for a dead one before its lock is held.
    std::string temporary = stem + ".tmp";
    int fd = open(temporary.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        unlink(temporary.c_str());
        return;
    }
    std::string record = window->windowClass->name + "\n" + window->title + "\n";
    if (write(fd, record.data(), record.size()) != static_cast<ssize_t>(record.size()) ||
        rename(temporary.c_str(), (stem + ".win").c_str()) != 0) {
        close(fd);
        unlink(temporary.c_str());
        return;
    }
    window->instanceFile = stem + ".win";
    window->instanceFd = fd;
}

void UnregisterInstanceWindow(WindowRecord* window) {
    if (window->instanceFd < 0) {
        return;
    }
    unlink(window->instanceFile.c_str());
    close(window->instanceFd);
    window->instanceFd = -1;
    window->instanceFile.clear();
}

// A window of another process stays a window while its file stays locked.
bool IsLiveProxy(HWND window) {
    InstanceState& state = Instances();
    std::lock_guard<std::mutex> guard(state.lock);
    for (auto& [file, proxy] : state.proxies) {
        if (proxy != window) {
            continue;
        }
        int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        bool alive = flock(fd, LOCK_SH | LOCK_NB) != 0;
        close(fd);
        return alive;
    }
    return false;
}

}  // namespace platform

HWND FindWindowA(LPCSTR className, LPCSTR windowName) {
    {
        std::lock_guard<std::recursive_mutex> guard(platform::WindowLock());
        for (platform::WindowRecord* window : platform::TopLevelWindows()) {
            if (window->windowClass == nullptr || window->destroying) {
                continue;
            }
            if (Matches(window->windowClass->name, window->title, className, windowName)) {
                return window->handle;
            }
        }
    }
    return FindInOtherProcesses(className, windowName);
}
