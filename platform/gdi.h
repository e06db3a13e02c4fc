// GDI as the library's software path presents with it: device-independent
// bitmaps blitted into a window's device context, and brushes for FillRect.
// Device contexts themselves come from the window service (GetDC, BeginPaint).
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
// too. 16-, 24- and 32-bit pixels; channels narrower than 8 bits widen by bit
// replication. The destination is the window's client area; stretching takes
// the source pixel under each destination pixel's centre. They return the
// number of scan lines, 0 on failure.
int SetDIBitsToDevice(HDC dc, int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc,
                      UINT startScan, UINT scanLines, const void* bits, const BITMAPINFO* info,
                      UINT colorUse);
int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                  int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage,
                  DWORD rop);

HBRUSH CreateSolidBrush(COLORREF colour);
HGDIOBJ GetStockObject(int object);
BOOL DeleteObject(HGDIOBJ object);
// Fills the rectangle (right and bottom excluded) with the brush's colour.
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
