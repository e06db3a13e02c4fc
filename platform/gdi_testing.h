// Test hooks of the GDI fonts (not part of GDI): which installed face a font
// object renders with and at what size, so that a test can render the same
// glyphs with FreeType itself, and how many font objects are alive.
#pragma once

#include <string>

#include "platform/gdi.h"

namespace platform {

struct GdiFontFace {
    std::string file;
    int index = 0;       // face index inside the file
    std::string family;  // as fontconfig names it
    int pixelsPerEm = 0;
    bool emboldened = false;  // bold synthesised over a face without it
    bool oblique = false;     // italic synthesised by slanting
};

// False for a handle that is no live font.
bool GetGdiFontFace(HFONT font, GdiFontFace* face);
// Fonts made by CreateFontA and not yet deleted.
int CountGdiFonts();

}  // namespace platform
