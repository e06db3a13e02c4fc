// A frame-loop table that records every library call as text
// ("DrawBoxShape(0,0,640,480,...)"), runs a clock of its own that only sleeps
// move, feeds the live input from a mask and ends the loop after a set
// number of passes.
#pragma once

#include <string>
#include <vector>

#include "game/draw/draw_queue.h"
#include "game/input/input_state.h"
#include "game/loop/frame_calls.h"
#include "tests/game/call_notes.h"

namespace game_test {

struct FrameRecorder : CallNotes<FrameRecorder> {
    std::vector<std::string> calls;
    int clock = 5000;          // ms
    int framesLeft = 1 << 30;  // pumps that answer "go on"
    uint16_t liveMask = 0;
    int keyDown = 0;  // the screenshot key
    std::tm localTime{};
    int pumps = 0;

    // The calls of each loop pass, split at the message pumps; calls before
    // the first pump are left out.
    std::vector<std::vector<std::string>> Frames() const {
        std::vector<std::vector<std::string>> frames;
        for (const std::string& call : calls) {
            if (call == "PumpMessages()") {
                frames.emplace_back();
            } else if (!frames.empty()) {
                frames.back().push_back(call);
            }
        }
        return frames;
    }

    // The recorded calls whose text starts with `prefix`.
    int Count(const std::string& prefix) const { return CountIn(calls, prefix); }
    static int CountIn(const std::vector<std::string>& list, const std::string& prefix) {
        int count = 0;
        for (const std::string& call : list) {
            count += call.rfind(prefix, 0) == 0 ? 1 : 0;
        }
        return count;
    }

    const FrameCalls& Bind() {
        Current() = this;
        static const FrameCalls table = {
            [] {
                FrameRecorder& self = *Current();
                Note("PumpMessages()");
                self.pumps += 1;
                return self.framesLeft-- > 0 ? 0 : 1;
            },
            [](InputState* live) { ApplyButtonMask(live, Current()->liveMask); },
            [] { return Current()->clock; },
            [](int ms) {
                Note("Sleep" + Args({ms}));
                Current()->clock += ms;
            },
            [](int code) { return code == 25 ? Current()->keyDown : 0; },
            [] { return Current()->localTime; },
            [](int target) { return Note("SelectDrawTarget" + Args({target})), 0; },
            [] { return Note("EraseDrawTarget()"), 0; },
            [] { return Note("PresentScreen()"), 0; },
            [](int x1, int y1, int x2, int y2, const char* name, int type, int quality, int extra,
               int png) {
                Note(std::string("SaveDrawScreen(") + name + ")" +
                     Args({x1, y1, x2, y2, type, quality, extra, png}));
                return 0;
            },
            [](DrawQueue* queue) {
                Note(queue == &FrontDrawQueue ? "FlushDrawQueue(front)" : "FlushDrawQueue(top)");
                ClearDrawQueue(queue);
            },
            [](int mode, int parameter) {
                return Note("SetImageBlendMode" + Args({mode, parameter})), 0;
            },
            [](int r, int g, int b) {
                return Note("SetImageBrightness" + Args({r, g, b})), 0;
            },
            [](uint8_t r, uint8_t g, uint8_t b) {
                return static_cast<uint32_t>(0xFF000000u | r << 16 | g << 8 | b);
            },
            [](int x1, int y1, int x2, int y2, uint32_t colour, int fill) {
                return Note("DrawBoxShape" + Args({x1, y1, x2, y2, colour, fill})), 0;
            },
            [](int x, int y, int sx, int sy, int w, int h, int image, int trans, int mirror) {
                return Note("DrawImagePart" + Args({x, y, sx, sy, w, h, image, trans, mirror})), 0;
            },
            [](int x1, int y1, int x2, int y2, int image, int transparent) {
                return Note("DrawImageStretched" + Args({x1, y1, x2, y2, image, transparent})), 0;
            },
            [](int sound, int type, int fromStart) {
                return Note("PlaySound" + Args({sound, type, fromStart})), -1;
            },
            [](int sound) { return Note("StopSound" + Args({sound})), -1; },
            [](int64_t samples, int sound) {
                return Note("SetSoundPositionSamples" + Args({samples, sound})), -1;
            },
            [] { return Note("EndLibrary()"), 0; },
            // No 3D floor: the recorded frames stay those of the 2D draw.
            nullptr,
            nullptr,
            nullptr,
            nullptr,
            nullptr,
            nullptr,
            nullptr,
        };
        return table;
    }
};

// Binds the recorder while it lives.
class BoundFrameRecorder {
  public:
    BoundFrameRecorder() { BindFrameCalls(&recorder.Bind()); }
    ~BoundFrameRecorder() {
        BindFrameCalls(nullptr);
        FrameRecorder::Current() = nullptr;
    }
    BoundFrameRecorder(const BoundFrameRecorder&) = delete;
    BoundFrameRecorder& operator=(const BoundFrameRecorder&) = delete;

    FrameRecorder recorder;
};

}  // namespace game_test
