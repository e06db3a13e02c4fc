// GDI font objects: a FreeType face at the size CreateFontA asked for, kept in
// a table of checked ids. A font handle is a slot and a generation packed
// into a value that is never a valid address, so a stale or made-up handle
// is refused by the lookup and never followed.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <memory>
#include <mutex>
#include <string>

#include "platform/gdi.h"
#include "platform/gdi/font_faces_internal.h"
#include "platform/gdi/font_handles_internal.h"

namespace platform::gdi {

constexpr int kDefaultFontHeight = 16;

struct FontObject {
    FontObject() = default;
    FontObject(const FontObject&) = delete;
    FontObject& operator=(const FontObject&) = delete;
    ~FontObject() {
        if (face != nullptr) {
            FT_Done_Face(face);
        }
    }

    FT_Face face = nullptr;
    ResolvedFace resolved;
    int pixelsPerEm = 0;
    // Synthesised styles for a face that lacks them: one extra pixel of
    // stroke, or the outline slanted.
    bool embolden = false;
    bool oblique = false;
    UINT codePage = 932;  // how GetGlyphOutlineA reads its character codes
    TEXTMETRICA metrics = {};
};

struct FontRequest {
    int height;  // as CreateFontA takes it
    int weight;
    bool italic, underline, strikeOut;
    DWORD charSet;
    FaceRequest face;
};

// The face that stands in for the request, sized; null with a log line when
// no usable face is installed.
std::unique_ptr<FontObject> OpenFont(const FontRequest& request);

// One line on stderr naming why a font call refused.
void LogFontRefusal(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Guards the font table, every font object and FreeType itself.
std::mutex& FontLock();
// The live font behind a handle (null: the stock font stands for the
// context's initial font); the caller holds FontLock.
FontObject* FindFontLocked(HGDIOBJ font);
// Fonts made by CreateFontA and not deleted; the caller holds FontLock.
int CountFontsLocked();

// Runs use(FontObject&) on the font selected into dc under FontLock. False,
// with a log line naming `caller`, when dc is no memory context or its font
// was deleted.
template <typename Use>
bool WithSelectedFont(HDC dc, const char* caller, Use&& use) {
    std::lock_guard<std::mutex> guard(FontLock());
    HGDIOBJ* selected = SelectedFontOf(dc);
    if (selected == nullptr) {
        LogFontRefusal("%s: the context is not a memory context", caller);
        return false;
    }
    FontObject* font = FindFontLocked(*selected);
    if (font == nullptr) {
        LogFontRefusal("%s: the font selected into the context is deleted or unusable", caller);
        return false;
    }
    use(*font);
    return true;
}

}  // namespace platform::gdi
