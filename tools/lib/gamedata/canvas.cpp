// The generator's canvas, in this order: colour helpers; blending one pixel
// (over, or added for light); the shapes, each a coverage computed from the
// distance to its edge over its bounding box (polygons by 4x4 samples); the
// separable box blur and the halo built on it; saving through the library's
// PNG writer; the dice. It does not resample, rotate or read pictures back:
// the game does that with the files.
#include "tools/lib/gamedata/canvas.h"

#include <algorithm>
#include <cmath>

#include "images/base_image.h"
#include "images/image_writer.h"

namespace tessel::gamedata {

namespace {

constexpr float kPi = 3.14159265358979f;

float Clamp01(float v) {
    return v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v;
}

// Coverage of a pixel whose centre lies `d` outside an edge (negative inside).
float EdgeCoverage(float d) {
    return Clamp01(0.5f - d);
}

struct Box {
    int x0, y0, x1, y1;  // inclusive-exclusive, clipped
};

Box Bounds(const Canvas& canvas, float x0, float y0, float x1, float y1) {
    Box box;
    box.x0 = std::max(0, static_cast<int>(std::floor(x0)));
    box.y0 = std::max(0, static_cast<int>(std::floor(y0)));
    box.x1 = std::min(canvas.width(), static_cast<int>(std::ceil(x1)) + 1);
    box.y1 = std::min(canvas.height(), static_cast<int>(std::ceil(y1)) + 1);
    return box;
}

uint8_t ToByte(float v) {
    return static_cast<uint8_t>(std::lround(Clamp01(v) * 255.0f));
}

}  // namespace

Rgba Mix(const Rgba& a, const Rgba& b, float t) {
    return Rgba{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t,
                a.a + (b.a - a.a) * t};
}

Rgba WithAlpha(const Rgba& colour, float alpha) {
    return Rgba{colour.r, colour.g, colour.b, alpha};
}

Rgba Hsv(float hue, float saturation, float value, float alpha) {
    float h = std::fmod(hue, 360.0f);
    if (h < 0.0f) {
        h += 360.0f;
    }
    h /= 60.0f;
    const int sector = static_cast<int>(h);
    const float f = h - sector;
    const float p = value * (1.0f - saturation);
    const float q = value * (1.0f - saturation * f);
    const float t = value * (1.0f - saturation * (1.0f - f));
    switch (sector) {
        case 0:
            return Rgba{value, t, p, alpha};
        case 1:
            return Rgba{q, value, p, alpha};
        case 2:
            return Rgba{p, value, t, alpha};
        case 3:
            return Rgba{p, q, value, alpha};
        case 4:
            return Rgba{t, p, value, alpha};
        default:
            return Rgba{value, p, q, alpha};
    }
}

Canvas::Canvas(int width, int height)
    : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height, Rgba{}) {}

void Canvas::Blend(int x, int y, const Rgba& colour, float coverage, bool additive) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || coverage <= 0.0f) {
        return;
    }
    Rgba& dst = at(x, y);
    const float s = Clamp01(colour.a * coverage);
    if (s <= 0.0f) {
        return;
    }
    if (additive) {
        const float a = std::min(1.0f, dst.a + s);
        const float r = dst.r * dst.a + colour.r * s;
        const float g = dst.g * dst.a + colour.g * s;
        const float b = dst.b * dst.a + colour.b * s;
        dst = Rgba{std::min(1.0f, r / a), std::min(1.0f, g / a), std::min(1.0f, b / a), a};
        return;
    }
    const float a = s + dst.a * (1.0f - s);
    const float keep = dst.a * (1.0f - s);
    dst = Rgba{(colour.r * s + dst.r * keep) / a, (colour.g * s + dst.g * keep) / a,
               (colour.b * s + dst.b * keep) / a, a};
}

void Canvas::Fill(const std::function<Rgba(float x, float y)>& colour) {
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            const Rgba c = colour(x + 0.5f, y + 0.5f);
            Blend(x, y, c, 1.0f);
        }
    }
}

void Canvas::FillRect(float x0, float y0, float x1, float y1, const Rgba& colour) {
    const Box box = Bounds(*this, x0, y0, x1, y1);
    for (int y = box.y0; y < box.y1; ++y) {
        const float cy = Clamp01(std::min(y + 1.0f, y1) - std::max(float(y), y0));
        for (int x = box.x0; x < box.x1; ++x) {
            const float cx = Clamp01(std::min(x + 1.0f, x1) - std::max(float(x), x0));
            Blend(x, y, colour, cx * cy);
        }
    }
}

void Canvas::VerticalGradient(float x0, float y0, float x1, float y1, const Rgba& top,
                              const Rgba& bottom) {
    const Box box = Bounds(*this, x0, y0, x1, y1);
    for (int y = box.y0; y < box.y1; ++y) {
        const Rgba c = Mix(top, bottom, Clamp01((y + 0.5f - y0) / std::max(1.0f, y1 - y0)));
        const float cy = Clamp01(std::min(y + 1.0f, y1) - std::max(float(y), y0));
        for (int x = box.x0; x < box.x1; ++x) {
            const float cx = Clamp01(std::min(x + 1.0f, x1) - std::max(float(x), x0));
            Blend(x, y, c, cx * cy);
        }
    }
}

void Canvas::Disc(float cx, float cy, float radius, const Rgba& colour, bool additive) {
    const Box box =
        Bounds(*this, cx - radius - 1, cy - radius - 1, cx + radius + 1, cy + radius + 1);
    for (int y = box.y0; y < box.y1; ++y) {
        for (int x = box.x0; x < box.x1; ++x) {
            const float d = std::hypot(x + 0.5f - cx, y + 0.5f - cy) - radius;
            Blend(x, y, colour, EdgeCoverage(d), additive);
        }
    }
}

void Canvas::Ellipse(float cx, float cy, float rx, float ry, float angleDeg, const Rgba& colour,
                     bool additive) {
    const float big = std::max(rx, ry) + 1;
    const float c = std::cos(angleDeg * kPi / 180.0f);
    const float s = std::sin(angleDeg * kPi / 180.0f);
    const Box box = Bounds(*this, cx - big, cy - big, cx + big, cy + big);
    for (int y = box.y0; y < box.y1; ++y) {
        for (int x = box.x0; x < box.x1; ++x) {
            const float px = x + 0.5f - cx;
            const float py = y + 0.5f - cy;
            const float u = px * c + py * s;
            const float v = -px * s + py * c;
            const float k = std::sqrt(u * u / (rx * rx) + v * v / (ry * ry));
            const float gx = u / (rx * rx);
            const float gy = v / (ry * ry);
            const float grad = std::sqrt(gx * gx + gy * gy) / std::max(k, 1e-6f);
            const float d = grad > 1e-6f ? (k - 1.0f) / grad : -big;
            Blend(x, y, colour, EdgeCoverage(d), additive);
        }
    }
}

void Canvas::Ring(float cx, float cy, float radius, float thickness, const Rgba& colour,
                  bool additive) {
    const float reach = radius + thickness;
    const Box box = Bounds(*this, cx - reach, cy - reach, cx + reach, cy + reach);
    for (int y = box.y0; y < box.y1; ++y) {
        for (int x = box.x0; x < box.x1; ++x) {
            const float d = std::fabs(std::hypot(x + 0.5f - cx, y + 0.5f - cy) - radius);
            Blend(x, y, colour, EdgeCoverage(d - thickness * 0.5f), additive);
        }
    }
}

void Canvas::Glow(float cx, float cy, float radius, const Rgba& colour, float falloff) {
    const Box box = Bounds(*this, cx - radius, cy - radius, cx + radius, cy + radius);
    for (int y = box.y0; y < box.y1; ++y) {
        for (int x = box.x0; x < box.x1; ++x) {
            const float d = std::hypot(x + 0.5f - cx, y + 0.5f - cy) / radius;
            if (d < 1.0f) {
                Blend(x, y, colour, std::pow(1.0f - d, falloff), true);
            }
        }
    }
}

namespace {

float RoundBoxDistance(float px, float py, float x0, float y0, float x1, float y1, float radius) {
    const float cx = (x0 + x1) * 0.5f;
    const float cy = (y0 + y1) * 0.5f;
    const float qx = std::fabs(px - cx) - ((x1 - x0) * 0.5f - radius);
    const float qy = std::fabs(py - cy) - ((y1 - y0) * 0.5f - radius);
    const float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
    return outside + std::min(std::max(qx, qy), 0.0f) - radius;
}

}  // namespace

void Canvas::RoundRect(float x0, float y0, float x1, float y1, float radius, const Rgba& colour) {
    const Box box = Bounds(*this, x0 - 1, y0 - 1, x1 + 1, y1 + 1);
    for (int y = box.y0; y < box.y1; ++y) {
        for (int x = box.x0; x < box.x1; ++x) {
            const float d = RoundBoxDistance(x + 0.5f, y + 0.5f, x0, y0, x1, y1, radius);
            Blend(x, y, colour, EdgeCoverage(d));
        }
    }
}

void Canvas::RoundRectFrame(float x0, float y0, float x1, float y1, float radius, float thickness,
                            const Rgba& colour) {
    const Box box = Bounds(*this, x0 - 1, y0 - 1, x1 + 1, y1 + 1);
    for (int y = box.y0; y < box.y1; ++y) {
        for (int x = box.x0; x < box.x1; ++x) {
            const float d = RoundBoxDistance(x + 0.5f, y + 0.5f, x0, y0, x1, y1, radius);
            const float inner = -d - thickness;
            Blend(x, y, colour, EdgeCoverage(d) * Clamp01(0.5f - inner));
        }
    }
}

void Canvas::Line(float x0, float y0, float x1, float y1, float thickness, const Rgba& colour,
                  bool additive) {
    const float reach = thickness + 1;
    const Box box = Bounds(*this, std::min(x0, x1) - reach, std::min(y0, y1) - reach,
                           std::max(x0, x1) + reach, std::max(y0, y1) + reach);
    const float dx = x1 - x0;
    const float dy = y1 - y0;
    const float length2 = std::max(dx * dx + dy * dy, 1e-6f);
    for (int y = box.y0; y < box.y1; ++y) {
        for (int x = box.x0; x < box.x1; ++x) {
            const float px = x + 0.5f - x0;
            const float py = y + 0.5f - y0;
            const float t = Clamp01((px * dx + py * dy) / length2);
            const float d = std::hypot(px - t * dx, py - t * dy);
            Blend(x, y, colour, EdgeCoverage(d - thickness * 0.5f), additive);
        }
    }
}

void Canvas::Polygon(const std::vector<float>& points, const Rgba& colour, bool additive) {
    const size_t n = points.size() / 2;
    if (n < 3) {
        return;
    }
    float minX = points[0], maxX = points[0], minY = points[1], maxY = points[1];
    for (size_t i = 0; i < n; ++i) {
        minX = std::min(minX, points[2 * i]);
        maxX = std::max(maxX, points[2 * i]);
        minY = std::min(minY, points[2 * i + 1]);
        maxY = std::max(maxY, points[2 * i + 1]);
    }
    auto inside = [&](float px, float py) {
        bool in = false;
        for (size_t i = 0, j = n - 1; i < n; j = i++) {
            const float xi = points[2 * i], yi = points[2 * i + 1];
            const float xj = points[2 * j], yj = points[2 * j + 1];
            if ((yi > py) != (yj > py) && px < (xj - xi) * (py - yi) / (yj - yi) + xi) {
                in = !in;
            }
        }
        return in;
    };
    const Box box = Bounds(*this, minX, minY, maxX, maxY);
    for (int y = box.y0; y < box.y1; ++y) {
        for (int x = box.x0; x < box.x1; ++x) {
            int hits = 0;
            for (int sy = 0; sy < 4; ++sy) {
                for (int sx = 0; sx < 4; ++sx) {
                    hits += inside(x + (sx + 0.5f) / 4.0f, y + (sy + 0.5f) / 4.0f) ? 1 : 0;
                }
            }
            Blend(x, y, colour, hits / 16.0f, additive);
        }
    }
}

void Canvas::Star(float cx, float cy, float outer, float inner, int points, float angleDeg,
                  const Rgba& colour, bool additive) {
    std::vector<float> shape;
    for (int i = 0; i < points * 2; ++i) {
        const float r = i % 2 == 0 ? outer : inner;
        const float a = (angleDeg - 90.0f) * kPi / 180.0f + i * kPi / points;
        shape.push_back(cx + r * std::cos(a));
        shape.push_back(cy + r * std::sin(a));
    }
    Polygon(shape, colour, additive);
}

void Canvas::Draw(const Canvas& layer, int x, int y, bool additive) {
    for (int ly = 0; ly < layer.height(); ++ly) {
        for (int lx = 0; lx < layer.width(); ++lx) {
            const Rgba& c = layer.at(lx, ly);
            if (c.a > 0.0f) {
                Blend(x + lx, y + ly, c, 1.0f, additive);
            }
        }
    }
}

namespace {

// One box pass along a line of `count` values `stride` apart.
void BoxPass(Rgba* line, int count, int stride, int radius, std::vector<Rgba>& scratch) {
    scratch.resize(count);
    for (int i = 0; i < count; ++i) {
        scratch[i] = line[static_cast<size_t>(i) * stride];
    }
    Rgba sum{};
    auto add = [&](const Rgba& c, float sign) {
        sum.r += sign * c.r;
        sum.g += sign * c.g;
        sum.b += sign * c.b;
        sum.a += sign * c.a;
    };
    for (int i = -radius; i <= radius; ++i) {
        if (i >= 0 && i < count) {
            add(scratch[i], 1.0f);
        }
    }
    const float scale = 1.0f / (2 * radius + 1);
    for (int i = 0; i < count; ++i) {
        line[static_cast<size_t>(i) * stride] =
            Rgba{sum.r * scale, sum.g * scale, sum.b * scale, sum.a * scale};
        if (i + radius + 1 < count) {
            add(scratch[i + radius + 1], 1.0f);
        }
        if (i - radius >= 0) {
            add(scratch[i - radius], -1.0f);
        }
    }
}

}  // namespace

void Canvas::Blur(int radius, int passes) {
    if (radius <= 0) {
        return;
    }
    for (Rgba& p : pixels_) {  // blur premultiplied, so clear pixels add no colour
        p = Rgba{p.r * p.a, p.g * p.a, p.b * p.a, p.a};
    }
    std::vector<Rgba> scratch;
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < height_; ++y) {
            BoxPass(&at(0, y), width_, 1, radius, scratch);
        }
        for (int x = 0; x < width_; ++x) {
            BoxPass(&at(x, 0), height_, width_, radius, scratch);
        }
    }
    for (Rgba& p : pixels_) {
        p = p.a > 1e-6f ? Rgba{p.r / p.a, p.g / p.a, p.b / p.a, p.a} : Rgba{};
    }
}

Canvas Canvas::Halo(int radius, const Rgba& colour, float strength) const {
    Canvas halo(width_, height_);
    for (size_t i = 0; i < pixels_.size(); ++i) {
        halo.pixels_[i] = Rgba{colour.r, colour.g, colour.b, pixels_[i].a};
    }
    halo.Blur(radius);
    for (Rgba& p : halo.pixels_) {
        p = Rgba{colour.r, colour.g, colour.b, Clamp01(p.a * strength * colour.a)};
    }
    return halo;
}

int Canvas::SavePng(const std::string& path) const {
    BASEIMAGE image{};
    if (CreateArgbImageBuffer(width_, height_, &image) != 0) {
        return -1;
    }
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            const Rgba& p = at(x, y);
            const uint8_t alpha = ToByte(p.a);
            uint8_t r = ToByte(p.r), g = ToByte(p.g), b = ToByte(p.b);
            if (alpha == 0) {
                r = g = b = 0;
            } else if (r == 0 && g == 0 && b == 0) {
                r = g = b = 1;  // black is the transparent key; keep drawn black visible
            }
            WriteImagePixel(&image, x, y, r, g, b, alpha);
        }
    }
    const int result = SaveImageAsPng(path.c_str(), &image, 6);
    ReleaseImageBuffer(&image);
    return result;
}

uint32_t Dice::Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
}

float Dice::Unit() {
    return (Next() >> 8) * (1.0f / 16777216.0f);
}

}  // namespace tessel::gamedata
