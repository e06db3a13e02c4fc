// The bound drawing-call table and the idle table used while none is bound.
#include "game/draw/library_draw_calls.h"

namespace {

void IgnoreBlendMode(int32_t, int32_t) {}
void IgnoreBlendModeOnly(int32_t) {}
void IgnoreBrightness(uint32_t, uint32_t) {}
void IgnoreRotated(float, float, double, double, int32_t, int32_t, int32_t) {}
void IgnoreRotatedAlt(float, float, double, double, int32_t) {}

constexpr LibraryDrawCalls kIdleCalls = {
    &IgnoreBlendMode, &IgnoreBlendModeOnly, &IgnoreBrightness, &IgnoreRotated, &IgnoreRotatedAlt,
};

const LibraryDrawCalls* g_bound = nullptr;

}  // namespace

void BindLibraryDrawCalls(const LibraryDrawCalls* calls) {
    g_bound = calls;
}

const LibraryDrawCalls& DrawCalls() {
    return g_bound != nullptr ? *g_bound : kIdleCalls;
}
