// replaycheck: plays many generated games live, saves each as a replay, plays
// it back and compares the play state's hash frame by frame.
//
//   replaycheck [games] [frames] [first] [--draw] [--path none|hardware|software|both]
//               [--save PATH]
//
// games (default 1000) and frames (default 3000) per game; first is the index
// of the first generated game. Every frame is drawn in the playback, or with
// --draw in the live run instead. --path picks where the drawing goes: none
// (the default) runs the draw and the queues' flush with idle drawing calls;
// hardware and software start the library on that drawing path, without a
// visible window, with stand-in pictures, and draw for real; both runs every
// game on each of the two paths in turn. --save writes the first game's
// replay to PATH. Exit status 0 when every game replays exactly, 1 otherwise,
// 2 for bad arguments or a library that does not start.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/memory/log.h"
#include "foundation/runtime/startup.h"
#include "foundation/runtime/window_mode.h"
#include "game/draw/library_draw_calls.h"
#include "game/play/replay_check.h"
#include "game/play/stand_in_pictures.h"
#include "game/play/stand_in_tables.h"
#include "graphics/device/graphics_device.h"

namespace {

enum class DrawPath { kNone, kHardware, kSoftware };

struct Options {
    long games = 1000;
    long frames = 3000;
    long first = 0;
    bool draw = false;
    std::vector<DrawPath> paths{DrawPath::kNone};
    const char* savePath = nullptr;
};

const char* PathName(DrawPath path) {
    switch (path) {
        case DrawPath::kHardware:
            return "hardware";
        case DrawPath::kSoftware:
            return "software";
        default:
            return "none";
    }
}

bool ParsePaths(const char* text, std::vector<DrawPath>* paths) {
    const std::string name = text;
    if (name == "none") {
        *paths = {DrawPath::kNone};
    } else if (name == "hardware") {
        *paths = {DrawPath::kHardware};
    } else if (name == "software") {
        *paths = {DrawPath::kSoftware};
    } else if (name == "both") {
        *paths = {DrawPath::kHardware, DrawPath::kSoftware};
    } else {
        std::fprintf(stderr, "replaycheck: not a drawing path: %s\n", text);
        return false;
    }
    return true;
}

bool ParseOptions(int argc, char** argv, Options* options) {
    long* positional[] = {&options->games, &options->frames, &options->first};
    int next = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--draw") == 0) {
            options->draw = true;
        } else if (std::strcmp(argv[i], "--path") == 0 && i + 1 < argc) {
            if (!ParsePaths(argv[++i], &options->paths)) {
                return false;
            }
        } else if (std::strcmp(argv[i], "--save") == 0 && i + 1 < argc) {
            options->savePath = argv[++i];
        } else if (next < 3) {
            char* end = nullptr;
            long value = std::strtol(argv[i], &end, 10);
            if (end == argv[i] || *end != '\0' || value < 0 || value > 216000) {
                std::fprintf(stderr, "replaycheck: not a count: %s\n", argv[i]);
                return false;
            }
            *positional[next++] = value;
        } else {
            std::fprintf(stderr, "replaycheck: unexpected argument: %s\n", argv[i]);
            return false;
        }
    }
    return true;
}

// Starts the library on the path in a hidden window, with the stand-in
// pictures and its drawing calls bound: true, or false after saying why.
bool StartDrawing(DrawPath path) {
    if (path == DrawPath::kNone) {
        return true;
    }
    // No display is needed, and no other program's window is seen.
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("TESSEL_INSTANCE_NAMESPACE", ("replaycheck-" + std::to_string(getpid())).c_str(), 0);
    tessel::EnableLogFile(0);
    tessel::ChangeWindowMode(1);
    tessel::SetUseHardwareOption(path == DrawPath::kHardware ? 1 : 0);
    if (tessel::StartLibrary() != 0) {
        std::fprintf(stderr, "replaycheck: the library did not start on the %s path\n",
                     PathName(path));
        return false;
    }
    if (MakeStandInPictures() != 0) {
        std::fprintf(stderr, "replaycheck: the pictures could not be made on the %s path\n",
                     PathName(path));
        tessel::EndLibrary();
        return false;
    }
    BindLibraryDrawCalls(&LibraryOwnDrawCalls());
    return true;
}

void EndDrawing(DrawPath path) {
    if (path == DrawPath::kNone) {
        return;
    }
    BindLibraryDrawCalls(nullptr);
    ReleaseStandInPictures();
    tessel::EndLibrary();
}

// Every game on one path: the number of games that did not replay exactly;
// the digest of every frame's hash goes to `digest`.
long RunGames(const Options& options, DrawPath path, uint64_t* allGames) {
    long failures = 0;
    long long frames = 0;
    uint64_t digest = 0xCBF29CE484222325ull;
    for (long i = 0; i < options.games; ++i) {
        uint32_t index = static_cast<uint32_t>(options.first + i);
        PlaySettings settings = GeneratedGameSettings(index);
        ReplayCheckSummary summary{};
        int32_t mismatch = CheckReplayOfGame(
            settings, index + 1, static_cast<int32_t>(options.frames), options.draw, &summary);
        frames += summary.played;
        digest = (digest ^ summary.digest) * 0x100000001B3ull;
        if (mismatch >= 0) {
            ++failures;
            std::printf("game %u: replay differs from frame %d\n", index, mismatch);
        }
        if (i == 0 && options.savePath != nullptr && SaveCheckedReplay(options.savePath) != 0) {
            std::fprintf(stderr, "replaycheck: could not save %s\n", options.savePath);
        }
    }
    std::printf("%s path: %ld games, %lld frames, %ld differing, digest %016llx\n", PathName(path),
                options.games, frames, failures, static_cast<unsigned long long>(digest));
    *allGames = digest;
    return failures;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        return 2;
    }
    PrepareStandInPlay();
    long failures = 0;
    std::vector<uint64_t> digests;
    for (DrawPath path : options.paths) {
        if (!StartDrawing(path)) {
            return 2;
        }
        digests.push_back(0);
        failures += RunGames(options, path, &digests.back());
        EndDrawing(path);
    }
    // Drawing never changes play, so every path plays the very same games.
    for (uint64_t digest : digests) {
        if (digest != digests.front()) {
            std::printf("the paths' digests differ\n");
            ++failures;
            break;
        }
    }
    return failures == 0 ? 0 : 1;
}
