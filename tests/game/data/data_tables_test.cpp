// The data-table readers: line rules, crossed fields, hit radii, short lines and refusals.
#include "game/data/data_tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "tests/game/data/table_image_fake.h"
#include "tests/game/game_folder_support.h"

namespace {

using game_test::FakeImages;

// Lines joined with CR LF, as the tables are stored.
std::string Lines(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

class DataTables : public game_test::GameFolder {
  protected:
    void SetUp() override {
        GameFolder::SetUp();
        MakeFolder("image");
        MakeFolder("image/tama");
        MakeFolder("image/enemy");
        images_ = std::make_unique<BulletImageTable>();
        enemyImages_ = std::make_unique<EnemyImageTable>();
        std::memset(bullets_, 0, sizeof bullets_);
        std::memset(enemies_, 0, sizeof enemies_);
    }
    void WriteText(const std::string& name, const std::string& text) {
        Write(name, game_test::Bytes(text.begin(), text.end()));
    }
    // A bullet image table whose row `row` holds one cell of width x height.
    void GiveBulletRow(int row, int width, int height) {
        fake_.fileSizes["image\\tama\\sheet.png"] = {256, 256};
        WriteText("image/tama/bullet_image.csv",
                  Lines({"@image,0,sheet.png",
                         (std::to_string(row) + ",0,cell,0,0," + std::to_string(width) + "," +
                          std::to_string(height) + ",1,1,0")
                             .c_str()}));
        ReadBulletImageTable("image\\tama\\bullet_image.csv", kBulletTableFolder, fake_.Ops(),
                             images_.get());
    }
    TableReadCount ReadBullets(const std::string& text) {
        WriteText("image/tama/tama_info.csv", text);
        return ReadBulletInfoTable("image\\tama\\tama_info.csv", fake_.Ops(), *images_, bullets_);
    }
    TableReadCount ReadEnemies(const std::string& text) {
        WriteText("image/enemy/enemy_info.csv", text);
        return ReadEnemyInfoTable("image\\enemy\\enemy_info.csv", fake_.Ops(), *enemyImages_,
                                  enemies_);
    }

    FakeImages fake_;
    std::unique_ptr<BulletImageTable> images_;
    std::unique_ptr<EnemyImageTable> enemyImages_;
    BulletInfoRow bullets_[kBulletKinds];
    EnemyInfoRow enemies_[kEnemyKinds];
};

bool SameRow(const BulletInfoRow& a, const BulletInfoRow& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST_F(DataTables, CommasAndBlanksReadTheSame) {
    GiveBulletRow(2, 16, 16);
    ReadBullets(Lines({"5,small,2,1,1.5,2.25,3,4.75,2,1,7"}));
    BulletInfoRow withCommas = bullets_[5];
    bullets_[5] = BulletInfoRow{};
    ReadBullets(Lines({"5 small  2\t1 1.5 2.25 3 4.75 2 1 7"}));
    EXPECT_TRUE(SameRow(withCommas, bullets_[5]));
    EXPECT_EQ(bullets_[5].style, 2);
}

TEST_F(DataTables, OnlyLinesStartingWithADigitAreData) {
    const char* skipped[] = {" 5,a,0,1,1,1,1,1,1,1,1",
                             "x5,a,0,1,1,1,1,1,1,1,1",
                             "#5,a,0,1,1,1,1,1,1,1,1",
                             "@5,a,0,1,1,1,1,1,1,1,1",
                             "",
                             "kind,name,row,appear"};
    for (const char* line : skipped) {
        SCOPED_TRACE(line);
        TableReadCount count = ReadBullets(Lines({line}));
        EXPECT_EQ(count.opened, 1);
        EXPECT_EQ(count.dataLines, 0);
        EXPECT_EQ(count.refusedLines, 0);
        EXPECT_TRUE(SameRow(bullets_[5], BulletInfoRow{}));
    }
}

TEST_F(DataTables, BulletAndEnemyRowsTakeTheirCrossedFields) {
    ReadBullets(Lines({"7,grain,0,11,1.25,2.5,12,3.75,13,14,15"}));
    const BulletInfoRow& bullet = bullets_[7];
    EXPECT_EQ(bullet.int1, 11);
    EXPECT_EQ(bullet.real2, 1.25);  // the first double goes to real2
    EXPECT_EQ(bullet.real1, 2.5);
    EXPECT_EQ(bullet.int2, 12);
    EXPECT_EQ(bullet.real3, 3.75);
    EXPECT_EQ(bullet.style, 13);
    EXPECT_EQ(bullet.int3, 14);
    EXPECT_EQ(bullet.int4, 15);
    EXPECT_EQ(bullet.width, 0);
    EXPECT_EQ(bullet.hitRadius, 0.0);

    ReadEnemies(Lines({"9,fairy,0,21,22,23,24,25,1.5,2.5,3.5,4.5"}));
    const EnemyInfoRow& enemy = enemies_[9];
    EXPECT_EQ(enemy.int1, 21);
    EXPECT_EQ(enemy.int2, 22);
    EXPECT_EQ(enemy.int3, 23);
    EXPECT_EQ(enemy.int5, 24);  // the fourth integer goes to int5
    EXPECT_EQ(enemy.int4, 25);
    EXPECT_EQ(enemy.real1, 1.5);
    EXPECT_EQ(enemy.real2, 2.5);
    EXPECT_EQ(enemy.real3, 3.5);
    EXPECT_EQ(enemy.real4, 4.5);
}

TEST_F(DataTables, HitRadiusIsTwiceTheLargerSideForStyleFourAndTheWidenedProductOtherwise) {
    GiveBulletRow(3, 16, 32);
    ReadBullets(Lines({"1,rings,3,0,1,1,0,4,4,0,0", "2,plain,3,0,1,1,0,4,1,0,0"}));
    EXPECT_EQ(bullets_[1].width, 16);
    EXPECT_EQ(bullets_[1].height, 32);
    EXPECT_EQ(bullets_[1].hitRadius, 64.0);
    // 32 x 1.41421356f x 0.5 x 1.2f, the floats widened and the product left to right.
    EXPECT_EQ(bullets_[2].hitRadius, 32 * 1.4142135381698608 * 0.5 * 1.2000000476837158);
    EXPECT_NEAR(bullets_[2].hitRadius, 27.15, 0.01);

    // Enemies take the plain rule at every value.
    std::memcpy(enemyImages_->rows, images_->rows, sizeof images_->rows);
    ReadEnemies(Lines({"4,big,3,4,0,0,0,0,1,1,1,1"}));
    EXPECT_EQ(enemies_[4].hitRadius, 32 * 1.4142135381698608 * 0.5 * 1.2000000476837158);
}

TEST_F(DataTables, AShortLineKeepsThePreviousLinesValues) {
    TableReadCount count =
        ReadBullets(Lines({"1,full,0,2,1.5,2.5,3,4.5,1,6,7", "2,short,0,9", "3"}));
    EXPECT_EQ(count.dataLines, 3);
    EXPECT_EQ(count.shortLines, 2);
    EXPECT_EQ(bullets_[2].int1, 9);
    EXPECT_EQ(bullets_[2].real2, 1.5);
    EXPECT_EQ(bullets_[2].real1, 2.5);
    EXPECT_EQ(bullets_[2].int4, 7);
    // A lone id is stored, with every value of the line before.
    EXPECT_EQ(bullets_[3].int1, 9);
    EXPECT_EQ(bullets_[3].style, 1);
}

TEST_F(DataTables, ImageLinesLoadFromTheTablesFolderAndDataLinesCutCells) {
    fake_.fileSizes["image\\enemy\\fairy.png"] = {256, 256};
    WriteText("image/enemy/enemy_image.csv",
              Lines({"; file, number, name", "@image,2,fairy.png", "@image,3,missing.png",
                     "5,2,walk,8,16,32,24,6,4", "6,3,lost,0,0,16,16,2,2"}));
    TableReadCount count = ReadEnemyImageTable("image\\enemy\\enemy_image.csv", kEnemyTableFolder,
                                               fake_.Ops(), enemyImages_.get());
    EXPECT_EQ(count.imageLines, 2);
    EXPECT_EQ(count.dataLines, 2);
    ASSERT_EQ(fake_.loads.size(), 2u);
    EXPECT_EQ(fake_.loads[0], "image\\enemy\\fairy.png");
    EXPECT_EQ(enemyImages_->files[3], -1);

    const int expected[6][2] = {{8, 16}, {40, 16}, {72, 16}, {104, 16}, {8, 40}, {40, 40}};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        const game_test::ImageCut& cut = fake_.cuts.at(enemyImages_->rows[5][i]);
        EXPECT_EQ(cut.x, expected[i][0]);
        EXPECT_EQ(cut.y, expected[i][1]);
        EXPECT_EQ(cut.width, 32);
        EXPECT_EQ(cut.height, 24);
        EXPECT_EQ(cut.source, enemyImages_->files[2]);
    }
    EXPECT_EQ(enemyImages_->rows[5][6], 0);
    // Cells of a missing file are -1 and draw nothing.
    EXPECT_EQ(enemyImages_->rows[6][0], -1);
    EXPECT_EQ(enemyImages_->rows[6][1], -1);
}

TEST_F(DataTables, AMissingFileLeavesItsTableZero) {
    TableReadCount count = ReadBulletImageTable("image\\tama\\bullet_image.csv", kBulletTableFolder,
                                                fake_.Ops(), images_.get());
    EXPECT_EQ(count.opened, 0);
    EXPECT_EQ(images_->files[0], 0);
    EXPECT_TRUE(fake_.loads.empty());
}

TEST_F(DataTables, OutOfRangeNumbersRefuseTheirLineAndChangeNothing) {
    fake_.fileSizes["image\\tama\\sheet.png"] = {256, 256};
    struct Case {
        const char* table;
        const char* line;
    } cases[] = {
        {"image", "@image,16,sheet.png"},  // 16 bullet images
        {"image", "@image,-1,sheet.png"},
        {"image", "64,0,row,0,0,8,8,1,1,0"},  // 64 rows
        {"image", "1,16,row,0,0,8,8,1,1,0"},  // image number
        {"image", "1,0,row,0,0,8,8,33,4,0"},  // 32 cells a row
        {"image", "1,0,row,0,0,8,8,-1,4,0"},
        {"image", "1,0,row,0,0,8,8,4,0,0"},           // no cells per row: no division
        {"image", "1,0,row,0,0,1000000000,8,4,4,0"},  // cells past the int range
        {"info", "64,big,0,0,1,1,0,1,1,0,0"},         // 64 kinds
        {"info", "99999999999,big,0,0,1,1,0,1,1,0,0"},
        {"info", "1,row,64,0,1,1,0,1,1,0,0"},  // image row
        {"info", "1,row,-2,0,1,1,0,1,1,0,0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        TableReadCount count{};
        if (std::strcmp(c.table, "image") == 0) {
            WriteText("image/tama/bullet_image.csv", Lines({"@image,0,sheet.png", c.line}));
            *images_ = BulletImageTable{};
            fake_.cuts.clear();
            fake_.loads.clear();
            count = ReadBulletImageTable("image\\tama\\bullet_image.csv", kBulletTableFolder,
                                         fake_.Ops(), images_.get());
            EXPECT_EQ(fake_.loads.size(), 1u);
            EXPECT_TRUE(fake_.cuts.empty());
            for (int row = 0; row < kCellRows; ++row) {
                EXPECT_EQ(images_->rows[row][0], 0);
            }
        } else {
            count = ReadBullets(Lines({c.line}));
            for (const BulletInfoRow& row : bullets_) {
                EXPECT_TRUE(SameRow(row, BulletInfoRow{}));
            }
        }
        EXPECT_EQ(count.refusedLines, 1);
        EXPECT_EQ(count.dataLines, 0);
    }
    // The enemy tables take 64 images and refuse kind 64 likewise.
    fake_.fileSizes["image\\enemy\\sheet.png"] = {64, 64};
    WriteText("image/enemy/enemy_image.csv", Lines({"@image,63,sheet.png", "@image,64,sheet.png"}));
    TableReadCount count = ReadEnemyImageTable("image\\enemy\\enemy_image.csv", kEnemyTableFolder,
                                               fake_.Ops(), enemyImages_.get());
    EXPECT_EQ(count.imageLines, 1);
    EXPECT_EQ(count.refusedLines, 1);
    EXPECT_EQ(ReadEnemies(Lines({"64,x,0,0,0,0,0,0,1,1,1,1"})).refusedLines, 1);
}

TEST_F(DataTables, NamesAreReadWithAWidthLimitAndTheFieldsAfterThemStillParse) {
    const std::string longName(200, 'n');
    ReadBullets(Lines({("8," + longName + ",0,3,1.5,2.5,1,4.5,2,0,0").c_str()}));
    EXPECT_EQ(bullets_[8].int1, 3);
    EXPECT_EQ(bullets_[8].style, 2);

    // A file name whose path passes 63 characters is refused, not cut short.
    const std::string longFile(53, 'f');  // "image\tama\" is 11
    fake_.fileSizes["image\\tama\\" + std::string(52, 'f')] = {8, 8};
    WriteText("image/tama/bullet_image.csv", Lines({("@image,1," + longFile).c_str(),
                                                    ("@image,2," + longFile.substr(1)).c_str()}));
    TableReadCount count = ReadBulletImageTable("image\\tama\\bullet_image.csv", kBulletTableFolder,
                                                fake_.Ops(), images_.get());
    EXPECT_EQ(count.refusedLines, 1);
    EXPECT_EQ(images_->files[1], 0);
    EXPECT_GT(images_->files[2], 0);
}

TEST_F(DataTables, StartUpReadsTheFourFilesInOrderFromTheirFolders) {
    fake_.fileSizes["image\\tama\\b.png"] = {64, 64};
    fake_.fileSizes["image\\enemy\\e.png"] = {64, 64};
    WriteText("image/tama/bullet_image.csv", Lines({"@image,0,b.png", "2,0,b,0,0,16,8,1,1,0"}));
    WriteText("image/tama/tama_info.csv", Lines({"0,b,2,1,1,2,1,3,1,0,0"}));
    WriteText("image/enemy/enemy_image.csv", Lines({"@image,0,e.png", "1,0,e,0,0,32,32,4,4"}));
    WriteText("image/enemy/enemy_info.csv", Lines({"10,e,1,0,0,0,0,0,10,14,0,0"}));
    auto data = std::make_unique<GameDataBlock>();
    TableReadCount counts[4];
    LoadDataTables(data.get(), fake_.Ops(), counts);
    ASSERT_EQ(fake_.loads.size(), 2u);
    EXPECT_EQ(fake_.loads[0], "image\\tama\\b.png");
    EXPECT_EQ(fake_.loads[1], "image\\enemy\\e.png");
    for (const TableReadCount& count : counts) {
        EXPECT_EQ(count.opened, 1);
        EXPECT_EQ(count.dataLines, 1);
    }
    EXPECT_EQ(data->bulletInfo[0].width, 16);
    EXPECT_EQ(data->bulletInfo[0].height, 8);
    EXPECT_EQ(data->enemyInfo[10].width, 32);
    EXPECT_EQ(data->enemyInfo[10].real2, 14.0);
}

}  // namespace
