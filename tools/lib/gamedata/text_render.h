// Text for the generated pictures, rendered with FreeType from the IPA Gothic
// font that the build machine's font packages provide. Text is UTF-8.
#pragma once

#include <string>

#include "tools/lib/gamedata/canvas.h"

namespace tessel::gamedata {

struct TextStyle {
    float pixelSize = 16.0f;
    Rgba top{1, 1, 1, 1};  // fill, as a vertical gradient over the glyphs' height
    Rgba bottom{1, 1, 1, 1};
    float outline = 0.0f;  // width of a dark edge around the glyphs, 0 none
    Rgba outlineColour{0.02f, 0.02f, 0.06f, 1.0f};
    int glowRadius = 0;  // a blurred halo behind the text, 0 none
    Rgba glowColour{1, 1, 1, 1};
    float glowStrength = 1.5f;
    float spacing = 0.0f;  // extra pixels between characters
};

enum class Align { Left, Centre, Right };

// Opens the font once; false (with a message on stderr) when it cannot.
bool OpenTextFont();
void CloseTextFont();

// The text's advance width at a style.
float MeasureText(const std::string& utf8, const TextStyle& style);

// Draws the text with its baseline at `baseline`; x is the left edge, the
// centre or the right edge by `align`.
void DrawText(Canvas& canvas, const std::string& utf8, float x, float baseline, Align align,
              const TextStyle& style);

// Draws the text vertically centred in the box [x0, x1) x [y0, y1).
void DrawTextInBox(Canvas& canvas, const std::string& utf8, float x0, float y0, float x1, float y1,
                   Align align, const TextStyle& style);

}  // namespace tessel::gamedata
