// The PMD reader's entry with the input as the model file and one short
// motion of our walker served beside it, so the fuzzed bones and IK chains
// also go through a bake: frames 0 and 2 move the centre and both IK
// targets. Companions come through callbacks (the toon files are missing and
// fall back to white); a model that comes out is measured and deleted again.
#include <cstring>
#include <memory>
#include <vector>

#include "foundation/memory/log.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_target.h"
#include "fuzz/model_fuzzing.h"
#include "models/core/model_system.h"
#include "models/drawing/model_drawing.h"
#include "models/loading/model_loading.h"
#include "models/read/read_model_conversion.h"

namespace {

// The bone and morph names in code page 932: the centre, the left and
// right foot IK targets, the blink.
constexpr const char* kBoneNames[3] = {"\x83\x5A\x83\x93\x83\x5E\x81\x5B",
                                       "\x8D\xB6\x91\xAB\x82\x68\x82\x6A",
                                       "\x89\x45\x91\xAB\x82\x68\x82\x6A"};
constexpr const char* kBlink = "\x82\xDC\x82\xCE\x82\xBD\x82\xAB";

void PutU32(std::vector<uint8_t>* out, uint32_t v) {
    for (int k = 0; k < 4; ++k) {
        out->push_back(static_cast<uint8_t>(v >> (8 * k)));
    }
}

void PutFloat(std::vector<uint8_t>* out, float f) {
    uint32_t bits = 0;
    std::memcpy(&bits, &f, 4);
    PutU32(out, bits);
}

void PutText(std::vector<uint8_t>* out, const char* text, size_t size) {
    const size_t n = std::strlen(text);
    for (size_t i = 0; i < size; ++i) {
        out->push_back(i < n ? static_cast<uint8_t>(text[i]) : 0);
    }
}

// Linear curves throughout (x1 = y1, x2 = y2).
std::vector<uint8_t> ShortWalk() {
    std::vector<uint8_t> out;
    PutText(&out, "Vocaloid Motion Data 0002", 30);
    PutText(&out, "", 20);
    PutU32(&out, 6);
    for (uint32_t frame = 0; frame <= 2; frame += 2) {
        for (const char* name : kBoneNames) {
            PutText(&out, name, 15);
            PutU32(&out, frame);
            PutFloat(&out, 0.0f);
            PutFloat(&out, frame == 0 ? -0.5f : 0.25f);
            PutFloat(&out, frame == 0 ? 1.5f : -1.0f);
            const float rotation[4] = {0.0f, 0.0f, 0.0f, 1.0f};
            for (float r : rotation) {
                PutFloat(&out, r);
            }
            for (int b = 0; b < 64; ++b) {
                out.push_back(b % 16 < 8 ? 20 : 107);
            }
        }
    }
    PutU32(&out, 1);
    PutText(&out, kBlink, 15);
    PutU32(&out, 1);
    PutFloat(&out, 0.5f);
    return out;
}

int LoadCompanion(const char* name, void** image, int* size, void*) {
    static std::vector<uint8_t> walk = ShortWalk();
    if (std::strcmp(name, "input000.vmd") != 0) {
        return -1;
    }
    *image = walk.data();
    *size = static_cast<int>(walk.size());
    return 0;
}

}  // namespace

TESSEL_FUZZ_TARGET(model_pmd) {
    tessel_fuzz::StartModelFuzzing();
    const std::unique_ptr<uint8_t[]> image = tessel_fuzz::EndedImage(data, size);
    static const tessel::ModelFileCallbacks callbacks = {&LoadCompanion, nullptr, nullptr};
    const tessel::ModelLoadParams params = {
        image.get(), static_cast<int32_t>(size), "input.pmd", "input", nullptr, &callbacks};
    const int base = tessel::LoadPmdModel(&params);
    if (base == -1) {
        return 0;
    }
    const int model = tessel::FinishModelLoad("input.pmd", base);
    tessel_fuzz::MeasureAndDelete(model);
    return 0;
}
