// The qpkpack command line: options, the default archive name beside the
// folder, and the packing itself.
//
//   qpkpack [-k KEY | -2] [-s] [-l LEVEL] [-v VERSION] [-e EXT] FOLDER [ARCHIVE]
//
// The archive defaults to FOLDER plus "." and the extension ("dat" unless -e
// says otherwise), beside the folder, where the library looks for it.
#include "tools/lib/qpkpack_command.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/kernel.h"
#include "tools/lib/archive_pack.h"

namespace tessel {

namespace {

void Usage() {
    std::fprintf(stderr,
                 "usage: qpkpack [-k KEY | -2] [-s] [-l LEVEL] [-v VERSION] [-e EXT] FOLDER "
                 "[ARCHIVE]\n"
                 "  -k KEY      scramble with the key of this text (at most 12 characters)\n"
                 "  -2          scramble with the second key\n"
                 "  -s          store every file without LZ packing\n"
                 "  -l LEVEL    LZ search level 1-9 (default 6)\n"
                 "  -v VERSION  format version 0-4 (default 4)\n"
                 "  -e EXT      extension of the default archive name (default dat)\n");
}

// The platform's Windows form of a path given on the command line.
std::string WindowsPath(const char* path) {
    char full[PATH_MAX];
    if (realpath(path, full) != nullptr) {
        return platform::WindowsPathFromLinux(full);
    }
    // The archive does not exist yet: resolve its folder.
    std::string text = path;
    const size_t slash = text.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : text.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? text : text.substr(slash + 1);
    if (realpath(dir.c_str(), full) == nullptr) {
        return "";
    }
    return platform::WindowsPathFromLinux(std::string(full) + "/" + name);
}

// A whole decimal number within [low, high]; false for anything else, so
// that no value is narrowed or cut into range.
bool ParseNumber(const char* text, long low, long high, long* value) {
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || parsed < low || parsed > high) {
        return false;
    }
    *value = parsed;
    return true;
}

}  // namespace

int RunQpkpack(int argc, char** argv) {
    tessel::ArchivePackOptions options;
    std::string extension = "dat";
    long number = 0;
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; ++i) {
        const std::string flag = argv[i];
        const bool hasValue = i + 1 < argc;
        if (flag == "-k" && hasValue) {
            options.keyText = argv[++i];
        } else if (flag == "-2") {
            options.secondKey = true;
        } else if (flag == "-s") {
            options.compress = false;
        } else if (flag == "-l" && hasValue && ParseNumber(argv[i + 1], 1, 9, &number)) {
            options.level = static_cast<int>(number);
            ++i;
        } else if (flag == "-v" && hasValue && ParseNumber(argv[i + 1], 0, 4, &number)) {
            options.version = static_cast<uint16_t>(number);
            ++i;
        } else if (flag == "-e" && hasValue) {
            extension = argv[++i];
        } else {
            Usage();
            return 2;
        }
    }
    if (i >= argc || argc - i > 2 || options.level < 1 || options.level > 9 ||
        options.version > 4) {
        Usage();
        return 2;
    }
    std::string folder = argv[i];
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    const std::string archive = i + 1 < argc ? argv[i + 1] : folder + "." + extension;
    const std::string windowsFolder = WindowsPath(folder.c_str());
    const std::string windowsArchive = WindowsPath(archive.c_str());
    if (windowsFolder.empty() || windowsArchive.empty()) {
        std::fprintf(stderr, "qpkpack: cannot resolve %s\n",
                     windowsFolder.empty() ? folder.c_str() : archive.c_str());
        return 1;
    }
    if (tessel::PackFolderToFile(windowsFolder.c_str(), windowsArchive.c_str(), options) != 0) {
        return 1;
    }
    std::printf("%s -> %s\n", folder.c_str(), archive.c_str());
    return 0;
}

}  // namespace tessel
