// Replay files: their byte layout, the header's range, the list line and the
// slot paths.
#include "game/files/replay_file.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>

#include "game/files/game_file.h"
#include "game/files/record_fields.h"

namespace {

constexpr size_t kListLineOffset = 12;

void WriteSettings(FieldWriter* out, const PlaySettings& settings) {
    out->I64(settings.score);
    out->I64(settings.highScore);
    out->I32(settings.mode);
    out->I32(settings.lives);
    out->I32(settings.bombs);
    out->U32(settings.seed);
    out->I32(settings.level);
}

PlaySettings ReadSettings(FieldReader* in) {
    PlaySettings settings;
    settings.score = in->I64();
    settings.highScore = in->I64();
    settings.mode = in->I32();
    settings.lives = in->I32();
    settings.bombs = in->I32();
    settings.seed = in->U32();
    settings.level = in->I32();
    return settings;
}

bool IsGameMode(int64_t mode) {
    return mode == kModeEndless || mode == kModeTwoMinutes;
}

bool InRange(int32_t value, int32_t low, int32_t high) {
    return value >= low && value <= high;
}

const char* ModeName(int32_t mode) {
    return mode == kModeTwoMinutes ? "2minutes" : "Endless";
}

// The line as stored, ended within its bytes whatever the file held, and
// clean after its end.
void CopyListLine(const uint8_t* stored, char line[kReplayListLineBytes]) {
    size_t length = strnlen(reinterpret_cast<const char*>(stored), kReplayListLineBytes - 1);
    memset(line, 0, kReplayListLineBytes);
    memcpy(line, stored, length);
}

}  // namespace

void ReplaySlotPath(int slot, char path[kReplayPathBytes]) {
    snprintf(path, kReplayPathBytes, "replay\\vn_rep%02d.rpl", slot);
}

void EncodeReplayFile(const ReplayFile& replay, uint8_t bytes[kReplayFileBytes]) {
    FieldWriter out{bytes};
    out.I64(replay.finalScore);
    out.U32(replay.mode);
    out.Raw(replay.listLine, kReplayListLineBytes);
    WriteSettings(&out, replay.state.settings);
    out.U32(replay.state.savedSeed);
    for (uint16_t mask : replay.state.masks) {
        out.U16(mask);
    }
}

void DecodeReplayFile(const uint8_t bytes[kReplayFileBytes], ReplayFile* replay) {
    FieldReader in{bytes};
    replay->finalScore = in.I64();
    replay->mode = in.U32();
    in.Raw(replay->listLine, kReplayListLineBytes);
    replay->listLine[kReplayListLineBytes - 1] = '\0';
    replay->state.settings = ReadSettings(&in);
    replay->state.savedSeed = in.U32();
    for (uint16_t& mask : replay->state.masks) {
        mask = in.U16();
    }
}

bool ReplayHeaderInRange(const uint8_t header[kReplayHeaderBytes]) {
    FieldReader in{header};
    in.I64();  // final score: any value
    uint32_t mode = in.U32();
    in.at += kReplayListLineBytes;
    PlaySettings settings = ReadSettings(&in);
    // Every game starts at score 0; another starting score was made by hand,
    // and one near the top of int64 would overflow in play.
    return settings.score == 0 && IsGameMode(mode) && IsGameMode(settings.mode) &&
           InRange(settings.level, 0, kMaxLevel) &&
           InRange(settings.lives, 0, kTwoMinutesStartLives) &&
           InRange(settings.bombs, 0, kTwoMinutesStartLives);
}

int LoadReplayFile(ReplayFile* replay, const char* path) {
    // Zeroed, so that masks past the end of a short file read as 0.
    auto bytes = std::make_unique<uint8_t[]>(kReplayFileBytes);
    long count = ReadGameFile(path, bytes.get(), kReplayFileBytes);
    if (count < static_cast<long>(kReplayHeaderBytes) || !ReplayHeaderInRange(bytes.get())) {
        return -1;
    }
    DecodeReplayFile(bytes.get(), replay);
    return 0;
}

int SaveReplayFile(const ReplayFile& replay, const char* path) {
    auto bytes = std::make_unique<uint8_t[]>(kReplayFileBytes);
    EncodeReplayFile(replay, bytes.get());
    return WriteGameFile(path, bytes.get(), kReplayFileBytes);
}

int BuildReplayListLine(const char* path, char line[kReplayListLineBytes]) {
    uint8_t header[kReplayHeaderBytes] = {};
    long count = ReadGameFile(path, header, sizeof header);
    if (count < static_cast<long>(kReplayHeaderBytes) || !ReplayHeaderInRange(header)) {
        CopyListLine(reinterpret_cast<const uint8_t*>(kEmptyReplayListLine), line);
        return 0;
    }
    CopyListLine(header + kListLineOffset, line);
    return 1;
}

void FormatReplayListLine(int64_t score, int32_t mode, const std::tm& localTime,
                          char line[kReplayListLineBytes]) {
    memset(line, 0, kReplayListLineBytes);
    size_t length = strftime(line, kReplayListLineBytes, "%Y/%m/%d %H:%M ", &localTime);
    snprintf(line + length, kReplayListLineBytes - length, "% 10" PRId64 " %s", score,
             ModeName(mode));
}

std::tm LocalTimeNow() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

void FillReplayFile(const PlaySettings& finalSettings, const ReplayState& state,
                    const std::tm& localTime, ReplayFile* replay) {
    replay->finalScore = finalSettings.score;
    replay->mode = static_cast<uint32_t>(finalSettings.mode);
    FormatReplayListLine(finalSettings.score, finalSettings.mode, localTime, replay->listLine);
    replay->state = state;
    replay->state.savedSeed = finalSettings.seed;
}
