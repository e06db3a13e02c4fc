// GDI as the library's software path presents with it: device-independent
// bitmaps blitted into a window's device context, and brushes for FillRect.
// Window device contexts come from the window service (GetDC, BeginPaint);
// memory contexts with DIB sections selected into them are made here, and the
// image loader draws bitmaps of any layout into them to get 24-bit pixels.
#pragma once

#include "platform/types.h"
#include "platform/window.h"

#define RGB(r, g, b) \
    ((COLORREF)(((DWORD)(BYTE)(r)) | (((DWORD)(BYTE)(g)) << 8) | (((DWORD)(BYTE)(b)) << 16)))

#define BI_RGB 0u
#define BI_BITFIELDS 3u
#define DIB_RGB_COLORS 0u
#define SRCCOPY 0x00CC0020u

#define WHITE_BRUSH 0
#define BLACK_BRUSH 4
#define NULL_BRUSH 5

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;  // negative for a top-down bitmap
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

// With BI_BITFIELDS the red, green and blue masks follow the header as three
// DWORDs, in place of the colour table.
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

// Rows and columns of a DIB are addressed as Windows does: the source y of
// both calls counts from the bottom row of the image, for top-down bitmaps
// too. 1-, 4- and 8-bit palette pixels (BI_RGB with a colour table after the
// header), 16-bit (5-5-5 or bit fields), 24- and 32-bit pixels; channels
// narrower than 8 bits widen by bit replication. The destination is the
// window's client area or the DIB section of a memory context; stretching takes
// the source pixel under each destination pixel's centre. They return the
// number of scan lines, 0 on failure.
int SetDIBitsToDevice(HDC dc, int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc,
                      UINT startScan, UINT scanLines, const void* bits, const BITMAPINFO* info,
                      UINT colorUse);
int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                  int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage,
                  DWORD rop);

// A memory context starts with a stock 1 x 1 bitmap selected (drawing into
// it changes nothing); SelectObject of a bitmap returns the one it replaces.
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
// 24- and 32-bit BI_RGB sections; `bits` receives the zeroed pixels, rows
// top-down when biHeight is negative. Null (and *bits null) on failure.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset);
// Null when the object cannot be selected (not a bitmap, or a bitmap already
// selected into another context).
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);

HBRUSH CreateSolidBrush(COLORREF colour);
HGDIOBJ GetStockObject(int object);
BOOL DeleteObject(HGDIOBJ object);
// Fills the rectangle (right and bottom excluded) with the brush's colour.
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
