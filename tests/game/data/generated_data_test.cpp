// The data folder the build generates: its tables parse whole, its pictures hold every cell the
// game cuts, its sounds and model are what the game loads.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "foundation/files/archive_fs.h"
#include "foundation/files/file_ops.h"
#include "foundation/files/files_test_support.h"
#include "game/behaviour/behaviour_tables.h"
#include "game/data/data_tables.h"
#include "game/draw/draw_queue.h"
#include "game/play/game_scene.h"
#include "game/play/play_state.h"
#include "game/play/stand_in_tables.h"
#include "game/startup/image_cells.h"
#include "images/base_image.h"
#include "images/image_loader.h"
#include "tools/lib/archive_pack.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Runs a test inside the generated folder, as the game runs.
class GeneratedData : public ::testing::Test {
  protected:
    void SetUp() override {
        char* previous = getcwd(nullptr, 0);
        previous_ = previous;
        free(previous);
        ASSERT_EQ(chdir(VANTREL_GAME_DATA_DIR), 0) << VANTREL_GAME_DATA_DIR;
    }
    void TearDown() override { ASSERT_EQ(chdir(previous_.c_str()), 0); }

    static Bytes ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

  private:
    std::string previous_;
};

// Image handles over the real files: a load decodes the file, a cut must lie
// inside the picture it is cut from.
struct FileImages {
    struct CutRect {
        int32_t source;
        int x, y, width, height;
    };
    std::map<int32_t, std::pair<int, int>> sizes;
    std::map<int32_t, std::string> paths;
    std::map<int32_t, CutRect> cuts;
    std::vector<std::string> cutsOutside;
    int32_t next = 1;

    static FileImages*& Current() {
        static FileImages* current = nullptr;
        return current;
    }
    static int32_t Load(const char* path) {
        tessel::BASEIMAGE image{};
        if (tessel::LoadImageBufferFromFile(path, nullptr, 0, 0, &image, 0) != 0) {
            return -1;
        }
        Current()->sizes[Current()->next] = {image.width, image.height};
        Current()->paths[Current()->next] = path;
        tessel::ReleaseImageBuffer(&image);
        return Current()->next++;
    }
    static int32_t Cut(int x, int y, int width, int height, int32_t source) {
        FileImages& self = *Current();
        auto found = self.sizes.find(source);
        if (found == self.sizes.end()) {
            return -1;
        }
        if (x < 0 || y < 0 || x + width > found->second.first ||
            y + height > found->second.second) {
            self.cutsOutside.push_back(std::to_string(x) + "," + std::to_string(y));
        }
        self.sizes[self.next] = {width, height};
        self.cuts[self.next] = {source, x, y, width, height};
        return self.next++;
    }
    static int Size(int32_t image, int* width, int* height) {
        auto found = Current()->sizes.find(image);
        if (found == Current()->sizes.end()) {
            return -1;
        }
        *width = found->second.first;
        *height = found->second.second;
        return 0;
    }
};

int CellsInRow(const int32_t (&row)[kCellsPerRow]) {
    int count = 0;
    while (count < kCellsPerRow && row[count] > 0) {
        ++count;
    }
    return count;
}

TEST_F(GeneratedData, TablesParseWithoutASkippedOrShortLineAndCutInsideTheirPictures) {
    FileImages images;
    FileImages::Current() = &images;
    auto data = std::make_unique<GameDataBlock>();
    TableReadCount counts[4];
    LoadDataTables(data.get(),
                   TableImageOps{&FileImages::Load, &FileImages::Cut, &FileImages::Size}, counts);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(counts[i].opened, 1);
        EXPECT_GT(counts[i].dataLines, 0);
        EXPECT_EQ(counts[i].shortLines, 0);
        EXPECT_EQ(counts[i].refusedLines, 0);
    }
    EXPECT_TRUE(images.cutsOutside.empty()) << images.cutsOutside.front();
    for (int32_t file : data->bulletImages.files) {
        EXPECT_NE(file, -1);
    }
    // The shared appear images: two cells in row 0, one in row 1.
    EXPECT_GE(CellsInRow(data->bulletImages.rows[0]), 2);
    EXPECT_GE(CellsInRow(data->bulletImages.rows[1]), 1);
    // Every bullet kind the game fires has a picture with the cells its draw style reads.
    for (int kind : {0, 4, 6, 8, 9, 19}) {
        SCOPED_TRACE(kind);
        const BulletInfoRow& row = data->bulletInfo[kind];
        ASSERT_NE(row.imageRow, 0);
        EXPECT_GT(row.width, 0);
        EXPECT_GT(row.hitRadius, 0.0);
        EXPECT_GT(row.real3, 0.0);
        EXPECT_GE(CellsInRow(data->bulletImages.rows[row.imageRow]), row.style == 4 ? 2 : 3);
    }
    // Every enemy kind the game queues has a picture and both hit circles.
    for (int kind : {10, 11, 12, 13, 14, 15, 19}) {
        SCOPED_TRACE(kind);
        const EnemyInfoRow& row = data->enemyInfo[kind];
        ASSERT_NE(row.imageRow, 0);
        EXPECT_GE(CellsInRow(data->enemyImages.rows[row.imageRow]), 2);
        EXPECT_GT(row.width, 0);
        EXPECT_GT(row.real1, 0.0);
        EXPECT_GT(row.real2, 0.0);
    }
}

TEST_F(GeneratedData, TablesReadTheSameFromTheirFoldersArchivesPackedWithTheGamesKey) {
    const TableImageOps ops{&FileImages::Load, &FileImages::Cut, &FileImages::Size};
    FileImages plainImages;
    FileImages::Current() = &plainImages;
    auto plain = std::make_unique<GameDataBlock>();
    LoadDataTables(plain.get(), ops, nullptr);

    tessel::ArchivePackOptions options;
    options.keyText = "lanternfix";
    const std::string data = VANTREL_GAME_DATA_DIR;
    tessel_test::ScratchDirectory scratch;  // the working folder until the test ends
    ASSERT_EQ(mkdir("image", 0755), 0);
    for (const char* folder : {"tama", "enemy"}) {
        const std::string source = platform::WindowsPathFromLinux(data + "/image/" + folder);
        const std::string archive = scratch.Windows() + "\\image\\" + folder + ".dat";
        ASSERT_EQ(tessel::PackFolderToFile(source.c_str(), archive.c_str(), options), 0) << folder;
    }
    const tessel::FileOps previous = tessel::CurrentFileOps;
    tessel::InstallFileOps(&tessel::ArchiveFileOps());
    tessel::SetArchiveSuffixOption("dat");
    tessel::SetArchiveKeyOption("lanternfix");
    FileImages packedImages;
    FileImages::Current() = &packedImages;
    auto packed = std::make_unique<GameDataBlock>();
    TableReadCount counts[4];
    LoadDataTables(packed.get(), ops, counts);
    tessel::InstallFileOps(&previous);
    tessel::SetArchiveKeyOption(nullptr);
    tessel::SetArchiveSuffixOption(nullptr);
    tessel::PurgeUnusedArchives();

    for (const TableReadCount& count : counts) {
        EXPECT_EQ(count.opened, 1);
        EXPECT_EQ(count.refusedLines, 0);
    }
    EXPECT_EQ(packedImages.sizes, plainImages.sizes);
    EXPECT_EQ(std::memcmp(plain.get(), packed.get(), sizeof(GameDataBlock)), 0);
}

// What start-up cuts beside its image records: the side panel's two halves,
// the FPS sheet's label, the letter sheet's five styles, the loading picture
// and the floor's texture.
const ImageCellCut kScreenCuts[] = {
    {"image\\SYSTEM\\panel.png", 2, 2, 0, 0, 128, 480},
    {"image\\SYSTEM\\FPS.png", 1, 1, 168, 0, 43, 16},
    {"image\\SYSTEM\\ascii.png", 5, 1, 0, 0, 256, 96},
    {"image\\loading", 1, 1, 0, 0, 640, 480},
    {"image\\model\\stage_1\\yuka.png", 1, 1, 0, 0, 256, 256},
};

TEST_F(GeneratedData, PicturesHoldEveryCellAndKeepDrawnBlackApartFromTheTransparentKey) {
    std::vector<ImageCellCut> cuts(std::begin(kGameImageCuts), std::end(kGameImageCuts));
    cuts.insert(cuts.end(), std::begin(kScreenCuts), std::end(kScreenCuts));
    for (const ImageCellCut& cut : cuts) {
        SCOPED_TRACE(cut.path);
        tessel::BASEIMAGE image{};
        ASSERT_EQ(tessel::LoadImageBufferFromFile(cut.path, nullptr, 0, 0, &image, 0), 0);
        const int columns = cut.count < cut.perRow ? cut.count : cut.perRow;
        const int rows = (cut.count + cut.perRow - 1) / cut.perRow;
        EXPECT_GE(image.width, cut.x0 + columns * cut.width);
        EXPECT_GE(image.height, cut.y0 + rows * cut.height);
        int drawnBlack = 0;
        int drawn = 0;
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                int r, g, b, a;
                tessel::ReadImagePixel(&image, x, y, &r, &g, &b, &a);
                drawn += a > 0 ? 1 : 0;
                drawnBlack += a > 0 && r == 0 && g == 0 && b == 0 ? 1 : 0;
            }
        }
        EXPECT_GT(drawn, 0);
        EXPECT_EQ(drawnBlack, 0);
        tessel::ReleaseImageBuffer(&image);
    }
}

uint32_t Le(const Bytes& bytes, size_t at, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = (value << 8) | bytes[at + i];
    }
    return value;
}

TEST_F(GeneratedData, SoundEffectsArePcmWavsInSlotOrderAndTheTracksRunPastTheirLoopPoints) {
    const char* slots[22] = {"select",  "cancel",  "check",   "pshot",   "bomb",    "item",
                             "extend",  "graze",   "death",   "kill",    "eshot_a", "eshot_b",
                             "eshot_c", "eshot_k", "eshot_f", "eshot_p", "laser",   "hit",
                             "hit2",    "timer",   "level",   "cat"};
    for (const char* slot : slots) {
        SCOPED_TRACE(slot);
        const Bytes wav = ReadFile(std::string("sound/se/") + slot + ".wav");
        ASSERT_GT(wav.size(), 44u);
        EXPECT_EQ(std::memcmp(wav.data(), "RIFF", 4), 0);
        EXPECT_EQ(std::memcmp(wav.data() + 8, "WAVEfmt ", 8), 0);
        EXPECT_EQ(Le(wav, 20, 2), 1u);  // PCM
        EXPECT_EQ(Le(wav, 34, 2), 16u);
        const double seconds = double(Le(wav, 40, 4)) / Le(wav, 28, 4);
        EXPECT_GT(seconds, 0.02);
        EXPECT_LT(seconds, 2.0);
    }
    struct Track {
        const char* path;
        double loopSeconds;
    } tracks[] = {{"sound/bgm/01.ogg", 32.972}, {"sound/bgm/02.ogg", 19.818}};
    for (const Track& track : tracks) {
        SCOPED_TRACE(track.path);
        const Bytes ogg = ReadFile(track.path);
        ASSERT_GT(ogg.size(), 64u);
        ASSERT_EQ(std::memcmp(ogg.data(), "OggS", 4), 0);
        ASSERT_EQ(std::memcmp(ogg.data() + 29, "vorbis", 6), 0);
        const uint32_t rate = Le(ogg, 40, 4);
        // The last page's granule position counts every sample of the stream.
        size_t last = ogg.size() - 4;
        while (last > 0 && std::memcmp(ogg.data() + last, "OggS", 4) != 0) {
            --last;
        }
        const double samples = double(Le(ogg, last + 6, 4)) + 4294967296.0 * Le(ogg, last + 10, 4);
        EXPECT_GT(samples / rate, track.loopSeconds + 5.0);
    }
}

TEST_F(GeneratedData, TheFloorModelIsTextWithCrLfLinesBesideItsTexture) {
    const Bytes mqo = ReadFile("image/model/stage_1/yuka.mqo");
    const char header[] = "Metasequoia Document\r\nFormat Text Ver 1.0\r\n";
    ASSERT_GT(mqo.size(), sizeof header);
    EXPECT_EQ(std::memcmp(mqo.data(), header, sizeof header - 1), 0);
    for (size_t i = 0; i < mqo.size(); ++i) {
        if (mqo[i] == '\n') {
            ASSERT_GT(i, 0u);
            EXPECT_EQ(mqo[i - 1], '\r') << "line end at " << i;
        }
    }
    const std::string text(mqo.begin(), mqo.end());
    EXPECT_NE(text.find("tex(\"yuka.png\")"), std::string::npos);
    EXPECT_NE(text.find("Eof"), std::string::npos);
}

// Pixels with any coverage inside one cut cell of a picture file.
int DrawnPixelsInCut(const FileImages& images, int32_t cell) {
    const FileImages::CutRect& cut = images.cuts.at(cell);
    tessel::BASEIMAGE image{};
    if (tessel::LoadImageBufferFromFile(images.paths.at(cut.source).c_str(), nullptr, 0, 0, &image,
                                        0) != 0) {
        return 0;
    }
    int drawn = 0;
    for (int y = cut.y; y < cut.y + cut.height && y < image.height; ++y) {
        for (int x = cut.x; x < cut.x + cut.width && x < image.width; ++x) {
            int r, g, b, a;
            tessel::ReadImagePixel(&image, x, y, &r, &g, &b, &a);
            drawn += a > 0 ? 1 : 0;
        }
    }
    tessel::ReleaseImageBuffer(&image);
    return drawn;
}

struct SceneDeleter {
    void operator()(GameScene* scene) const { DestroyGameScene(scene); }
};

// The enemies' own drawing over the generated tables: every kind the waves and
// the boss stage queue, standing, flying down and flying to either side, in
// every frame of its animation, asks for a cell that was cut, and that cell
// shows something.
TEST_F(GeneratedData, EveryQueuedEnemyKindDrawsADrawnCellInEveryFrameAndFacing) {
    FileImages images;
    FileImages::Current() = &images;
    auto data = std::make_unique<GameDataBlock>();
    LoadDataTables(data.get(),
                   TableImageOps{&FileImages::Load, &FileImages::Cut, &FileImages::Size}, nullptr);
    PrepareStandInPlay();
    std::copy(std::begin(data->enemyInfo), std::end(data->enemyInfo), PlayTables.enemyRows);
    PlayTables.enemyImages = data->enemyImages;
    ReplayPlayback = 0;
    CurrentPlay = PlaySettings{0, 0, kModeEndless, 2, 2, 777u, 0};
    std::unique_ptr<GameScene, SceneDeleter> scene(ConstructGameScene());
    ASSERT_NE(scene, nullptr);
    const struct {
        const char* name;
        double speed;
        double angle;
        bool side;
    } facings[] = {{"standing", 0.0, 0.0, false},
                   {"down", 2.0, 90.0, false},
                   {"left", 2.0, 180.0, true},
                   {"right", 2.0, 0.0, true}};
    std::map<int32_t, int> drawnPixels;
    for (int32_t kind : {10, 11, 12, 13, 14, 15, 19}) {
        std::set<int32_t> frontCells;
        std::set<int32_t> sideCells;
        for (const auto& facing : facings) {
            // 64 frames pass every cell at the slowest animation speed (0.12).
            for (int32_t age = 0; age < 64; ++age) {
                SCOPED_TRACE(testing::Message()
                             << "kind " << kind << " " << facing.name << " age " << age);
                Enemy enemy{};
                enemy.kind = kind;
                enemy.owner = scene.get();
                enemy.active = 1;
                enemy.state = kStateNormal;
                enemy.Launch(192.0, 200.0, facing.speed, facing.angle);
                enemy.age = age;
                ClearDrawQueue(&FrontDrawQueue);
                EnemyBehaviours.slots[kind](&enemy, kBehaviourDraw);
                int bodies = 0;
                for (int i = 0; i < FrontDrawQueue.count; ++i) {
                    const DrawRequest& request = FrontDrawQueue.requests[i];
                    if (request.layer != 10) {
                        continue;
                    }
                    ++bodies;
                    ASSERT_EQ(images.cuts.count(request.image), 1u) << "image " << request.image;
                    (facing.side ? sideCells : frontCells).insert(request.image);
                    if (drawnPixels.count(request.image) == 0) {
                        drawnPixels[request.image] = DrawnPixelsInCut(images, request.image);
                    }
                    EXPECT_GT(drawnPixels[request.image], 0) << "image " << request.image;
                }
                ASSERT_GE(bodies, 1);
            }
        }
        SCOPED_TRACE(kind);
        EXPECT_EQ(frontCells.size(), 4u) << "the front animation runs over four cells";
        EXPECT_EQ(sideCells.size(), 4u) << "the side animation runs over four cells";
    }
    ClearDrawQueue(&FrontDrawQueue);
}

}  // namespace
