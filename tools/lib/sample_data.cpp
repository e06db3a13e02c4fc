#include "tools/lib/sample_data.h"

#include <iterator>
#include <random>
#include <string>

namespace tessel {
namespace {

struct Pixel {
    uint8_t b, g, r, a;
};

class Canvas {
  public:
    Canvas(int width, int height) : width_(width), height_(height), pixels_(width * height) {}

    void Set(int x, int y, Pixel p) {
        if (x >= 0 && y >= 0 && x < width_ && y < height_) {
            pixels_[y * width_ + x] = p;
        }
    }

    Pixel Get(int x, int y) const { return pixels_[y * width_ + x]; }

    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> out;
        out.reserve(pixels_.size() * 4);
        for (const Pixel& p : pixels_) {
            out.insert(out.end(), {p.b, p.g, p.r, p.a});
        }
        return out;
    }

  private:
    int width_;
    int height_;
    std::vector<Pixel> pixels_;
};

uint8_t Darker(uint8_t v) {
    return static_cast<uint8_t>(v / 2);
}

}  // namespace

std::vector<uint8_t> MakeSampleImage(int width, int height, uint32_t seed) {
    std::mt19937 random(seed);
    Canvas canvas(width, height);
    for (int y = 0; y < height; ++y) {
        const uint8_t shade = static_cast<uint8_t>(40 + 160 * y / height);
        for (int x = 0; x < width; ++x) {
            canvas.Set(x, y, Pixel{200, shade, static_cast<uint8_t>(shade / 3), 255});
        }
    }
    // A tiled floor over the lower quarter.
    Pixel tile[8][8];
    for (auto& row : tile) {
        for (Pixel& p : row) {
            const uint8_t v = static_cast<uint8_t>(60 + random() % 64);
            p = Pixel{v, static_cast<uint8_t>(v + 20), v, 255};
        }
    }
    for (int y = height * 3 / 4; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            canvas.Set(x, y, tile[y % 8][x % 8]);
        }
    }
    // Flat discs and boxes with dark outlines.
    const int shapes = 6 + width * height / 8192;
    for (int i = 0; i < shapes; ++i) {
        const int cx = static_cast<int>(random() % width);
        const int cy = static_cast<int>(random() % height);
        const int radius = 4 + static_cast<int>(random() % (width / 8 + 1));
        const Pixel fill{static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
                         static_cast<uint8_t>(random()), 255};
        const Pixel edge{Darker(fill.b), Darker(fill.g), Darker(fill.r), 255};
        const bool disc = i % 2 == 0;
        for (int y = cy - radius; y <= cy + radius; ++y) {
            for (int x = cx - radius; x <= cx + radius; ++x) {
                const int d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                const int r2 = radius * radius;
                if (disc && d2 <= r2) {
                    canvas.Set(x, y, d2 >= r2 - 2 * radius ? edge : fill);
                } else if (!disc) {
                    const bool border = y == cy - radius || y == cy + radius || x == cx - radius ||
                                        x == cx + radius;
                    canvas.Set(x, y, border ? edge : fill);
                }
            }
        }
    }
    // Sparse grain, as left by scaling or dithering.
    for (int i = 0; i < width * height / 64; ++i) {
        const int x = static_cast<int>(random() % width);
        const int y = static_cast<int>(random() % height);
        Pixel p = canvas.Get(x, y);
        p.g = static_cast<uint8_t>(p.g + 1 + random() % 4);
        canvas.Set(x, y, p);
    }
    return canvas.Bytes();
}

std::vector<uint8_t> MakeSampleText(size_t size, uint32_t seed) {
    static const char* const kWords[] = {
        "the",    "ship",    "turns",  "slowly", "towards", "a",      "wave",  "of",
        "enemy",  "bullets", "while",  "score",  "rises",   "and",    "lives", "fall",
        "under",  "bright",  "stars",  "quiet",  "engine",  "hums",   "boss",  "stage",
        "player", "shot",    "bomb",   "timer",  "left",    "right",  "speed", "frame",
        "image",  "sound",   "replay", "file",   "pattern", "spiral", "laser", "option",
    };
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < size) {
        const int words = 4 + static_cast<int>(random() % 12);
        for (int i = 0; i < words; ++i) {
            text += kWords[random() % std::size(kWords)];
            if (random() % 9 == 0) {
                text += ' ';
                text += std::to_string(random() % 1000);
            }
            text += i + 1 < words ? (random() % 7 == 0 ? ", " : " ") : ".\r\n";
        }
    }
    text.resize(size);
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> MakeRandomBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> data(size);
    for (uint8_t& b : data) {
        b = static_cast<uint8_t>(random());
    }
    return data;
}

}  // namespace tessel
