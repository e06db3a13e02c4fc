// maketheoraclip: writes an Ogg Theora clip made in code, for trying the
// movie decoder and for its fuzz seeds.
//
//   maketheoraclip [options] output
//     -s WxH        frame size, multiples of 16 (64x48)
//     -n FRAMES     number of frames (10)
//     -r FPS        frames per second, a whole number (30)
//     -k INTERVAL   a key frame at least every INTERVAL frames (8)
//     -q QUALITY    0 to 63 (48)
//     -c 420|422|444  chroma layout (420)
//     --solid Y,U,V one flat colour instead of the numbered frames
//     --packed      several frames to a page instead of one page per frame
//     --vorbis      a silent Vorbis stream beside the pictures
//     --tone HZ     a Vorbis stream of a sine of HZ instead

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/lib/theora_clip.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: maketheoraclip [-s WxH] [-n FRAMES] [-r FPS] [-k INTERVAL] [-q QUALITY]\n"
                 "                      [-c 420|422|444] [--solid Y,U,V] [--packed] [--vorbis]\n"
                 "                      [--tone HZ]\n"
                 "                      output\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    tessel::TheoraClipOptions recipe;
    tessel::ClipPainter painter = tessel::FrameNumberPainter();
    const char* output = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "-s" && hasValue) {
            if (std::sscanf(argv[++i], "%dx%d", &recipe.width, &recipe.height) != 2) {
                return Usage();
            }
        } else if (arg == "-n" && hasValue) {
            recipe.frames = std::atoi(argv[++i]);
        } else if (arg == "-r" && hasValue) {
            recipe.fpsNumerator = static_cast<uint32_t>(std::atoi(argv[++i]));
        } else if (arg == "-k" && hasValue) {
            recipe.keyFrameInterval = std::atoi(argv[++i]);
        } else if (arg == "-q" && hasValue) {
            recipe.quality = std::atoi(argv[++i]);
        } else if (arg == "-c" && hasValue) {
            const std::string chroma = argv[++i];
            recipe.chroma = chroma == "444"   ? tessel::ClipChroma::k444
                            : chroma == "422" ? tessel::ClipChroma::k422
                                              : tessel::ClipChroma::k420;
        } else if (arg == "--solid" && hasValue) {
            int y = 0, u = 0, v = 0;
            if (std::sscanf(argv[++i], "%d,%d,%d", &y, &u, &v) != 3) {
                return Usage();
            }
            painter = tessel::SolidPainter(static_cast<uint8_t>(y), static_cast<uint8_t>(u),
                                           static_cast<uint8_t>(v));
        } else if (arg == "--packed") {
            recipe.pagePerFrame = false;
        } else if (arg == "--vorbis") {
            recipe.withVorbis = true;
        } else if (arg == "--tone" && hasValue) {
            recipe.withVorbis = true;
            recipe.toneHz = std::atof(argv[++i]);
        } else if (arg[0] != '-' && output == nullptr) {
            output = argv[i];
        } else {
            return Usage();
        }
    }
    if (output == nullptr || recipe.width % 16 != 0 || recipe.height % 16 != 0 ||
        recipe.width <= 0 || recipe.height <= 0 || recipe.frames < 1 || recipe.fpsNumerator == 0 ||
        recipe.keyFrameInterval < 1) {
        return Usage();
    }
    const std::vector<uint8_t> clip = tessel::EncodeTheoraClip(recipe, painter);
    if (clip.empty()) {
        std::fprintf(stderr, "maketheoraclip: the encoder refused these settings\n");
        return 1;
    }
    std::FILE* file = std::fopen(output, "wb");
    if (file == nullptr || std::fwrite(clip.data(), 1, clip.size(), file) != clip.size()) {
        std::fprintf(stderr, "maketheoraclip: cannot write %s\n", output);
        if (file != nullptr) {
            std::fclose(file);
        }
        return 1;
    }
    std::fclose(file);
    return 0;
}
