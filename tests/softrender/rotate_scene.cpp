// Rotated blit scenes drawn through the kernel and through the oracle.
#include "softrender/rotate_scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "foundation/math/matrix.h"
#include "softrender/rotate_oracle.h"

namespace tessel::kit {

RotateScene RandomRotateScene(BiasedRandom& random, Source kind, int sw, int sh, int dw, int dh) {
    RotateScene s{};
    s.blit = RandomScene(random, kind, sw, sh, dw, dh);
    s.cx = random.Between(-sw, dw + sw);
    s.cy = random.Between(-sh, dh + sh);
    s.angle = static_cast<float>(random.Between(-40000, 40000)) * 0.0002f;
    s.scale = static_cast<float>(random.Between(250, 3000)) * 0.001f;
    return s;
}

RotateScene IndexCodedScene(int sw, int sh, int dw, int dh) {
    RotateScene s{};
    BlitScene& b = s.blit;
    b.kind = Source::k32;
    b.sw = sw;
    b.sh = sh;
    b.dw = dw;
    b.dh = dh;
    b.area = RECT{0, 0, dw, dh};
    b.mode = kBlendCopy;
    b.p = 255;
    b.brightness = 0xFFFFFF;
    for (int y = 0; y < sh; ++y) {
        for (int x = 0; x < sw; ++x) {
            b.source.push_back(IndexCode(kMemImgRgb32, 0, x, y));
        }
    }
    b.dest.assign(size_t(dw) * dh, 0x11111111u);
    b.mask.assign(size_t(sw) * sh, 0x80);
    s.cx = dw / 2;
    s.cy = dh / 2;
    return s;
}

std::vector<uint32_t> DrawRotateScene(const RotateScene& r) {
    const BlitScene& s = r.blit;
    SourceImage source(s.kind, s.sw, s.sh, s.key);
    source.guarded().SetPixels(s.source);
    for (size_t i = 0; i < s.palette.size(); ++i) {
        source.SetEntry(static_cast<uint32_t>(i), s.palette[i]);
    }
    GuardedImage dest(ColourTypeOf(s.kind), s.dw, s.dh);
    dest.SetPixels(s.dest);
    GuardedImage mask(kMemImgGray8, s.sw, s.sh);
    mask.SetPixels(s.mask);
    IdentityFade();
    SoftDrawState state = DefaultSoftDrawState(s.area);
    state.blendMode = s.mode;
    state.blendParam = s.p;
    state.brightness = s.brightness;
    MemImgRotateBlit(state, dest.image(), source.image(), r.cx, r.cy, r.angle, r.scale, s.trans,
                     r.turn, s.useMask ? mask.image() : nullptr);
    EXPECT_TRUE(dest.GuardsIntact());
    EXPECT_TRUE(source.guarded().GuardsIntact());
    EXPECT_TRUE(mask.GuardsIntact());
    return dest.Pixels();
}

bool SceneWalk(const RotateScene& r, soft::RotateWalk* walk) {
    const BlitScene& s = r.blit;
    const soft::RotateFrame frame = soft::TurnSource(s.sw, s.sh, r.cx, r.cy, r.angle, r.scale);
    if (!frame.fits) {
        return false;
    }
    RECT box = soft::RotateBox(frame);
    ClipRectInPlace(&box, &s.area);
    const RECT view{0, 0, s.dw, s.dh};
    ClipRectInPlace(&box, &view);
    if (box.left == box.right || box.top == box.bottom) {
        return false;
    }
    return soft::StartWalk(frame, box, s.sw, s.sh, r.cx, r.cy, r.scale, walk);
}

std::vector<uint32_t> ExpectRotateScene(const RotateScene& r) {
    const BlitScene& s = r.blit;
    std::vector<uint32_t> out = s.dest;
    soft::RotateWalk w{};
    if (!SceneWalk(r, &w)) {
        return out;
    }
    oracle::RotatePixel in = SettingsAs<oracle::RotatePixel>(s);
    for (int64_t j = 0; j < w.rows; ++j) {
        for (int64_t i = 0; i < w.columns; ++i) {
            const uint32_t u = static_cast<uint32_t>(w.ua + j * w.uy + i * w.ux);
            const uint32_t v = static_cast<uint32_t>(w.va + j * w.vy + i * w.vx);
            if (u >= static_cast<uint32_t>(s.sw) << 18 || v >= static_cast<uint32_t>(s.sh) << 18) {
                continue;
            }
            const size_t at = size_t{v >> 18} * s.sw + (u >> 18);
            uint32_t& d = out[size_t(w.top + j) * s.dw + size_t(w.left + i)];
            const uint32_t stored = s.source[at];
            in.f = s.mask[at];  // the identity fade
            in.index = stored;
            std::optional<uint32_t> drawn;
            switch (s.kind) {
                case Source::kPal32:
                    drawn = oracle::Rotate32(in, d, s.palette[stored]);
                    break;
                case Source::k32:
                case Source::k32Alpha:
                    drawn = oracle::Rotate32(in, d, stored);
                    break;
                case Source::kPal565:
                    drawn = oracle::Rotate565(in, d, s.palette[stored] & 0xFFFF, 255);
                    break;
                case Source::k565:
                    drawn = oracle::Rotate565(in, d, stored, 255);
                    break;
                case Source::k565Alpha:
                    drawn = oracle::Rotate565(in, d, stored & 0xFFFF, (stored >> 16) & 0xFF);
                    break;
            }
            d = drawn.value_or(d);
        }
    }
    return out;
}

std::string RotateDifferences(const RotateScene& r, const std::vector<uint32_t>& got,
                              const std::vector<uint32_t>& want) {
    std::ostringstream out;
    int shown = 0;
    const int dw = r.blit.dw;
    for (size_t i = 0; i < got.size() && shown < 6; ++i) {
        if (got[i] != want[i]) {
            out << i % dw << "," << i / dw << std::hex << " got " << got[i] << " want " << want[i]
                << " dest " << r.blit.dest[i] << std::dec << "\n";
            ++shown;
        }
    }
    return out.str();
}

}  // namespace tessel::kit
