// Test hooks of GDI (not part of it): which installed face a font object
// renders with and at what size, so that a test can render the same glyphs
// with FreeType itself; how many font objects are alive; and the switch of
// the DIB blits' fast rows.
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

// 1 (the default): a DIB blit whose source and destination widths agree
// writes each row's pixels as one run, and 32-bit DIBs of the standard masks
// are read four pixels at a time; 0 reads every pixel through its masks and
// writes it through the point-sampled column table, as a stretched blit does.
extern int g_dibRunCopies;

}  // namespace platform
