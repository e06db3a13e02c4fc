// Image files made in code for the loader tests: BMP, TGA, DDS and BGRA
// written byte by byte, PNG and JPEG through libpng and libjpeg.
#pragma once

#include <png.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
// libjpeg's header needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "images/image_loader.h"

namespace tessel_test {

using Bytes = std::vector<uint8_t>;

inline void PutLe16(Bytes* out, uint32_t v) {
    out->push_back(static_cast<uint8_t>(v));
    out->push_back(static_cast<uint8_t>(v >> 8));
}

inline void PutLe32(Bytes* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out->push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

inline uint32_t GetLe32(const uint8_t* p) {
    return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

inline uint16_t GetLe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// A decoded image that frees itself.
struct Decoded {
    tessel::BASEIMAGE image = {};
    int result = -1;
    ~Decoded() { tessel::ReleaseImageBuffer(&image); }
    // 0xAARRGGBB through the image's own format.
    uint32_t At(int x, int y) {
        int r = 0, g = 0, b = 0, a = 0;
        tessel::ReadImagePixel(&image, x, y, &r, &g, &b, &a);
        return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
    }
    uint32_t Rgb(int x, int y) { return At(x, y) & 0xFFFFFF; }
};

// Runs one loader (or the chain when loader is null) over bytes in memory.
inline void Decode(const Bytes& bytes, Decoded* out, tessel::ImageLoader loader = nullptr) {
    tessel::MemoryStream* memory =
        tessel::OpenMemoryStream(bytes.data(), static_cast<uint32_t>(bytes.size()));
    tessel::InputStream stream;
    tessel::InitInputStream(&stream, tessel::GetMemoryStreamOps(), tessel::StreamHandleOf(memory));
    if (loader == nullptr) {
        out->result = tessel::DecodeImageStream(&stream, &out->image);
    } else {
        std::memset(&out->image, 0, sizeof out->image);
        out->result = loader(&stream, &out->image);
    }
    tessel::CloseMemoryStream(tessel::StreamHandleOf(memory));
}

// ------------------------------------------------------------------ BMP
struct BmpRecipe {
    int width = 0;
    int height = 0;  // negative: top-down
    int bits = 24;
    uint32_t compression = 0;
    uint32_t headerSize = 40;
    std::vector<uint32_t> table;  // palette (0x00RRGGBB) or three masks
    Bytes pixels;                 // stored rows as they go to the file
};

// File header, information header (40 bytes, or longer with zeros), the
// table, the pixels.
inline Bytes MakeBmp(const BmpRecipe& recipe) {
    Bytes out = {'B', 'M'};
    uint32_t offset = 14 + recipe.headerSize + static_cast<uint32_t>(recipe.table.size()) * 4;
    PutLe32(&out, offset + static_cast<uint32_t>(recipe.pixels.size()));
    PutLe32(&out, 0);
    PutLe32(&out, offset);
    PutLe32(&out, recipe.headerSize);
    PutLe32(&out, static_cast<uint32_t>(recipe.width));
    PutLe32(&out, static_cast<uint32_t>(recipe.height));
    PutLe16(&out, 1);
    PutLe16(&out, static_cast<uint32_t>(recipe.bits));
    PutLe32(&out, recipe.compression);
    PutLe32(&out, static_cast<uint32_t>(recipe.pixels.size()));
    PutLe32(&out, 2835);
    PutLe32(&out, 2835);
    PutLe32(&out, recipe.bits <= 8 ? static_cast<uint32_t>(recipe.table.size()) : 0);
    PutLe32(&out, 0);
    while (out.size() < 14 + recipe.headerSize) {
        out.push_back(0);
    }
    for (uint32_t entry : recipe.table) {
        PutLe32(&out, entry);
    }
    out.insert(out.end(), recipe.pixels.begin(), recipe.pixels.end());
    return out;
}

// ------------------------------------------------------------------ TGA
struct TgaRecipe {
    int type = 2;
    int width = 0;
    int height = 0;
    int pixelBits = 24;  // header byte 16
    int descriptor = 0x20;
    int mapFirst = 0;
    int mapLength = 0;
    int mapBits = 0;
    int xOrigin = 0;
    int yOrigin = 0;
    Bytes id;
    Bytes map;
    Bytes data;
    bool footer = false;
};

inline Bytes MakeTga(const TgaRecipe& recipe) {
    Bytes out;
    out.push_back(static_cast<uint8_t>(recipe.id.size()));
    out.push_back(recipe.mapLength > 0 ? 1 : 0);
    out.push_back(static_cast<uint8_t>(recipe.type));
    PutLe16(&out, static_cast<uint32_t>(recipe.mapFirst));
    PutLe16(&out, static_cast<uint32_t>(recipe.mapLength));
    out.push_back(static_cast<uint8_t>(recipe.mapBits));
    PutLe16(&out, static_cast<uint32_t>(recipe.xOrigin));
    PutLe16(&out, static_cast<uint32_t>(recipe.yOrigin));
    PutLe16(&out, static_cast<uint32_t>(recipe.width));
    PutLe16(&out, static_cast<uint32_t>(recipe.height));
    out.push_back(static_cast<uint8_t>(recipe.pixelBits));
    out.push_back(static_cast<uint8_t>(recipe.descriptor));
    out.insert(out.end(), recipe.id.begin(), recipe.id.end());
    out.insert(out.end(), recipe.map.begin(), recipe.map.end());
    out.insert(out.end(), recipe.data.begin(), recipe.data.end());
    if (recipe.footer) {
        PutLe32(&out, 0);
        PutLe32(&out, 0);
        const char* signature = "TRUEVISION-XFILE.";
        out.insert(out.end(), signature, signature + 17);
        out.push_back(0);
    }
    return out;
}

// ------------------------------------------------------------------ DDS
struct DdsRecipe {
    uint32_t flags = 0x1007;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t pitch = 0;
    uint32_t mipCount = 0;
    uint32_t pixelFlags = 0;
    uint32_t fourCc = 0;
    uint32_t rgbBits = 0;
    uint32_t masks[4] = {};
    uint32_t caps = 0x1000;
    Bytes data;
};

inline uint32_t FourCcOf(const char* text) {
    return GetLe32(reinterpret_cast<const uint8_t*>(text));
}

// A square compressed DDS with its level flags set, data bytes all `fill`.
inline DdsRecipe LevelledDxt(const char* fourCc, uint32_t side, uint32_t levels, size_t bytes,
                             uint8_t fill) {
    DdsRecipe recipe;
    recipe.width = side;
    recipe.height = side;
    recipe.flags |= 0x20000;
    recipe.caps |= 0x400008;
    recipe.mipCount = levels;
    recipe.pixelFlags = 4;
    recipe.fourCc = FourCcOf(fourCc);
    recipe.data.assign(bytes, fill);
    return recipe;
}

inline Bytes MakeDds(const DdsRecipe& recipe) {
    Bytes out = {'D', 'D', 'S', ' '};
    PutLe32(&out, 124);
    PutLe32(&out, recipe.flags);
    PutLe32(&out, recipe.height);
    PutLe32(&out, recipe.width);
    PutLe32(&out, recipe.pitch);
    PutLe32(&out, 0);
    PutLe32(&out, recipe.mipCount);
    for (int i = 0; i < 11; ++i) {
        PutLe32(&out, 0);
    }
    PutLe32(&out, 32);
    PutLe32(&out, recipe.pixelFlags);
    PutLe32(&out, recipe.fourCc);
    PutLe32(&out, recipe.rgbBits);
    for (uint32_t mask : recipe.masks) {
        PutLe32(&out, mask);
    }
    PutLe32(&out, recipe.caps);
    for (int i = 0; i < 4; ++i) {
        PutLe32(&out, 0);
    }
    out.insert(out.end(), recipe.data.begin(), recipe.data.end());
    return out;
}

// ------------------------------------------------------------------ PNG
struct PngRecipe {
    int width = 0;
    int height = 0;
    int bitDepth = 8;
    int colorType = PNG_COLOR_TYPE_RGB;
    bool interlaced = false;
    std::vector<png_color> palette;
    Bytes transparency;  // tRNS alphas for a palette image
    bool greyTransparency = false;
    Bytes rows;  // packed rows as libpng takes them
};

inline void PngAppend(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

inline Bytes MakePng(const PngRecipe& recipe) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return Bytes();
    }
    png_set_write_fn(png, &out, PngAppend, nullptr);
    png_set_IHDR(png, info, recipe.width, recipe.height, recipe.bitDepth, recipe.colorType,
                 recipe.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!recipe.palette.empty()) {
        png_set_PLTE(png, info, recipe.palette.data(), static_cast<int>(recipe.palette.size()));
    }
    if (!recipe.transparency.empty()) {
        png_set_tRNS(png, info, recipe.transparency.data(),
                     static_cast<int>(recipe.transparency.size()), nullptr);
    }
    if (recipe.greyTransparency) {
        png_color_16 grey = {};
        grey.gray = 0;
        png_set_tRNS(png, info, nullptr, 0, &grey);
    }
    png_write_info(png, info);
    size_t rowBytes = recipe.rows.size() / recipe.height;
    std::vector<png_bytep> table;
    for (int y = 0; y < recipe.height; ++y) {
        table.push_back(const_cast<png_bytep>(recipe.rows.data()) + rowBytes * y);
    }
    png_write_image(png, table.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// ------------------------------------------------------------------ JPEG
// rgb: width x height x components bytes.
inline Bytes MakeJpeg(int width, int height, int components, const Bytes& pixels, int quality) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = width;
    info.image_height = height;
    info.input_components = components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(pixels.data()) + size_t(info.next_scanline) * width * components;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes out(buffer, buffer + size);
    free(buffer);
    return out;
}

// libjpeg's own decoding of a file into pixels (resized to fit): rows of
// output components.
inline void DecodeJpegInto(const Bytes& file, Bytes* pixels, int* width, int* height,
                           int* components) {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, file.data(), file.size());
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    *width = info.output_width;
    *height = info.output_height;
    *components = info.output_components;
    size_t rowBytes = size_t(*width) * *components;
    pixels->resize(rowBytes * *height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels->data() + rowBytes * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
}

inline Bytes DecodeJpegDirectly(const Bytes& file, int* width, int* height, int* components) {
    Bytes out;
    DecodeJpegInto(file, &out, width, height, components);
    return out;
}

// A picture with a different colour at every pixel.
inline uint32_t TestColour(int x, int y) {
    return uint32_t((x * 37 + y * 11) & 0xFF) << 16 | uint32_t((x * 5 + y * 53) & 0xFF) << 8 |
           uint32_t((x * 101 + y * 3 + 7) & 0xFF);
}

}  // namespace tessel_test
