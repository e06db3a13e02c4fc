// The queues' storage, the pushes and the sort. A push fills one request in
// place and links it into the order vector; nothing here allocates.
#include "game/draw/draw_queue.h"

#include <algorithm>
#include <cstring>

#include "game/draw/game_screens.h"

DrawQueue FrontDrawQueue;
DrawQueue TopDrawQueue;

DrawQueue::DrawQueue() : count(0), requests{} {
    for (int i = 0; i < kDrawQueueCapacity; ++i) {
        order[i] = &requests[i];
    }
}

namespace {

// The next free request, cleared and keyed, or null when the queue is full.
DrawRequest* NextRequest(DrawQueue* queue, int32_t layer, int32_t kind) {
    if (queue->count >= kDrawQueueCapacity) {
        return nullptr;
    }
    int32_t index = queue->count;
    DrawRequest* request = &queue->requests[index];
    *request = DrawRequest{};
    request->layer = layer;
    request->pushIndex = index;
    request->kind = kind;
    queue->order[index] = request;
    queue->count = index + 1;
    return request;
}

int32_t AlphaByte(double alpha) {
    return UnitToByte(static_cast<float>(alpha));
}

// The fields every image-like request shares.
DrawRequest* NextImageRequest(DrawQueue* queue, int32_t kind, int32_t image, int32_t target,
                              int32_t layer, int32_t blendIndex, double x, double y, double alpha,
                              ColorRecord colour, int32_t mirror) {
    DrawRequest* request = NextRequest(queue, layer, kind);
    if (request == nullptr) {
        return nullptr;
    }
    request->image = image;
    request->target = target;
    request->blendIndex = blendIndex;
    request->x1 = x;
    request->y1 = y;
    request->alpha = AlphaByte(alpha);
    request->brightness = {colour.r, colour.g, colour.b};
    request->mirror = mirror;
    return request;
}

}  // namespace

void ClearDrawQueue(DrawQueue* queue) {
    queue->count = 0;
}

void SortDrawQueue(DrawQueue* queue) {
    // Push indices are distinct within a frame, so the order never depends on
    // the sort's own stability.
    std::sort(queue->order.begin(), queue->order.begin() + queue->count,
              [](const DrawRequest* a, const DrawRequest* b) {
                  if (a->layer != b->layer) {
                      return a->layer > b->layer;
                  }
                  return a->pushIndex < b->pushIndex;
              });
}

void QueueDrawCallback(DrawQueue* queue, void* parameter, int32_t layer) {
    DrawRequest* request = NextRequest(queue, layer, kDrawCallback);
    if (request == nullptr) {
        return;
    }
    request->target = EffectScreen;
    request->callbackParameter = parameter;
}

void QueueImageDraw(DrawQueue* queue, int32_t image, int32_t target, int32_t layer,
                    int32_t blendIndex, double x, double y, double alpha, ColorRecord colour,
                    int32_t mirror) {
    NextImageRequest(queue, kDrawImage, image, target, layer, blendIndex, x, y, alpha, colour,
                     mirror);
}

void QueueRotatedImageDraw(DrawQueue* queue, int32_t image, int32_t target, int32_t layer,
                           int32_t blendIndex, double x, double y, double scale, double angle,
                           double alpha, ColorRecord colour, int32_t mirror) {
    DrawRequest* request = NextImageRequest(queue, kDrawRotatedImage, image, target, layer,
                                            blendIndex, x, y, alpha, colour, mirror);
    if (request == nullptr) {
        return;
    }
    request->scale = scale;
    request->angle = angle;
}

void QueueImagePartDraw(DrawQueue* queue, int32_t image, int32_t target, int32_t layer,
                        int32_t blendIndex, double x, double y, double srcX, double srcY,
                        double width, double height, double alpha, ColorRecord colour,
                        int32_t mirror) {
    DrawRequest* request = NextImageRequest(queue, kDrawImagePart, image, target, layer, blendIndex,
                                            x, y, alpha, colour, mirror);
    if (request == nullptr) {
        return;
    }
    request->x2 = srcX;
    request->y2 = srcY;
    request->x3 = width;
    request->y3 = height;
}

void QueueTextDraw(DrawQueue* queue, const char* text, int32_t style, int32_t target, int32_t layer,
                   int32_t blendIndex, double x, double y, double alpha, ColorRecord colour,
                   int32_t mirror) {
    DrawRequest* request = NextImageRequest(queue, kDrawText, -1, target, layer, blendIndex, x, y,
                                            alpha, colour, mirror);
    if (request == nullptr) {
        return;
    }
    request->textStyle = style;
    if (text != nullptr) {
        std::strncpy(request->text, text, kDrawTextLength);
    }
    request->text[kDrawTextLength] = '\0';
}

void QueueNumberDraw(DrawQueue* queue, int64_t number, int32_t style, int32_t target, int32_t layer,
                     int32_t blendIndex, double x, double y, double alpha, ColorRecord colour,
                     int32_t mirror) {
    DrawRequest* request = NextImageRequest(queue, kDrawNumber, -1, target, layer, blendIndex, x, y,
                                            alpha, colour, mirror);
    if (request == nullptr) {
        return;
    }
    request->textStyle = style;
    request->number = number;
}

void QueueWarpDraw(DrawQueue* queue, int32_t target, int32_t layer, double x, double y,
                   double strength) {
    DrawRequest* request = NextRequest(queue, layer, kDrawWarpGrid);
    if (request == nullptr) {
        return;
    }
    request->target = target;
    request->x1 = x;
    request->y1 = y;
    request->scale = strength;
}
