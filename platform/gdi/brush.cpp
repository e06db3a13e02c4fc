// GDI objects' bookkeeping (live objects, stock objects, DeleteObject) and
// solid brushes with FillRect.
#include <algorithm>
#include <mutex>
#include <set>

#include "platform/gdi/font_handles_internal.h"
#include "platform/gdi/framebuffer_dc_internal.h"
#include "platform/gdi/objects_internal.h"

namespace platform::gdi {

namespace {

std::mutex& ObjectsLock() {
    static std::mutex lock;
    return lock;
}

// Objects made and not yet deleted, so that a stale or made-up handle is
// refused instead of followed.
std::set<HGDIOBJ>& LiveObjects() {
    static std::set<HGDIOBJ>* objects = new std::set<HGDIOBJ>();
    return *objects;
}

Brush* StockBrush(int object) {
    static Brush white(RGB(255, 255, 255), false, true);
    static Brush black(RGB(0, 0, 0), false, true);
    static Brush hollow(0, true, true);
    switch (object) {
        case WHITE_BRUSH:
            return &white;
        case BLACK_BRUSH:
            return &black;
        case NULL_BRUSH:
            return &hollow;
        default:
            return nullptr;
    }
}

bool IsStockBrush(HGDIOBJ object) {
    for (int index : {WHITE_BRUSH, BLACK_BRUSH, NULL_BRUSH}) {
        if (object == StockBrush(index)) {
            return true;
        }
    }
    return false;
}

}  // namespace

const Brush* FindBrush(HBRUSH handle) {
    if (IsStockBrush(handle)) {
        return static_cast<const Brush*>(handle);
    }
    std::lock_guard<std::mutex> guard(ObjectsLock());
    if (LiveObjects().count(handle) == 0 || handle->kind != PlatformGdiObject::Kind::Brush) {
        return nullptr;
    }
    return static_cast<const Brush*>(handle);
}

void RegisterObject(HGDIOBJ object) {
    std::lock_guard<std::mutex> guard(ObjectsLock());
    LiveObjects().insert(object);
}

PlatformGdiObject* FindObject(HGDIOBJ handle, PlatformGdiObject::Kind kind) {
    std::lock_guard<std::mutex> guard(ObjectsLock());
    if (handle == nullptr || LiveObjects().count(handle) == 0 || handle->kind != kind) {
        return nullptr;
    }
    return handle;
}

}  // namespace platform::gdi

using platform::gdi::Brush;

HBRUSH CreateSolidBrush(COLORREF colour) {
    auto* brush = new Brush(colour & 0x00FFFFFFu, false, false);
    std::lock_guard<std::mutex> guard(platform::gdi::ObjectsLock());
    platform::gdi::LiveObjects().insert(brush);
    return brush;
}

HGDIOBJ GetStockObject(int object) {
    return platform::gdi::StockBrush(object);
}

BOOL DeleteObject(HGDIOBJ object) {
    if (object == nullptr) {
        return FALSE;
    }
    if (platform::gdi::IsStockBrush(object)) {
        return TRUE;
    }
    if (platform::gdi::IsFontHandle(object)) {
        return platform::gdi::DeleteFont(object);
    }
    if (!platform::gdi::MayDeleteObject(object)) {
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> guard(platform::gdi::ObjectsLock());
        if (platform::gdi::LiveObjects().erase(object) == 0) {
            return FALSE;
        }
    }
    delete object;
    return TRUE;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brushHandle) {
    const Brush* brush = platform::gdi::FindBrush(brushHandle);
    if (rect == nullptr || brush == nullptr) {
        return 0;
    }
    platform::gdi::FramebufferDC target(dc);
    if (!target.IsOpen()) {
        return 0;
    }
    if (brush->hollow) {
        return 1;
    }
    COLORREF c = brush->colour;
    uint32_t pixel = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
    const platform::WindowFramebuffer& fb = target.Pixels();
    int left = std::max<int>(rect->left, 0);
    int top = std::max<int>(rect->top, 0);
    int right = std::min<int>(rect->right, fb.width);
    int bottom = std::min<int>(rect->bottom, fb.height);
    for (int y = top; y < bottom; ++y) {
        uint32_t* row = target.Row(y);
        std::fill(row + std::max(left, 0), row + std::max(right, left), pixel);
    }
    target.MarkChanged();
    return 1;
}
