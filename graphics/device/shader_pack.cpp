// The built-in shader pack (shader_pack.h): unpacking once, the code tables, shader objects
// made lazily and selected through the render-state cache, the vertex declarations.
#include "graphics/device/shader_pack.h"

#include <cstring>

#include "foundation/files/archive.h"
#include "foundation/files/lz.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "foundation/runtime/message_pump.h"
#include "graphics/batch/vertex_batch.h"
#include "graphics/device/device_state.h"
#include "graphics/state/render_state_cache.h"

namespace tessel {

// Made by the build (tools/shadergen).
extern const uint32_t kBuiltInShaderPackSize;
extern const unsigned char kBuiltInShaderPack[];

int32_t ShaderPathOn = 0;

namespace {

struct ShaderPack {
    ArchiveState archive;
    bool archiveOpen = false;
    uint8_t* image = nullptr;  // the unpacked archive
    uint8_t* data = nullptr;   // the unpacked shader data
    const uint8_t* vertexCode[kVertexShaderSlots];
    const uint8_t* pixelCode[kPixelShaderSlots];
    IDirect3DVertexShader9* vertexShaders[kVertexShaderSlots];
    IDirect3DPixelShader9* pixelShaders[kPixelShaderSlots];
    IDirect3DVertexDeclaration9* declarations[kVertexDeclarationCount];
    int32_t constantMode = 0;
    const uint8_t* testPack = nullptr;
    uint32_t testPackSize = 0;
};

ShaderPack g_pack;

const char kNotUsing[] = "プログラマブルシェーダーを使用しません\n";

uint32_t ReadU16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8);
}

// The shader data's code pointers at the running offsets of the size table. false when the
// sizes reach past the data.
bool BuildCodeTables(const uint8_t* data, uint32_t size) {
    if (size < kShaderSizeTableBytes) {
        return false;
    }
    const uint8_t* running = data + kShaderSizeTableBytes;
    const uint8_t* end = data + size;
    for (int slot = 0; slot < kVertexShaderSlots + kPixelShaderSlots; ++slot) {
        const uint32_t bytes = ReadU16(data + 2 * slot);
        const uint8_t* code = nullptr;
        if (bytes != 0) {
            if (static_cast<uint32_t>(end - running) < bytes) {
                return false;
            }
            code = running;
            running += bytes;
        }
        if (slot < kVertexShaderSlots) {
            g_pack.vertexCode[slot] = code;
        } else {
            g_pack.pixelCode[slot - kVertexShaderSlots] = code;
        }
    }
    return true;
}

void FreePackBlocks() {
    if (g_pack.archiveOpen) {
        ArchiveClose(&g_pack.archive);
        g_pack.archiveOpen = false;
    }
    FreeTracked(g_pack.image);
    FreeTracked(g_pack.data);
    g_pack.image = nullptr;
    g_pack.data = nullptr;
    std::memset(g_pack.vertexCode, 0, sizeof g_pack.vertexCode);
    std::memset(g_pack.pixelCode, 0, sizeof g_pack.pixelCode);
}

// One LZ block unpacked into a new tracked block; null when it is damaged or no memory is
// left.
uint8_t* Unpack(const uint8_t* block, uint32_t size, uint32_t* unpacked) {
    const int claimed = LzExpand(block, size, nullptr, 0);
    if (claimed <= 0) {
        return nullptr;
    }
    auto* out =
        static_cast<uint8_t*>(AllocTracked(static_cast<uint32_t>(claimed), __FILE__, __LINE__));
    if (out == nullptr) {
        return nullptr;
    }
    if (LzExpand(block, size, out, static_cast<uint32_t>(claimed)) != claimed) {
        FreeTracked(out);
        return nullptr;
    }
    *unpacked = static_cast<uint32_t>(claimed);
    return out;
}

void SetDeclarationElement(D3DVERTEXELEMENT9* e, int offset, int type, int usage, int index) {
    e->Stream = 0;
    e->Offset = static_cast<WORD>(offset);
    e->Type = static_cast<BYTE>(type);
    e->Method = D3DDECLMETHOD_DEFAULT;
    e->Usage = static_cast<BYTE>(usage);
    e->UsageIndex = static_cast<BYTE>(index);
}

int DeclarationSlot(int layout, int skin, int sets) {
    return (layout * 3 + skin) * 9 + sets;
}

}  // namespace

void SetShaderPackSourceForTesting(const uint8_t* pack, uint32_t size) {
    g_pack.testPack = pack;
    g_pack.testPackSize = size;
}

const uint8_t* VertexShaderCode(int index) {
    return index >= 0 && index < kVertexShaderSlots ? g_pack.vertexCode[index] : nullptr;
}

const uint8_t* PixelShaderCode(int index) {
    return index >= 0 && index < kPixelShaderSlots ? g_pack.pixelCode[index] : nullptr;
}

const uint8_t* ShaderDataForTesting() {
    return g_pack.data;
}

IDirect3DVertexDeclaration9* VertexDeclarationAt(int slot) {
    return slot >= 0 && slot < kVertexDeclarationCount ? g_pack.declarations[slot] : nullptr;
}

int LoadShaderPack() {
    if (g_pack.data != nullptr) {
        return 1;
    }
    ArchiveStateClear(&g_pack.archive);
    const uint8_t* pack = g_pack.testPack != nullptr ? g_pack.testPack : kBuiltInShaderPack;
    const uint32_t packSize =
        g_pack.testPack != nullptr ? g_pack.testPackSize : kBuiltInShaderPackSize;
    uint32_t imageSize = 0;
    g_pack.image = Unpack(pack, packSize, &imageSize);
    if (g_pack.image == nullptr) {
        return 0;
    }
    if (ArchiveOpenInMemory(&g_pack.archive, g_pack.image, imageSize, nullptr) != 0) {
        FreePackBlocks();
        return 0;
    }
    g_pack.archiveOpen = true;
    uint32_t offset = 0;
    uint32_t size = 0;
    if (ArchiveEntryLocation(&g_pack.archive, kShaderPackEntryName, &offset, &size) != 0) {
        FreePackBlocks();
        return 0;
    }
    uint32_t dataSize = 0;
    g_pack.data = Unpack(g_pack.image + offset, size, &dataSize);
    if (g_pack.data == nullptr || !BuildCodeTables(g_pack.data, dataSize)) {
        FreePackBlocks();
        return 0;
    }
    return 1;
}

void CloseShaderPack() {
    FreePackBlocks();
}

int CreateBuiltInShaders() {
    ReleaseBuiltInShaders();
    ShaderPathOn = 0;
    if (g_graphics.vertexShader20 == 0 || g_graphics.pixelShader20 == 0) {
        WriteLog(kNotUsing);
    } else {
        ShaderPathOn = 1;
        if (g_pack.data == nullptr && LoadShaderPack() == 0) {
            WriteLogFormat("%s\n", "シェーダーコードを展開するメモリ領域の確保に失敗しました");
            ShaderPathOn = 0;
            WriteLog(kNotUsing);
        } else {
            if (SelectBuiltInVertexShader(32774) == 0) {
                ShaderPathOn = 0;
            } else if (SelectBuiltInPixelShader(2454) == 0) {
                ShaderPathOn = 0;
                WriteLog(kNotUsing);
            }
            WriteLog(ShaderPathOn != 0 ? "プログラマブルシェーダーを使用します\n" : kNotUsing);
        }
    }
    static const float kVertexZero[4] = {0.0f, 1.0f, 0.0f, 0.0f};
    static const float kPixelZero[4] = {0.0f, 0.5f, 1.0f, 2.0f};
    SetVertexShaderConstF(0, kVertexZero, 1);
    SetPixelShaderConstF(0, kPixelZero, 1);
    // The selectors follow the states from now on; start them from the cache as it is.
    UpdateShaderSelectors();
    return 0;
}

int BuildVertexDeclarationElements(int layout, int skin, int sets,
                                   D3DVERTEXELEMENT9 out[kMaxDeclarationElements]) {
    int n = 0;
    int at = 0;
    SetDeclarationElement(&out[n++], 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
    at = 12;
    if (skin >= 1) {
        SetDeclarationElement(&out[n++], at, D3DDECLTYPE_UBYTE4, D3DDECLUSAGE_BLENDINDICES, 0);
        at += 4;
    }
    if (skin == 2) {
        SetDeclarationElement(&out[n++], at, D3DDECLTYPE_UBYTE4, D3DDECLUSAGE_BLENDINDICES, 1);
        at += 4;
    }
    for (int w = 0; w < skin; ++w) {
        SetDeclarationElement(&out[n++], at, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_BLENDWEIGHT, w);
        at += 16;
    }
    const int normals = layout == 1 ? 3 : 1;
    for (int k = 0; k < normals; ++k) {
        SetDeclarationElement(&out[n++], at, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, k);
        at += 12;
    }
    SetDeclarationElement(&out[n++], at, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0);
    SetDeclarationElement(&out[n++], at + 4, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1);
    at += 8;
    for (int s = 0; s < sets; ++s) {
        SetDeclarationElement(&out[n++], at + 16 * s, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_TEXCOORD, s);
    }
    out[n] = D3DVERTEXELEMENT9{0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0};
    return n;
}

int CreateVertexDeclarations() {
    ReleaseVertexDeclarations();
    IDirect3DDevice9* device = g_graphics.device;
    if (device == nullptr) {
        return 0;
    }
    for (int layout = 0; layout < 2; ++layout) {
        for (int skin = 0; skin < 3; ++skin) {
            for (int sets = 0; sets <= 8; ++sets) {
                D3DVERTEXELEMENT9 elements[kMaxDeclarationElements];
                BuildVertexDeclarationElements(layout, skin, sets, elements);
                IDirect3DVertexDeclaration9** slot =
                    &g_pack.declarations[DeclarationSlot(layout, skin, sets)];
                if (FAILED(device->CreateVertexDeclaration(elements, slot))) {
                    *slot = nullptr;
                }
            }
        }
    }
    return 0;
}

int SelectBuiltInVertexShader(int index) {
    ReadMillisecondClock();
    if (ShaderPathOn == 0 || g_graphics.device == nullptr || index < 0 ||
        index >= kVertexShaderSlots) {
        return 0;
    }
    IDirect3DDevice9* device = g_graphics.device;
    IDirect3DVertexShader9*& shader = g_pack.vertexShaders[index];
    if (shader == nullptr) {
        const uint8_t* code = g_pack.vertexCode[index];
        if (code == nullptr ||
            FAILED(device->CreateVertexShader(reinterpret_cast<const DWORD*>(code), &shader))) {
            shader = nullptr;
            return 0;
        }
    }
    if (shader != g_stateCache.vertexShader) {
        device->SetVertexShader(shader);
        g_stateCache.vertexShader = shader;
    }
    const int layout = (index >> 11) & 1;
    const int skin = (index / 8192) % 3;
    IDirect3DVertexDeclaration9* declaration =
        g_pack.declarations[DeclarationSlot(layout, skin, 1)];
    if (declaration != g_stateCache.declaration) {
        device->SetVertexDeclaration(declaration);
        g_stateCache.declaration = declaration;
        // A declaration replaces the vertex format on the device.
        g_stateCache.lastFvf = 0;
    }
    return 1;
}

int SelectBuiltInPixelShader(int index) {
    if (ShaderPathOn == 0 || g_graphics.device == nullptr || index < 0 ||
        index >= kPixelShaderSlots) {
        return 0;
    }
    IDirect3DDevice9* device = g_graphics.device;
    IDirect3DPixelShader9*& shader = g_pack.pixelShaders[index];
    if (shader == nullptr) {
        const uint8_t* code = g_pack.pixelCode[index];
        if (code == nullptr ||
            FAILED(device->CreatePixelShader(reinterpret_cast<const DWORD*>(code), &shader))) {
            shader = nullptr;
            return 0;
        }
    }
    if (shader != g_stateCache.pixelShader) {
        device->SetPixelShader(shader);
        g_stateCache.pixelShader = shader;
    }
    return 1;
}

namespace {

// Unbinds the shaders and forgets the cached shader and declaration, so that
// nothing about to be released stays bound or cached.
void UnbindShaders(IDirect3DDevice9* device) {
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);
    g_stateCache.vertexShader = nullptr;
    g_stateCache.declaration = nullptr;
}

template <typename Object, size_t N>
void ReleaseAll(Object* (&objects)[N]) {
    for (Object*& object : objects) {
        if (object != nullptr) {
            object->Release();
            object = nullptr;
        }
    }
}

}  // namespace

int ReleaseBuiltInShaders() {
    IDirect3DDevice9* device = g_graphics.device;
    if (device == nullptr) {
        return 0;
    }
    UnbindShaders(device);
    // The cached pixel shader goes too: a new object could come at the old one's address.
    g_stateCache.pixelShader = nullptr;
    ReleaseAll(g_pack.vertexShaders);
    ReleaseAll(g_pack.pixelShaders);
    return 0;
}

int ReleaseVertexDeclarations() {
    IDirect3DDevice9* device = g_graphics.device;
    if (device == nullptr) {
        return 0;
    }
    UnbindShaders(device);
    ReleaseAll(g_pack.declarations);
    return 0;
}

int FlushShaderConstants(int mode) {
    if (ShaderPathOn == 0 || mode == g_pack.constantMode) {
        return 0;
    }
    IDirect3DDevice9* device = g_graphics.device;
    if (mode == 0 && device != nullptr) {
        device->SetVertexShaderConstantF(0, &g_stateCache.vertexConstants[0][0],
                                         kVertexConstantCount);
        device->SetPixelShaderConstantF(0, &g_stateCache.pixelConstants[0][0], kPixelConstantCount);
    }
    g_pack.constantMode = mode;
    return 0;
}

}  // namespace tessel
