// Glyphs from FreeType into a coverage mask, then a halo, an edge and a
// gradient fill composited onto the canvas.
#include "tools/lib/gamedata/text_render.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace tessel::gamedata {

namespace {

FT_Library Library = nullptr;
FT_Face Face = nullptr;

std::string FindFontFile() {
    std::string found;
    if (FcInit() == FcFalse) {
        return found;
    }
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("IPAPGothic"));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcChar8* file = nullptr;
    if (match != nullptr && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
        found = reinterpret_cast<const char*>(file);
    }
    if (match != nullptr) {
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    FcFini();  // the generator needs fontconfig for this one look-up
    return found;
}

std::vector<char32_t> DecodeUtf8(const std::string& text) {
    std::vector<char32_t> out;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        char32_t value = extra == 0 ? c : (c & (0x3F >> extra));
        for (int k = 1; k <= extra && i + k < text.size(); ++k) {
            value = (value << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        out.push_back(value);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

void SetSize(float pixelSize) {
    FT_Set_Pixel_Sizes(Face, 0, static_cast<FT_UInt>(std::lround(pixelSize)));
}

struct Mask {
    int width = 0;
    int height = 0;
    std::vector<float> cover;
    float& at(int x, int y) { return cover[static_cast<size_t>(y) * width + x]; }
    float get(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) {
            return 0.0f;
        }
        return cover[static_cast<size_t>(y) * width + x];
    }
};

Mask Dilate(const Mask& mask, float radius) {
    Mask out = mask;
    const int r = static_cast<int>(std::ceil(radius));
    for (int y = 0; y < mask.height; ++y) {
        for (int x = 0; x < mask.width; ++x) {
            float best = 0.0f;
            for (int dy = -r; dy <= r; ++dy) {
                for (int dx = -r; dx <= r; ++dx) {
                    const float d = std::hypot(float(dx), float(dy));
                    const float weight = std::clamp(radius + 0.5f - d, 0.0f, 1.0f);
                    best = std::max(best, mask.get(x + dx, y + dy) * weight);
                }
            }
            out.at(x, y) = best;
        }
    }
    return out;
}

Canvas MaskLayer(const Mask& mask, const Rgba& top, const Rgba& bottom, int fillTop,
                 int fillBottom) {
    Canvas layer(mask.width, mask.height);
    for (int y = 0; y < mask.height; ++y) {
        const float t =
            std::clamp((y - fillTop) / float(std::max(1, fillBottom - fillTop)), 0.0f, 1.0f);
        const Rgba c = Mix(top, bottom, t);
        for (int x = 0; x < mask.width; ++x) {
            layer.at(x, y) = WithAlpha(c, c.a * mask.get(x, y));
        }
    }
    return layer;
}

}  // namespace

bool OpenTextFont() {
    if (Face != nullptr) {
        return true;
    }
    const std::string file = FindFontFile();
    if (file.empty() || FT_Init_FreeType(&Library) != 0 ||
        FT_New_Face(Library, file.c_str(), 0, &Face) != 0) {
        std::fprintf(stderr, "makegamedata: the IPA P Gothic font cannot be opened (%s)\n",
                     file.empty() ? "not found" : file.c_str());
        return false;
    }
    return true;
}

void CloseTextFont() {
    if (Face != nullptr) {
        FT_Done_Face(Face);
        Face = nullptr;
    }
    if (Library != nullptr) {
        FT_Done_FreeType(Library);
        Library = nullptr;
    }
}

float MeasureText(const std::string& utf8, const TextStyle& style) {
    SetSize(style.pixelSize);
    float width = 0.0f;
    const std::vector<char32_t> chars = DecodeUtf8(utf8);
    for (char32_t c : chars) {
        if (FT_Load_Char(Face, c, FT_LOAD_DEFAULT) == 0) {
            width += Face->glyph->advance.x / 64.0f + style.spacing;
        }
    }
    return chars.empty() ? 0.0f : width - style.spacing;
}

void DrawText(Canvas& canvas, const std::string& utf8, float x, float baseline, Align align,
              const TextStyle& style) {
    const float width = MeasureText(utf8, style);
    if (align == Align::Centre) {
        x -= width * 0.5f;
    } else if (align == Align::Right) {
        x -= width;
    }
    SetSize(style.pixelSize);
    const int ascent = static_cast<int>(Face->size->metrics.ascender >> 6);
    const int descent = static_cast<int>(-(Face->size->metrics.descender >> 6));
    const int pad = static_cast<int>(std::ceil(style.outline)) + style.glowRadius * 3 + 2;
    Mask mask;
    mask.width = static_cast<int>(std::ceil(width)) + 2 * pad + 2;
    mask.height = ascent + descent + 2 * pad;
    mask.cover.assign(static_cast<size_t>(mask.width) * mask.height, 0.0f);
    const int originX = static_cast<int>(std::floor(x)) - pad;
    const int originY = static_cast<int>(std::lround(baseline)) - ascent - pad;
    float pen = x - originX;
    for (char32_t c : DecodeUtf8(utf8)) {
        if (FT_Load_Char(Face, c, FT_LOAD_RENDER) != 0) {
            continue;
        }
        const FT_GlyphSlot glyph = Face->glyph;
        const int left = static_cast<int>(std::lround(pen)) + glyph->bitmap_left;
        const int top = pad + ascent - glyph->bitmap_top;
        for (unsigned row = 0; row < glyph->bitmap.rows; ++row) {
            for (unsigned col = 0; col < glyph->bitmap.width; ++col) {
                const int mx = left + static_cast<int>(col);
                const int my = top + static_cast<int>(row);
                if (mx < 0 || my < 0 || mx >= mask.width || my >= mask.height) {
                    continue;
                }
                const float v = glyph->bitmap.buffer[row * glyph->bitmap.pitch + col] / 255.0f;
                mask.at(mx, my) = std::max(mask.at(mx, my), v);
            }
        }
        pen += glyph->advance.x / 64.0f + style.spacing;
    }
    const int fillTop = pad + ascent - static_cast<int>(style.pixelSize * 0.8f);
    const int fillBottom = pad + ascent;
    if (style.glowRadius > 0) {
        Canvas glow = MaskLayer(mask, style.glowColour, style.glowColour, 0, 1);
        canvas.Draw(glow.Halo(style.glowRadius, style.glowColour, style.glowStrength), originX,
                    originY);
    }
    if (style.outline > 0.0f) {
        const Mask edge = Dilate(mask, style.outline);
        canvas.Draw(MaskLayer(edge, style.outlineColour, style.outlineColour, 0, 1), originX,
                    originY);
    }
    canvas.Draw(MaskLayer(mask, style.top, style.bottom, fillTop, fillBottom), originX, originY);
}

void DrawTextInBox(Canvas& canvas, const std::string& utf8, float x0, float y0, float x1, float y1,
                   Align align, const TextStyle& style) {
    SetSize(style.pixelSize);
    const float ascent = Face->size->metrics.ascender / 64.0f;
    const float descent = -Face->size->metrics.descender / 64.0f;
    const float baseline = (y0 + y1) * 0.5f + (ascent - descent) * 0.5f - 1.0f;
    const float x = align == Align::Left ? x0 : align == Align::Centre ? (x0 + x1) * 0.5f : x1;
    DrawText(canvas, utf8, x, baseline, align, style);
}

}  // namespace tessel::gamedata
