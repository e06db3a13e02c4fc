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

// A DIB section: the pixels of a 24- or 32-bit bitmap that a memory context
// draws into and the program reads through the pointer CreateDIBSection gave.
struct DibSection final : PlatformGdiObject {
    explicit DibSection(bool isStock = false) : PlatformGdiObject(Kind::Bitmap, isStock) {}
    ~DibSection() override { delete[] pixels; }
    int width = 0;
    int height = 0;
    int bitCount = 0;
    bool topDown = false;
    int stride = 0;  // bytes per row, a multiple of 4
    uint8_t* pixels = nullptr;
    HDC selectedInto = nullptr;  // the memory context it is selected into
};

// Objects of every GDI service share one table of live handles.
void RegisterObject(HGDIOBJ object);
// The live object of that kind behind a handle, or null.
PlatformGdiObject* FindObject(HGDIOBJ handle, PlatformGdiObject::Kind kind);
// False while a bitmap is selected into a memory context (Windows refuses to
// delete it then).
bool MayDeleteObject(HGDIOBJ object);

}  // namespace platform::gdi
