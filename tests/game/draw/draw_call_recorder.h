// A drawing-call table that writes every call down as a line of text (and
// keeps the vertices of polygon lists), for the tests of the queues' flush.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "game/draw/library_draw_calls.h"

namespace draw_test {

inline std::vector<std::string> g_calls;
inline std::vector<std::vector<tessel::PolygonVertex>> g_polygons;

inline std::string Format(const char* format, auto... values) {
    char text[512];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

// The expected lines, formatted as the recorder formats the calls.
inline std::string Blend(int mode, int parameter) {
    return Format("blend %d %d", mode, parameter);
}
inline std::string Bright(int r, int g, int b) {
    return Format("bright %d %d %d", r, g, b);
}
inline std::string Target(int target) {
    return Format("target %d", target);
}
inline std::string At(float x, float y, int image) {
    return Format("at %.9g %.9g %d 1", x, y, image);
}
inline std::string Rotated(float x, float y, double scale, double angle, int image, int mirror) {
    return Format("rot %.9g %.9g %.17g %.17g %d 1 %d", x, y, scale, angle, image, mirror);
}
inline std::string Part(int tx, int ty, int sx, int sy, int w, int h, int image, int mirror) {
    return Format("part %d %d %d %d %d %d %d 1 %d", tx, ty, sx, sy, w, h, image, mirror);
}
inline std::string Pivot(float x, float y, float px, float py, double scale, double angle,
                         int image, int mirror) {
    return Format("pivot %.9g %.9g %.9g %.9g %.17g %.17g %d 1 %d", x, y, px, py, scale, angle,
                  image, mirror);
}
inline std::string Quad(float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                        float y4, int image) {
    return Format("quad %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g %d 1", x1, y1, x2, y2, x3, y3, x4,
                  y4, image);
}

inline const LibraryDrawCalls kRecorder = [] {
    LibraryDrawCalls calls;
    calls.setBlendMode = [](int32_t mode, int32_t parameter) {
        g_calls.push_back(Blend(mode, parameter));
    };
    calls.setBlendModeOnly = [](int32_t mode) { g_calls.push_back(Format("only %d", mode)); };
    calls.setBrightnessPackedRaw = [](uint32_t word, uint32_t packed) {
        g_calls.push_back(Format("colour %08x %08x", word, packed));
    };
    calls.drawRotated = [](float x, float y, double scale, double angle, int32_t image,
                           int32_t transparent, int32_t mirror) {
        g_calls.push_back(Format("rot %.9g %.9g %.17g %.17g %d %d %d", x, y, scale, angle, image,
                                 transparent, mirror));
    };
    calls.drawRotatedAlt = [](float x, float y, double scale, double angle, int32_t image) {
        g_calls.push_back(Format("alt %.9g %.9g %.17g %.17g %d", x, y, scale, angle, image));
    };
    calls.setBrightness = [](int32_t r, int32_t g, int32_t b) {
        g_calls.push_back(Bright(r, g, b));
    };
    calls.selectTarget = [](int32_t target) { g_calls.push_back(Target(target)); };
    calls.drawAt = [](float x, float y, int32_t image, int32_t transparent) {
        g_calls.push_back(Format("at %.9g %.9g %d %d", x, y, image, transparent));
    };
    calls.drawPart = [](int32_t tx, int32_t ty, int32_t sx, int32_t sy, int32_t w, int32_t h,
                        int32_t image, int32_t transparent, int32_t mirror) {
        g_calls.push_back(Format("part %d %d %d %d %d %d %d %d %d", tx, ty, sx, sy, w, h, image,
                                 transparent, mirror));
    };
    calls.drawPivotRotated = [](float x, float y, float px, float py, double scale, double angle,
                                int32_t image, int32_t transparent, int32_t mirror) {
        g_calls.push_back(Format("pivot %.9g %.9g %.9g %.9g %.17g %.17g %d %d %d", x, y, px, py,
                                 scale, angle, image, transparent, mirror));
    };
    calls.drawQuad = [](float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                        float y4, int32_t image, int32_t transparent) {
        g_calls.push_back(Format("quad %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g %d %d", x1, y1, x2,
                                 y2, x3, y3, x4, y4, image, transparent));
    };
    calls.drawPolygonList = [](const tessel::PolygonVertex* vertices, int32_t count, int32_t kind,
                               int32_t image, int32_t transparent, int32_t imageRelative) {
        g_calls.push_back(
            Format("polygons %d %d %d %d %d", count, kind, image, transparent, imageRelative));
        g_polygons.emplace_back(vertices, vertices + count);
    };
    return calls;
}();

// Binds the recorder, emptied, for one test.
class RecordedDrawing {
  public:
    RecordedDrawing() {
        g_calls.clear();
        g_polygons.clear();
        BindLibraryDrawCalls(&kRecorder);
    }
    ~RecordedDrawing() { BindLibraryDrawCalls(nullptr); }
    RecordedDrawing(const RecordedDrawing&) = delete;
    RecordedDrawing& operator=(const RecordedDrawing&) = delete;
};

}  // namespace draw_test
