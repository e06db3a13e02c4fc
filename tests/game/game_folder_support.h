// A fresh working folder for a test of the game's files, left again and
// removed afterwards, with byte-level access to what lies in it; and a disk
// that fills up part-way.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/foundation/files/files_test_support.h"

namespace game_test {

using Bytes = std::vector<uint8_t>;

class GameFolder : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(folder_.path().empty()); }

    // `name` is a Linux path inside the folder ("replay/vn_rep07.rpl").
    void Write(const std::string& name, const Bytes& bytes) const {
        std::ofstream out(folder_.Linux(name), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(out.good()) << name;
    }
    // The file's bytes; false when it does not exist.
    bool Read(const std::string& name, Bytes* bytes) const {
        std::ifstream in(folder_.Linux(name), std::ios::binary);
        if (!in) {
            return false;
        }
        bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return true;
    }
    void MakeFolder(const std::string& name) const {
        ASSERT_EQ(mkdir(folder_.Linux(name).c_str(), 0755), 0) << name;
    }

  private:
    tessel_test::ScratchDirectory folder_;
};

// While it lives, every write past `limit` bytes of a file fails (EFBIG) after
// the bytes below the limit have landed, as a disk that fills up part-way.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t limit) {
        getrlimit(RLIMIT_FSIZE, &previous_);
        previousHandler_ = signal(SIGXFSZ, SIG_IGN);  // the write fails instead
        rlimit lowered = previous_;
        lowered.rlim_cur = limit;
        set_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool set() const { return set_; }

  private:
    rlimit previous_{};
    sighandler_t previousHandler_ = SIG_DFL;
    bool set_ = false;
};

// A local time to the minute, as a replay's list line shows it.
inline std::tm LocalTime(int year, int month, int day, int hour, int minute) {
    std::tm time{};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    return time;
}

inline void PutLe(Bytes* bytes, size_t offset, uint64_t value, int size) {
    for (int i = 0; i < size; ++i) {
        (*bytes)[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

inline uint64_t GetLe(const Bytes& bytes, size_t offset, int size) {
    uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = (value << 8) | bytes[offset + i];
    }
    return value;
}

}  // namespace game_test
