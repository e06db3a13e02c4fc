// Kernel files: path mapping, creation modes, pointers, times, searches and handles.
#include <gtest/gtest.h>

#include <dirent.h>
#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/kernel.h"

namespace {

// A scratch directory made current for the test.
class FilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tessel_files_XXXXXX";
        root_ = mkdtemp(pattern);
        char* previous = getcwd(nullptr, 0);
        previous_ = previous;
        free(previous);
        ASSERT_EQ(chdir(root_.c_str()), 0);
    }
    void TearDown() override {
        ASSERT_EQ(chdir(previous_.c_str()), 0);
        nftw(
            root_.c_str(),
            [](const char* name, const struct stat*, int, struct FTW*) { return ::remove(name); },
            16, FTW_DEPTH | FTW_PHYS);
    }

    std::string Linux(const std::string& relative) const { return root_ + "/" + relative; }
    std::string Windows(const std::string& relativeWindows) const {
        return platform::WindowsPathFromLinux(root_) + "\\" + relativeWindows;
    }
    void MakeFile(const std::string& relative, const std::string& bytes) const {
        FILE* file = std::fopen(Linux(relative).c_str(), "wb");
        ASSERT_NE(file, nullptr) << relative;
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    void MakeDir(const std::string& relative) const {
        ASSERT_EQ(mkdir(Linux(relative).c_str(), 0777), 0) << relative;
    }
    std::string Read(HANDLE file, DWORD count) const {
        std::string bytes(count, '\0');
        DWORD got = 0;
        EXPECT_TRUE(ReadFile(file, bytes.data(), count, &got, nullptr));
        bytes.resize(got);
        return bytes;
    }
    std::set<std::string> Entries(const std::string& relative) const {
        std::set<std::string> names;
        DIR* dir = opendir(Linux(relative).c_str());
        while (struct dirent* entry = readdir(dir)) {
            names.insert(entry->d_name);
        }
        closedir(dir);
        return names;
    }

    std::string root_;
    std::string previous_;
};

HANDLE OpenRead(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST_F(FilesTest, PathsMapWithoutRegardToCaseAndDriveCIsTheRoot) {
    MakeDir("image");
    MakeDir("image/Sub");
    MakeFile("image/title.png", "png");
    MakeFile("image/Sub/Deep.Txt", "deep");
    struct Case {
        std::string path;
        std::string expected;  // bytes of the file, or "" when it must not open
    };
    const std::vector<Case> cases = {
        {"IMAGE\\TITLE.PNG", "png"},
        {"image/title.png", "png"},
        {"Image\\\\Title.png", "png"},  // doubled separators
        {".\\image\\.\\sub\\..\\title.png", "png"},
        {"image\\sub\\deep.txt", "deep"},
        {"IMAGE/SUB/DEEP.TXT", "deep"},
        {Windows("image\\title.png"), "png"},
        {"c:" + Windows("Image\\Title.PNG").substr(2), "png"},
        {"C:\\..\\..\\" + Windows("image\\title.png").substr(3), "png"},  // ".." stops at the root
        {"image\\title.pn", ""},
        {"image\\title.png\\x", ""},
        {"D:\\image\\title.png", ""},
        {"\\\\server\\share\\title.png", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        HANDLE file = OpenRead(c.path);
        if (c.expected.empty()) {
            EXPECT_EQ(file, INVALID_HANDLE_VALUE) << c.path;
            continue;
        }
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << c.path;
        EXPECT_EQ(Read(file, 100), c.expected) << c.path;
        EXPECT_TRUE(CloseHandle(file));
    }
}

TEST_F(FilesTest, MissingFileAndMissingFolderAreToldApart) {
    EXPECT_EQ(OpenRead("nothing.txt"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(OpenRead("nowhere\\nothing.txt"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    MakeDir("dir");
    EXPECT_EQ(OpenRead("dir"), INVALID_HANDLE_VALUE);  // a directory is not a file
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(FilesTest, CreatedFilesKeepTheirSpellingInExistingFolders) {
    MakeDir("Save");
    HANDLE file = CreateFileA("SAVE\\NewFile.DAT", GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "hello", 5, &written, nullptr));
    EXPECT_EQ(written, 5u);
    CloseHandle(file);
    EXPECT_EQ(Entries("Save"), (std::set<std::string>{".", "..", "NewFile.DAT"}));
    // Opening it again by another spelling finds the same file.
    file = OpenRead("save\\newfile.dat");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Read(file, 10), "hello");
    CloseHandle(file);
    // CREATE_NEW refuses an existing file whatever its spelling.
    EXPECT_EQ(CreateFileA("save\\NEWFILE.dat", GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    EXPECT_TRUE(CreateDirectoryA("save\\Replay", nullptr));
    EXPECT_FALSE(CreateDirectoryA("SAVE\\replay", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectoryA("none\\replay", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Entries("Save"), (std::set<std::string>{".", "..", "NewFile.DAT", "Replay"}));
}

TEST_F(FilesTest, CodePage932NamesBecomeUtf8) {
    // "表" is 0x95 0x5C in code page 932: its second byte is a backslash.
    const char* name = "\x95\x5c\x8e\xa6.txt";  // 表示.txt
    HANDLE file =
        CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    // This file is compiled to code page 932: the UTF-8 names on disk are spelled in bytes.
    EXPECT_EQ(Entries("."), (std::set<std::string>{".", "..", "\xE8\xA1\xA8\xE7\xA4\xBA.txt"}));
    MakeDir("\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF");  // データ
    MakeFile(
        "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF/\xEF\xBC\xA6\xEF\xBD\x89\xEF\xBD\x8C\xEF\xBD\x85.bin",
        "x");  // Ｆｉｌｅ.bin
    // Full-width letters fold too; the katakana folder name is matched as it stands.
    file = OpenRead("\x83\x66\x81\x5b\x83\x5e\\\x82\x86\x82\x89\x82\x8c\x82\x85.BIN");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    char current[MAX_PATH];
    ASSERT_TRUE(SetCurrentDirectoryA("\x83\x66\x81\x5b\x83\x5e"));
    DWORD length = GetCurrentDirectoryA(MAX_PATH, current);
    EXPECT_EQ(std::string(current, length),
              platform::WindowsPathFromLinux(root_) + "\\\x83\x66\x81\x5b\x83\x5e");
}

TEST_F(FilesTest, CreationModesFollowWindows) {
    const std::string name = "modes.bin";
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    WriteFile(file, "abcdef", 6, nullptr, nullptr);
    CloseHandle(file);
    file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);  // opened, not truncated
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_END), 6u);
    WriteFile(file, "gh", 2, nullptr, nullptr);
    CloseHandle(file);
    file = OpenRead(name);
    EXPECT_EQ(GetFileSize(file, nullptr), 8u);
    EXPECT_EQ(Read(file, 100), "abcdefgh");
    CloseHandle(file);
    file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(file);
    file = OpenRead(name);
    EXPECT_EQ(GetFileSize(file, nullptr), 0u);
    CloseHandle(file);

    // Append access: every write lands at the end, even after another
    // handle wrote there or the pointer moved back.
    HANDLE first = CreateFileA(name.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    HANDLE second =
        CreateFileA(name.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    WriteFile(first, "12", 2, nullptr, nullptr);
    WriteFile(second, "34", 2, nullptr, nullptr);
    SetFilePointer(first, 0, nullptr, FILE_BEGIN);
    WriteFile(first, "56", 2, nullptr, nullptr);
    CloseHandle(first);
    CloseHandle(second);
    file = OpenRead(name);
    EXPECT_EQ(Read(file, 100), "123456");
    CloseHandle(file);
}

TEST_F(FilesTest, FilePointerMovesAndRefusesNegativePositions) {
    MakeFile("data.bin", "0123456789");
    HANDLE file = OpenRead("data.bin");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(SetFilePointer(file, 4, nullptr, FILE_BEGIN), 4u);
    EXPECT_EQ(Read(file, 3), "456");
    EXPECT_EQ(SetFilePointer(file, -2, nullptr, FILE_CURRENT), 5u);
    EXPECT_EQ(Read(file, 2), "56");
    EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_END), 9u);
    EXPECT_EQ(Read(file, 5), "9");
    EXPECT_EQ(Read(file, 5), "");  // at the end: success with 0 bytes
    EXPECT_EQ(SetFilePointer(file, -20, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 10u);  // unchanged
    LONG high = 1;
    EXPECT_EQ(SetFilePointer(file, 0, &high, FILE_BEGIN), 0u);  // 4 GB, past the end: allowed
    EXPECT_EQ(high, 1);
    DWORD sizeHigh = 7;
    EXPECT_EQ(GetFileSize(file, &sizeHigh), 10u);
    EXPECT_EQ(sizeHigh, 0u);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_FALSE(ReadFile(nullptr, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(FilesTest, DeleteAttributesAndCurrentDirectory) {
    MakeDir("Folder");
    MakeFile("Folder/Item.txt", "1");
    EXPECT_EQ(GetFileAttributesA("folder"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesA("FOLDER\\ITEM.TXT"), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetFileAttributesA("folder\\none"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(DeleteFileA("folder"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(DeleteFileA("folder\\item.TXT"));
    EXPECT_FALSE(DeleteFileA("folder\\item.TXT"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    char buffer[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(MAX_PATH, buffer);
    std::string here = platform::WindowsPathFromLinux(root_);
    EXPECT_EQ(std::string(buffer, length), here);
    EXPECT_EQ(GetCurrentDirectoryA(3, buffer), here.size() + 1);  // too short: the size needed
    EXPECT_TRUE(SetCurrentDirectoryA("FOLDER"));
    length = GetCurrentDirectoryA(MAX_PATH, buffer);
    EXPECT_EQ(std::string(buffer, length), here + "\\Folder");
    EXPECT_TRUE(SetCurrentDirectoryA(".."));
    EXPECT_FALSE(SetCurrentDirectoryA("missing"));
    EXPECT_TRUE(SetCurrentDirectoryA("C:\\"));
    length = GetCurrentDirectoryA(MAX_PATH, buffer);
    EXPECT_EQ(std::string(buffer, length), "C:\\");
}

std::vector<std::string> FindAll(const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        names.push_back(data.cFileName);
    } while (FindNextFileA(search, &data));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(search));
    return names;
}

TEST_F(FilesTest, FindMatchesWildcardsWithoutRegardToCase) {
    MakeDir("Data");
    MakeDir("Data/Sub");
    MakeFile("Data/a.png", "1");
    MakeFile("Data/B.PNG", "22");
    MakeFile("Data/c.txt", "333");
    MakeFile("Data/abc", "");
    MakeFile("Data/\xE8\xA1\xA8.png", "");  // 表.png
    using Names = std::vector<std::string>;
    EXPECT_EQ(FindAll("data\\*.png"), (Names{"a.png", "B.PNG", "\x95\x5c.png"}));
    EXPECT_EQ(FindAll("DATA\\?.p*"), (Names{"a.png", "B.PNG", "\x95\x5c.png"}));
    EXPECT_EQ(FindAll("data\\*"),
              (Names{".", "..", "a.png", "abc", "B.PNG", "c.txt", "Sub", "\x95\x5c.png"}));
    EXPECT_EQ(FindAll("data\\*.*"), FindAll("data\\*"));
    EXPECT_EQ(FindAll("data\\A*C"), (Names{"abc"}));
    EXPECT_EQ(FindAll("data\\b.png"), (Names{"B.PNG"}));
    EXPECT_EQ(FindAll("data\\???"), (Names{"abc", "Sub"}));
    EXPECT_EQ(FindAll("data\\*.bmp"), Names{});
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(FindAll("nowhere\\*"), Names{});
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA("data\\c.TXT", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.nFileSizeLow, 3u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
    FindClose(search);
    search = FindFirstFileA("data\\sub", &data);
    EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
    FindClose(search);
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(FindClose(search));  // closed already
}

TEST_F(FilesTest, FileTimesConvertToCalendarFields) {
    SYSTEMTIME fields = {2024, 2, 0, 29, 13, 45, 30, 250};
    FILETIME time;
    ASSERT_TRUE(SystemTimeToFileTime(&fields, &time));
    // 2024-02-29 13:45:30.25 UTC in 100 ns ticks since 1601.
    ULONGLONG ticks = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    EXPECT_EQ(ticks, 133536879302500000ULL);
    SYSTEMTIME back;
    ASSERT_TRUE(FileTimeToSystemTime(&time, &back));
    EXPECT_EQ(back.wYear, 2024);
    EXPECT_EQ(back.wMonth, 2);
    EXPECT_EQ(back.wDay, 29);
    EXPECT_EQ(back.wDayOfWeek, 4);  // a Thursday
    EXPECT_EQ(back.wHour, 13);
    EXPECT_EQ(back.wMinute, 45);
    EXPECT_EQ(back.wSecond, 30);
    EXPECT_EQ(back.wMilliseconds, 250);
    SYSTEMTIME bad = {2023, 2, 0, 29, 0, 0, 0, 0};
    EXPECT_FALSE(SystemTimeToFileTime(&bad, &time));

    MakeFile("stamp.txt", "x");
    SYSTEMTIME before;
    GetLocalTime(&before);
    HANDLE file = OpenRead("stamp.txt");
    FILETIME written;
    FILETIME local;
    ASSERT_TRUE(GetFileTime(file, nullptr, nullptr, &written));
    CloseHandle(file);
    ASSERT_TRUE(FileTimeToLocalFileTime(&written, &local));
    SYSTEMTIME now;
    ASSERT_TRUE(FileTimeToSystemTime(&local, &now));
    EXPECT_EQ(now.wYear, before.wYear);
    EXPECT_EQ(now.wDay, before.wDay);
    EXPECT_EQ(now.wHour, before.wHour);
}

TEST_F(FilesTest, TemporaryNamesAreUniqueFilesInTheTemporaryFolder) {
    ASSERT_EQ(setenv("TMPDIR", root_.c_str(), 1), 0);
    char folder[MAX_PATH];
    DWORD length = GetTempPathA(MAX_PATH, folder);
    EXPECT_EQ(std::string(folder, length), platform::WindowsPathFromLinux(root_) + "\\");
    EXPECT_EQ(GetTempPathA(2, folder), length + 1);
    char first[MAX_PATH];
    char second[MAX_PATH];
    UINT a = GetTempFileNameA(folder, "tmpx", 0, first);
    UINT b = GetTempFileNameA(folder, "tmp", 0, second);
    unsetenv("TMPDIR");
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_STRNE(first, second);
    EXPECT_EQ(std::string(first).find(std::string(folder) + "tmp"), 0u);
    EXPECT_EQ(std::string(first).substr(std::strlen(first) - 4), ".TMP");
    EXPECT_NE(GetFileAttributesA(first), INVALID_FILE_ATTRIBUTES);  // created
    char named[MAX_PATH];
    EXPECT_EQ(GetTempFileNameA(folder, "abc", 0x1F, named), 0x1Fu);
    EXPECT_EQ(std::string(named), std::string(folder) + "abc1F.TMP");
    EXPECT_EQ(GetFileAttributesA(named), INVALID_FILE_ATTRIBUTES);  // only named
    EXPECT_EQ(GetTempFileNameA("C:\\no\\such\\folder", "t", 0, named), 0u);
}

TEST_F(FilesTest, MoveFileRenamesAndReplacesOnlyWhenAsked) {
    MakeDir("Saves");
    MakeFile("Saves/Next.tmp", "new");
    EXPECT_TRUE(MoveFileExA("saves\\NEXT.TMP", "saves\\Slot.dat", 0));
    EXPECT_EQ(Entries("Saves"), (std::set<std::string>{".", "..", "Slot.dat"}));

    MakeFile("Saves/Next.tmp", "newer");
    EXPECT_FALSE(MoveFileExA("saves\\next.tmp", "saves\\slot.dat", 0));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(MoveFileExA("saves\\next.tmp", "saves\\SLOT.DAT",
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    // The existing spelling is the one replaced: no second file beside it.
    EXPECT_EQ(Entries("Saves"), (std::set<std::string>{".", "..", "Slot.dat"}));
    HANDLE file = OpenRead("saves\\slot.dat");
    EXPECT_EQ(Read(file, 16), "newer");
    CloseHandle(file);

    EXPECT_FALSE(MoveFileExA("saves\\gone.tmp", "saves\\slot.dat", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    MakeFile("Saves/Next.tmp", "x");
    EXPECT_FALSE(MoveFileExA("saves\\next.tmp", "missing\\slot.dat", 0));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(MoveFileExA("saves\\next.tmp", "saves\\slot.dat", 0x2));  // copy allowed
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(FilesTest, MoveFileLeavesWhatCannotBeReplacedAsItWas) {
    struct Case {
        const char* name;
        std::function<bool()> make;  // makes "target" in the scratch folder
    };
    const Case cases[] = {
        {"a folder", [this] { return mkdir(Linux("target").c_str(), 0777) == 0; }},
        {"a read-only file",
         [this] {
             MakeFile("target", "old");
             return chmod(Linux("target").c_str(), 0444) == 0;
         }},
        {"a pipe", [this] { return mkfifo(Linux("target").c_str(), 0666) == 0; }},
        {"a link to a pipe",
         [this] {
             return mkfifo(Linux("pipe").c_str(), 0666) == 0 &&
                    symlink("pipe", Linux("target").c_str()) == 0;
         }},
        {"a dangling link", [this] { return symlink("nowhere", Linux("target").c_str()) == 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(system(("rm -rf '" + Linux("target") + "' '" + Linux("pipe") + "'").c_str()), 0);
        ASSERT_TRUE(c.make());
        struct stat before;
        ASSERT_EQ(lstat(Linux("target").c_str(), &before), 0);
        MakeFile("next.tmp", "new");
        EXPECT_FALSE(MoveFileExA("next.tmp", "target", MOVEFILE_REPLACE_EXISTING));
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
        struct stat after;
        ASSERT_EQ(lstat(Linux("target").c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(access(Linux("next.tmp").c_str(), F_OK), 0) << "the source stays";
    }
}

TEST_F(FilesTest, MoveFileOntoALinkReplacesTheFileTheLinkNames) {
    MakeDir("store");
    MakeFile("store/slot.dat", "old");
    ASSERT_EQ(symlink("store/slot.dat", Linux("slot.dat").c_str()), 0);
    MakeFile("store/next.tmp", "new");
    EXPECT_TRUE(MoveFileExA("store\\next.tmp", "slot.dat", MOVEFILE_REPLACE_EXISTING));
    struct stat info;
    ASSERT_EQ(lstat(Linux("slot.dat").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    HANDLE file = OpenRead("store\\slot.dat");
    EXPECT_EQ(Read(file, 16), "new");
    CloseHandle(file);
    EXPECT_EQ(Entries("store"), (std::set<std::string>{".", "..", "slot.dat"}));
}

TEST_F(FilesTest, RuntimeOpenUsesTheSameMapping) {
    MakeDir("replay");
    FILE* file = platform::fopen("REPLAY\\vn_rep07.rpl", "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("rpl", file);
    std::fclose(file);
    EXPECT_EQ(Entries("replay"), (std::set<std::string>{".", "..", "vn_rep07.rpl"}));
    file = platform::fopen("Replay\\VN_REP07.RPL", "rb");
    ASSERT_NE(file, nullptr);
    char buffer[8] = {};
    EXPECT_EQ(std::fread(buffer, 1, sizeof(buffer), file), 3u);
    std::fclose(file);
    EXPECT_STREQ(buffer, "rpl");
    EXPECT_EQ(platform::fopen("replay\\vn_rep08.rpl", "rb"), nullptr);
    EXPECT_EQ(platform::fopen("D:\\x", "rb"), nullptr);
}

TEST_F(FilesTest, HandlesAreSharedKernelObjects) {
    MakeFile("shared.txt", "abc");
    HANDLE file = OpenRead("shared.txt");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    // A file handle is not something to wait on or to search with.
    EXPECT_FALSE(FindNextFileA(file, nullptr));
    EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FilesTest, ClosedFileAndSearchHandlesAreRefusedAfterTheirSlotIsReused) {
    MakeFile("one.txt", "first");
    MakeFile("two.txt", "second");
    HANDLE file = OpenRead("one.txt");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(file));
    HANDLE newFile = OpenRead("two.txt");
    ASSERT_NE(newFile, INVALID_HANDLE_VALUE);
    char byte = 0;
    DWORD count = 7;
    SetLastError(0);
    EXPECT_FALSE(ReadFile(file, &byte, 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(WriteFile(file, "x", 1, &count, nullptr));
    EXPECT_EQ(SetFilePointer(file, 3, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetFileSize(file, nullptr), INVALID_FILE_SIZE);
    FILETIME time;
    EXPECT_FALSE(GetFileTime(file, &time, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(Read(newFile, 6), "second");  // the new file's position did not move
    EXPECT_TRUE(CloseHandle(newFile));

    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA("*.txt", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(FindClose(search));
    HANDLE newSearch = FindFirstFileA("*.txt", &data);
    ASSERT_NE(newSearch, INVALID_HANDLE_VALUE);
    SetLastError(0);
    EXPECT_FALSE(FindNextFileA(search, &data));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(FindClose(search));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(FindNextFileA(newSearch, &data));  // the new search still has its second name
    EXPECT_STREQ(data.cFileName, "two.txt");
    EXPECT_TRUE(FindClose(newSearch));
    // Neither kind of handle closes through the other's call.
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_FALSE(FindClose(event));
    EXPECT_TRUE(CloseHandle(event));
}

}  // namespace
