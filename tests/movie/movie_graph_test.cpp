// Movies played by the media graph: a clip made by FFmpeg's encoder rendered
// into the movie frame renderer and handed to the frame hook top row first;
// and, with a graph builder of the test's own, the temporary copy made when
// the graph cannot read the movie's path.
#include <gtest/gtest.h>

#include <dirent.h>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/files/file_ops.h"
#include "foundation/memory/memory.h"
#include "movie/renderer/movie_frame_renderer.h"
#include "platform/com_testing.h"
#include "platform/dshow_testing.h"
#include "platform/kernel.h"
#include "tests/movie/movie_playback_support.h"
#include "tests/support/media_clips.h"

namespace {

using namespace movietest;
using namespace tessel;

// ---- the real graph -------------------------------------------------------

// What the hook copied out of the renderer's latest frame.
struct FrameLog {
    static inline int frames = 0;
    static inline std::vector<uint8_t> topRow;
    static inline std::vector<uint8_t> bottomRow;
    static inline int width = 0;
    static inline int height = 0;
    static int Hook(MovieRecord* record, int32_t) {
        const BASEIMAGE* image = record->currentImage;
        EXPECT_EQ(image, &record->frameImage);
        EXPECT_EQ(image->format.bits, 24);
        ++frames;
        width = image->width;
        height = image->height;
        topRow.assign(image->pixels, image->pixels + image->width * 3);
        const uint8_t* last = image->pixels + static_cast<size_t>(image->height - 1) * image->pitch;
        bottomRow.assign(last, last + image->width * 3);
        return 0;
    }
};

bool Near(const std::vector<uint8_t>& row, media_clips::Rgb c, int tolerance) {
    for (size_t i = 0; i + 2 < row.size(); i += 3) {
        if (std::abs(row[i] - c.b) > tolerance || std::abs(row[i + 1] - c.g) > tolerance ||
            std::abs(row[i + 2] - c.r) > tolerance) {
            return false;
        }
    }
    return true;
}

class MovieGraphTest : public MovieFilesTest {
  protected:
    void SetUp() override {
        MovieFilesTest::SetUp();
        live_ = platform::LiveMediaObjects();
        FrameLog::frames = 0;
    }
    void TearDown() override {
        MovieFilesTest::TearDown();
        EXPECT_EQ(platform::LiveMediaObjects(), live_) << "graph objects left behind";
    }
    long live_ = 0;
};

media_clips::ClipRecipe TwoToneClip() {
    media_clips::ClipRecipe recipe;
    recipe.fps = 10;
    for (int i = 0; i < 6; ++i) {
        recipe.tops.push_back({200, 40 * i, 30});
        recipe.bottoms.push_back({20, 60, 40 * i});
    }
    return recipe;
}

TEST_F(MovieGraphTest, AClipTheGraphReadsPlaysIntoTheHookTopRowFirstAndEnds) {
    const media_clips::ClipRecipe recipe = TwoToneClip();
    ASSERT_TRUE(media_clips::WriteClip(dir_.Linux("clip.avi"), recipe));
    int width = 0;
    int height = 0;
    const int handle = Open("clip.avi", &width, &height);
    ASSERT_NE(handle, -1);
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 48);
    MovieRecord* record = MovieRecordFromHandle(handle);
    EXPECT_EQ(record->theora, 0);
    EXPECT_EQ(record->tempCopy, 0);
    EXPECT_EQ(record->width, 0) << "a graph movie's size is only in the outputs";
    EXPECT_EQ(record->stopPosition, 6 * 1000000);
    ASSERT_EQ(MovieSetFrameHook(handle, FrameLog::Hook, 0), 0);
    ASSERT_EQ(MoviePlay(handle, 1), 0);
    // Wait for the graph to reach its end, however slow the machine.
    for (int i = 0; i < 60000 && record->playing != 0; ++i) {
        MovieAdvanceFrame(handle, 0);
        Sleep(1);
    }
    EXPECT_EQ(record->playing, 0);
    EXPECT_EQ(record->paused, 1);
    MovieAdvanceFrame(handle, 0);
    ASSERT_GT(FrameLog::frames, 0);
    EXPECT_EQ(FrameLog::width, 64);
    EXPECT_EQ(FrameLog::height, 48);
    // The last frame, top colour on the first row, bottom on the last.
    EXPECT_TRUE(Near(FrameLog::topRow, recipe.tops.back(), 12));
    EXPECT_TRUE(Near(FrameLog::bottomRow, recipe.bottoms.back(), 12));
    EXPECT_EQ(MovieDispose(handle), 0);
}

TEST_F(MovieGraphTest, ALoopingGraphMovieSeeksBackToItsStartAtTheEnd) {
    const media_clips::ClipRecipe recipe = TwoToneClip();
    ASSERT_TRUE(media_clips::WriteClip(dir_.Linux("loop.avi"), recipe));
    const int handle = Open("loop.avi");
    ASSERT_NE(handle, -1);
    MovieRecord* record = MovieRecordFromHandle(handle);
    ASSERT_EQ(MovieSetFrameHook(handle, FrameLog::Hook, 0), 0);
    ASSERT_EQ(MoviePlay(handle, 3), 0);
    // Past its end and back: a frame of the first half after a frame of the
    // last, while it keeps playing.
    bool sawEnd = false;
    bool sawStartAgain = false;
    for (int i = 0; i < 60000 && !sawStartAgain; ++i) {
        MovieAdvanceFrame(handle, 0);
        sawEnd = sawEnd || Near(FrameLog::topRow, recipe.tops.back(), 12);
        sawStartAgain = sawEnd && Near(FrameLog::topRow, recipe.tops.front(), 12);
        Sleep(1);
    }
    EXPECT_TRUE(sawStartAgain);
    EXPECT_EQ(record->playing, 1);
    EXPECT_EQ(MovieDispose(handle), 0);
}

// The renderer owns its frame buffer: a movie that never had a hook, and so
// never borrowed the buffer, leaves nothing behind when it closes.
TEST_F(MovieGraphTest, AMovieWithoutAHookLeavesNoFrameBufferBehind) {
    ASSERT_TRUE(media_clips::WriteClip(dir_.Linux("clip.avi"), TwoToneClip()));
    const uint32_t blocks = TrackedBlockCount();
    const int handle = Open("clip.avi");
    ASSERT_NE(handle, -1);
    MovieRecord* record = MovieRecordFromHandle(handle);
    ASSERT_NE(record->renderer->FrameBuffer(), nullptr) << "sized when the graph connected";
    ASSERT_EQ(MoviePlay(handle, 1), 0);
    for (int i = 0; i < 60000 && record->playing != 0; ++i) {
        MovieAdvanceFrame(handle, 0);
        Sleep(1);
    }
    EXPECT_EQ(record->playing, 0);
    EXPECT_EQ(MovieDispose(handle), 0);
    EXPECT_EQ(TrackedBlockCount(), blocks);
}

// ---- a graph builder of the test's own -----------------------------------

// Fails RenderFile on the path given first and keeps the bytes of the file
// each later RenderFile names; records whether the last copy still existed
// when it was released. Holds its filters as a graph does.
class FakeGraph final : public IGraphBuilder,
                        public IMediaControl,
                        public IMediaSeeking,
                        public IBasicAudio {
  public:
    static inline int made = 0;
    static inline bool acceptCopies = true;
    static inline std::vector<std::string> rendered;  // narrow paths
    static inline std::vector<uint8_t> copyBytes;
    static inline bool copyExistedAtRelease = false;
    static inline LONGLONG position = 0;
    static inline std::vector<LONGLONG> seeks;  // the start of each seek
    static inline int runs = 0;
    static inline int pauses = 0;

    static void Reset() {
        made = 0;
        acceptCopies = true;
        rendered.clear();
        copyBytes.clear();
        copyExistedAtRelease = false;
        position = 0;
        seeks.clear();
        runs = 0;
        pauses = 0;
    }
    static HRESULT Make(REFIID iid, void** object) {
        auto* graph = new FakeGraph();
        ++made;
        const HRESULT result = graph->QueryInterface(iid, object);
        graph->Release();
        return result;
    }

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IGraphBuilder) {
            *object = static_cast<IGraphBuilder*>(this);
        } else if (iid == IID_IMediaControl) {
            *object = static_cast<IMediaControl*>(this);
        } else if (iid == IID_IMediaSeeking) {
            *object = static_cast<IMediaSeeking*>(this);
        } else if (iid == IID_IBasicAudio) {
            *object = static_cast<IBasicAudio*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG left = --refs_;
        if (left == 0) {
            if (!rendered.empty()) {
                copyExistedAtRelease =
                    GetFileAttributesA(rendered.back().c_str()) != INVALID_FILE_ATTRIBUTES;
            }
            for (IBaseFilter* filter : filters_) {
                filter->Release();
            }
            delete this;
        }
        return left;
    }

    HRESULT AddFilter(IBaseFilter* filter, LPCWSTR) override {
        filter->AddRef();
        filters_.push_back(filter);
        return S_OK;
    }
    HRESULT RenderFile(LPCWSTR file, LPCWSTR) override {
        char narrow[MAX_PATH * 2];
        WideCharToMultiByte(932, 0, file, -1, narrow, sizeof(narrow), nullptr, nullptr);
        rendered.push_back(narrow);
        if (rendered.size() == 1 || !acceptCopies) {
            return VFW_E_CANNOT_RENDER;
        }
        HANDLE copy = CreateFileA(narrow, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (copy == INVALID_HANDLE_VALUE) {
            return E_FAIL;
        }
        uint8_t chunk[65536];
        DWORD got = 0;
        copyBytes.clear();
        while (ReadFile(copy, chunk, sizeof(chunk), &got, nullptr) && got > 0) {
            copyBytes.insert(copyBytes.end(), chunk, chunk + got);
        }
        CloseHandle(copy);
        return S_OK;
    }
    HRESULT RemoveFilter(IBaseFilter*) override { return E_NOTIMPL; }
    HRESULT EnumFilters(IEnumFilters**) override { return E_NOTIMPL; }
    HRESULT FindFilterByName(LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
    HRESULT ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT Reconnect(IPin*) override { return E_NOTIMPL; }
    HRESULT Disconnect(IPin*) override { return E_NOTIMPL; }
    HRESULT SetDefaultSyncSource() override { return S_OK; }
    HRESULT Connect(IPin*, IPin*) override { return E_NOTIMPL; }
    HRESULT Render(IPin*) override { return E_NOTIMPL; }
    HRESULT Run() override { return ++runs, S_OK; }
    HRESULT Pause() override { return ++pauses, S_OK; }
    HRESULT Stop() override { return S_OK; }
    HRESULT GetState(LONG, OAFilterState*) override { return E_NOTIMPL; }
    HRESULT GetDuration(LONGLONG* d) override { return *d = 5000000, S_OK; }
    HRESULT GetStopPosition(LONGLONG* stop) override { return *stop = 5000000, S_OK; }
    HRESULT GetCurrentPosition(LONGLONG* current) override { return *current = position, S_OK; }
    HRESULT SetPositions(LONGLONG* start, DWORD startFlags, LONGLONG*, DWORD stopFlags) override {
        EXPECT_EQ(startFlags, static_cast<DWORD>(AM_SEEKING_AbsolutePositioning));
        EXPECT_EQ(stopFlags, static_cast<DWORD>(AM_SEEKING_NoPositioning));
        seeks.push_back(*start);
        return S_OK;
    }
    HRESULT GetPositions(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }
    HRESULT put_Volume(LONG) override { return S_OK; }
    HRESULT get_Volume(LONG*) override { return E_NOTIMPL; }
    HRESULT put_Balance(LONG) override { return S_OK; }
    HRESULT get_Balance(LONG*) override { return E_NOTIMPL; }

  private:
    FakeGraph() = default;
    ~FakeGraph() = default;
    ULONG refs_ = 1;
    std::vector<IBaseFilter*> filters_;
};

int FilesIn(const std::string& folder) {
    int count = 0;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return -1;
    }
    while (dirent* entry = readdir(dir)) {
        count += entry->d_name[0] != '.';
    }
    closedir(dir);
    return count;
}

// The fake graph in place of the real one, and the temporary folder inside
// the scratch folder so that what is left there can be counted.
class MovieCopyTest : public MovieGraphTest {
  protected:
    void SetUp() override {
        MovieGraphTest::SetUp();
        FakeGraph::Reset();
        previous_ = platform::ReplaceComClassForTesting(CLSID_FilterGraph, FakeGraph::Make);
        temp_ = dir_.Linux("temp");
        CreateDirectoryA("temp", nullptr);
        const char* old = std::getenv("TMPDIR");
        oldTemp_ = old != nullptr ? old : "";
        hadTemp_ = old != nullptr;
        setenv("TMPDIR", temp_.c_str(), 1);
        // Sizes across the copy's 1 MiB chunks, bytes that are not all alike.
        movie_.resize(0x100000 * 2 + 12345);
        for (size_t i = 0; i < movie_.size(); ++i) {
            movie_[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
        }
        WriteFileBytes("movie.bin", movie_);
    }
    void TearDown() override {
        platform::ReplaceComClassForTesting(CLSID_FilterGraph, previous_);
        if (hadTemp_) {
            setenv("TMPDIR", oldTemp_.c_str(), 1);
        } else {
            unsetenv("TMPDIR");
        }
        MovieGraphTest::TearDown();
    }

    platform::ClassFactoryFunction previous_ = nullptr;
    std::string temp_;
    std::string oldTemp_;
    bool hadTemp_ = false;
    std::vector<uint8_t> movie_;
};

TEST_F(MovieCopyTest, AMovieTheGraphCannotReadPlaysFromAnExactTemporaryCopyDeletedOnDispose) {
    const int handle = Open("movie.bin");
    ASSERT_NE(handle, -1);
    ASSERT_EQ(FakeGraph::rendered.size(), 2u);
    EXPECT_NE(FakeGraph::rendered[0], FakeGraph::rendered[1]);
    EXPECT_TRUE(FakeGraph::copyBytes == movie_) << "the copy holds exactly the file's bytes";
    EXPECT_EQ(MovieRecordFromHandle(handle)->tempCopy, 1);
    EXPECT_EQ(FilesIn(temp_), 1);
    EXPECT_EQ(MovieDispose(handle), 0);
    EXPECT_EQ(FilesIn(temp_), 0);
    EXPECT_TRUE(FakeGraph::copyExistedAtRelease) << "the graph goes before its file";
}

TEST_F(MovieCopyTest, ACopyTheGraphCannotReadEitherFailsTheOpenAndIsDeleted) {
    FakeGraph::acceptCopies = false;
    EXPECT_EQ(OpenMovie("movie.bin", nullptr, nullptr, 0), -1);
    EXPECT_EQ(FakeGraph::rendered.size(), 2u);
    EXPECT_EQ(FilesIn(temp_), 0);
    EXPECT_EQ(OpenMovieCountForTest(), 0);
}

// Reads through the file layer of whole copy chunks that come back short
// from the second chunk on.
struct ShortReads {
    static inline FileOps saved = {};
    static inline int reads = 0;
    static uint32_t Read(void* buffer, uint32_t size, uint32_t count, FileHandle file) {
        if (size == 0x100000 && ++reads >= 2) {
            return 0;
        }
        return saved.read(buffer, size, count, file);
    }
};

TEST_F(MovieCopyTest, AShortReadWhileCopyingFailsTheOpenAndLeavesNoCopy) {
    ShortReads::saved = CurrentFileOps;
    ShortReads::reads = 0;
    CurrentFileOps.read = ShortReads::Read;
    const int handle = OpenMovie("movie.bin", nullptr, nullptr, 0);
    CurrentFileOps = ShortReads::saved;
    EXPECT_EQ(handle, -1);
    EXPECT_EQ(FakeGraph::rendered.size(), 1u) << "the short copy is never rendered";
    EXPECT_EQ(FilesIn(temp_), 0);
    EXPECT_EQ(OpenMovieCountForTest(), 0);
}

// The end of a graph movie: its position at or past the stop position (5 s
// in the fake graph) seeks a looping movie back to 0 and runs it again, and
// ends any other, paused or not; short of it nothing changes.
TEST_F(MovieCopyTest, AtItsStopPositionAGraphMovieLoopsOrEnds) {
    struct Case {
        const char* name;
        int playType;
        bool pausedFirst;
        LONGLONG position;
        size_t seeks;
        int runs;  // after the one that started it
        int playing;
        int paused;
    };
    const Case cases[] = {
        {"short of the end", 1, false, 4999999, 0, 0, 1, 0},
        {"looping, short of the end", 3, false, 4999999, 0, 0, 1, 0},
        {"at the end", 1, false, 5000000, 0, 0, 0, 1},
        {"paused at the end", 1, true, 5000000, 0, 0, 0, 1},
        {"looping at the end", 3, false, 5000000, 1, 1, 1, 0},
        {"looping past the end", 3, false, 7000000, 1, 1, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeGraph::Reset();
        const int handle = OpenMovie("movie.bin", nullptr, nullptr, 0);
        ASSERT_NE(handle, -1);
        MovieRecord* record = MovieRecordFromHandle(handle);
        EXPECT_EQ(record->stopPosition, 5000000);
        ASSERT_EQ(MoviePlay(handle, c.playType), 0);
        EXPECT_EQ(FakeGraph::runs, 1);
        if (c.pausedFirst) {
            MoviePauseAll();
            EXPECT_EQ(FakeGraph::pauses, 1);
            EXPECT_EQ(record->paused, 1);
        }
        FakeGraph::position = c.position;
        MovieAdvanceFrame(handle, 0);
        EXPECT_EQ(FakeGraph::seeks.size(), c.seeks);
        if (!FakeGraph::seeks.empty()) {
            EXPECT_EQ(FakeGraph::seeks[0], 0);
        }
        EXPECT_EQ(FakeGraph::runs, 1 + c.runs);
        EXPECT_EQ(record->playing, c.playing);
        EXPECT_EQ(record->paused, c.paused);
        EXPECT_EQ(MovieDispose(handle), 0);
    }
}

}  // namespace
