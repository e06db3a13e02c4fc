// The Windows types and constants that the library's code is written with.
// Sizes follow 32-bit Windows for every integer that the library stores or
// serialises (DWORD, LONG, UINT and BOOL are 32-bit); pointer-sized types stay
// pointer-sized because we run 64-bit.
#pragma once

#include <cstddef>
#include <cstdint>

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using ULONG = uint32_t;
using LONG = int32_t;
using INT = int32_t;
using SHORT = int16_t;
using USHORT = uint16_t;
using BOOL = int32_t;
using CHAR = char;
using UCHAR = unsigned char;
using WCHAR = char16_t;  // UTF-16 code unit, as on Windows
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using DWORDLONG = uint64_t;
using FLOAT = float;

using SIZE_T = size_t;
using UINT_PTR = uintptr_t;
using LONG_PTR = intptr_t;
using ULONG_PTR = uintptr_t;
using DWORD_PTR = uintptr_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using HRESULT = int32_t;

using LPVOID = void*;
using LPCVOID = const void*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;
using LPLONG = LONG*;

// Kernel handles and windows are checked ids (a slot and its generation),
// never addresses: a closed or destroyed one is refused, not followed.
using HANDLE = void*;
using HMODULE = struct PlatformModule*;
using HINSTANCE = HMODULE;
using FARPROC = void (*)();

// User-interface and GDI handles: opaque to their users. An HWND is an id
// (PlatformWindow is never defined); the others point to the layer's records.
using HWND = struct PlatformWindow*;
using HDC = struct PlatformDC*;
using HGDIOBJ = struct PlatformGdiObject*;
using HBITMAP = HGDIOBJ;
using HBRUSH = HGDIOBJ;
using HFONT = HGDIOBJ;
using HPEN = HGDIOBJ;
using HICON = struct PlatformIcon*;
using HCURSOR = HICON;
using HMENU = struct PlatformMenu*;
using HMONITOR = struct PlatformMonitor*;

#define TRUE 1
#define FALSE 0

#define MAX_PATH 260
#define INFINITE 0xFFFFFFFFu
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))

#define LOWORD(l) (static_cast<WORD>(static_cast<DWORD_PTR>(l) & 0xFFFF))
#define HIWORD(l) (static_cast<WORD>((static_cast<DWORD_PTR>(l) >> 16) & 0xFFFF))
#define LOBYTE(w) (static_cast<BYTE>(static_cast<DWORD_PTR>(w) & 0xFF))
#define HIBYTE(w) (static_cast<BYTE>((static_cast<DWORD_PTR>(w) >> 8) & 0xFF))
#define MAKELONG(a, b)                                              \
    (static_cast<LONG>((static_cast<DWORD>(static_cast<WORD>(a))) | \
                       (static_cast<DWORD>(static_cast<WORD>(b)) << 16)))

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_FAIL ((HRESULT)0x80004005)
#define E_NOTIMPL ((HRESULT)0x80004001)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)
#define E_INVALIDARG ((HRESULT)0x80070057)
#define E_POINTER ((HRESULT)0x80004003)
#define E_NOINTERFACE ((HRESULT)0x80004002)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    };
    LONGLONG QuadPart;
};

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
using LPRECT = RECT*;

struct POINT {
    LONG x;
    LONG y;
};

struct SIZE {
    LONG cx;
    LONG cy;
};

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
