// What the other GDI objects' calls need of fonts: font handles are checked
// ids that SelectObject and DeleteObject hand on to the font table, and a
// memory context keeps the font selected into it.
#pragma once

#include "platform/gdi.h"

namespace platform::gdi {

// True for a value shaped like a font handle, live or not; such a value is
// never an address.
bool IsFontHandle(HGDIOBJ object);
// DeleteObject of a font. A deleted font selected into a context leaves the
// context without a usable font until another is selected.
BOOL DeleteFont(HGDIOBJ font);
// SelectObject of a font: the font it replaces (the stock font at first).
HGDIOBJ SelectFont(HDC dc, HGDIOBJ font);

// The font slot of a memory context (null in it: the stock font), or null for
// a context that is not a memory context. Read and written under FontLock.
HGDIOBJ* SelectedFontOf(HDC dc);

}  // namespace platform::gdi
