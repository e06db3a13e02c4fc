// The pin and media-type enumerators: the references, position and version
// check they share, and how each steps through its owner's list.
#include "platform/dshow/framework.h"
#include "platform/dshow/objects_internal.h"

namespace {

const IID& InterfaceIdOf(const IEnumPins*) {
    return IID_IEnumPins;
}

const IID& InterfaceIdOf(const IEnumMediaTypes*) {
    return IID_IEnumMediaTypes;
}

}  // namespace

// ---- shared ----------------------------------------------------------------

template <class Derived, class Interface, class Item, class Owner>
CEnumOnOwner<Derived, Interface, Item, Owner>::CEnumOnOwner(Owner* owner, const Derived* copyFrom)
    : owner_(owner) {
    platform::dshow::CountObjectMade();
    owner_->AddRef();
    position_ = copyFrom != nullptr ? copyFrom->position_ : 0;
    version_ = copyFrom != nullptr ? copyFrom->version_ : Derived::OwnerVersion(owner_);
}

template <class Derived, class Interface, class Item, class Owner>
CEnumOnOwner<Derived, Interface, Item, Owner>::~CEnumOnOwner() {
    owner_->Release();
    platform::dshow::CountObjectGone();
}

template <class Derived, class Interface, class Item, class Owner>
HRESULT CEnumOnOwner<Derived, Interface, Item, Owner>::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualGUID(iid, InterfaceIdOf(static_cast<Interface*>(this))) ||
        IsEqualGUID(iid, IID_IUnknown)) {
        return GetInterface(this, object);
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

template <class Derived, class Interface, class Item, class Owner>
ULONG CEnumOnOwner<Derived, Interface, Item, Owner>::AddRef() {
    return ++refs_;
}

template <class Derived, class Interface, class Item, class Owner>
ULONG CEnumOnOwner<Derived, Interface, Item, Owner>::Release() {
    ULONG left = --refs_;
    if (left == 0) {
        delete static_cast<Derived*>(this);
    }
    return left;
}

template <class Derived, class Interface, class Item, class Owner>
bool CEnumOnOwner<Derived, Interface, Item, Owner>::OutOfSync() {
    return version_ != Derived::OwnerVersion(owner_);
}

template <class Derived, class Interface, class Item, class Owner>
HRESULT CEnumOnOwner<Derived, Interface, Item, Owner>::Next(ULONG count, Item** items,
                                                            ULONG* fetched) {
    if (items == nullptr) {
        return E_POINTER;
    }
    if (fetched == nullptr && count > 1) {
        return E_INVALIDARG;
    }
    if (OutOfSync()) {
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    ULONG got = 0;
    while (got < count) {
        Item* item = static_cast<Derived*>(this)->FetchNext();
        if (item == nullptr) {
            break;
        }
        items[got++] = item;
    }
    if (fetched != nullptr) {
        *fetched = got;
    }
    return got == count ? S_OK : S_FALSE;
}

template <class Derived, class Interface, class Item, class Owner>
HRESULT CEnumOnOwner<Derived, Interface, Item, Owner>::Reset() {
    version_ = Derived::OwnerVersion(owner_);
    position_ = 0;
    return S_OK;
}

template <class Derived, class Interface, class Item, class Owner>
HRESULT CEnumOnOwner<Derived, Interface, Item, Owner>::Clone(Interface** copy) {
    if (copy == nullptr) {
        return E_POINTER;
    }
    if (OutOfSync()) {
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    *copy = new Derived(owner_, static_cast<Derived*>(this));
    return S_OK;
}

template class CEnumOnOwner<CEnumPins, IEnumPins, IPin, CBaseFilter>;
template class CEnumOnOwner<CEnumMediaTypes, IEnumMediaTypes, AM_MEDIA_TYPE, CBasePin>;

// ---- pins ------------------------------------------------------------------

CEnumPins::CEnumPins(CBaseFilter* filter, const CEnumPins* copyFrom)
    : CEnumOnOwner(filter, copyFrom) {}

LONG CEnumPins::OwnerVersion(CBaseFilter* filter) {
    return filter->GetPinVersion();
}

// Skips the empty places a filter may leave in its pin list.
IPin* CEnumPins::FetchNext() {
    while (position_ < owner_->GetPinCount()) {
        CBasePin* pin = owner_->GetPin(position_++);
        if (pin != nullptr) {
            pin->AddRef();
            return pin;
        }
    }
    return nullptr;
}

HRESULT CEnumPins::Skip(ULONG count) {
    if (OutOfSync()) {
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    int left = owner_->GetPinCount() - position_;
    if (static_cast<LONG>(count) > left) {
        return S_FALSE;
    }
    position_ += static_cast<int>(count);
    return S_OK;
}

// ---- media types -----------------------------------------------------------

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pin, const CEnumMediaTypes* copyFrom)
    : CEnumOnOwner(pin, copyFrom) {}

LONG CEnumMediaTypes::OwnerVersion(CBasePin* pin) {
    return pin->GetMediaTypeVersion();
}

// A copy that cannot be made ends the list without moving past the type.
AM_MEDIA_TYPE* CEnumMediaTypes::FetchNext() {
    CMediaType type;
    if (owner_->GetMediaType(position_, &type) != S_OK) {
        return nullptr;
    }
    AM_MEDIA_TYPE* copy = CreateMediaType(&type);
    if (copy == nullptr) {
        return nullptr;
    }
    ++position_;
    return copy;
}

HRESULT CEnumMediaTypes::Skip(ULONG count) {
    if (OutOfSync()) {
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    for (ULONG i = 0; i < count; ++i) {
        CMediaType type;
        if (owner_->GetMediaType(position_, &type) != S_OK) {
            return S_FALSE;
        }
        ++position_;
    }
    return S_OK;
}
