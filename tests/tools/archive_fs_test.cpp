// The archive-aware file layer: folders replaced by archives beside them,
// read through the same operations as plain files.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "foundation/base/text.h"
#include "foundation/files/archive_fs.h"
#include "foundation/files/file_ops.h"
#include "foundation/files/files_test_support.h"
#include "foundation/memory/memory.h"
#include "tests/tools/archive_test_support.h"
#include "tools/lib/archive_pack.h"

namespace {

using namespace tessel;
using namespace tessel_test;

void WriteArchive(const ScratchDirectory& dir, const std::string& name, const FileTree& tree,
                  const char* key = nullptr) {
    ArchivePackOptions options;
    options.keyText = key;
    const std::vector<uint8_t> bytes = BuildArchive(tree, options);
    WriteWholeFile(dir.Linux(name), bytes);
}

// Makes the tree as plain files under the folder (platform calls, so that
// Japanese names are spelled as the platform spells them).
void MakeFolder(const std::string& root, const FileTree& tree) {
    CreateDirectoryA(root.c_str(), nullptr);
    for (const auto& [path, contents] : tree) {
        for (size_t at = 0; at < path.size(); ++at) {
            if (IsLeadByte(&path[at], kCharSetShiftJis)) {
                ++at;
            } else if (path[at] == '\\') {
                CreateDirectoryA((root + "\\" + path.substr(0, at)).c_str(), nullptr);
            }
        }
        HANDLE file = CreateFileA((root + "\\" + path).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
        CloseHandle(file);
    }
}

std::string ReadThrough(const FileOps& ops, const std::string& path, bool* opened,
                        int asynchronous = 0) {
    FileHandle file = ops.open(path.c_str(), 0, 1, asynchronous);
    *opened = file != 0;
    std::string bytes;
    if (file == 0) {
        return bytes;
    }
    char buffer[1500];
    uint32_t got = 0;
    while ((got = ops.read(buffer, 1, sizeof(buffer), file)) > 0) {
        while (!ops.idle(file)) {
        }
        bytes.append(buffer, got);
    }
    ops.close(file);
    return bytes;
}

// Each test starts with the game's options and ends with nothing open.
class ArcFs : public ::testing::Test {
  protected:
    void SetUp() override {
        UseArchiveSuffix("dat");
        UseArchiveKeyText(nullptr);
    }
    void TearDown() override {
        PurgeUnusedArchives();
        EXPECT_EQ(OpenArcFsFileCount(), 0);
        EXPECT_EQ(OpenArchiveCount(), 0);
        UseArchiveSuffix(nullptr);
        UseArchiveKeyText(nullptr);
    }
    std::string Read(const std::string& path, bool* opened = nullptr, int asynchronous = 0) {
        bool ok = false;
        std::string bytes = ReadThrough(ArchiveFileOps(), path, &ok, asynchronous);
        if (opened != nullptr) {
            *opened = ok;
        }
        return bytes;
    }
    ScratchDirectory dir_;
};

TEST_F(ArcFs, AFolderReplacedByItsArchiveReadsTheSameBytes) {
    const FileTree tree = SampleTree();
    MakeFolder(dir_.Windows() + "\\plain", tree);
    WriteArchive(dir_, "packed.dat", tree, "game key");
    UseArchiveKeyText("game key");
    for (int asynchronous = 0; asynchronous < 2; ++asynchronous) {
        for (const auto& [path, contents] : tree) {
            bool plainOpened = false;
            bool archiveOpened = false;
            const std::string plain = ReadThrough(PlainFileOps(), "plain\\" + path, &plainOpened);
            const std::string archived = Read("packed\\" + path, &archiveOpened, asynchronous);
            ASSERT_TRUE(plainOpened) << path;
            ASSERT_TRUE(archiveOpened) << path;
            EXPECT_EQ(archived, plain) << path;
            EXPECT_EQ(archived, contents) << path;
        }
    }
    // Plain files outside any archive pass through.
    bool opened = false;
    EXPECT_EQ(Read("plain\\readme.txt", &opened), tree.at("readme.txt"));
    EXPECT_TRUE(opened);
    // Absolute paths, other letter cases and forward slashes find the same.
    EXPECT_EQ(Read(dir_.Windows() + "\\PACKED/Image\\PLAYER.PNG"), tree.at("image\\Player.png"));
}

TEST_F(ArcFs, TheShortestFolderWithAnArchiveWins) {
    FileTree outer;
    outer["b\\f.txt"] = "outer";
    FileTree inner;
    inner["f.txt"] = "inner";
    WriteArchive(dir_, "a.dat", outer);
    CreateDirectoryA((dir_.Windows() + "\\a").c_str(), nullptr);
    WriteArchive(dir_, "a/b.dat", inner);
    EXPECT_EQ(Read("a\\b\\f.txt"), "outer");
    int slot = -1;
    char archivePath[kArchivePathBytes];
    char innerPath[MAX_PATH];
    ASSERT_EQ(ResolveArchivePath("a\\b\\f.txt", &slot, archivePath, innerPath), 0);
    std::string expected = dir_.Windows() + "\\A.dat";
    UpperCaseText(expected.data());
    expected.replace(expected.size() - 3, 3, "dat");
    EXPECT_STREQ(archivePath, expected.c_str());
    EXPECT_STREQ(innerPath, "B\\F.TXT");
    EXPECT_EQ(ArchiveSlotReferences(slot), 1);
    ReleaseArchive(slot);
    // Without the outer archive the inner one serves.
    unlink(dir_.Linux("a.dat").c_str());
    PurgeUnusedArchives();
    EXPECT_EQ(OpenArchiveCount(), 0);
    UseArchiveSuffix("dat");  // forgets the resolution
    EXPECT_EQ(Read("a\\b\\f.txt"), "inner");
}

TEST_F(ArcFs, AFileMissingFromAnExistingArchiveIsNotReadFromTheFolder) {
    FileTree tree;
    tree["in.txt"] = "archived";
    WriteArchive(dir_, "data.dat", tree);
    MakeFolder(dir_.Windows() + "\\data", {{"in.txt", "plain"}, {"only_plain.txt", "plain"}});
    bool opened = true;
    EXPECT_EQ(Read("data\\in.txt"), "archived");
    Read("data\\only_plain.txt", &opened);
    EXPECT_FALSE(opened);
    Read("nowhere\\x.txt", &opened);
    EXPECT_FALSE(opened);
}

TEST_F(ArcFs, AFileBesideAFolderThatIsNotAnArchiveIsReadAndLoggedOnce) {
    WriteWholeFile(dir_.Linux("plain.dat"), std::string("abc"));
    MakeFolder(dir_.Windows() + "\\plain", {{"a.txt", "a"}, {"b.txt", "b"}});
    LogScope log;  // the current folder is the log's from here on
    const std::string folder = dir_.Windows() + "\\plain\\";
    auto refusals = [&log] {
        const std::string text = log.Text();
        const std::string line = "アーカイブファイルが短すぎます";
        int count = 0;
        for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) {
            ++count;
        }
        return count;
    };
    EXPECT_EQ(Read(folder + "a.txt"), "a");
    EXPECT_EQ(Read(folder + "b.txt"), "b");
    EXPECT_EQ(Read(folder + "a.txt"), "a");
    EXPECT_EQ(refusals(), 1);
    // A new key may open it: the next open looks again.
    UseArchiveKeyText("another key");
    EXPECT_EQ(Read(folder + "a.txt"), "a");
    EXPECT_EQ(refusals(), 2);
}

TEST_F(ArcFs, ReadsCountWholeItemsAndAZeroSizeReadsNothing) {
    FileTree tree;
    tree["nine.bin"] = "123456789";
    WriteArchive(dir_, "d.dat", tree);
    FileHandle file = ArcFsOpen("d\\nine.bin", 0, 1, 0);
    ASSERT_NE(file, 0u);
    EXPECT_EQ(file & 0xF0000000u, 0xF0000000u);
    char buffer[40] = {};
    EXPECT_EQ(ArcFsRead(buffer, 0, 10, file), 0u);
    EXPECT_EQ(ArcFsTell(file), 0);
    EXPECT_EQ(ArcFsRead(buffer, 4, 10, file), 2u);
    EXPECT_STREQ(buffer, "123456789");
    EXPECT_EQ(ArcFsTell(file), 9) << "all nine bytes were taken";
    EXPECT_EQ(ArcFsEof(file), 0);
    EXPECT_EQ(ArcFsRead(buffer, 4, 10, file), 0u);
    EXPECT_NE(ArcFsEof(file), 0);
    EXPECT_EQ(ArcFsSeek(file, 2, 0), 0);
    EXPECT_EQ(ArcFsRead(buffer, 1, 3, file), 3u);
    EXPECT_EQ(std::string(buffer, 3), "345");
    EXPECT_EQ(ArcFsIdle(file), 1);
    EXPECT_EQ(ArcFsClose(file), 0);
    // Handles that are no longer (or never were) open are refused.
    for (FileHandle bad : {file, FileHandle{0}, FileHandle{0xF0000000u | 512u},
                           FileHandle{0xF0000000u | 0x0FFFFFFFu}, FileHandle{5}}) {
        EXPECT_EQ(ArcFsClose(bad), -1);
        EXPECT_EQ(ArcFsTell(bad), -1);
        EXPECT_EQ(ArcFsSeek(bad, 0, 0), -1);
        EXPECT_EQ(ArcFsRead(buffer, 1, 1, bad), 0u);
        EXPECT_EQ(ArcFsEof(bad), -1);
        EXPECT_EQ(ArcFsIdle(bad), -1);
    }
}

TEST_F(ArcFs, FiveHundredTwelveFilesMayBeOpenAtOnce) {
    LogScope log;
    FileTree tree;
    tree["f.txt"] = "x";
    WriteArchive(dir_, "d.dat", tree);
    // The log's scratch folder is the current one now.
    const std::string path = dir_.Windows() + "\\d\\f.txt";
    std::vector<FileHandle> handles;
    for (int i = 0; i < kMaxArcFsFiles; ++i) {
        handles.push_back(ArcFsOpen(path.c_str(), 0, 1, 0));
        ASSERT_NE(handles.back(), 0u) << i;
    }
    EXPECT_EQ(ArcFsOpen(path.c_str(), 0, 1, 0), 0u);
    EXPECT_NE(log.Text().find("T:同時に開けるファイルの数が限界を超えました\r\n"),
              std::string::npos);
    EXPECT_EQ(ArcFsClose(handles[100]), 0);
    // Without memory for the file's record: its own line, and no handle.
    SetTrackedHeapFailing(true);
    EXPECT_EQ(ArcFsOpen(path.c_str(), 0, 1, 0), 0u);
    SetTrackedHeapFailing(false);
    EXPECT_NE(log.Text().find("T:ファイルの情報を格納するメモリの確保に失敗しました\r\n"),
              std::string::npos);
    handles[100] = ArcFsOpen(path.c_str(), 0, 1, 0);
    EXPECT_EQ(handles[100], 0xF0000000u | 100u) << "the freed slot is taken again";
    for (FileHandle h : handles) {
        ArcFsClose(h);
    }
    EXPECT_EQ(OpenArchiveCount(), 1) << "archives stay open until a purge";
}

TEST_F(ArcFs, FiveHundredTwelveArchivesMayBeOpenAtOnce) {
    FileTree tree;
    tree["f.txt"] = "x";
    const int count = kMaxOpenArchives + 1;
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        WriteArchive(dir_, "a" + std::to_string(i) + ".dat", tree);
        paths.push_back(dir_.Windows() + "\\a" + std::to_string(i) + ".dat");
    }
    // Read whole, so that no archive keeps a reader thread.
    std::vector<int> slots;
    for (int i = 0; i < kMaxOpenArchives; ++i) {
        slots.push_back(AcquireArchive(-1, paths[i].c_str(), 1, 0));
        ASSERT_GE(slots.back(), 0) << i;
    }
    EXPECT_EQ(OpenArchiveCount(), kMaxOpenArchives);
    EXPECT_EQ(AcquireArchive(-1, paths[3].c_str(), 1, 0), slots[3]) << "already open";
    EXPECT_EQ(AcquireArchive(slots[4], paths[4].c_str(), 1, 0), slots[4]) << "the hint";
    EXPECT_EQ(ArchiveSlotReferences(slots[3]), 2);
    {
        LogScope log;
        EXPECT_EQ(AcquireArchive(-1, paths[count - 1].c_str(), 1, 0), -1);
        EXPECT_NE(log.Text().find("同時に開けるアーカイブの数が限界を超えました"),
                  std::string::npos);
    }
    // A full table purges the archives nothing refers to.
    ReleaseArchive(slots[7]);
    const int slot = AcquireArchive(-1, paths[count - 1].c_str(), 1, 0);
    EXPECT_EQ(slot, slots[7]);
    EXPECT_EQ(OpenArchiveCount(), kMaxOpenArchives);
    for (int s : slots) {
        ReleaseArchive(s);
    }
    ReleaseArchive(slots[3]);
    ReleaseArchive(slots[4]);
}

TEST_F(ArcFs, ExtensionAndKeyOptionsApplyToTheNextResolution) {
    FileTree dat;
    dat["f.txt"] = "dat";
    FileTree qpk;
    qpk["f.txt"] = "qpk";
    FileTree keyed;
    keyed["f.txt"] = "keyed";
    WriteArchive(dir_, "d.dat", dat);
    WriteArchive(dir_, "d.QPK", qpk);
    WriteArchive(dir_, "k.dat", keyed, "twelve chars");
    EXPECT_EQ(Read("d\\f.txt"), "dat");
    UseArchiveSuffix(std::string(64, 'x').c_str());
    EXPECT_EQ(Read("d\\f.txt"), "qpk") << "64 characters select the default";
    UseArchiveSuffix("dat");
    EXPECT_EQ(Read("d\\f.txt"), "dat");
    UseArchiveSuffix("");
    EXPECT_EQ(Read("d\\f.txt"), "qpk");
    UseArchiveSuffix("dat");
    bool opened = true;
    Read("k\\f.txt", &opened);
    EXPECT_FALSE(opened) << "the default key does not open it";
    UseArchiveKeyText("twelve chars and then some");
    EXPECT_EQ(Read("k\\f.txt"), "keyed");
}

TEST_F(ArcFs, ListingsLookIntoArchivesAndReferencesAreCounted) {
    const FileTree tree = SampleTree();
    WriteArchive(dir_, "pack.dat", tree);
    FileFindInfo info;
    FindHandle search = ArcFsFindFirst("pack\\image\\*.png", &info);
    ASSERT_NE(search, -1);
    std::set<std::string> names;
    do {
        names.insert(info.name);
    } while (ArcFsFindNext(search, &info) == 0);
    EXPECT_EQ(names, (std::set<std::string>{"Player.png", "title.png"}));
    int slot = -1;
    ASSERT_EQ(ResolveArchivePath("pack\\x", &slot, nullptr, nullptr), 0);
    EXPECT_EQ(ArchiveSlotReferences(slot), 2) << "the listing and the resolution";
    EXPECT_EQ(ArcFsFindClose(search), 0);
    EXPECT_EQ(ArchiveSlotReferences(slot), 1);
    // A closed or made-up listing handle is refused and changes nothing.
    for (FindHandle bad : {search, search + 1, FindHandle{12345}, FindHandle{-2}}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(ArcFsFindNext(bad, &info), -1);
        EXPECT_EQ(ArcFsFindClose(bad), -1);
    }
    EXPECT_EQ(ArchiveSlotReferences(slot), 1);
    EXPECT_EQ(ArcFsFindFirst("pack\\*.zip", &info), -1);
    EXPECT_EQ(ArchiveSlotReferences(slot), 1) << "a failed listing keeps no reference";
    FileHandle file = ArcFsOpen("pack\\noise.bin", 0, 1, 0);
    EXPECT_EQ(ArchiveSlotReferences(slot), 2);
    ArcFsClose(file);
    ArcFsClose(file);
    EXPECT_EQ(ArchiveSlotReferences(slot), 1) << "a second close changes nothing";

    // A plain listing through the same operations.
    MakeFolder(dir_.Windows() + "\\plain", {{"a.txt", "a"}, {"b.txt", "b"}});
    search = ArcFsFindFirst("plain\\*.txt", &info);
    ASSERT_NE(search, -1);
    names.clear();
    do {
        names.insert(info.name);
    } while (ArcFsFindNext(search, &info) == 0);
    EXPECT_EQ(names, (std::set<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(ArcFsFindClose(search), 0);
    EXPECT_EQ(ArcFsFindClose(-1), -1);

    // Purging leaves archives that are referenced.
    PurgeUnusedArchives();
    EXPECT_EQ(OpenArchiveCount(), 1);
    EXPECT_EQ(ArcFsOpen("pack\\missing", 0, 1, 0), 0u);
    EXPECT_EQ(ArchiveSlotReferences(slot), 1) << "a missing file keeps no reference";
    ReleaseArchive(slot);
    ReleaseArchive(slot);
    EXPECT_EQ(ArchiveSlotReferences(slot), 0) << "never below 0";
}

}  // namespace
