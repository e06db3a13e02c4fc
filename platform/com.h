// COM as far as the library's objects need it: the base interface of every
// object, class creation by class id and task memory.
#pragma once

#include <atomic>
#include <initializer_list>

#include "platform/types.h"

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

  protected:
    ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

#define CLSCTX_INPROC_SERVER 0x1u
#define CLSCTX_INPROC_HANDLER 0x2u
#define CLSCTX_LOCAL_SERVER 0x4u
#define CLSCTX_REMOTE_SERVER 0x10u
#define CLSCTX_ALL \
    (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110)

extern const IID IID_IUnknown;

// COM on the calling thread: the first call of a thread returns S_OK, each
// further one S_FALSE; every call is matched by one CoUninitialize.
HRESULT CoInitialize(LPVOID reserved);
void CoUninitialize();

HRESULT CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID iid,
                         LPVOID* object);

// Task memory: blocks that one side allocates and the other frees, such as
// the format blocks of media types. Null is ignored by CoTaskMemFree.
LPVOID CoTaskMemAlloc(SIZE_T size);
void CoTaskMemFree(LPVOID block);

inline bool IsEqualGUID(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) {
        return false;
    }
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) {
            return false;
        }
    }
    return true;
}

namespace platform {

// Makes an object of one class and hands out the interface asked for.
using ClassFactoryFunction = HRESULT (*)(REFIID iid, void** object);

// Services of the layer register their classes here; a class registered
// twice keeps the first factory.
void RegisterComClass(const CLSID& classId, ClassFactoryFunction factory);

// QueryInterface for an object that answers IUnknown and the listed
// interfaces: hands out `self` with one more reference, or E_NOINTERFACE.
HRESULT QueryFor(IUnknown* self, REFIID iid, void** object, std::initializer_list<const IID*> iids);

// The reference count of a layer object that lives until its last Release:
// `Object` derives from this, and `answers` are the interfaces it hands out
// besides IUnknown. An object with more to do at its end does it in its
// destructor; one whose answers depend on its state overrides QueryInterface.
template <class Object, class Interface, const IID*... answers>
class RefCounted : public Interface {
  public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        return QueryFor(this, iid, object, {answers...});
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) {
            delete static_cast<Object*>(this);
        }
        return left;
    }

  protected:
    RefCounted() = default;
    ~RefCounted() = default;

  private:
    std::atomic<ULONG> refs_{1};
};

}  // namespace platform
