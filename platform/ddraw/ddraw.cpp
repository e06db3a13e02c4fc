// The DirectDraw object, kept for its vertical-blank wait.
#include "platform/ddraw.h"

#include "platform/d3d9/trace.h"
#include "platform/layer_modules.h"

const CLSID CLSID_DirectDraw7 = {
    0x3C305196, 0x50DB, 0x11D3, {0x9C, 0xFE, 0x00, 0xC0, 0x4F, 0xD9, 0x30, 0xC5}};
const IID IID_IDirectDraw7 = {
    0x15E65EC0, 0x3B9C, 0x11D2, {0xB9, 0x2F, 0x00, 0x60, 0x97, 0x97, 0xEA, 0x5B}};

namespace {

// The vertical blank comes from the layer's vertical-blank clock, shared
// with the Direct3D device's presentation interval.
class DirectDraw final : public platform::RefCounted<DirectDraw, IDirectDraw7, &IID_IDirectDraw7> {
  public:
    HRESULT Initialize(GUID* driver) override {
        if (initialized_) {
            return DDERR_ALREADYINITIALIZED;
        }
        initialized_ = true;
        return DD_OK;
    }

    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override {
        if (!initialized_) {
            return DDERR_NOTINITIALIZED;
        }
        bool exclusive = (flags & DDSCL_EXCLUSIVE) != 0;
        if ((flags & DDSCL_NORMAL) != 0 && exclusive) {
            return DDERR_INVALIDPARAMS;
        }
        return DD_OK;
    }

    HRESULT WaitForVerticalBlank(DWORD flags, HANDLE event) override {
        if (!initialized_) {
            return DDERR_NOTINITIALIZED;
        }
        if (flags != DDWAITVB_BLOCKBEGIN) {
            return DDERR_INVALIDPARAMS;
        }
        platform::d3d9::WaitForNextVerticalBlank();
        return DD_OK;
    }

  private:
    bool initialized_ = false;
};

HRESULT CreateDirectDraw(REFIID iid, void** object) {
    auto* directDraw = new DirectDraw();
    HRESULT result = directDraw->QueryInterface(iid, object);
    directDraw->Release();
    return result;
}

}  // namespace

namespace platform {

void RegisterDirectDrawClass() {
    RegisterComClass(CLSID_DirectDraw7, &CreateDirectDraw);
}

}  // namespace platform
