// Drawing the queues: a flush sorts a queue's requests into draw order and
// turns each into the library's drawing calls (through the bound table of
// library_draw_calls.h), then empties the queue. The main loop flushes the
// front queue, then the top queue, once a frame.
#pragma once

#include <cstdint>

#include "game/draw/draw_queue.h"
#include "game/math/color.h"

// The library blend mode of each blend index: alpha, add, subtract,
// multiply with alpha, inverted colour with alpha.
constexpr int32_t kBlendIndexModes[] = {1, 2, 3, 11, 10};

// Draws every queued request in draw order and empties the queue; the scene's
// draw target is selected again and the blend is alpha, opaque, at the end.
void FlushDrawQueue(DrawQueue* queue);
// The tint, then the blend mode of `blendIndex` with `alpha` as its
// parameter; an index outside the table keeps the blend mode as it was.
void ApplyDrawBlend(int32_t blendIndex, int32_t alpha, DrawBrightness colour);
