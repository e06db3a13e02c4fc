// The loading chain: the path split (bare names, dots in directories, a
// double-byte directory whose second byte is a backslash, a drive root,
// relative directories), files that no reader takes, files that are missing,
// and the refusal paths of the model's creation, each leaving no block and no
// slot behind.
#include <gtest/gtest.h>

#include <deque>

#include <fstream>
#include <string>

#include "foundation/files/file_ops.h"
#include "foundation/files/paths.h"
#include "foundation/memory/memory.h"
#include "models/core/model_system.h"
#include "models/drawing/model_drawing.h"
#include "models/loading/model_loading.h"
#include "tests/models/model_base_builder.h"
#include "tests/models/model_test_support.h"

namespace tessel_test {
namespace {

struct SplitCase {
    const char* path;
    const char* relativeDirectory;  // null: the current directory itself
    const char* baseName;
};

std::string Current() {
    char current[tessel::kModelDirectoryBytes] = "";
    tessel::FsGetCurrentDir(current);
    return current;
}

std::string Full(const char* relative) {
    char out[tessel::kModelDirectoryBytes] = "";
    const std::string current = Current();
    tessel::MakeFullPath(relative, out, current.c_str());
    return out;
}

TEST(ModelPathSplit, DirectoriesAndBaseNames) {
    const SplitCase cases[] = {
        {"yuka.mqo", nullptr, "yuka"},
        {"a.b\\c.d.mqo", "a.b", "c"},
        {"a.b/c.d.mqo", "a.b", "c"},
        // 0x95 0x5C is one character; only the real separator splits.
        {"\x95\x5C\\f.mqo", "\x95\x5C", "f"},
        {"\x95\x5C"
         "dir\\g.x",
         "\x95\x5C"
         "dir",
         "g"},
        // The last 0x5C is a second byte: the file name keeps it.
        {"dir\\\x95\x5C.mqo", "dir", "\x95\x5C"},
        {"C:\\x.mqo", "C:\\", "x"},
        {"C:x.mqo", "C:", "x"},
        {"image\\model\\stage_1\\yuka.mqo", "image\\model\\stage_1", "yuka"},
        {"noext", nullptr, "noext"},
    };
    for (const SplitCase& c : cases) {
        char directory[tessel::kModelDirectoryBytes] = "";
        char baseName[tessel::kModelFileNameBytes] = "";
        ASSERT_EQ(tessel::SplitModelPath(c.path, directory, baseName), 0) << c.path;
        const std::string expected =
            c.relativeDirectory == nullptr ? Current() : Full(c.relativeDirectory);
        EXPECT_EQ(std::string(directory), expected) << c.path;
        EXPECT_STREQ(baseName, c.baseName) << c.path;
    }
    // A relative directory comes back absolute, without a trailing separator.
    char directory[tessel::kModelDirectoryBytes] = "";
    char baseName[tessel::kModelFileNameBytes] = "";
    ASSERT_EQ(tessel::SplitModelPath("sub\\m.mqo", directory, baseName), 0);
    EXPECT_EQ(std::string(directory), Current() + "\\sub");
}

TEST(ModelPathSplit, LongPartsAreRefused) {
    char directory[tessel::kModelDirectoryBytes] = "";
    char baseName[tessel::kModelFileNameBytes] = "";
    const std::string longName(tessel::kModelFileNameBytes, 'n');
    EXPECT_EQ(tessel::SplitModelPath(longName.c_str(), directory, baseName), -1);
    EXPECT_EQ(tessel::SplitModelPath(("d\\" + longName).c_str(), directory, baseName), -1);
    const std::string longDirectory(tessel::kModelDirectoryBytes, 'd');
    EXPECT_EQ(tessel::SplitModelPath((longDirectory + "\\m.mqo").c_str(), directory, baseName), -1);
    const std::string justFits(tessel::kModelFileNameBytes - 1, 'n');
    EXPECT_EQ(tessel::SplitModelPath(justFits.c_str(), directory, baseName), 0);
}

class LoadModelTest : public ModelSystemTest {
  protected:
    std::string WriteFile(const std::string& name, const std::string& bytes) {
        std::ofstream(dir().Linux(name), std::ios::binary) << bytes;
        return dir().Windows() + "\\" + name;
    }
    // A base description that lives until the library has ended: the stored
    // base points into it, and the library frees the base at its end.
    TestBase& NewBase() { return bases_.emplace_back(); }

  private:
    std::deque<TestBase> bases_;
};

TEST_F(LoadModelTest, BytesOfNoFormatLeaveNothingBehind) {
    const std::string path = WriteFile("notes.txt", "just some text\r\nnot a model\r\n");
    const size_t blocks = tessel::TrackedBlockCount();
    const int models = tessel::g_models.models.count;
    const int bases = tessel::g_models.bases.count;
    const size_t logLength = Log().size();
    EXPECT_EQ(tessel::LoadModel(path.c_str()), -1);
    EXPECT_EQ(tessel::TrackedBlockCount(), blocks);
    EXPECT_EQ(tessel::g_models.models.count, models);
    EXPECT_EQ(tessel::g_models.bases.count, bases);
    EXPECT_EQ(Log().size(), logLength) << Log();
    // An empty file too.
    EXPECT_EQ(tessel::LoadModel(WriteFile("empty.mqo", "").c_str()), -1);
    EXPECT_EQ(tessel::TrackedBlockCount(), blocks);
}

TEST_F(LoadModelTest, MissingFileAndTooLongPathAreLogged) {
    EXPECT_EQ(tessel::LoadModel("no\\such\\model.mqo"), -1);
    EXPECT_NE(Log().find("モデルファイル no\\such\\model.mqo が読み込めませんでした"),
              std::string::npos)
        << Log();
    const std::string longName = std::string(300, 'n') + ".mqo";
    EXPECT_EQ(tessel::LoadModelFromImage(longName.c_str(), "", 0), -1);
    EXPECT_NE(Log().find("のパスが長すぎます"), std::string::npos);
}

TEST_F(LoadModelTest, NothingLoadsWithoutTheModelSystem) {
    tessel::g_models.initialised = 0;
    EXPECT_EQ(tessel::LoadModel("no\\such\\model.mqo"), -1);
    tessel::g_models.initialised = 1;
    EXPECT_EQ(Log().find("model.mqo"), std::string::npos);
}

TEST_F(LoadModelTest, AFailedCreationFreesBaseAndSlot) {
    // A first model grows the model table, so the reservation needs no memory.
    TestBase& first = NewBase();
    first.lists = {{0}};
    ASSERT_NE(first.Store(), -1);
    const int keep = tessel::FinishModelLoad("first.mqo", first.handle());
    ASSERT_GE(keep, 0) << Log();
    TestBase& base = NewBase();
    base.lists = {{0}};
    ASSERT_NE(base.Store(), -1);
    const int models = tessel::g_models.models.count;
    const int bases = tessel::g_models.bases.count;
    tessel::SetTrackedHeapFailing(true);
    EXPECT_EQ(tessel::FinishModelLoad("broken.mqo", base.handle()), -1);
    tessel::SetTrackedHeapFailing(false);
    EXPECT_NE(
        Log().find(
            "モデルファイル broken.mqo のモデル基本データからモデルデータへの変換に失敗しました"),
        std::string::npos)
        << Log();
    EXPECT_EQ(tessel::GetModelBase(base.handle()), nullptr);
    EXPECT_EQ(tessel::g_models.models.count, models);
    EXPECT_EQ(tessel::g_models.bases.count, bases - 1);
    EXPECT_NE(tessel::GetModelInstance(keep), nullptr);
}

TEST_F(LoadModelTest, AnMqoFileBecomesAModel) {
    const std::string text =
        "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\n"
        "Material 1 {\r\n\t\"plate\" col(0.5 0.25 1 1) dif(1) amb(0.5)\r\n}\r\n"
        "Object \"tile\" {\r\n\tdepth 0\r\n\tvisible 15\r\n\tfacet 59.5\r\n"
        "\tvertex 4 {\r\n\t\t-300 0 150\r\n\t\t300 0 150\r\n\t\t300 0 -150\r\n"
        "\t\t-300 0 -150\r\n\t}\r\n\tface 1 {\r\n\t\t4 V(0 1 2 3) M(0)\r\n\t}\r\n}\r\n"
        "Eof\r\n";
    const std::string path = WriteFile("tile.mqo", text);
    // A first load grows the two slot tables, which stay.
    ASSERT_EQ(tessel::DeleteModelInstance(tessel::LoadModel(path.c_str())), 0) << Log();
    const size_t blocks = tessel::TrackedBlockCount();
    const int model = tessel::LoadModel(path.c_str());
    ASSERT_GE(model, 0) << Log();
    const tessel::ModelInstance* record = tessel::GetModelInstance(model);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->base->frameCount, 1);
    EXPECT_EQ(record->base->meshCount, 1);
    EXPECT_EQ(record->base->referenceCount, 1);
    tessel::Vec3 maximum = {};
    tessel::Vec3 minimum = {};
    ASSERT_EQ(tessel::MeasureModelBounds(model, &maximum, &minimum), 0);
    EXPECT_FLOAT_EQ(maximum.x, 300.0f);
    EXPECT_FLOAT_EQ(minimum.z, -150.0f);
    EXPECT_FLOAT_EQ(maximum.y, 0.0f);
    // The file's base goes with its one model.
    const int baseHandle = record->baseHandle;
    EXPECT_EQ(tessel::DeleteModelInstance(model), 0);
    EXPECT_EQ(tessel::GetModelBase(baseHandle), nullptr);
    EXPECT_EQ(tessel::TrackedBlockCount(), blocks);
}

}  // namespace
}  // namespace tessel_test
