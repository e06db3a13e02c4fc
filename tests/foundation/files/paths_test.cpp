#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "foundation/base/text.h"
#include "foundation/files/file_ops.h"
#include "foundation/files/files_test_support.h"
#include "foundation/files/paths.h"
#include "platform/kernel.h"

namespace {

std::u16string Widen(const std::string& ascii) {
    std::u16string wide;
    for (char c : ascii) {
        wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    }
    return wide;
}

struct FullCase {
    const char* path;  // nullptr: no path
    const char* base;
    const char* expected;
};

const FullCase kFullCases[] = {
    {"..\\b", "C:\\x\\y", "C:\\x\\b"},
    {".\\a\\.\\b", "C:\\x", "C:\\x\\a\\b"},
    {"a/b", "C:\\x", "C:\\x\\a\\b"},
    {"a\\\\b\\", "C:\\x", "C:\\x\\a\\b"},
    {"C:\\..\\a", "C:\\x", "C:\\a"},
    {"..\\..\\a", "C:\\x", "C:\\a"},
    {"\\a", "D:\\q", "D:\\a"},
    {"\\\\srv\\share\\f", "C:\\x", "\\\\srv\\share\\f"},
    {"//srv/share/f", "C:\\x", "\\\\srv\\share\\f"},
    {"a\\..", "C:\\x", "C:\\x\\a\\.."},  // a last ".." without a separator stays
    {"a\\.", "C:\\x", "C:\\x\\a\\."},
    {"D:a", "C:\\x", "D:\\a"},
    {"D:\\a\\b", "C:\\x", "D:\\a\\b"},
    {"a", "C:\\x\\", "C:\\x\\a"},
    {"a", "C:\\", "C:\\a"},
    {nullptr, "C:\\base\\", "C:\\base\\"},
    {"a", "C:/x/", "C:/x\\a"},  // separators of the base stay as they were
};

TEST(Paths, MakeFullPathCases) {
    for (const FullCase& c : kFullCases) {
        char out[260];
        EXPECT_EQ(tessel::MakeFullPath(c.path, out, c.base), 0);
        EXPECT_STREQ(out, c.expected) << (c.path ? c.path : "(null)") << " on " << c.base;

        std::u16string path = c.path ? Widen(c.path) : u"";
        std::u16string base = Widen(c.base);
        WCHAR wide[260];
        EXPECT_EQ(tessel::MakeFullPathW(c.path ? path.c_str() : nullptr, wide, base.c_str()), 0);
        EXPECT_EQ(std::u16string(wide), Widen(c.expected));
    }
}

TEST(Paths, DoubleByteCharactersAreNeverTakenForSeparators) {
    // The second byte of 表 (0x95 0x5C) is a backslash.
    char out[260];
    tessel::MakeFullPath("\x95\x5c\\..\\\x95\x5c\x95\x5c\\a", out, "C:\\\x95\x5c");
    EXPECT_STREQ(out, "C:\\\x95\x5c\\\x95\x5c\x95\x5c\\a");
    char name[260];
    char directory[260];
    tessel::SplitPath("d\\\x95\x5c", name, directory);
    EXPECT_STREQ(name, "\x95\x5c");
    EXPECT_STREQ(directory, "d");
    // A base ending in such a character keeps it whole.
    tessel::MakeFullPath("a", out, "C:\\\x95\x5c");
    EXPECT_STREQ(out, "C:\\\x95\x5c\\a");
    WCHAR wide[260];
    tessel::MakeFullPathW(u"\xD83D\xDE00\\x", wide, u"C:\\q");
    EXPECT_EQ(std::u16string(wide), u"C:\\q\\\xD83D\xDE00\\x");
}

TEST(Paths, ResultsThatDoNotFitFail) {
    std::string longName(300, 'n');
    char out[260];
    EXPECT_EQ(tessel::MakeFullPath(longName.c_str(), out, "C:\\x"), -1);
    EXPECT_STREQ(out, "");
    std::string almost(255, 'n');  // "C:\" + 255 + NUL fits, "C:\x\" + 255 does not
    EXPECT_EQ(tessel::MakeFullPath(almost.c_str(), out, "C:\\"), 0);
    EXPECT_EQ(tessel::MakeFullPath(almost.c_str(), out, "C:\\x"), -1);
}

int FakeCurrentDirectory(char* buffer) {
    tessel::CopyText(buffer, "C:\\cur\\dir");
    return 10;
}

TEST(Paths, TheCurrentDirectoryComesFromTheTableInForce) {
    tessel::FileOps ops = tessel::PlainFileOps();
    ops.getCurrentDir = FakeCurrentDirectory;
    tessel::InstallFileOps(&ops);
    char out[260];
    tessel::MakeFullPath("..\\a", out, nullptr);
    EXPECT_STREQ(out, "C:\\cur\\a");
    tessel::MakeFullPath(nullptr, out, nullptr);
    EXPECT_STREQ(out, "C:\\cur\\dir");
    WCHAR wide[260];
    tessel::MakeFullPathW(u"b", wide, nullptr);
    EXPECT_EQ(std::u16string(wide), u"C:\\cur\\dir\\b");
    tessel::MakeRelativePath("C:\\cur\\x\\f.txt", "..\\", out);
    EXPECT_STREQ(out, "x\\f.txt");
    tessel::InstallFileOps(nullptr);
}

TEST(Paths, SplitPathCases) {
    struct Case {
        const char* path;
        const char* name;
        const char* directory;
    };
    const Case cases[] = {
        {"abc", "abc", ""},
        {"a\\b\\c.txt", "c.txt", "a\\b"},
        {"a/b/c.txt", "c.txt", "a/b"},
        {"C:file", "file", "C"},
        {"dir\\", "", "dir"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        char name[260];
        char directory[260];
        EXPECT_EQ(tessel::SplitPath(c.path, name, directory), 0);
        EXPECT_STREQ(name, c.name) << c.path;
        EXPECT_STREQ(directory, c.directory) << c.path;
        WCHAR wideName[260];
        WCHAR wideDirectory[260];
        tessel::SplitPathW(Widen(c.path).c_str(), wideName, wideDirectory);
        EXPECT_EQ(std::u16string(wideName), Widen(c.name));
        EXPECT_EQ(std::u16string(wideDirectory), Widen(c.directory));
    }
    char name[260];
    tessel::SplitPath("x\\y", name, nullptr);
    EXPECT_STREQ(name, "y");
    tessel::SplitPath("x\\y", nullptr, nullptr);
}

TEST(Paths, MakeRelativePathCases) {
    struct Case {
        const char* file;
        const char* base;
        const char* expected;
    };
    const Case cases[] = {
        {"C:\\a\\b\\f.png", "C:\\a\\c", "..\\b\\f.png"},
        {"C:\\a\\b\\f.png", "C:\\a\\b", "f.png"},
        {"C:\\a\\b\\f.png", "C:\\a\\b\\", "f.png"},
        {"C:\\a\\b\\f.png", "C:\\a", "b\\f.png"},
        {"C:\\a\\b\\f.png", "D:\\a", "C:\\a\\b\\f.png"},
        {"C:\\a\\f.png", "C:\\a\\b\\c", "..\\..\\f.png"},
        {"C:\\A\\f.png", "C:\\a", "..\\A\\f.png"},  // components compare case-sensitively
        {"C:\\a\\b\\c\\f.png", "C:\\", "a\\b\\c\\f.png"},
        {"\\\\srv\\s\\f", "\\\\srv\\s", "f"},
        {"\\\\srv\\s\\f", "\\\\other\\s", "\\\\srv\\s\\f"},
    };
    for (const Case& c : cases) {
        char out[260];
        EXPECT_EQ(tessel::MakeRelativePath(c.file, c.base, out), 0);
        EXPECT_STREQ(out, c.expected) << c.file << " from " << c.base;
        WCHAR wide[260];
        EXPECT_EQ(tessel::MakeRelativePathW(Widen(c.file).c_str(), Widen(c.base).c_str(), wide), 0);
        EXPECT_EQ(std::u16string(wide), Widen(c.expected)) << c.file << " from " << c.base;
    }
}

TEST(Paths, CreateTempFileMakesANewEmptyFileInTheTemporaryFolder) {
    tessel_test::ScratchDirectory dir;
    ASSERT_EQ(setenv("TMPDIR", dir.path().c_str(), 1), 0);
    char path[260];
    HANDLE file = tessel::CreateTempFile(path);
    ASSERT_NE(file, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::string(path).find(dir.Windows() + "\\tmp"), 0u);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "temp", 4, &written, nullptr));
    CloseHandle(file);
    std::string linux = dir.path() + "/" + std::string(path).substr(dir.Windows().size() + 1);
    EXPECT_EQ(tessel_test::ReadWholeFile(linux), "temp");
    HANDLE second = tessel::CreateTempFile(nullptr);
    ASSERT_NE(second, nullptr);
    CloseHandle(second);

    // A folder that is not there, or one too long for a path: failure, never a handle.
    ASSERT_EQ(setenv("TMPDIR", (dir.path() + "/missing").c_str(), 1), 0);
    EXPECT_EQ(tessel::CreateTempFile(path), nullptr);
    std::string deep = "/" + std::string(250, 'd');
    ASSERT_EQ(setenv("TMPDIR", deep.c_str(), 1), 0);
    EXPECT_EQ(tessel::CreateTempFile(path), nullptr);
    // A folder that is there but whose name passes 256 characters: failure,
    // and nothing is made in it.
    std::string longFolder = dir.path();
    while (platform::WindowsPathFromLinux(longFolder).size() <= 270) {
        longFolder += "/" + std::string(40, 'f');
        ASSERT_EQ(mkdir(longFolder.c_str(), 0755), 0);
    }
    ASSERT_EQ(setenv("TMPDIR", longFolder.c_str(), 1), 0);
    EXPECT_EQ(tessel::CreateTempFile(path), nullptr);
    EXPECT_EQ(rmdir(longFolder.c_str()), 0) << "the folder stays empty";
    unsetenv("TMPDIR");
}

}  // namespace
