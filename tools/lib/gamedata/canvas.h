// A picture being drawn by the game-data generator: straight-alpha RGBA in
// floats, with the few shapes the game's pictures are made of. Every shape is
// a coverage function (anti-aliased by distance) blended "over" what is there,
// or added for glows. Saving goes through the library's image writers; the
// game keys pure black as transparent, so opaque pixels that would round to
// black are written as (1, 1, 1).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessel::gamedata {

struct Rgba {
    float r, g, b, a;
};

Rgba Mix(const Rgba& a, const Rgba& b, float t);
Rgba WithAlpha(const Rgba& colour, float alpha);
// Hue in degrees, saturation and value 0..1.
Rgba Hsv(float hue, float saturation, float value, float alpha = 1.0f);

class Canvas {
  public:
    Canvas(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    Rgba& at(int x, int y) { return pixels_[static_cast<size_t>(y) * width_ + x]; }
    const Rgba& at(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }

    // Paints `colour` over the pixel with `coverage` (0..1); additive adds it.
    void Blend(int x, int y, const Rgba& colour, float coverage, bool additive = false);

    // The colour function gets pixel centres in canvas coordinates.
    void Fill(const std::function<Rgba(float x, float y)>& colour);
    void FillRect(float x0, float y0, float x1, float y1, const Rgba& colour);
    void VerticalGradient(float x0, float y0, float x1, float y1, const Rgba& top,
                          const Rgba& bottom);
    void Disc(float cx, float cy, float radius, const Rgba& colour, bool additive = false);
    void Ellipse(float cx, float cy, float rx, float ry, float angleDeg, const Rgba& colour,
                 bool additive = false);
    void Ring(float cx, float cy, float radius, float thickness, const Rgba& colour,
              bool additive = false);
    // A soft light: colour x (1 - d / radius)^falloff, added.
    void Glow(float cx, float cy, float radius, const Rgba& colour, float falloff = 2.0f);
    void RoundRect(float x0, float y0, float x1, float y1, float radius, const Rgba& colour);
    void RoundRectFrame(float x0, float y0, float x1, float y1, float radius, float thickness,
                        const Rgba& colour);
    void Line(float x0, float y0, float x1, float y1, float thickness, const Rgba& colour,
              bool additive = false);
    // A filled polygon, points as x, y pairs, even-odd, anti-aliased by 4x4 samples.
    void Polygon(const std::vector<float>& points, const Rgba& colour, bool additive = false);
    // Regular star of `points` tips.
    void Star(float cx, float cy, float outer, float inner, int points, float angleDeg,
              const Rgba& colour, bool additive = false);

    // Composites `layer` over this canvas at (x, y).
    void Draw(const Canvas& layer, int x, int y, bool additive = false);
    // Separable box blur of every channel, `passes` times (three look Gaussian).
    void Blur(int radius, int passes = 3);
    // A canvas of the same size whose colour is `colour` and alpha is this
    // one's alpha blurred: the glow or shadow of what is drawn here.
    Canvas Halo(int radius, const Rgba& colour, float strength = 1.0f) const;

    // A 32-bit PNG through the library's writer; 0 or -1.
    int SavePng(const std::string& path) const;

  private:
    int width_;
    int height_;
    std::vector<Rgba> pixels_;
};

// A small deterministic generator, so every build draws the same pictures.
class Dice {
  public:
    explicit Dice(uint32_t seed) : state_(seed * 2654435761u + 1u) {
        state_ = state_ == 0 ? 1 : state_;  // the shift generator never leaves 0
    }
    uint32_t Next();
    float Unit();  // 0 <= x < 1
    float Range(float low, float high) { return low + (high - low) * Unit(); }

  private:
    uint32_t state_;
};

}  // namespace tessel::gamedata
