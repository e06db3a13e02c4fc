// The generator's driver: the output folder, the file writes every part goes
// through, the copy of the tables, and the command line.
#include "tools/lib/gamedata/game_data_generator.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "tools/lib/gamedata/gamedata_internal.h"

namespace tessel {

namespace gamedata {

bool MakeFolders(Output& out, const std::string& relative) {
    std::string path = out.root;
    size_t start = 0;
    while (true) {
        const size_t slash = relative.find('/', start);
        if (slash == std::string::npos) {
            return true;
        }
        path = out.root + "/" + relative.substr(0, slash);
        if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
            std::fprintf(stderr, "makegamedata: cannot make %s: %s\n", path.c_str(),
                         std::strerror(errno));
            ++out.failures;
            return false;
        }
        start = slash + 1;
    }
}

void SavePicture(Output& out, const std::string& relative, const Canvas& canvas) {
    if (!MakeFolders(out, relative)) {
        return;
    }
    const std::string path = out.root + "/" + relative;
    if (canvas.SavePng(path) != 0) {
        std::fprintf(stderr, "makegamedata: cannot write %s\n", path.c_str());
        ++out.failures;
        return;
    }
    ++out.files;
    if (out.previews && relative.find('.') == std::string::npos) {
        canvas.SavePng(path + "_preview.png");
    }
}

void SaveBytes(Output& out, const std::string& relative, const void* bytes, size_t size) {
    if (!MakeFolders(out, relative)) {
        return;
    }
    const std::string path = out.root + "/" + relative;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const bool written = file != nullptr && std::fwrite(bytes, 1, size, file) == size;
    const bool closed = file != nullptr && std::fclose(file) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "makegamedata: cannot write %s\n", path.c_str());
        ++out.failures;
        return;
    }
    ++out.files;
}

void CopyTables(Output& out, const std::string& tablesFolder) {
    const char* tables[4] = {"image/tama/bullet_image.csv", "image/tama/tama_info.csv",
                             "image/enemy/enemy_image.csv", "image/enemy/enemy_info.csv"};
    for (const char* table : tables) {
        std::ifstream in(tablesFolder + "/" + table, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "makegamedata: cannot read %s/%s\n", tablesFolder.c_str(), table);
            ++out.failures;
            continue;
        }
        const std::string text((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        // The game reads lines ended by CR LF.
        std::string lines;
        for (char c : text) {
            if (c == '\r') {
                continue;
            }
            if (c == '\n') {
                lines += '\r';
            }
            lines += c;
        }
        SaveBytes(out, table, lines.data(), lines.size());
    }
}

}  // namespace gamedata

int GenerateGameData(const std::string& outFolder, const std::string& tablesFolder, bool previews) {
    using namespace gamedata;
    Output out;
    out.root = outFolder;
    out.previews = previews;
    if (mkdir(outFolder.c_str(), 0755) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "makegamedata: cannot make %s: %s\n", outFolder.c_str(),
                     std::strerror(errno));
        return -1;
    }
    if (!OpenTextFont()) {
        return -1;
    }
    MakeTitlePictures(out);
    MakeMenuPictures(out);
    MakeHudPictures(out);
    MakeLetterSheet(out);
    MakeCharacterPictures(out);
    MakePlayerPictures(out);
    MakeEnemyPictures(out);
    MakeBulletPictures(out);
    MakeEffectPictures(out);
    MakeFloorModel(out);
    CloseTextFont();
    MakeSoundEffects(out);
    MakeMusic(out);
    CopyTables(out, tablesFolder);
    return out.failures == 0 ? out.files : -1;
}

int RunMakeGameData(int argc, char** argv) {
    bool previews = false;
    int first = 1;
    if (argc > 1 && std::strcmp(argv[1], "--previews") == 0) {
        previews = true;
        first = 2;
    }
    if (argc - first != 2) {
        std::fprintf(stderr, "usage: makegamedata [--previews] OUT_FOLDER TABLES_FOLDER\n");
        return 2;
    }
    const int files = GenerateGameData(argv[first], argv[first + 1], previews);
    if (files < 0) {
        return 1;
    }
    std::printf("makegamedata: %d files in %s\n", files, argv[first]);
    return 0;
}

}  // namespace tessel
