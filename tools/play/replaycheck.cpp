// replaycheck: plays many generated games live, saves each as a replay, plays
// it back and compares the play state's hash frame by frame.
//
//   replaycheck [games] [frames] [first] [--draw] [--save PATH]
//
// games (default 1000) and frames (default 3000) per game; first is the index
// of the first generated game. The scene's draw runs every frame in the
// playback, or with --draw in the live run instead. --save writes the first game's replay to PATH.
// Exit status 0 when every game replays exactly, 1 otherwise.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "game/play/replay_check.h"
#include "game/play/stand_in_tables.h"

namespace {

struct Options {
    long games = 1000;
    long frames = 3000;
    long first = 0;
    bool draw = false;
    const char* savePath = nullptr;
};

bool ParseOptions(int argc, char** argv, Options* options) {
    long* positional[] = {&options->games, &options->frames, &options->first};
    int next = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--draw") == 0) {
            options->draw = true;
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

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        return 2;
    }
    PrepareStandInPlay();
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
    std::printf("%ld games, %lld frames, %ld differing, digest %016llx\n", options.games, frames,
                failures, static_cast<unsigned long long>(digest));
    return failures == 0 ? 0 : 1;
}
