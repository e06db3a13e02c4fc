// The font system's life: the reset at graphics start-up with its default
// font, the deletion of every font at shutdown, the default font's size, and
// the re-creation of every font with its handle kept after the device came
// back.
#include <cstring>

#include "foundation/base/charset.h"
#include "foundation/base/text.h"
#include "foundation/memory/log.h"
#include "graphics/fonts/fonts_internal.h"

namespace tessel {

namespace {

FontRecipe RecipeOf(const FontRecord& font) {
    FontRecipe recipe = {};
    CopyText(recipe.face, font.face);
    recipe.size = font.size;
    recipe.thickness = font.thickness;
    recipe.type = font.type;
    recipe.charSet = font.charSet;
    recipe.edgeSize = font.edgeSize;
    recipe.italic = font.italic;
    return recipe;
}

bool SameRecipe(const FontRecipe& a, const FontRecipe& b) {
    return CompareText(a.face, b.face) == 0 && a.type == b.type && a.size == b.size &&
           a.thickness == b.thickness && a.charSet == b.charSet && a.edgeSize == b.edgeSize &&
           a.italic == b.italic;
}

int CreateFromRecipe(const FontRecipe& recipe, int edgeSize, int slot, int check) {
    return CreateFontToHandle(recipe.face, recipe.size, recipe.thickness, recipe.type,
                              recipe.charSet, edgeSize, recipe.italic, slot, check);
}

void DeleteAllFonts() {
    for (int slot = 0; slot < kFontSlots; ++slot) {
        if (g_fonts.slots[slot] != nullptr) {
            ReleaseFontHandle(FontHandleInSlot(slot));
        }
    }
}

}  // namespace

int ResetFontState() {
    DeleteAllFonts();
    FontSettings& s = g_fontSettings;
    s = FontSettings{};
    s.recipe.size = 16;
    s.recipe.thickness = 6;
    s.recipe.type = 0;
    s.recipe.charSet = LibraryCharSet;
    s.recipe.edgeSize = 1;
    s.recipe.italic = 0;
    s.spacing = 0;
    s.defaultFont = -1;
    s.nextCheck = 0;
    InitFontSystem();
    return 0;
}

int InitFontSystem() {
    WriteLog("フォントの初期化を行います\n");
    IndentLog();
    const FontRecord* current = GetFontRecord(g_fontSettings.defaultFont);
    FontRecipe recipe = current != nullptr ? RecipeOf(*current) : g_fontSettings.recipe;
    if (current == nullptr) {
        recipe.face[0] = '\0';
    }
    DeleteAllFonts();
    g_fontSettings.defaultFont = CreateFromRecipe(recipe, recipe.edgeSize, -1, -1);
    OutdentLog();
    WriteLog("フォントの初期化は正常に終了しました\n");
    return 0;
}

// Shutdown only deletes: a default font made here just to be deleted would
// need a working device, and waits while the window is inactive.
int RebuildFontState() {
    DeleteAllFonts();
    g_fontSettings.defaultFont = -1;
    return 0;
}

int UpdateDefaultFont() {
    const FontRecord* current = GetFontRecord(g_fontSettings.defaultFont);
    if (current != nullptr && SameRecipe(RecipeOf(*current), g_fontSettings.recipe)) {
        return 0;
    }
    ReleaseFontHandle(g_fontSettings.defaultFont);
    const FontRecipe& recipe = g_fontSettings.recipe;
    const int edge = (recipe.type & kFontEdge) != 0 ? recipe.edgeSize : -1;
    g_fontSettings.defaultFont = CreateFromRecipe(recipe, edge, -1, -1);
    SetFontCharSpacing(g_fontSettings.spacing, g_fontSettings.defaultFont);
    return 0;
}

int SetDefaultFontSize(const char* /*face*/, int size, int thickness) {
    g_fontSettings.recipe.size = size == -1 ? 16 : size;
    g_fontSettings.recipe.thickness = thickness == -1 ? 6 : thickness;
    UpdateDefaultFont();
    return 0;
}

// The lost-flag pointer comes back with the font: the handle stays valid, so
// its owner must not be told that the font is gone.
int RecreateAllFonts() {
    for (int slot = 0; slot < kFontSlots; ++slot) {
        const FontRecord* font = g_fonts.slots[slot];
        if (font == nullptr) {
            continue;
        }
        const FontRecipe recipe = RecipeOf(*font);
        const int check = static_cast<int>(font->check);
        const int spacing = font->spacing;
        int* lostFlag = font->lostFlag;
        const int handle = FontHandleInSlot(slot);
        ReleaseFontHandle(handle);
        if (CreateFromRecipe(recipe, recipe.edgeSize, slot, check) != handle) {
            continue;
        }
        SetFontCharSpacing(spacing, handle);
        if (lostFlag != nullptr) {
            SetFontLostFlagPointer(handle, lostFlag);
        }
    }
    return 0;
}

}  // namespace tessel
