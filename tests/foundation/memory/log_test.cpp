#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "foundation/files/files_test_support.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "platform/kernel.h"

namespace {

using tessel_test::LogScope;

struct DebugCapture {
    DebugCapture() {
        platform::SetDebugOutputSink(
            [](const char* text, void* context) {
                static_cast<DebugCapture*>(context)->text += text;
            },
            this);
    }
    ~DebugCapture() { platform::SetDebugOutputSink(nullptr, nullptr); }
    std::string text;
};

// The number of live tracked blocks, from a leak report written to the log.
int LiveTrackedBlocks(const LogScope& log) {
    tessel::DumpTrackedBlocks();
    const std::string text = log.Text();
    const size_t at = text.rfind("Alloc num:");
    return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + 10);
}

TEST(Log, LineEndsBecomeCrLfWithOneTimeStampPerText) {
    struct Case {
        std::vector<std::string> pieces;
        std::string expected;
    };
    const Case cases[] = {
        {{"a\nb\n"}, "T:a\r\nb\r\n"},
        // The first line feed already has its CR: nothing of the text is converted.
        {{"a\r\nb\nc"}, "T:a\r\nb\nc"},
        // Two texts making one line: one time stamp, in front of the first.
        {{"ab", "cd\n"}, "T:abcd\r\n"},
        {{"x\n", "y\n"}, "T:x\r\nT:y\r\n"},
        // A lead byte takes the next byte with it, even a line feed.
        {{"\x81\nz\n"}, "T:\x81\nz\r\n"},
        {{"日本語\n次\n"}, "T:日本語\r\n次\r\n"},
        {{"\n"}, "T:\r\n"},
    };
    for (const Case& c : cases) {
        LogScope log;
        for (const std::string& piece : c.pieces) {
            EXPECT_EQ(tessel::WriteLog(piece.c_str()), -1);
        }
        EXPECT_EQ(log.Text(), c.expected) << c.pieces[0];
    }
}

TEST(Log, JapaneseTextIsWrittenAsCodePage932Bytes) {
    LogScope log;
    tessel::WriteLog("成功\n");
    EXPECT_EQ(log.Text(), std::string("T:\x90\xac\x8c\xf7\r\n"));
}

TEST(Log, TimeStampCountsMillisecondsSinceStart) {
    LogScope log;
    Sleep(30);
    tessel::WriteLog("late\n");
    std::string raw = log.Raw();
    int stamp = std::stoi(raw);
    EXPECT_GE(stamp, 25);
    EXPECT_LT(stamp, 5000);
}

TEST(Log, IndentPutsTabsAfterTheTimeStampOfNewLinesOnly) {
    LogScope log;
    tessel::IndentLog();
    tessel::IndentLog();
    tessel::WriteLog("a\nb\n");
    tessel::OutdentLog();
    tessel::WriteLog("c\n");
    tessel::OutdentLog();
    tessel::OutdentLog();  // already 0: stays 0
    tessel::WriteLog("d\n");
    tessel::IndentLog();
    tessel::WriteLog("e\n");
    EXPECT_EQ(log.Text(), "T:\t\ta\r\nb\r\nT:\tc\r\nT:d\r\nT:\te\r\n");
}

TEST(Log, DeepIndentIsClampedToTheLineBuffer) {
    LogScope log;
    for (int i = 0; i < 600; ++i) {
        tessel::IndentLog();
    }
    tessel::WriteLog("deep\n");
    EXPECT_EQ(log.Text(), "T:" + std::string(535, '\t') + "deep\r\n");
    for (int i = 0; i < 600; ++i) {
        tessel::OutdentLog();
    }
    tessel::WriteLog("flat\n");
    EXPECT_EQ(log.Text().substr(log.Text().size() - 8), "T:flat\r\n");
}

TEST(Log, LongTextGoesThroughATrackedBlockThatIsFreed) {
    LogScope log;
    std::string text;
    for (int i = 0; i < 100; ++i) {
        text += "line" + std::to_string(i) + "\n";
    }
    std::string expected = "T:";
    for (int i = 0; i < 100; ++i) {
        expected += "line" + std::to_string(i) + "\r\n";
    }
    const int before = LiveTrackedBlocks(log);
    tessel::WriteLog(text.c_str());
    EXPECT_NE(log.Text().find(expected), std::string::npos);
    EXPECT_EQ(LiveTrackedBlocks(log), before) << "the work block is freed";
    EXPECT_EQ(tessel::CheckTrackedBlocks(), 0);
}

TEST(Log, LinesOfSeveralThreadsAreAllKeptWhole) {
    LogScope log;
    constexpr int kThreads = 4;
    constexpr int kLines = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int n = 0; n < kLines; ++n) {
                const std::string line =
                    "thread " + std::to_string(t) + " line " + std::to_string(n) + "\n";
                tessel::WriteLog(line.c_str());
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::set<std::string> seen;
    const std::string text = log.Text();
    size_t start = 0;
    for (size_t end = text.find("\r\n"); end != std::string::npos;
         start = end + 2, end = text.find("\r\n", start)) {
        const std::string line = text.substr(start, end - start);
        EXPECT_EQ(line.rfind("T:thread ", 0), 0u) << line;
        EXPECT_TRUE(seen.insert(line).second) << "twice: " << line;
    }
    EXPECT_EQ(start, text.size()) << "the log ends with a whole line";
    EXPECT_EQ(seen.size(), size_t{kThreads * kLines});
}

TEST(Log, DebuggerOutputGetsTheSamePieces) {
    LogScope log;
    DebugCapture capture;
    tessel::IndentLog();
    tessel::WriteLog("a\nb");
    tessel::WriteLog("c\n");
    EXPECT_EQ(tessel_test::MaskTimeStamps(capture.text), "T:\ta\r\nbc\r\n");
    EXPECT_EQ(log.Text(), "T:\ta\r\nbc\r\n");
}

TEST(Log, OffWritesNothingAnywhereAndKeepsAnOldLog) {
    tessel_test::ScratchDirectory dir;
    tessel_test::WriteWholeFile(dir.Linux("Log.txt"), "old");
    DebugCapture capture;
    tessel::EnableLogFile(0);
    tessel::SetLogStartDirectory(dir.Windows().c_str());
    EXPECT_EQ(tessel::StartLogFile(), 1);
    tessel::WriteLog("hidden\n");
    tessel::WriteLogFormat("%d", 5);
    EXPECT_EQ(tessel_test::ReadWholeFile(dir.Linux("Log.txt")), "old");
    EXPECT_EQ(capture.text, "");
    tessel::EnableLogFile(1);
    tessel::SetLogStartDirectory(nullptr);
}

TEST(Log, StartReplacesAnOldLogAndNothingIsWrittenWithoutAStartDirectory) {
    tessel_test::ScratchDirectory dir;
    tessel_test::WriteWholeFile(dir.Linux("Log.txt"), "old");
    tessel::EnableLogFile(1);
    tessel::SetLogStartDirectory(nullptr);
    tessel::StartLogFile();
    EXPECT_EQ(tessel_test::ReadWholeFile(dir.Linux("Log.txt")), "");
    DebugCapture capture;
    tessel::WriteLog("nowhere\n");
    EXPECT_EQ(capture.text, "");
    EXPECT_EQ(tessel_test::ReadWholeFile(dir.Linux("Log.txt")), "");
    // A start directory with its trailing backslash gets no second one.
    tessel::SetLogStartDirectory((dir.Windows() + "\\").c_str());
    tessel::WriteLog("here\n");
    EXPECT_EQ(tessel_test::MaskTimeStamps(tessel_test::ReadWholeFile(dir.Linux("Log.txt"))),
              "T:here\r\n");
    tessel::SetLogStartDirectory(nullptr);
}

TEST(Log, FormatAppendsTheLineEnd) {
    LogScope log;
    EXPECT_EQ(tessel::WriteLogFormat("%s=%d (%.2f)", "v", -7, 1.5), -1);
    tessel::WriteLogFormat("幅 %d", 640);
    EXPECT_EQ(log.Text(), "T:v=-7 (1.50)\r\nT:幅 640\r\n");
}

TEST(Log, FormatOfAnOverlongTextKeepsItsLineEnd) {
    LogScope log;
    std::string big(3000, 'x');
    tessel::WriteLogFormat("%s", big.c_str());
    std::string text = log.Text();
    EXPECT_EQ(text, "T:" + std::string(1022, 'x') + "\r\n");
}

TEST(Log, WideFormatFollowsWindowsWideRules) {
    LogScope log;
    EXPECT_EQ(tessel::WriteLogFormatW(u"%s:%d:%S:%hs:%5.1f|%-4s|%c", u"日本", 42, "ab", "cd", 2.25,
                                      u"x", u'語'),
              -1);
    EXPECT_EQ(log.Text(), "T:日本:42:ab:cd:  2.2|x   |語\r\n");
}

}  // namespace

namespace {

TEST(Log, WideFormatOfAnOverlongTextKeepsItsLineEnd) {
    LogScope log;
    std::u16string big(3000, u'y');
    tessel::WriteLogFormatW(u"%s", big.c_str());
    EXPECT_EQ(log.Text(), "T:" + std::string(1022, 'y') + "\r\n");
    // Double-byte characters: 1022 units would be 2044 bytes; the text is cut
    // to what fits 1024 bytes with its line end.
    std::u16string kanji(1500, u'語');
    LogScope second;
    tessel::WriteLogFormatW(u"%s", kanji.c_str());
    std::string text = second.Text();
    std::string pair = "語";
    EXPECT_EQ(
        text, "T:" + [&] {
            std::string run;
            for (int i = 0; i < 511; ++i) {
                run += pair;
            }
            return run;
        }() + "\r\n");
}

}  // namespace
