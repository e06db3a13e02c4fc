// The built-in shader pack's loader on a pack of any bytes: the outer LZ block, the archive in
// it, the shader data's LZ block and the walk of its size table. A pack that loads has every
// code pointer of its table inside the shader data; it is closed again for the next input.
#include "graphics/device/shader_pack.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_target.h"

TESSEL_FUZZ_TARGET(shader_pack) {
    tessel_fuzz::ExactCopy copy(data, size);
    tessel::SetShaderPackSourceForTesting(copy.bytes.get(), static_cast<uint32_t>(size));
    if (tessel::LoadShaderPack() == 1) {
        uint32_t present = 0;
        for (int i = 0; i < tessel::kVertexShaderSlots; ++i) {
            present += tessel::VertexShaderCode(i) != nullptr ? 1 : 0;
        }
        for (int i = 0; i < tessel::kPixelShaderSlots; ++i) {
            const uint8_t* code = tessel::PixelShaderCode(i);
            present += code != nullptr ? code[0] : 0;
        }
        tessel_fuzz::sink = tessel_fuzz::sink + present;
    }
    tessel::CloseShaderPack();
    tessel::SetShaderPackSourceForTesting(nullptr, 0);
    return 0;
}
