// Helpers for tests that make files: a scratch directory that is the current
// directory while it lives, and the log read back with its time stamps masked.
#pragma once

#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/memory/log.h"
#include "platform/kernel.h"

namespace tessel_test {

inline std::string ReadWholeFile(const std::string& linuxPath) {
    std::string bytes;
    FILE* file = std::fopen(linuxPath.c_str(), "rb");
    if (file == nullptr) {
        return bytes;
    }
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
        bytes.append(buffer, got);
    }
    std::fclose(file);
    return bytes;
}

inline void WriteWholeFile(const std::string& linuxPath, const std::string& bytes) {
    FILE* file = std::fopen(linuxPath.c_str(), "wb");
    if (file != nullptr) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
}

inline void WriteWholeFile(const std::string& linuxPath, const std::vector<uint8_t>& bytes) {
    WriteWholeFile(linuxPath,
                   std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// A fresh directory under /tmp, made current; removed with its contents at the end.
class ScratchDirectory {
  public:
    ScratchDirectory() {
        char pattern[] = "/tmp/tessel_test_XXXXXX";
        path_ = mkdtemp(pattern);
        char* previous = getcwd(nullptr, 0);
        previous_ = previous;
        free(previous);
        if (chdir(path_.c_str()) != 0) {
            path_.clear();
        }
    }
    ~ScratchDirectory() {
        if (chdir(previous_.c_str()) != 0) {
            return;
        }
        if (!path_.empty()) {
            nftw(
                path_.c_str(),
                [](const char* name, const struct stat*, int, struct FTW*) {
                    return ::remove(name);
                },
                16, FTW_DEPTH | FTW_PHYS);
        }
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::string& path() const { return path_; }
    std::string Windows() const { return platform::WindowsPathFromLinux(path_); }
    std::string Linux(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
    std::string previous_;
};

// The log's time stamps ("123:" where a line begins) become "T:".
inline std::string MaskTimeStamps(const std::string& log) {
    std::string out;
    size_t i = 0;
    bool lineStart = true;
    while (i < log.size()) {
        if (lineStart) {
            size_t digits = i;
            while (digits < log.size() && std::isdigit(static_cast<unsigned char>(log[digits]))) {
                ++digits;
            }
            if (digits > i && digits < log.size() && log[digits] == ':') {
                out += "T:";
                i = digits + 1;
                lineStart = false;
                continue;
            }
        }
        lineStart = log[i] == '\n';
        out += log[i];
        ++i;
    }
    return out;
}

// The log started in a scratch directory; the log's state is reset for each test.
class LogScope {
  public:
    LogScope() {
        tessel::EnableLogFile(1);
        tessel::SetLogStartDirectory(dir_.Windows().c_str());
        tessel::StartLogFile();
    }
    ~LogScope() { tessel::SetLogStartDirectory(nullptr); }
    std::string Text() const { return MaskTimeStamps(ReadWholeFile(dir_.Linux("Log.txt"))); }
    std::string Raw() const { return ReadWholeFile(dir_.Linux("Log.txt")); }
    const ScratchDirectory& dir() const { return dir_; }

  private:
    ScratchDirectory dir_;
};

}  // namespace tessel_test
