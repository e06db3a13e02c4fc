// The BMP loader: 8-bit run-length data, 4-bit pixels (plain and run-length)
// and plain 8-, 24- and 32-bit pixels are decoded here; every other layout is
// drawn through GDI into a 24-bit DIB section.
// Not here: writing BMP files (bmp_writer.cpp), other formats.
#include <cstddef>
#include <cstring>

#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "images/image_loader.h"
#include "images/stream_reading.h"

namespace tessel {

namespace {

// Sides beyond this are taken for damage rather than pictures.
constexpr int64_t kMaxSide = 65536;
constexpr int64_t kMaxBlock = 0x7FFFFFFF;
constexpr uint32_t kInfoBlockSize = sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD);

struct BmpLayout {
    uint32_t headerSize;
    int32_t width;
    int32_t height;  // negative: rows stored top-down
    int32_t rows;    // |height|
    uint16_t bits;
    uint32_t compression;
    int64_t rowLength;  // bytes per stored row, a multiple of 4
    uint32_t pixelOffset;
};

// The pixel data of the file: from the pixel offset to the stream's end.
struct PixelData {
    uint8_t* bytes;
    uint32_t size;
};

// The layouts this loader or GDI can draw; anything else is refused before
// a byte is allocated for it.
bool IsKnownLayout(const BmpLayout& layout) {
    switch (layout.compression) {
        case 0:
            return layout.bits == 1 || layout.bits == 4 || layout.bits == 8 || layout.bits == 16 ||
                   layout.bits == 24 || layout.bits == 32;
        case 1:
            return layout.bits == 8;
        case 2:
            return layout.bits == 4;
        case 3:
            return layout.bits == 16 || layout.bits == 32;
        default:
            return false;
    }
}

bool ParseLayout(const uint8_t* fileHeader, const uint8_t* info, BmpLayout* layout) {
    layout->headerSize = LoadLe32(info);
    layout->width = static_cast<int32_t>(LoadLe32(info + 4));
    layout->height = static_cast<int32_t>(LoadLe32(info + 8));
    layout->bits = LoadLe16(info + 14);
    layout->compression = LoadLe32(info + 16);
    layout->pixelOffset = LoadLe32(fileHeader + 10);
    if (layout->headerSize < 40 || layout->width <= 0 || layout->width > kMaxSide ||
        layout->height == 0 || layout->height < -kMaxSide || layout->height > kMaxSide) {
        return false;
    }
    layout->rows = layout->height < 0 ? -layout->height : layout->height;
    if (!IsKnownLayout(*layout) || !IsWithinImageBudget(layout->width, layout->rows)) {
        return false;
    }
    layout->rowLength = ((int64_t{layout->bits} * layout->width + 7) / 8 + 3) & ~int64_t{3};
    return layout->rowLength * layout->rows <= kMaxBlock;
}

// The header as GDI reads it (size 40 whatever the file's version), then the
// palette or the three masks.
BITMAPINFO* ReadInfoBlock(InputStream* stream, const uint8_t* info, const BmpLayout& layout) {
    auto* block = static_cast<BITMAPINFO*>(AllocTrackedZeroed(kInfoBlockSize, __FILE__, __LINE__));
    if (block == nullptr) {
        return nullptr;
    }
    BITMAPINFOHEADER& header = block->bmiHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = layout.width;
    header.biHeight = layout.height;
    header.biPlanes = 1;
    header.biBitCount = layout.bits;
    header.biCompression = layout.compression;
    header.biSizeImage = LoadLe32(info + 20);
    header.biClrUsed = LoadLe32(info + 32);
    header.biClrImportant = LoadLe32(info + 36);
    uint8_t* table = reinterpret_cast<uint8_t*>(block) + sizeof(BITMAPINFOHEADER);
    if (layout.bits <= 8) {
        // The palette follows the header, whichever version it is. Its
        // 2^bits entries are read whatever the colour count says; a file
        // that ends sooner leaves the rest black.
        stream->ops.seek(stream->handle, static_cast<int32_t>(14 + layout.headerSize), 0);
        stream->ops.read(table, 1, (1u << layout.bits) * 4, stream->handle);
    } else if (layout.bits == 16 || layout.bits == 32 || layout.compression == 3) {
        // Bit-field masks sit right after the 40 bytes of the header in
        // every version of it.
        std::memcpy(table, info + 40, 4);
        stream->ops.seek(stream->handle, 14 + 44, 0);
        stream->ops.read(table + 4, 1, 8, stream->handle);
    }
    return block;
}

bool ReadPixelData(InputStream* stream, const BmpLayout& layout, PixelData* data) {
    int32_t length = StreamLength(stream);
    if (length < 0 || layout.pixelOffset > static_cast<uint32_t>(length)) {
        return false;
    }
    data->size = static_cast<uint32_t>(length) - layout.pixelOffset;
    data->bytes = static_cast<uint8_t*>(AllocTracked(data->size + 1, __FILE__, __LINE__));
    if (data->bytes == nullptr) {
        return false;
    }
    if (stream->ops.seek(stream->handle, static_cast<int32_t>(layout.pixelOffset), 0) != 0 ||
        !ReadExactly(stream, data->bytes, data->size)) {
        FreeTracked(data->bytes);
        data->bytes = nullptr;
        return false;
    }
    return true;
}

// Writes decoded pixels into rows of one byte per pixel; everything that would
// land outside the image is dropped.
class RunLengthTarget {
  public:
    RunLengthTarget(uint8_t* pixels, int64_t pitch, const BmpLayout& layout)
        : pixels_(pixels),
          pitch_(pitch),
          width_(layout.width),
          rows_(layout.rows),
          bottomUp_(layout.height > 0) {}

    bool Done() const { return line_ >= rows_; }
    void Put(uint8_t value) {
        if (x_ < width_ && line_ < rows_) {
            int64_t row = bottomUp_ ? rows_ - 1 - line_ : line_;
            pixels_[row * pitch_ + x_] = value;
            ++x_;
        }
    }
    void EndLine() {
        x_ = 0;
        ++line_;
    }
    void Move(int dx, int dy) {
        x_ = x_ + dx < width_ ? x_ + dx : width_;
        line_ = line_ + dy < rows_ ? line_ + dy : rows_;
    }

  private:
    uint8_t* pixels_;
    int64_t pitch_;
    int32_t width_;
    int32_t rows_;
    bool bottomUp_;
    int32_t x_ = 0;
    int32_t line_ = 0;
};

// One pixel of a run or of a literal: a byte (8-bit data) or a nibble, high
// nibble first (4-bit data).
uint8_t RunPixel(uint8_t value, int index, bool nibbles) {
    if (!nibbles) {
        return value;
    }
    return (index & 1) ? (value & 0x0F) : (value >> 4);
}

// The run-length rules of 8- and 4-bit bitmaps; decoding stops at the image's
// end, at the end-of-bitmap code or where the data runs out.
void DecodeRunLength(const PixelData& data, bool nibbles, RunLengthTarget* target) {
    uint32_t pos = 0;
    while (pos + 2 <= data.size && !target->Done()) {
        uint8_t count = data.bytes[pos];
        uint8_t value = data.bytes[pos + 1];
        pos += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i) {
                target->Put(RunPixel(value, i, nibbles));
            }
            continue;
        }
        if (value == 0) {
            target->EndLine();
        } else if (value == 1) {
            return;
        } else if (value == 2) {
            if (pos + 2 > data.size) {
                return;
            }
            target->Move(data.bytes[pos], data.bytes[pos + 1]);
            pos += 2;
        } else {
            uint32_t bytes = nibbles ? (value + 1u) / 2 : value;
            for (int i = 0; i < value; ++i) {
                uint32_t at = pos + (nibbles ? static_cast<uint32_t>(i) / 2 : i);
                if (at >= data.size) {
                    return;
                }
                target->Put(RunPixel(data.bytes[at], i, nibbles));
            }
            pos += bytes + (bytes & 1);
        }
    }
}

void TakePalette(const BITMAPINFO* info, PixelFormatDesc* format) {
    SetPixelFormatPal8(format);
    const auto* table = reinterpret_cast<const uint8_t*>(info) + sizeof(BITMAPINFOHEADER);
    for (int i = 0; i < 256; ++i) {
        format->palette[i] = PaletteEntry{table[i * 4], table[i * 4 + 1], table[i * 4 + 2], 0};
    }
}

void Finish(BASEIMAGE* image, const BmpLayout& layout, uint8_t* pixels, int64_t pitch) {
    image->width = layout.width;
    image->height = layout.rows;
    image->pitch = static_cast<int32_t>(pitch);
    image->pixels = pixels;
}

int DecodeRunLengthImage(const BmpLayout& layout, const PixelData& data, const BITMAPINFO* info,
                         BASEIMAGE* image) {
    bool nibbles = layout.compression == 2;
    int64_t pitch = nibbles ? (int64_t{layout.width} + 3) & ~int64_t{3} : layout.rowLength;
    auto* pixels = static_cast<uint8_t*>(
        AllocTrackedZeroed(static_cast<uint32_t>(pitch * layout.rows), __FILE__, __LINE__));
    if (pixels == nullptr) {
        return -1;
    }
    RunLengthTarget target(pixels, pitch, layout);
    DecodeRunLength(data, nibbles, &target);
    TakePalette(info, &image->format);
    Finish(image, layout, pixels, pitch);
    return 0;
}

// The stored row that holds image row y (0 = top).
const uint8_t* StoredRow(const BmpLayout& layout, const PixelData& data, int64_t y) {
    int64_t stored = layout.height > 0 ? layout.rows - 1 - y : y;
    return data.bytes + stored * layout.rowLength;
}

int UnpackFourBitImage(const BmpLayout& layout, const PixelData& data, const BITMAPINFO* info,
                       BASEIMAGE* image) {
    int64_t pitch = (int64_t{layout.width} + 3) & ~int64_t{3};
    auto* pixels = static_cast<uint8_t*>(
        AllocTrackedZeroed(static_cast<uint32_t>(pitch * layout.rows), __FILE__, __LINE__));
    if (pixels == nullptr) {
        return -1;
    }
    for (int64_t y = 0; y < layout.rows; ++y) {
        const uint8_t* source = StoredRow(layout, data, y);
        uint8_t* out = pixels + y * pitch;
        for (int32_t x = 0; x < layout.width; ++x) {
            out[x] = RunPixel(source[x / 2], x, true);
        }
    }
    TakePalette(info, &image->format);
    Finish(image, layout, pixels, pitch);
    return 0;
}

// 8-, 24- and 32-bit rows as stored, turned top-down. Takes the data block.
int TakePlainImage(const BmpLayout& layout, PixelData* data, const BITMAPINFO* info,
                   BASEIMAGE* image) {
    uint8_t* pixels = data->bytes;
    if (layout.height > 0) {
        pixels = static_cast<uint8_t*>(AllocTracked(
            static_cast<uint32_t>(layout.rowLength * layout.rows), __FILE__, __LINE__));
        if (pixels == nullptr) {
            return -1;
        }
        for (int64_t y = 0; y < layout.rows; ++y) {
            std::memcpy(pixels + y * layout.rowLength, StoredRow(layout, *data, y),
                        static_cast<size_t>(layout.rowLength));
        }
        FreeTracked(data->bytes);
    }
    data->bytes = nullptr;
    if (layout.bits == 8) {
        TakePalette(info, &image->format);
    } else if (layout.bits == 24) {
        SetPixelFormatRgb24(&image->format);
    } else {
        SetPixelFormatArgb32(&image->format);
    }
    Finish(image, layout, pixels, layout.rowLength);
    return 0;
}

// Any other layout: GDI draws the file's pixels into a 24-bit top-down DIB
// section and the section's rows become the image.
int DrawThroughGdi(const BmpLayout& layout, const PixelData& data, const BITMAPINFO* info,
                   BASEIMAGE* image) {
    BITMAPINFO sectionInfo = {};
    sectionInfo.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    sectionInfo.bmiHeader.biWidth = layout.width;
    sectionInfo.bmiHeader.biHeight = -layout.rows;
    sectionInfo.bmiHeader.biPlanes = 1;
    sectionInfo.bmiHeader.biBitCount = 24;
    sectionInfo.bmiHeader.biCompression = BI_RGB;
    HDC dc = CreateCompatibleDC(nullptr);
    void* sectionPixels = nullptr;
    HBITMAP section = dc != nullptr ? CreateDIBSection(dc, &sectionInfo, DIB_RGB_COLORS,
                                                       &sectionPixels, nullptr, 0)
                                    : nullptr;
    if (section == nullptr) {
        if (dc != nullptr) {
            DeleteDC(dc);
        }
        return WriteLog("ＤＩＢの作成に失敗しました3\n");
    }
    HGDIOBJ old = SelectObject(dc, section);
    int lines = SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(layout.width),
                                  static_cast<DWORD>(layout.rows), 0, 0, 0,
                                  static_cast<UINT>(layout.rows), data.bytes, info, DIB_RGB_COLORS);
    int64_t pitch = (int64_t{layout.width} * 3 + 3) & ~int64_t{3};
    uint8_t* pixels = nullptr;
    int result = -1;
    if (lines == 0) {
        result = -1;  // a layout GDI cannot draw either
    } else if ((pixels = static_cast<uint8_t*>(AllocTracked(
                    static_cast<uint32_t>(pitch * layout.rows), __FILE__, __LINE__))) == nullptr) {
        result = WriteLog(
            "２４ビットカラー化したグラフィックを格納するメモリ領域の確保に失敗しました\n");
    } else {
        std::memcpy(pixels, sectionPixels, static_cast<size_t>(pitch * layout.rows));
        SetPixelFormatRgb24(&image->format);
        Finish(image, layout, pixels, pitch);
        result = 0;
    }
    SelectObject(dc, old);
    DeleteObject(section);
    DeleteDC(dc);
    return result;
}

bool StoredRowsPresent(const BmpLayout& layout, const PixelData& data) {
    return layout.rowLength * layout.rows <= int64_t{data.size};
}

int DecodeBmp(const BmpLayout& layout, PixelData* data, const BITMAPINFO* info, BASEIMAGE* image) {
    if (layout.compression == 1 || layout.compression == 2) {
        if (layout.bits != (layout.compression == 1 ? 8 : 4)) {
            return -1;
        }
        return DecodeRunLengthImage(layout, *data, info, image);
    }
    if ((layout.compression == 0 || layout.compression == 3) && !StoredRowsPresent(layout, *data)) {
        return -1;  // truncated pixel data
    }
    if (layout.compression == 0 && layout.bits == 4) {
        return UnpackFourBitImage(layout, *data, info, image);
    }
    if (layout.compression == 0 && (layout.bits == 8 || layout.bits == 24 || layout.bits == 32)) {
        return TakePlainImage(layout, data, info, image);
    }
    return DrawThroughGdi(layout, *data, info, image);
}

}  // namespace

int ReadBmpImage(InputStream* stream, BASEIMAGE* image) {
    uint8_t fileHeader[14];
    uint8_t info[44];
    BmpLayout layout;
    if (!ReadExactly(stream, fileHeader, sizeof fileHeader) || fileHeader[0] != 'B' ||
        fileHeader[1] != 'M' || !ReadExactly(stream, info, sizeof info) ||
        !ParseLayout(fileHeader, info, &layout)) {
        return -1;
    }
    BITMAPINFO* infoBlock = ReadInfoBlock(stream, info, layout);
    if (infoBlock == nullptr) {
        return -1;
    }
    PixelData data = {nullptr, 0};
    int result = -1;
    if (ReadPixelData(stream, layout, &data)) {
        result = DecodeBmp(layout, &data, infoBlock, image);
    }
    if (data.bytes != nullptr) {
        FreeTracked(data.bytes);
    }
    FreeTracked(infoBlock);
    return result;
}

}  // namespace tessel
