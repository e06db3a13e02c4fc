// makeexamplemovies: writes the movie example's two clips into a folder:
// "clip.ogv", 128 x 96 Ogg Theora at 30 frames a second with a 440 Hz tone
// (our own encoder; each frame shows its number as a grid of cells over a
// colour that changes with time), and "clip.avi", 128 x 96 MPEG-4 Visual at
// 10 frames a second made by FFmpeg's encoder (a top and a bottom band whose
// colours step through a cycle).
//
//   makeexamplemovies folder
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "tests/support/media_clips.h"
#include "tools/lib/theora_clip.h"

namespace {

constexpr int kWidth = 128;
constexpr int kHeight = 96;

bool WriteTheora(const std::string& path) {
    tessel::TheoraClipOptions recipe;
    recipe.width = kWidth;
    recipe.height = kHeight;
    recipe.frames = 90;
    recipe.fpsNumerator = 30;
    recipe.keyFrameInterval = 30;
    recipe.withVorbis = true;
    recipe.toneHz = 440;
    const tessel::ClipPainter number = tessel::FrameNumberPainter();
    // The numbered cells over a background whose blue and red chroma sweep.
    const tessel::ClipPainter paint = [&](int frame, tessel::ClipPicture& picture) {
        number(frame, picture);
        for (size_t i = 0; i < picture.u.size(); ++i) {
            picture.u[i] = static_cast<uint8_t>(128 + (frame * 3) % 90 - 45);
            picture.v[i] = static_cast<uint8_t>(128 + 40 - (frame * 2) % 80);
        }
    };
    const std::vector<uint8_t> clip = tessel::EncodeTheoraClip(recipe, paint);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (clip.empty() || file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(clip.data(), 1, clip.size(), file) == clip.size();
    return std::fclose(file) == 0 && written;
}

bool WriteAvi(const std::string& path) {
    media_clips::ClipRecipe recipe;
    recipe.width = kWidth;
    recipe.height = kHeight;
    recipe.fps = 10;
    recipe.keyInterval = 10;
    for (int i = 0; i < 30; ++i) {
        const int step = (i * 255) / 29;
        recipe.tops.push_back({230, step, 40});
        recipe.bottoms.push_back({40, 255 - step, 220});
    }
    return media_clips::WriteClip(path, recipe);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: makeexamplemovies folder\n");
        return 2;
    }
    const std::string folder = argv[1];
    mkdir(folder.c_str(), 0755);
    if (!WriteTheora(folder + "/clip.ogv") || !WriteAvi(folder + "/clip.avi")) {
        std::fprintf(stderr, "makeexamplemovies: could not write the clips into %s\n",
                     folder.c_str());
        return 1;
    }
    return 0;
}
