// The DirectInput objects of versions 7 and 8, made by CoCreateInstance and
// initialised with the program's module and the version it was written for.
#include <atomic>

#include "platform/dinput.h"
#include "platform/dinput/devices_internal.h"
#include "platform/dinput_testing.h"
#include "platform/layer_modules.h"

namespace {

std::atomic<bool> version7Available{true};
std::atomic<bool> version8Available{true};

using platform::dinput::DeviceKind;

HRESULT CreateNamedDevice(const GUID& guid, bool version8, IDirectInputDevice8A** out) {
    *out = nullptr;
    if (IsEqualGUID(guid, GUID_SysKeyboard)) {
        *out = platform::dinput::CreateSystemDevice(DeviceKind::kKeyboard, version8);
        return DI_OK;
    }
    if (IsEqualGUID(guid, GUID_SysMouse)) {
        *out = platform::dinput::CreateSystemDevice(DeviceKind::kMouse, version8);
        return DI_OK;
    }
    SDL_JoystickID id = -1;
    if (!platform::dinput::PadOfInstanceGuid(guid, &id)) {
        return DIERR_DEVICENOTREG;
    }
    platform::pads::Update();
    *out = platform::dinput::CreatePadDevice(id, version8);
    return *out != nullptr ? DI_OK : DIERR_DEVICENOTREG;
}

HRESULT EnumeratePads(DWORD type, LPDIENUMDEVICESCALLBACKA callback, LPVOID reference, DWORD flags,
                      bool version8) {
    if (callback == nullptr || (flags & ~DIEDFL_ATTACHEDONLY) != 0) {
        return DIERR_INVALIDPARAM;
    }
    // Only game controllers are asked for; every pad here is attached.
    if (type != DIDEVTYPE_JOYSTICK) {
        return DIERR_INVALIDPARAM;
    }
    platform::pads::Update();
    int count = platform::pads::Count();
    for (int i = 0; i < count; ++i) {
        platform::pads::PadInfo info;
        if (!platform::pads::Info(i, &info)) {
            continue;
        }
        DIDEVICEINSTANCEA instance;
        platform::dinput::FillPadInstance(info, version8, &instance);
        if (callback(&instance, reference) == DIENUM_STOP) {
            break;
        }
    }
    return DI_OK;
}

// What the two versions share: the version check of Initialize, and making
// and listing devices once initialised.
class Core {
  public:
    explicit Core(DWORD newest) : newest_(newest) {}
    // The program's own module has no handle here, so any instance is taken.
    HRESULT Initialize(HINSTANCE, DWORD version) {
        if (version > newest_) {
            return DIERR_OLDDIRECTINPUTVERSION;
        }
        if (version < 0x0300) {
            return DIERR_INVALIDPARAM;
        }
        initialized_ = true;
        return DI_OK;
    }
    HRESULT CreateDevice(const GUID& device, IDirectInputDevice8A** out, LPUNKNOWN outer) const {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        if (!initialized_) {
            return DIERR_NOTINITIALIZED;
        }
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        return CreateNamedDevice(device, version8(), out);
    }
    HRESULT EnumDevices(DWORD type, LPDIENUMDEVICESCALLBACKA callback, LPVOID reference,
                        DWORD flags) const {
        if (!initialized_) {
            return DIERR_NOTINITIALIZED;
        }
        return EnumeratePads(type, callback, reference, flags, version8());
    }

  private:
    bool version8() const { return newest_ >= 0x0800; }

    DWORD newest_;
    bool initialized_ = false;
};

class DirectInput7 final
    : public platform::RefCounted<DirectInput7, IDirectInput7A, &IID_IDirectInput7A> {
  public:
    HRESULT Initialize(HINSTANCE instance, DWORD version) override {
        return core_.Initialize(instance, version);
    }
    HRESULT CreateDevice(const GUID& device, LPDIRECTINPUTDEVICEA* out, LPUNKNOWN outer) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        IDirectInputDevice8A* made = nullptr;
        HRESULT result = core_.CreateDevice(device, &made, outer);
        *out = made;
        return result;
    }
    HRESULT CreateDeviceEx(const GUID& device, REFIID iid, LPVOID* out, LPUNKNOWN outer) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        IDirectInputDevice8A* made = nullptr;
        HRESULT result = core_.CreateDevice(device, &made, outer);
        if (FAILED(result)) {
            return result;
        }
        result = made->QueryInterface(iid, out);
        made->Release();
        return result;
    }
    HRESULT EnumDevices(DWORD type, LPDIENUMDEVICESCALLBACKA callback, LPVOID reference,
                        DWORD flags) override {
        return core_.EnumDevices(type, callback, reference, flags);
    }

  private:
    Core core_{0x0700};
};

class DirectInput8 final
    : public platform::RefCounted<DirectInput8, IDirectInput8A, &IID_IDirectInput8A> {
  public:
    HRESULT Initialize(HINSTANCE instance, DWORD version) override {
        return core_.Initialize(instance, version);
    }
    HRESULT CreateDevice(const GUID& device, LPDIRECTINPUTDEVICE8A* out, LPUNKNOWN outer) override {
        return core_.CreateDevice(device, out, outer);
    }
    HRESULT EnumDevices(DWORD deviceClass, LPDIENUMDEVICESCALLBACKA callback, LPVOID reference,
                        DWORD flags) override {
        return core_.EnumDevices(deviceClass, callback, reference, flags);
    }

  private:
    Core core_{0x0800};
};

template <typename Object>
HRESULT Make(REFIID iid, void** object) {
    auto* made = new Object();
    HRESULT result = made->QueryInterface(iid, object);
    made->Release();
    return result;
}

HRESULT CreateDirectInput7(REFIID iid, void** object) {
    if (!version7Available) {
        return REGDB_E_CLASSNOTREG;
    }
    return Make<DirectInput7>(iid, object);
}

HRESULT CreateDirectInput8(REFIID iid, void** object) {
    if (!version8Available) {
        return REGDB_E_CLASSNOTREG;
    }
    return Make<DirectInput8>(iid, object);
}

}  // namespace

namespace platform {

void SetDirectInputAvailable(bool version7, bool version8) {
    version7Available = version7;
    version8Available = version8;
}

void RegisterDirectInputClasses() {
    RegisterComClass(CLSID_DirectInput, CreateDirectInput7);
    RegisterComClass(CLSID_DirectInput8, CreateDirectInput8);
}

}  // namespace platform
