// The font test hooks of gdi_testing.h.
#include "platform/gdi/font_table_internal.h"
#include "platform/gdi_testing.h"

namespace platform {

bool GetGdiFontFace(HFONT font, GdiFontFace* face) {
    std::lock_guard<std::mutex> guard(gdi::FontLock());
    gdi::FontObject* object = font != nullptr ? gdi::FindFontLocked(font) : nullptr;
    if (object == nullptr || face == nullptr) {
        return false;
    }
    *face = {object->resolved.file, object->resolved.index, object->resolved.family,
             object->pixelsPerEm,   object->embolden,       object->oblique};
    return true;
}

int CountGdiFonts() {
    std::lock_guard<std::mutex> guard(gdi::FontLock());
    return gdi::CountFontsLocked();
}

}  // namespace platform
