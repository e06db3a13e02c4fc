// GDI as the library's software path presents with it: device-independent
// bitmaps blitted into a window's device context, and brushes for FillRect;
// and fonts whose glyphs the library renders into caches of its own.
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
// Null when the object cannot be selected (not a bitmap or font, or a bitmap
// already selected into another context). Selecting a font returns the font
// it replaces.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);

HBRUSH CreateSolidBrush(COLORREF colour);
HGDIOBJ GetStockObject(int object);
BOOL DeleteObject(HGDIOBJ object);
// Fills the rectangle (right and bottom excluded) with the brush's colour.
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);

// Fonts, for rendering glyphs into a program's own cache: faces come from
// the installed fonts (a Windows face name the system lacks is served by an
// installed face that stands in for it, and a missing face by one covering
// the character set's language, with a log line), glyphs from their outlines.
// Fonts are selected into memory contexts only; a fresh memory context holds
// a stock font, which DeleteObject leaves alone. Font handles are checked: a
// deleted or made-up one is refused. Deleting the font a context holds makes
// the context refuse font calls until another font is selected.
#define DEFAULT_CHARSET 1u
#define SHIFTJIS_CHARSET 128u
#define HANGEUL_CHARSET 129u
#define GB2312_CHARSET 134u
#define CHINESEBIG5_CHARSET 136u
#define OUT_DEFAULT_PRECIS 0u
#define CLIP_DEFAULT_PRECIS 0u
#define NONANTIALIASED_QUALITY 3u
#define FIXED_PITCH 1u

#define GGO_METRICS 0u
#define GGO_BITMAP 1u
#define GGO_GRAY4_BITMAP 5u
#define GDI_ERROR 0xFFFFFFFFu

struct TEXTMETRICA {
    LONG tmHeight;  // tmAscent + tmDescent
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    BYTE tmFirstChar;
    BYTE tmLastChar;
    BYTE tmDefaultChar;
    BYTE tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
};

// The black box is the glyph bitmap's size (0 x 0 for a glyph without ink);
// the origin is its top-left corner relative to the pen on the baseline, y
// counting upwards; the cell increment is the advance in whole pixels.
struct GLYPHMETRICS {
    UINT gmBlackBoxX;
    UINT gmBlackBoxY;
    POINT gmptGlyphOrigin;
    SHORT gmCellIncX;
    SHORT gmCellIncY;
};

struct FIXED {
    WORD fract;
    SHORT value;
};

// Only the identity transform is served.
struct MAT2 {
    FIXED eM11;
    FIXED eM12;
    FIXED eM21;
    FIXED eM22;
};

// A positive height is the cell height (tmHeight comes out equal to it), a
// negative one the em size, 0 a default of 16. Weight 0 means 400; a weight of
// 600 or more on a face without a bold member, or italic on an upright face,
// is synthesised. Width, escapement and orientation must be 0; precision and
// quality are not used. Null, with a log line, on a refusal; a missing face
// is never one.
HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                  DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCSTR faceName);
// The metrics of the font selected into a memory context.
BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics);
// One character of the selected font. `character` is a code of the font's
// character set (code page 932 for DEFAULT_CHARSET and SHIFTJIS_CHARSET): a
// single byte, or a double-byte character as lead byte x 256 + trail byte.
// GGO_BITMAP gives 1 bit a pixel, the leftmost pixel in the top bit; GGO_GRAY4_BITMAP
// a byte a pixel of level 0-16; both top row first, rows padded to 4 bytes.
// GGO_METRICS fills `metrics` only. Without a buffer (or with size 0) the
// result is the bytes the bitmap needs; with one, the bytes written, and
// GDI_ERROR when it is too small. GDI_ERROR with a log line on any refusal.
DWORD GetGlyphOutlineA(HDC dc, UINT character, UINT format, GLYPHMETRICS* metrics, DWORD bufferSize,
                       void* buffer, const MAT2* matrix);
