// Frame calls for long scripted runs of the program: the library draws and
// presents one frame in EVERY, and the others' drawing is left out, so that
// the drawing path still runs while a run costs a fraction of its drawing.
// Drawing feeds nothing back into the game, so what a run does is the same.
#pragma once

#include <cstdint>

#include "game/draw/draw_queue.h"
#include "game/loop/frame_calls.h"
#include "game/loop/scene_machine.h"

namespace game_test {

template <uint32_t kEvery>
struct DrawnOneFrameIn {
    static bool Drawn() { return FrameCounter % kEvery == 0; }
    static void Flush(DrawQueue* queue) {
        if (Drawn()) {
            LibraryFrameCalls().flushDrawQueue(queue);
        } else {
            ClearDrawQueue(queue);
        }
    }
    static int Erase() { return Drawn() ? LibraryFrameCalls().eraseDrawTarget() : 0; }
    // The floor's model is drawn into its screen on the drawn frames only.
    static int Render(int model) { return Drawn() ? LibraryFrameCalls().renderModel(model) : 0; }
    static int Stretch(int x1, int y1, int x2, int y2, int image, int transparent) {
        return Drawn() ? LibraryFrameCalls().drawImageStretched(x1, y1, x2, y2, image, transparent)
                       : 0;
    }
    static int Present() { return Drawn() ? LibraryFrameCalls().presentScreen() : 0; }
};

}  // namespace game_test
