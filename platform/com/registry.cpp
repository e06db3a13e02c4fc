// COM: CoInitialize and the registry of the layer's own classes, by class
// id, behind CoCreateInstance.
#include <mutex>
#include <vector>

#include "platform/com.h"
#include "platform/com_testing.h"
#include "platform/layer_modules.h"

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace {

struct ComClass {
    CLSID classId;
    platform::ClassFactoryFunction factory;
};

std::mutex& ClassesLock() {
    static std::mutex lock;
    return lock;
}

std::vector<ComClass>& Classes() {
    static std::vector<ComClass> classes;
    return classes;
}

}  // namespace

namespace platform {

void RegisterComClass(const CLSID& classId, ClassFactoryFunction factory) {
    std::lock_guard<std::mutex> guard(ClassesLock());
    for (const ComClass& known : Classes()) {
        if (IsEqualGUID(known.classId, classId)) {
            return;
        }
    }
    Classes().push_back({classId, factory});
}

ClassFactoryFunction ReplaceComClassForTesting(const CLSID& classId, ClassFactoryFunction factory) {
    RegisterLayerModules();
    std::lock_guard<std::mutex> guard(ClassesLock());
    for (ComClass& known : Classes()) {
        if (IsEqualGUID(known.classId, classId)) {
            const ClassFactoryFunction previous = known.factory;
            known.factory = factory;
            return previous;
        }
    }
    Classes().push_back({classId, factory});
    return nullptr;
}

}  // namespace platform

namespace {

thread_local int comInitCount = 0;

}  // namespace

HRESULT CoInitialize(LPVOID reserved) {
    if (reserved != nullptr) {
        return E_INVALIDARG;
    }
    return comInitCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (comInitCount > 0) {
        --comInitCount;
    }
}

HRESULT CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID iid,
                         LPVOID* object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    platform::RegisterLayerModules();
    platform::ClassFactoryFunction factory = nullptr;
    {
        std::lock_guard<std::mutex> guard(ClassesLock());
        for (const ComClass& known : Classes()) {
            if (IsEqualGUID(known.classId, classId)) {
                factory = known.factory;
            }
        }
    }
    if (factory == nullptr) {
        return REGDB_E_CLASSNOTREG;
    }
    return factory(iid, object);
}

namespace platform {

HRESULT QueryFor(IUnknown* self, REFIID iid, void** object,
                 std::initializer_list<const IID*> iids) {
    if (object == nullptr) {
        return E_POINTER;
    }
    bool known = IsEqualGUID(iid, IID_IUnknown);
    for (const IID* candidate : iids) {
        known = known || IsEqualGUID(iid, *candidate);
    }
    if (!known) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    self->AddRef();
    *object = self;
    return S_OK;
}

}  // namespace platform
