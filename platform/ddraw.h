// DirectDraw 7 as the library uses it: an object made through COM, used
// only to wait for the vertical blank.
#pragma once

#include "platform/com.h"
#include "platform/types.h"

#define DD_OK S_OK
#define DDERR_ALREADYINITIALIZED ((HRESULT)0x88760005)
#define DDERR_INVALIDPARAMS E_INVALIDARG
#define DDERR_NOTINITIALIZED ((HRESULT)0x800401F0)

#define DDSCL_FULLSCREEN 0x1u
#define DDSCL_NORMAL 0x8u
#define DDSCL_EXCLUSIVE 0x10u

#define DDWAITVB_BLOCKBEGIN 0x1u

extern const CLSID CLSID_DirectDraw7;
extern const IID IID_IDirectDraw7;

// The capability record; the library only clears it, so the fields past the
// first three are kept as a block of the record's size (380 bytes).
struct DDCAPS {
    DWORD dwSize;
    DWORD dwCaps;
    DWORD dwCaps2;
    DWORD dwRest[92];
};

struct IDirectDraw7 : IUnknown {
    virtual HRESULT Initialize(GUID* driver) = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
    // Returns when the next vertical blank begins (DDWAITVB_BLOCKBEGIN).
    virtual HRESULT WaitForVerticalBlank(DWORD flags, HANDLE event) = 0;

  protected:
    ~IDirectDraw7() = default;
};
using LPDIRECTDRAW7 = IDirectDraw7*;
