// The draw-request queues. Game code never draws in the order it runs: during
// a frame's draw phase every scene, pooled object, bullet and enemy pushes
// requests with a layer number into one of two queues, and once a frame each
// queue is sorted (higher layer first, then push order) and turned into the
// library's drawing calls. The front queue holds the play field, the top queue
// menus, the HUD and overlays, so it always lands on top.
//
// This file holds the queues' storage, the pushes and the sort (the flush,
// which draws a queue, is in draw_flush.h). A push only stores its request;
// it never allocates, and a push on a full queue is dropped without a message.
#pragma once

#include <array>
#include <cstdint>

#include "game/math/color.h"

enum DrawRequestKind : int32_t {
    kDrawCallback = -1,     // the bullet layer's callback
    kDrawImage = 0,         // top-left at (x1, y1)
    kDrawRotatedImage = 1,  // centred at (x1, y1), scaled and turned
    kDrawImagePart = 2,     // source (x2, y2), size (x3, y3)
    kDrawPivotRotated = 3,  // pivot at (x2, y2); drawn, never pushed
    kDrawQuad = 4,          // four corners; drawn, never pushed
    kDrawBeamFromBase = 5,  // drawn, never pushed
    kDrawBeamCentred = 6,   // drawn, never pushed
    kDrawText = 7,          // a letter-sheet text
    kDrawNumber = 8,        // a right-aligned decimal number
    kDrawWarpGrid = 9,      // the lens over the play field; strength in `scale`
};

// Which blend the request draws with; the request's alpha is its parameter.
enum DrawBlendIndex : int32_t {
    kBlendAlpha = 0,
    kBlendAdd = 1,
    kBlendSubtract = 2,
    kBlendMultiply = 3,
    kBlendInvert = 4,
};

struct DrawBrightness {
    uint8_t r;
    uint8_t g;
    uint8_t b;
};

constexpr int kDrawQueueCapacity = 5000;
// The longest text a text request keeps, before its terminating zero.
constexpr int kDrawTextLength = 255;

struct DrawRequest {
    int32_t layer;      // greater draws first
    int32_t pushIndex;  // within a layer, earlier pushes draw first
    int32_t kind;
    int32_t image;
    int32_t textStyle;
    int64_t number;
    char text[kDrawTextLength + 1];
    double x1, x2, x3, x4;
    double y1, y2, y3, y4;
    double scale;
    double angle;  // degrees
    double beamWidth;
    double beamLength;
    int32_t mirror;
    int32_t target;  // the screen or drawable image to draw on
    int32_t blendIndex;
    int32_t alpha;  // 0..255
    DrawBrightness brightness;
    void* callbackParameter;
};

struct DrawQueue {
    DrawQueue();
    DrawQueue(const DrawQueue&) = delete;
    DrawQueue& operator=(const DrawQueue&) = delete;

    int32_t count;
    std::array<DrawRequest, kDrawQueueCapacity> requests;
    // The draw order: only these pointers move when the queue is sorted.
    std::array<DrawRequest*, kDrawQueueCapacity> order;
};

extern DrawQueue FrontDrawQueue;
extern DrawQueue TopDrawQueue;

// Forgets every queued request.
void ClearDrawQueue(DrawQueue* queue);
// Sorts the queued requests into draw order: layer descending and, within a
// layer, push order. Layer and index are compared apart, never folded into one
// product, so every layer an int holds keeps its place.
void SortDrawQueue(DrawQueue* queue);

// Alphas are 0..1 and stored as bytes after rounding to single precision.
// Every push returns nothing; a full queue drops it.
void QueueDrawCallback(DrawQueue* queue, void* parameter, int32_t layer);
void QueueImageDraw(DrawQueue* queue, int32_t image, int32_t target, int32_t layer,
                    int32_t blendIndex, double x, double y, double alpha, ColorRecord colour,
                    int32_t mirror);
void QueueRotatedImageDraw(DrawQueue* queue, int32_t image, int32_t target, int32_t layer,
                           int32_t blendIndex, double x, double y, double scale, double angle,
                           double alpha, ColorRecord colour, int32_t mirror);
void QueueImagePartDraw(DrawQueue* queue, int32_t image, int32_t target, int32_t layer,
                        int32_t blendIndex, double x, double y, double srcX, double srcY,
                        double width, double height, double alpha, ColorRecord colour,
                        int32_t mirror);
// Keeps at most kDrawTextLength characters of `text`. `mirror` is kept, not used.
void QueueTextDraw(DrawQueue* queue, const char* text, int32_t style, int32_t target, int32_t layer,
                   int32_t blendIndex, double x, double y, double alpha, ColorRecord colour,
                   int32_t mirror);
// Right-aligned at x; the digits are written when the queue is drawn.
void QueueNumberDraw(DrawQueue* queue, int64_t number, int32_t style, int32_t target, int32_t layer,
                     int32_t blendIndex, double x, double y, double alpha, ColorRecord colour,
                     int32_t mirror);
void QueueWarpDraw(DrawQueue* queue, int32_t target, int32_t layer, double x, double y,
                   double strength);
