// makeexamplepictures: writes the pictures the drawing example shows into a
// new folder, as PNG files made here in code: a shaded ball on a transparent
// ground and an opaque framed tile.
//
//   makeexamplepictures FOLDER
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "images/base_image.h"
#include "images/image_writer.h"

namespace {

constexpr int kBallSize = 64;
constexpr int kTileSize = 32;

int Clamp(double value) {
    return value < 0.0 ? 0 : value > 255.0 ? 255 : static_cast<int>(value);
}

// Lit from the top left; the edge fades out over one pixel.
void PaintBall(tessel::BASEIMAGE* image) {
    const double radius = kBallSize / 2.0 - 1.0;
    const double centre = kBallSize / 2.0;
    for (int y = 0; y < kBallSize; ++y) {
        for (int x = 0; x < kBallSize; ++x) {
            const double dx = (x + 0.5 - centre) / radius;
            const double dy = (y + 0.5 - centre) / radius;
            const double distance = std::sqrt(dx * dx + dy * dy);
            const double coverage = (1.0 - distance) * radius + 0.5;
            const int alpha = Clamp(coverage * 255.0);
            const double nz = distance < 1.0 ? std::sqrt(1.0 - distance * distance) : 0.0;
            const double light = 0.25 + 0.75 * std::fmax(0.0, (-dx - dy + nz) / std::sqrt(3.0));
            const double shine = std::pow(std::fmax(0.0, (-dx - dy + 2.0 * nz) / 2.45), 24.0);
            tessel::WriteImagePixel(image, x, y, Clamp(250 * light + 255 * shine),
                                    Clamp(140 * light + 255 * shine),
                                    Clamp(40 * light + 255 * shine), alpha);
        }
    }
}

// A checker of two blues in a light frame, so that stretching shows.
void PaintTile(tessel::BASEIMAGE* image) {
    for (int y = 0; y < kTileSize; ++y) {
        for (int x = 0; x < kTileSize; ++x) {
            const bool frame = x < 2 || y < 2 || x >= kTileSize - 2 || y >= kTileSize - 2;
            const bool dark = ((x / 8) + (y / 8)) % 2 == 0;
            const int blue = frame ? 240 : dark ? 120 : 200;
            const int green = frame ? 240 : dark ? 60 : 140;
            tessel::WriteImagePixel(image, x, y, frame ? 240 : 40, green, blue, 255);
        }
    }
}

bool Save(const std::string& path, tessel::BASEIMAGE* image) {
    const bool saved = tessel::SaveImageAsPng(path.c_str(), image, 9) == 0;
    tessel::ReleaseImageBuffer(image);
    if (!saved) {
        std::fprintf(stderr, "makeexamplepictures: cannot write %s\n", path.c_str());
    }
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: makeexamplepictures FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    mkdir(folder.c_str(), 0755);
    tessel::BASEIMAGE ball = {};
    tessel::BASEIMAGE tile = {};
    if (tessel::CreateArgbImageBuffer(kBallSize, kBallSize, &ball) != 0 ||
        tessel::CreateXrgbImageBuffer(kTileSize, kTileSize, &tile) != 0) {
        std::fprintf(stderr, "makeexamplepictures: out of memory\n");
        return 1;
    }
    PaintBall(&ball);
    PaintTile(&tile);
    const bool ballSaved = Save(folder + "/ball.png", &ball);
    const bool tileSaved = Save(folder + "/tile.png", &tile);
    return ballSaved && tileSaved ? 0 : 1;
}
