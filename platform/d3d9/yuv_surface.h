// Off-screen plain surfaces in the FourCC video formats: planar YV12 (the Y
// plane, then the V plane and the U plane at half the pitch, each of half
// height) and packed YUY2 (Y0 U Y1 V) and UYVY (U Y0 V Y1), two pixels in
// four bytes. They are filled through their locks and read by StretchRect,
// which converts them to colour with BT.601's studio-range rule.
#pragma once

#include <cstdint>

#include "platform/d3d9.h"
#include "platform/d3d9/objects.h"
#include "platform/d3d9_testing.h"

namespace platform::d3d9 {

#define D3DFMT_YV12 MAKEFOURCC('Y', 'V', '1', '2')
#define D3DFMT_YUY2 MAKEFOURCC('Y', 'U', 'Y', '2')
#define D3DFMT_UYVY MAKEFOURCC('U', 'Y', 'V', 'Y')

bool IsYuvFormat(D3DFORMAT format);

// The pitch of the Y rows (YV12) or of the packed rows, and the rows of
// storage (YV12: the Y rows and the two chroma planes' rows at half pitch).
int YuvRowPitch(D3DFORMAT format, int width);
int YuvStorageRows(D3DFORMAT format, int height);

// What keeps a surface of that size from being made: the packed formats
// need an even width, YV12 an even width and height.
D3D9Refusal YuvSizeFault(D3DFORMAT format, UINT width, UINT height);
// What keeps a rectangle from being locked: packed rows lock whole pixel
// pairs (even left and right); YV12 locks only the whole surface, the only
// lock whose chroma planes have a defined place.
D3D9Refusal YuvLockFault(D3DFORMAT format, const RECT& area, int width, int height);
// Where the lock of that rectangle starts, from the start of the storage.
size_t YuvLockOffset(D3DFORMAT format, const RECT& area, int pitch);

// One pixel as 0xFFRRGGBB: with y = Y - 16, u = U - 128, v = V - 128,
// R = (76309 y + 104597 v + 32768) >> 16, G = (76309 y - 25675 u - 53279 v +
// 32768) >> 16, B = (76309 y + 132201 u + 32768) >> 16, each clamped to
// 0..255 (BT.601's factors times 65536, rounded).
uint32_t YuvToArgb(int y, int u, int v);
// `count` pixels of row y from column `left`, as 0xFFRRGGBB.
void DecodeYuvRow(const Surface& surface, int y, int left, int count, uint32_t* out);
uint32_t ReadYuvPixel(const Surface& surface, int x, int y);

}  // namespace platform::d3d9
