// The device's resources: surfaces, textures, volume textures, buffers and
// shader objects. Internal to the layer; the rasteriser reads surfaces
// through these classes.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/com.h"
#include "platform/d3d9.h"
#include "platform/d3d9/format.h"
#include "platform/d3d9/shaders/shader_program.h"
#include "platform/d3d9/trace.h"

namespace platform::d3d9 {

// Makes a vector's new elements default-initialised: for bytes, untouched.
template <typename T>
struct UntouchedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UntouchedAllocator<U>;
    };
    UntouchedAllocator() = default;
    template <typename U>
    UntouchedAllocator(const UntouchedAllocator<U>&) {}
    template <typename U>
    void construct(U* p) {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// Resource memory: a real device leaves it undefined, and so does this one.
using ResourceMemory = std::vector<uint8_t, UntouchedAllocator<uint8_t>>;

}  // namespace platform::d3d9

namespace platform {
class RasterBatch;
}

namespace platform::d3d9 {

// What a device's resources need to know after the device itself may be gone.
struct DeviceLife {
    std::atomic<bool> lost{false};
    // The device's kept draws while the device lives: whatever reads or changes a surface's
    // pixels, or frees them, replays them first (SettleDraws).
    RasterBatch* batch = nullptr;
};
using DeviceLifePtr = std::shared_ptr<DeviceLife>;

// Replays the device's kept draws, so that the pixels of every surface are as the draws so far
// leave them.
void SettleDraws(const DeviceLife* life);
inline void SettleDraws(const DeviceLifePtr& life) {
    SettleDraws(life.get());
}

enum class SurfaceKind { Plain, RenderTarget, DepthStencil, TextureLevel, BackBuffer };

class Surface final : public RefCounted<Surface, IDirect3DSurface9, &IID_IDirect3DSurface9> {
  public:
    // With an owner, the surface's references are the owner's (texture
    // levels, back buffers) and the owner deletes it.
    Surface(SurfaceKind kind, D3DFORMAT format, int width, int height, D3DPOOL pool, DWORD usage,
            bool lockable, IUnknown* owner, DeviceLifePtr life);
    ~Surface();

    ULONG AddRef() override;
    ULONG Release() override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect() override;

    SurfaceKind Kind() const { return kind_; }
    D3DFORMAT Format() const { return format_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    D3DPOOL Pool() const { return pool_; }
    DWORD Usage() const { return usage_; }
    int Pitch() const { return pitch_; }
    uint8_t* Bits() { return storage_.data(); }
    const uint8_t* Bits() const { return storage_.data(); }
    uint8_t* Row(int y) { return storage_.data() + static_cast<size_t>(y) * pitch_; }
    bool IsLocked() const { return locked_; }
    bool IsRenderTarget() const {
        return kind_ == SurfaceKind::RenderTarget || kind_ == SurfaceKind::BackBuffer ||
               (usage_ & D3DUSAGE_RENDERTARGET) != 0;
    }

    // Counts every change of the pixels, so that a reader may keep a decoded
    // copy and notice when it is stale.
    uint64_t Version() const { return version_; }
    void Touch() { ++version_; }

    // A decoded copy of a block-compressed surface (0xAARRGGBB rows), kept by the rasteriser;
    // current while DecodedVersion() equals Version().
    std::vector<uint32_t>& DecodedCopy() { return decoded_; }
    uint64_t DecodedVersion() const { return decodedVersion_; }
    void SetDecodedVersion(uint64_t version) { decodedVersion_ = version; }

    // Pixel access in 0xAARRGGBB for copies and read-back.
    uint32_t ReadArgb(int x, int y) const;
    void WriteArgb(int x, int y, uint32_t argb);

    void SetLockable(bool lockable) { lockable_ = lockable; }
    // Replays the device's kept draws before the pixels are read or written directly.
    void SettlePendingDraws() { SettleDraws(life_); }

  private:
    bool LockAllowed() const;

    SurfaceKind kind_;
    D3DFORMAT format_;
    int width_;
    int height_;
    D3DPOOL pool_;
    DWORD usage_;
    bool lockable_;
    IUnknown* owner_;
    DeviceLifePtr life_;
    int pitch_;
    ResourceMemory storage_;
    bool locked_ = false;
    bool lockedReadOnly_ = false;
    uint64_t version_ = 0;
    std::vector<uint32_t> decoded_;
    uint64_t decodedVersion_ = ~uint64_t{0};
};

class Texture final : public RefCounted<Texture, IDirect3DTexture9, &IID_IDirect3DTexture9> {
  public:
    Texture(int width, int height, int levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
            DeviceLifePtr life);
    ~Texture() = default;

    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;

    Surface* Level(int level) { return levels_[level].get(); }
    int LevelCount() const { return static_cast<int>(levels_.size()); }
    D3DFORMAT Format() const { return format_; }
    D3DPOOL Pool() const { return pool_; }
    DWORD Usage() const { return usage_; }

  private:
    DWORD usage_;
    D3DFORMAT format_;
    D3DPOOL pool_;
    std::vector<std::unique_ptr<Surface>> levels_;
};

// One level of a volume texture: slices of rows.
struct Volume {
    int width;
    int height;
    int depth;
    int rowPitch;
    int slicePitch;
    ResourceMemory bits;
    bool locked = false;
};

class VolumeTexture final
    : public RefCounted<VolumeTexture, IDirect3DVolumeTexture9, &IID_IDirect3DVolumeTexture9> {
  public:
    VolumeTexture(int width, int height, int depth, int levels, DWORD usage, D3DFORMAT format,
                  D3DPOOL pool);
    ~VolumeTexture() = default;

    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VOLUMETEXTURE; }
    DWORD GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
    HRESULT GetLevelDesc(UINT level, D3DVOLUME_DESC* desc) override;
    HRESULT LockBox(UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) override;
    HRESULT UnlockBox(UINT level) override;

    Volume& Level(int level) { return levels_[level]; }
    int LevelCount() const { return static_cast<int>(levels_.size()); }
    D3DFORMAT Format() const { return format_; }
    D3DPOOL Pool() const { return pool_; }
    uint64_t Version() const { return version_; }

  private:
    DWORD usage_;
    D3DFORMAT format_;
    D3DPOOL pool_;
    std::vector<Volume> levels_;
    uint64_t version_ = 0;
};

// Vertex and index buffers: bytes in memory.
template <class Interface, D3DRESOURCETYPE kType>
class Buffer final : public RefCounted<Buffer<Interface, kType>, Interface> {
  public:
    explicit Buffer(UINT length, DWORD usage, DWORD formatOrFvf)
        : bytes_(length), usage_(usage), format_(formatOrFvf) {}
    ~Buffer() = default;

    D3DRESOURCETYPE GetType() override { return kType; }
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override {
        Enter(kType == D3DRTYPE_VERTEXBUFFER ? "IDirect3DVertexBuffer9::Lock"
                                             : "IDirect3DIndexBuffer9::Lock");
        if (data == nullptr) {
            return Refuse(Why::NullArgument);
        }
        if (locked_) {
            return Refuse(Why::AlreadyLocked);
        }
        // In 64 bits: offset + size must not wrap into the buffer.
        uint64_t end = static_cast<uint64_t>(offset) + size;
        if (offset > bytes_.size() || end > bytes_.size()) {
            return Refuse(Why::RectOutsideSurface);
        }
        locked_ = true;
        *data = bytes_.data() + offset;
        return D3D_OK;
    }
    HRESULT Unlock() override {
        Enter(kType == D3DRTYPE_VERTEXBUFFER ? "IDirect3DVertexBuffer9::Unlock"
                                             : "IDirect3DIndexBuffer9::Unlock");
        if (!locked_) {
            return Refuse(Why::NotLocked);
        }
        locked_ = false;
        return D3D_OK;
    }

    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    DWORD Usage() const { return usage_; }
    DWORD FormatOrFvf() const { return format_; }

  private:
    std::vector<uint8_t> bytes_;
    DWORD usage_;
    DWORD format_;
    bool locked_ = false;
};
using VertexBuffer = Buffer<IDirect3DVertexBuffer9, D3DRTYPE_VERTEXBUFFER>;
using IndexBuffer = Buffer<IDirect3DIndexBuffer9, D3DRTYPE_INDEXBUFFER>;

// Shader objects and declarations keep what they were made from.
template <class Interface, class Item>
class Program final : public RefCounted<Program<Interface, Item>, Interface> {
  public:
    explicit Program(std::vector<Item> items) : items_(std::move(items)) {}
    ~Program() = default;

    const std::vector<Item>& Items() const { return items_; }

  private:
    std::vector<Item> items_;
};
// A shader keeps its tokens and the form the shader machine runs, compiled once at creation.
template <class Interface>
class ShaderObject final : public RefCounted<ShaderObject<Interface>, Interface> {
  public:
    ShaderObject(std::vector<DWORD> tokens, std::shared_ptr<const shader::ShaderProgram> program)
        : tokens_(std::move(tokens)), program_(std::move(program)) {}
    ~ShaderObject() = default;

    const std::vector<DWORD>& Items() const { return tokens_; }
    const shader::ShaderProgram& Compiled() const { return *program_; }

  private:
    std::vector<DWORD> tokens_;
    std::shared_ptr<const shader::ShaderProgram> program_;
};
using VertexShader = ShaderObject<IDirect3DVertexShader9>;
using PixelShader = ShaderObject<IDirect3DPixelShader9>;
using VertexDeclaration = Program<IDirect3DVertexDeclaration9, D3DVERTEXELEMENT9>;

// The class behind an interface pointer of ours (null stays null).
inline Surface* AsSurface(IDirect3DSurface9* surface) {
    return static_cast<Surface*>(surface);
}

}  // namespace platform::d3d9
