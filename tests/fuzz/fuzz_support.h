// What the fuzz targets share: the input copied into a block of its exact
// size (so a read one byte past it leaves the heap block), the use of a decoded
// image down to its last byte, and a scratch file for loaders that read files.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "foundation/files/streams.h"
#include "foundation/memory/memory.h"
#include "images/base_image.h"
#include "images/dxt.h"
#include "images/image_loader.h"
#include "platform/kernel/files.h"

namespace tessel_fuzz {

// Pixel reads and conversions stop here; the bytes are still all read.
constexpr uint64_t kPixelsReadOneByOne = 1u << 20;
constexpr uint64_t kPixelsConverted = 1u << 22;

// Accumulates everything a target reads, so that no read is optimised away.
inline volatile uint32_t sink = 0;

struct ExactCopy {
    ExactCopy(const uint8_t* data, size_t size)
        : bytes(new uint8_t[size > 0 ? size : 1]), size(size) {
        if (size > 0) {
            std::memcpy(bytes.get(), data, size);
        }
    }
    std::unique_ptr<uint8_t[]> bytes;
    size_t size;
};

// Eight bytes a step, so that reading a large image costs no more than the
// memory traffic.
inline uint32_t SumBytes(const uint8_t* bytes, uint64_t count) {
    uint64_t sum = 0;
    uint64_t i = 0;
    for (; i + 8 <= count; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        sum += word;
    }
    for (; i < count; ++i) {
        sum += bytes[i];
    }
    return static_cast<uint32_t>(sum ^ (sum >> 32));
}

inline uint64_t LevelSide(int32_t side, int level) {
    uint64_t value = static_cast<uint64_t>(side) >> level;
    return value > 0 ? value : 1;
}

// The bytes every stored level takes: level 0 at the image's pitch, smaller
// levels packed, block data by 4x4 blocks.
inline uint64_t StoredBytes(const tessel::BASEIMAGE& image) {
    const uint32_t kind = image.format.compressedKind;
    const int levels = image.mipCount > 1 ? image.mipCount : 1;
    uint64_t total = 0;
    for (int level = 0; level < levels && level < 32; ++level) {
        uint64_t w = LevelSide(image.width, level);
        uint64_t h = LevelSide(image.height, level);
        if (kind != tessel::kPixelsPlain) {
            total += ((w + 3) / 4) * ((h + 3) / 4) * (kind == tessel::kPixelsDxt1 ? 8 : 16);
        } else if (level == 0) {
            total += static_cast<uint64_t>(image.pitch) * h;
        } else {
            total += w * image.format.bytes * h;
        }
    }
    return total;
}

// Reads what a loader returned the way its users do: every stored byte, the
// pixels one by one through the image's format (a small image whole, a large
// one on a grid), and the conversion to a 24-bit DIB.
inline void UseImage(tessel::BASEIMAGE* image) {
    if (image->pixels == nullptr || image->width <= 0 || image->height <= 0) {
        return;
    }
    sink = sink + SumBytes(image->pixels, StoredBytes(*image));
    if (tessel::DecodeDxtImage(image) != 0) {
        return;
    }
    const uint64_t pixels = uint64_t(image->width) * uint64_t(image->height);
    const int step = pixels <= kPixelsReadOneByOne ? 1 : 16;
    for (int y = 0; y < image->height; y += step) {
        for (int x = 0; x < image->width; x += step) {
            sink = sink + tessel::ReadImagePixelPacked(image, x, y);
        }
    }
    if (pixels > kPixelsConverted) {
        return;
    }
    BITMAPINFO info;
    void* dib = nullptr;
    if (tessel::ImageBufferToDib(image, &info, &dib, 1, 1) == 1) {
        sink = sink + static_cast<const uint8_t*>(dib)[0];
        tessel::FreeTracked(dib);
    }
}

// One loader over the bytes in memory; what it takes is used and released.
inline int RunImageLoader(tessel::ImageLoader loader, const uint8_t* data, size_t size) {
    ExactCopy copy(data, size);
    tessel::MemoryStream* memory =
        tessel::OpenMemoryStream(copy.bytes.get(), static_cast<uint32_t>(size));
    if (memory == nullptr) {
        return 0;
    }
    tessel::InputStream stream;
    tessel::InitInputStream(&stream, tessel::GetMemoryStreamOps(), tessel::StreamHandleOf(memory));
    tessel::BASEIMAGE image = {};
    if (loader(&stream, &image) == 0) {
        UseImage(&image);
        tessel::ReleaseImageBuffer(&image);
    }
    tessel::CloseMemoryStream(tessel::StreamHandleOf(memory));
    return 0;
}

// A file of this process that each input is written to, for loaders that
// take a path; named in the platform's Windows form.
class ScratchFile {
  public:
    ScratchFile() {
        const char* dir = std::getenv("TMPDIR");
        std::string pattern = std::string(dir != nullptr ? dir : "/tmp") + "/tessel_fuzz_XXXXXX";
        fd_ = mkstemp(pattern.data());
        linux_ = pattern;
        windows_ = platform::WindowsPathFromLinux(linux_);
    }
    ~ScratchFile() {
        if (fd_ >= 0) {
            close(fd_);
            unlink(linux_.c_str());
        }
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // The path holding exactly these bytes, or null when it cannot be written.
    const char* Hold(const uint8_t* data, size_t size) {
        if (fd_ < 0 || ftruncate(fd_, 0) != 0) {
            return nullptr;
        }
        size_t done = 0;
        while (done < size) {
            ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0) {
                return nullptr;
            }
            done += static_cast<size_t>(n);
        }
        return windows_.c_str();
    }

  private:
    int fd_ = -1;
    std::string linux_;
    std::string windows_;
};

}  // namespace tessel_fuzz
