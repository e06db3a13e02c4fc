// DIB headers for the blit tests: the header followed by a colour table or
// three masks, in one block as the blit calls read it.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/gdi.h"

namespace dibtest {

struct DibHeader {
    std::vector<uint8_t> bytes;

    // A negative height makes a top-down DIB.
    DibHeader(int width, int height, int bitCount, DWORD compression,
              const std::vector<uint32_t>& table = {}, int clrUsed = 0)
        : bytes(sizeof(BITMAPINFOHEADER) + table.size() * 4) {
        BITMAPINFOHEADER& h = Header();
        h.biSize = sizeof(BITMAPINFOHEADER);
        h.biWidth = width;
        h.biHeight = height;
        h.biPlanes = 1;
        h.biBitCount = static_cast<WORD>(bitCount);
        h.biCompression = compression;
        h.biClrUsed = static_cast<DWORD>(clrUsed);
        if (!table.empty()) {
            std::memcpy(bytes.data() + sizeof(BITMAPINFOHEADER), table.data(), table.size() * 4);
        }
    }

    BITMAPINFOHEADER& Header() { return *reinterpret_cast<BITMAPINFOHEADER*>(bytes.data()); }
    const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(bytes.data()); }
};

}  // namespace dibtest
