// Ogg Theora clips made in code for the movie decoder's tests, benchmarks and
// fuzz seeds: every frame painted by a callback, encoded with libtheoraenc,
// one page or several per frame, optionally with a Vorbis stream (silence or
// a tone) interleaved.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace tessel {

enum class ClipChroma { k420, k422, k444 };

struct TheoraClipOptions {
    int width = 64;  // a multiple of 16
    int height = 48;
    int frames = 10;
    uint32_t fpsNumerator = 30;
    uint32_t fpsDenominator = 1;
    int keyFrameInterval = 8;  // a key frame at least this often
    int quality = 48;          // 0 to 63
    ClipChroma chroma = ClipChroma::k420;
    bool pagePerFrame = true;  // a page ends after every frame packet
    bool withVorbis = false;   // a second logical stream of audio:
    double toneHz = 0;         // silence, or a sine of this pitch at a quarter of full scale
    double vorbisSeconds = 0;  // the audio's length; 0: as long as the pictures
    // Painted pictures each followed by one repeat of itself, sent as an
    // empty frame packet: the file holds frames + repeated.size() frames.
    std::vector<int> repeated;
};

// One picture to fill: three planes, rows top first.
struct ClipPicture {
    int width;
    int height;
    int chromaWidth;
    int chromaHeight;
    std::vector<uint8_t> y;
    std::vector<uint8_t> u;
    std::vector<uint8_t> v;
};

using ClipPainter = std::function<void(int frame, ClipPicture& picture)>;

// The whole file; empty when the encoder refuses the settings.
std::vector<uint8_t> EncodeTheoraClip(const TheoraClipOptions& recipe, const ClipPainter& paint);
// An Ogg file holding only a Vorbis stream of `seconds` of silence.
std::vector<uint8_t> EncodeSilentVorbisOgg(double seconds);

// Painters: one flat colour; or the frame number drawn as a grid of 4 x 3
// cells (bit 0 top left, row by row), white for a 1 bit and black for a 0,
// on neutral chroma.
ClipPainter SolidPainter(uint8_t y, uint8_t u, uint8_t v);
ClipPainter FrameNumberPainter();
constexpr int kFrameNumberBits = 12;
// Reads the number back from a 32-bit B, G, R, X picture of the clip's size
// (the green channel at each cell's centre).
int ReadFrameNumber(const uint8_t* pixels, int pitch, int width, int height);

}  // namespace tessel
