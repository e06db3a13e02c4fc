// PNG through libpng: the loader reads from an InputStream, the writer to a
// file of the platform's path mapping.
#include <png.h>

#include <csetjmp>
#include <cstring>

#include "foundation/memory/memory.h"
#include "images/image_loader.h"
#include "images/image_writer.h"
#include "images/stdio_file.h"
#include "images/stream_reading.h"

namespace tessel {

namespace {

struct PngStreamSource {
    InputStream* stream;
    int32_t end;  // the stream's length; reads never pass it
};

// libpng's messages are not the library's: errors return through the jump
// point without a word, warnings are dropped.
void PngQuietError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void PngQuietWarning(png_structp, png_const_charp) {}

void PngStreamReadFn(png_structp png, png_bytep buffer, png_size_t length) {
    auto* source = static_cast<PngStreamSource*>(png_get_io_ptr(png));
    int64_t left = int64_t{source->end} - StreamPosition(source->stream);
    if (left < static_cast<int64_t>(length) ||
        source->stream->ops.read(buffer, static_cast<uint32_t>(length), 1,
                                 source->stream->handle) != 1) {
        png_error(png, "Read Error");
    }
}

void PngSetStreamSource(png_structp png, PngStreamSource* source, InputStream* stream) {
    source->stream = stream;
    source->end = StreamLength(stream);
    png_set_read_fn(png, source, PngStreamReadFn);
}

// What the loader owns while libpng may jump out of it.
struct PngReadState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    uint8_t* pixels = nullptr;
    png_bytep* rows = nullptr;
};

void ReleaseReadState(PngReadState* state) {
    png_destroy_read_struct(&state->png, state->info != nullptr ? &state->info : nullptr, nullptr);
    if (state->rows != nullptr) {
        FreeTracked(state->rows);
    }
    if (state->pixels != nullptr) {
        FreeTracked(state->pixels);
    }
}

void SetGreyWithAlphaFormat(PixelFormatDesc* format) {
    SetPixelFormatRgb24(format);
    format->bits = 16;
    format->bytes = 2;
    format->redMask = format->greenMask = format->blueMask = 0xFF;
    format->redShift = format->greenShift = format->blueShift = 0;
    format->redWidth = format->greenWidth = format->blueWidth = 8;
    format->alphaMask = 0;
    format->alphaShift = 0;
    format->alphaWidth = 0;
    format->unusedMask = 0xFF00;
    format->unusedShift = 8;
    format->unusedWidth = 8;
}

void SetFormat(png_structp png, png_infop info, int colorType, bool expanded, int width,
               size_t rowBytes, PixelFormatDesc* format) {
    if (colorType == PNG_COLOR_TYPE_PALETTE && !expanded) {
        SetPixelFormatPal8(format);
        png_colorp palette = nullptr;
        int count = 0;
        png_get_PLTE(png, info, &palette, &count);
        // The entries the file gives, the rest black.
        std::memset(format->palette, 0, sizeof format->palette);
        for (int i = 0; i < count && i < 256; ++i) {
            format->palette[i] = PaletteEntry{palette[i].blue, palette[i].green, palette[i].red, 0};
        }
    } else if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        if (rowBytes / 2 < static_cast<size_t>(width)) {
            SetPixelFormatGray8(format);
        } else {
            SetGreyWithAlphaFormat(format);
        }
    } else if (png_get_channels(png, info) == 4) {
        SetPixelFormatArgb32(format);
    } else {
        SetPixelFormatRgb24(format);
    }
}

int DecodePng(PngReadState* state, InputStream* stream, BASEIMAGE* image) {
    png_structp png = state->png;
    png_infop info = state->info;
    PngStreamSource source;
    PngSetStreamSource(png, &source, stream);
    png_set_sig_bytes(png, 0);
    png_read_info(png, info);
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colorType = 0;
    int interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
    if (!IsWithinImageBudget(width, height)) {
        return -1;
    }

    png_set_strip_16(png);
    png_set_packing(png);
    png_set_packswap(png);
    bool expanded = false;
    if ((colorType == PNG_COLOR_TYPE_GRAY && bitDepth <= 8) ||
        png_get_valid(png, info, PNG_INFO_tRNS)) {
        png_set_expand(png);
        expanded = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    }
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    size_t rowBytes = png_get_rowbytes(png, info);
    uint64_t size = uint64_t{rowBytes} * height;
    if (rowBytes > 0x7FFFFFFF || size > 0x7FFFFFFF || height == 0) {
        return -1;
    }
    state->pixels =
        static_cast<uint8_t*>(AllocTracked(static_cast<uint32_t>(size), __FILE__, __LINE__));
    state->rows = static_cast<png_bytep*>(
        AllocTracked(static_cast<uint32_t>(height * sizeof(png_bytep)), __FILE__, __LINE__));
    if (state->pixels == nullptr || state->rows == nullptr) {
        return -1;
    }
    for (png_uint_32 y = 0; y < height; ++y) {
        state->rows[y] = state->pixels + size_t{y} * rowBytes;
    }
    png_read_image(png, state->rows);
    png_read_end(png, nullptr);

    SetFormat(png, info, colorType, expanded, static_cast<int>(width), rowBytes, &image->format);
    image->width = static_cast<int32_t>(width);
    image->height = static_cast<int32_t>(height);
    image->pitch = static_cast<int32_t>(rowBytes);
    image->pixels = state->pixels;
    state->pixels = nullptr;
    return 0;
}

// The jump point lives in its own frame, so that nothing it returns to was
// changed after setjmp.
int DecodePngGuarded(PngReadState* state, InputStream* stream, BASEIMAGE* image) {
    if (setjmp(png_jmpbuf(state->png))) {
        return -1;
    }
    return DecodePng(state, stream, image);
}

// What the writer owns while libpng may jump out of it.
struct PngWriteState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    uint8_t* rows = nullptr;
    png_bytep* rowTable = nullptr;
};

void EncodePng(PngWriteState* state, FILE* file, BASEIMAGE* image, int level) {
    png_structp png = state->png;
    png_infop info = state->info;
    png_init_io(png, file);
    png_set_filter(png, 0, PNG_ALL_FILTERS);
    png_set_compression_level(png, level);
    bool alpha = image->format.alphaWidth != 0;
    int channels = alpha ? 4 : 3;
    png_set_IHDR(png, info, static_cast<png_uint_32>(image->width),
                 static_cast<png_uint_32>(image->height), 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    size_t rowBytes = size_t(image->width) * channels;
    for (int y = 0; y < image->height; ++y) {
        uint8_t* out = state->rows + rowBytes * y;
        state->rowTable[y] = out;
        for (int x = 0; x < image->width; ++x, out += channels) {
            int red = 0;
            int green = 0;
            int blue = 0;
            int a = 0;
            ReadImagePixel(image, x, y, &red, &green, &blue, &a);
            out[0] = static_cast<uint8_t>(red);
            out[1] = static_cast<uint8_t>(green);
            out[2] = static_cast<uint8_t>(blue);
            if (alpha) {
                out[3] = static_cast<uint8_t>(a);
            }
        }
    }
    png_write_image(png, state->rowTable);
    png_write_end(png, info);
}

int EncodePngGuarded(PngWriteState* state, FILE* file, BASEIMAGE* image, int level) {
    if (setjmp(png_jmpbuf(state->png))) {
        return -1;
    }
    EncodePng(state, file, image, level);
    return 0;
}

}  // namespace

int ReadPngImage(InputStream* stream, BASEIMAGE* image) {
    PngReadState state;
    state.png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngQuietError, PngQuietWarning);
    if (state.png == nullptr) {
        return -1;
    }
    state.info = png_create_info_struct(state.png);
    int result = state.info != nullptr ? DecodePngGuarded(&state, stream, image) : -1;
    ReleaseReadState(&state);
    return result;
}

int WritePngFile(const WCHAR* widePath, const char* path, BASEIMAGE* image, int compressionLevel) {
    if (image == nullptr || image->pixels == nullptr || image->width <= 0 || image->height <= 0) {
        return -1;
    }
    uint64_t rowBytes = uint64_t(image->width) * (image->format.alphaWidth != 0 ? 4 : 3);
    if (rowBytes * image->height > 0x7FFFFFFF) {
        return -1;
    }
    FILE* file = OpenWriteFile(widePath, path);
    if (file == nullptr) {
        return -1;
    }
    PngWriteState state;
    state.png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngQuietError, PngQuietWarning);
    state.info = state.png != nullptr ? png_create_info_struct(state.png) : nullptr;
    state.rows = static_cast<uint8_t*>(
        AllocTracked(static_cast<uint32_t>(rowBytes * image->height), __FILE__, __LINE__));
    state.rowTable = static_cast<png_bytep*>(
        AllocTracked(static_cast<uint32_t>(sizeof(png_bytep) * image->height), __FILE__, __LINE__));
    int result = -1;
    if (state.info != nullptr && state.rows != nullptr && state.rowTable != nullptr) {
        result = EncodePngGuarded(&state, file, image, compressionLevel);
    }
    png_destroy_write_struct(state.png != nullptr ? &state.png : nullptr,
                             state.info != nullptr ? &state.info : nullptr);
    if (std::fclose(file) != 0) {
        result = -1;
    }
    if (state.rows != nullptr) {
        FreeTracked(state.rows);
    }
    if (state.rowTable != nullptr) {
        FreeTracked(state.rowTable);
    }
    return result;
}

int SaveImageAsPng(const char* path, BASEIMAGE* image, int compressionLevel) {
    return WritePngFile(nullptr, path, image, compressionLevel);
}

}  // namespace tessel
