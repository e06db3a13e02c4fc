// DIB headers for the blit tests: the header followed by a colour table or
// three masks, in one block as the blit calls read it.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gdi.h"

namespace dibtest {

struct DibHeader {
    std::vector<uint8_t> bytes;

    // A negative height makes a top-down DIB.
    DibHeader(int width, int height, int bitCount, DWORD compression,
              const std::vector<uint32_t>& table = {}, int clrUsed = 0)
        : bytes(sizeof(BITMAPINFOHEADER)) {
        BITMAPINFOHEADER& h = Header();
        h.biSize = sizeof(BITMAPINFOHEADER);
        h.biWidth = width;
        h.biHeight = height;
        h.biPlanes = 1;
        h.biBitCount = static_cast<WORD>(bitCount);
        h.biCompression = compression;
        h.biClrUsed = static_cast<DWORD>(clrUsed);
        // Appended byte by byte: no copy into the block past the header that
        // an optimiser could take for a write beyond it.
        for (uint32_t entry : table) {
            for (int shift = 0; shift < 32; shift += 8) {
                bytes.push_back(static_cast<uint8_t>(entry >> shift));
            }
        }
    }

    BITMAPINFOHEADER& Header() { return *reinterpret_cast<BITMAPINFOHEADER*>(bytes.data()); }
    const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(bytes.data()); }
};

}  // namespace dibtest
