// Movie files for the movie table's tests, written into a scratch folder
// that is the current directory, and a clock the tests move by hand.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "movie/playback/movie_calls.h"
#include "movie/playback/movie_testing.h"
#include "tests/foundation/files/files_test_support.h"
#include "tools/lib/theora_clip.h"

namespace movietest {

// Microseconds; moves only when a test sets it.
struct HandClock {
    static inline uint64_t now = 0;
    static uint64_t Read() { return now; }
};

inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    std::fclose(file);
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return bytes;
    }
    int c = 0;
    while ((c = std::fgetc(file)) != EOF) {
        bytes.push_back(static_cast<uint8_t>(c));
    }
    std::fclose(file);
    return bytes;
}

// A numbered clip: frame k shows k as a grid of cells.
inline std::vector<uint8_t> NumberedClip(int frames, uint32_t fps = 30, bool vorbis = false) {
    tessel::TheoraClipOptions recipe;
    recipe.frames = frames;
    recipe.fpsNumerator = fps;
    recipe.withVorbis = vorbis;
    return tessel::EncodeTheoraClip(recipe, tessel::FrameNumberPainter());
}

// The time at which frame k of an fps movie is well due (a millisecond in).
inline uint64_t FrameTime(int64_t frame, double fps) {
    return static_cast<uint64_t>(static_cast<double>(frame) * 1000000.0 / fps) + 1000;
}

// Closes whatever a test left open, restores the library's clock and
// checks that the table is empty again.
class MovieFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tessel::TheoraBuildYuvTables();
        HandClock::now = 1000000;
        tessel::SetMovieClockForTest(HandClock::Read);
    }
    void TearDown() override {
        for (int handle : opened_) {
            tessel::MovieDispose(handle);
        }
        tessel::SetMovieClockForTest(nullptr);
        EXPECT_EQ(tessel::OpenMovieCountForTest(), 0);
    }
    // Opens and remembers the handle for the tear-down.
    int Open(const char* path, int* width = nullptr, int* height = nullptr) {
        const int handle = tessel::OpenMovie(path, width, height, 0);
        if (handle != -1) {
            opened_.push_back(handle);
        }
        return handle;
    }

    tessel_test::ScratchDirectory dir_;
    std::vector<int> opened_;
};

}  // namespace movietest
