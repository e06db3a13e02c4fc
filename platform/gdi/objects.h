// GDI objects behind HGDIOBJ handles. Each kind of object derives from the
// record, so that DeleteObject can free any of them.
#pragma once

#include "platform/gdi.h"

struct PlatformGdiObject {
    enum class Kind { Brush, Bitmap, Font, Pen };
    explicit PlatformGdiObject(Kind k, bool isStock = false) : kind(k), stock(isStock) {}
    virtual ~PlatformGdiObject() = default;

    Kind kind;
    bool stock;  // stock objects are never deleted
};

namespace platform::gdi {

struct Brush final : PlatformGdiObject {
    Brush(COLORREF c, bool isHollow, bool isStock)
        : PlatformGdiObject(Kind::Brush, isStock), colour(c), hollow(isHollow) {}
    COLORREF colour;
    bool hollow;  // NULL_BRUSH paints nothing
};

}  // namespace platform::gdi
