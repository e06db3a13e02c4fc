// The record, save, load and playback runs of the replay proof.
#include "game/play/replay_check.h"

#include <memory>

#include "game/draw/draw_flush.h"
#include "game/draw/game_screens.h"
#include "game/draw/library_draw_calls.h"
#include "game/input/input_state.h"
#include "game/play/frame_requests.h"
#include "game/play/game_scene.h"
#include "game/play/play_hash.h"
#include "game/play/play_state.h"

namespace {

constexpr uint16_t kPlayButtons[] = {
    1u << kButtonUp,   1u << kButtonRight, 1u << kButtonDown, 1u << kButtonLeft,
    1u << kButtonShot, 1u << kButtonBomb,  1u << kButtonSlow,
};

// The script's own sequence, apart from play's generator.
int32_t NextScriptWord(MaskScript* script) {
    return NextDrawRandom(&script->words);
}

struct SceneDeleter {
    void operator()(GameScene* scene) const { DestroyGameScene(scene); }
};

void ClearFrameRequests() {
    ClearSoundRequests();
    ClearMusicRequests();
}

// As the main loop draws a frame: the scene queues its drawing onto the frame
// image, then both queues are flushed through the bound drawing calls.
void DrawPlayFrame(GameScene* scene) {
    SceneDrawTarget = FrameImage;
    CurrentDrawTarget = FrameImage;
    DrawCalls().selectTarget(FrameImage);
    DrawGameScene(scene);
    FlushDrawQueue(&FrontDrawQueue);
    FlushDrawQueue(&TopDrawQueue);
}

using ScenePointer = std::unique_ptr<GameScene, SceneDeleter>;

void (*g_frameHook)(GameScene* scene) = nullptr;

// Runs the built scene with `feed` setting the live buttons before each frame.
// The scene is handed to `keep` when given, else freed.
template <class Feed>
ReplayCheckRun RunGame(int32_t frames, bool draw, Feed&& feed, ScenePointer* keep = nullptr) {
    ReplayCheckRun run;
    FadeState.active = 0;
    ClearFrameRequests();
    ScenePointer scene(ConstructGameScene());
    if (!scene) {
        return run;
    }
    ConstructInputState(&LiveInput);
    run.hashes.reserve(static_cast<std::size_t>(frames));
    for (int32_t frame = 0; frame < frames && !SceneFadeRunning(); ++frame) {
        feed();
        if (g_frameHook != nullptr) {
            g_frameHook(scene.get());
        }
        UpdateGameScene(scene.get());
        if (draw) {
            DrawPlayFrame(scene.get());
        }
        ClearFrameRequests();
        run.hashes.push_back(HashPlayState(*scene));
    }
    run.finalSettings = CurrentPlay;
    if (keep != nullptr) {
        *keep = std::move(scene);
    }
    return run;
}

ReplayCheckRun RecordGame(const PlaySettings& settings, MaskScript script, int32_t frames,
                          bool draw, ReplayFile* replay, ScenePointer* keep) {
    ReplayPlayback = 0;
    CurrentPlay = settings;
    ReplayCheckRun run = RunGame(
        frames, draw,
        [&] { ApplyButtonMask(&LiveInput, NextSteeredMask(&script, *LiveGameScene)); }, keep);
    FillReplayFile(run.finalSettings, GameReplay, LocalTimeNow(), replay);
    return run;
}

// The last recorded game's file, kept for saving.
ReplayFile* LastRecordedReplay() {
    static std::unique_ptr<ReplayFile> replay = std::make_unique<ReplayFile>();
    return replay.get();
}

}  // namespace

int SaveCheckedReplay(const char* path) {
    return SaveReplayFile(*LastRecordedReplay(), path);
}

MaskScript MakeMaskScript(uint32_t seed) {
    return MaskScript{DrawRandom{seed == 0 ? 0x9E3779B9u : seed}, 0, 0, false};
}

uint16_t NextScriptedMask(MaskScript* script) {
    if (script->framesLeft > 0) {
        script->framesLeft -= 1;
        return script->mask;
    }
    uint16_t mask = 0;
    for (std::size_t i = 0; i < std::size(kPlayButtons); ++i) {
        // Shot is held most of the time, bomb seldom, the rest about half.
        int32_t chance = i == 4 ? 200 : (i == 5 ? 4 : 55);
        if (NextScriptWord(script) % 256 < chance) {
            mask = static_cast<uint16_t>(mask | kPlayButtons[i]);
        }
    }
    script->mask = mask;
    script->framesLeft = static_cast<int32_t>(NextScriptWord(script) % 60) + 2;
    return mask;
}

uint16_t NextSteeredMask(MaskScript* script, const GameScene& scene) {
    bool newStretch = script->framesLeft == 0;
    uint16_t mask = NextScriptedMask(script);
    if (newStretch) {
        script->steering = (NextScriptWord(script) % 4) != 0;
    }
    const Enemy* target = scene.enemies.order[0];
    if (!script->steering || target->active == 0) {
        return mask;
    }
    uint16_t steered = static_cast<uint16_t>(mask & ~((1u << kButtonLeft) | (1u << kButtonRight)));
    steered = static_cast<uint16_t>(steered | (1u << kButtonShot));
    double dx = target->x - scene.player.x;
    if (dx > 6.0) {
        steered = static_cast<uint16_t>(steered | (1u << kButtonRight));
    } else if (dx < -6.0) {
        steered = static_cast<uint16_t>(steered | (1u << kButtonLeft));
    }
    return steered;
}

ReplayCheckRun RecordScriptedGame(const PlaySettings& settings, MaskScript script, int32_t frames,
                                  bool draw, ReplayFile* replay) {
    return RecordGame(settings, script, frames, draw, replay, nullptr);
}

void SetReplayCheckFrameHook(void (*hook)(GameScene* scene)) {
    g_frameHook = hook;
}

ReplayCheckRun PlayBackReplay(const ReplayFile& replay, int32_t frames, bool draw) {
    ReplayPlayback = 1;
    GameReplay = replay.state;
    ReplayCheckRun run = RunGame(frames, draw, [] { ApplyButtonMask(&LiveInput, 0); });
    ReplayPlayback = 0;
    return run;
}

int32_t CheckReplayOfGame(const PlaySettings& settings, uint32_t maskSeed, int32_t frames,
                          bool draw, ReplayCheckSummary* summary) {
    ReplayFile* recorded = LastRecordedReplay();
    // The live scene stays allocated while the playback runs, so the playback
    // plays at other addresses: an order that follows addresses differs.
    ScenePointer liveScene;
    ReplayCheckRun live =
        RecordGame(settings, MakeMaskScript(maskSeed), frames, draw, recorded, &liveScene);
    if (summary != nullptr) {
        summary->played = static_cast<int32_t>(live.hashes.size());
        summary->digest = 0;
        for (uint64_t hash : live.hashes) {
            summary->digest = (summary->digest ^ hash) * 0x100000001B3ull;
        }
    }
    // Through the file's bytes, as a saved replay is read back.
    auto bytes = std::make_unique<uint8_t[]>(kReplayFileBytes);
    EncodeReplayFile(*recorded, bytes.get());
    auto loaded = std::make_unique<ReplayFile>();
    DecodeReplayFile(bytes.get(), loaded.get());
    // Exactly one of the two runs draws, so a draw that touched play shows.
    ReplayCheckRun back = PlayBackReplay(*loaded, frames, !draw);
    std::size_t common =
        live.hashes.size() < back.hashes.size() ? live.hashes.size() : back.hashes.size();
    for (std::size_t i = 0; i < common; ++i) {
        if (live.hashes[i] != back.hashes[i]) {
            return static_cast<int32_t>(i);
        }
    }
    if (live.hashes.size() != back.hashes.size() || live.hashes.empty()) {
        return static_cast<int32_t>(common);
    }
    return -1;
}

PlaySettings GeneratedGameSettings(uint32_t index) {
    PlaySettings settings{};
    settings.mode = index % 2 == 0 ? kModeTwoMinutes : kModeEndless;
    settings.lives = settings.mode == kModeTwoMinutes ? kTwoMinutesStartLives : kEndlessStartLives;
    settings.bombs = kStartBombs;
    settings.seed = index * 2654435761u + 12345u;
    settings.level = static_cast<int32_t>(index % 7) * 5;
    return settings;
}
