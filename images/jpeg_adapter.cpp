// JPEG through libjpeg: the loader reads from an InputStream through its own
// source manager, the writer to a file of the platform's path mapping.
#include <cstdio>
// libjpeg's header needs size_t and FILE declared before it.
#include <jerror.h>
#include <jpeglib.h>

#include <csetjmp>

#include "foundation/memory/memory.h"
#include "images/image_loader.h"
#include "images/image_writer.h"
#include "images/stdio_file.h"
#include "images/stream_reading.h"

namespace tessel {

namespace {

constexpr size_t kJpegInputBufferSize = 4096;

// The standard error manager with its exit replaced; the jump buffer follows.
struct JpegErrorManager {
    jpeg_error_mgr standard;
    jmp_buf jump;
};

void JpegErrorExit(j_common_ptr info) {
    (*info->err->output_message)(info);
    longjmp(reinterpret_cast<JpegErrorManager*>(info->err)->jump, 1);
}

// libjpeg's messages are not the library's log; they go nowhere.
void JpegQuietMessage(j_common_ptr) {}

void AttachErrorManager(JpegErrorManager* errors) {
    jpeg_std_error(&errors->standard);
    errors->standard.error_exit = JpegErrorExit;
    errors->standard.output_message = JpegQuietMessage;
}

struct JpegStreamSource {
    jpeg_source_mgr pub;
    JOCTET* buffer;
    boolean startOfFile;
    InputStream* stream;
    int32_t end;  // the stream's length
};

void JpegInitSource(j_decompress_ptr info) {
    reinterpret_cast<JpegStreamSource*>(info->src)->startOfFile = TRUE;
}

boolean JpegFillInputBuffer(j_decompress_ptr info) {
    auto* source = reinterpret_cast<JpegStreamSource*>(info->src);
    int64_t left = int64_t{source->end} - StreamPosition(source->stream);
    uint32_t n = left < static_cast<int64_t>(kJpegInputBufferSize)
                     ? static_cast<uint32_t>(left > 0 ? left : 0)
                     : kJpegInputBufferSize;
    if (n > 0 && source->stream->ops.read(source->buffer, n, 1, source->stream->handle) == 1) {
        source->pub.next_input_byte = source->buffer;
        source->pub.bytes_in_buffer = n;
        source->startOfFile = FALSE;
        return TRUE;
    }
    if (source->startOfFile) {
        ERREXIT(info, JERR_INPUT_EMPTY);
    }
    // Data that ends early is finished with an end-of-image marker, so the
    // decoder completes the picture as best it can.
    WARNMS(info, JWRN_JPEG_EOF);
    source->buffer[0] = 0xFF;
    source->buffer[1] = JPEG_EOI;
    source->pub.next_input_byte = source->buffer;
    source->pub.bytes_in_buffer = 2;
    source->startOfFile = FALSE;
    return TRUE;
}

void JpegSkipInputData(j_decompress_ptr info, long count) {
    if (count <= 0) {
        return;
    }
    jpeg_source_mgr* source = info->src;
    while (count > static_cast<long>(source->bytes_in_buffer)) {
        count -= static_cast<long>(source->bytes_in_buffer);
        JpegFillInputBuffer(info);
    }
    source->next_input_byte += count;
    source->bytes_in_buffer -= static_cast<size_t>(count);
}

void JpegTermSource(j_decompress_ptr) {}

void JpegSetStreamSource(j_decompress_ptr info, InputStream* stream) {
    if (info->src == nullptr) {
        auto* source = static_cast<JpegStreamSource*>((*info->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(info), JPOOL_PERMANENT, sizeof(JpegStreamSource)));
        source->buffer = static_cast<JOCTET*>((*info->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(info), JPOOL_PERMANENT, kJpegInputBufferSize));
        info->src = &source->pub;
    }
    auto* source = reinterpret_cast<JpegStreamSource*>(info->src);
    source->pub.init_source = JpegInitSource;
    source->pub.fill_input_buffer = JpegFillInputBuffer;
    source->pub.skip_input_data = JpegSkipInputData;
    source->pub.resync_to_restart = jpeg_resync_to_restart;
    source->pub.term_source = JpegTermSource;
    source->stream = stream;
    source->end = StreamLength(stream);
    source->pub.next_input_byte = nullptr;
    source->pub.bytes_in_buffer = 0;
}

// What the loader owns while libjpeg may jump out of it.
struct JpegReadState {
    jpeg_decompress_struct info;
    JpegErrorManager errors;
    uint8_t* pixels = nullptr;
};

int DecodeJpeg(JpegReadState* state, InputStream* stream, BASEIMAGE* image) {
    j_decompress_ptr info = &state->info;
    jpeg_create_decompress(info);
    JpegSetStreamSource(info, stream);
    jpeg_read_header(info, TRUE);
    if (!IsWithinImageBudget(info->image_width, info->image_height)) {
        return -1;
    }
    if (info->out_color_space != JCS_GRAYSCALE && info->out_color_space != JCS_RGB) {
        return -1;  // four-channel (CMYK) output has no format here
    }
    // Colour comes out of the decoder as blue, green, red, and every row goes
    // straight into the image.
    if (info->out_color_space == JCS_RGB) {
        info->out_color_space = JCS_EXT_BGR;
    }
    jpeg_start_decompress(info);
    int components = info->output_components;
    uint64_t rowBytes = uint64_t{info->output_width} * components;
    uint64_t size = rowBytes * info->output_height;
    if (size == 0 || size > 0x7FFFFFFF) {
        return -1;
    }
    state->pixels =
        static_cast<uint8_t*>(AllocTracked(static_cast<uint32_t>(size), __FILE__, __LINE__));
    if (state->pixels == nullptr) {
        return -1;
    }
    while (info->output_scanline < info->output_height) {
        JSAMPROW row = state->pixels + rowBytes * info->output_scanline;
        if (jpeg_read_scanlines(info, &row, 1) != 1) {
            return -1;
        }
    }
    jpeg_finish_decompress(info);
    if (components == 1) {
        SetPixelFormatGray8(&image->format);
    } else {
        SetPixelFormatRgb24(&image->format);
    }
    image->width = static_cast<int32_t>(info->output_width);
    image->height = static_cast<int32_t>(info->output_height);
    image->pitch = static_cast<int32_t>(rowBytes);
    image->pixels = state->pixels;
    state->pixels = nullptr;
    return 0;
}

// The jump point lives in its own frame, so that nothing it returns to was
// changed after setjmp.
int DecodeJpegGuarded(JpegReadState* state, InputStream* stream, BASEIMAGE* image) {
    if (setjmp(state->errors.jump)) {
        return -1;
    }
    return DecodeJpeg(state, stream, image);
}

struct JpegWriteState {
    jpeg_compress_struct info;
    JpegErrorManager errors;
    uint8_t* rows = nullptr;
    JSAMPROW* rowTable = nullptr;
};

void EncodeJpeg(JpegWriteState* state, FILE* file, BASEIMAGE* image, int quality) {
    j_compress_ptr info = &state->info;
    jpeg_create_compress(info);
    jpeg_stdio_dest(info, file);
    info->image_width = static_cast<JDIMENSION>(image->width);
    info->image_height = static_cast<JDIMENSION>(image->height);
    info->input_components = 3;
    info->in_color_space = JCS_RGB;
    jpeg_set_defaults(info);
    jpeg_set_quality(info, quality, TRUE);
    jpeg_start_compress(info, TRUE);
    size_t rowBytes = static_cast<size_t>(image->width) * 3;
    for (int y = 0; y < image->height; ++y) {
        uint8_t* out = state->rows + rowBytes * y;
        state->rowTable[y] = out;
        for (int x = 0; x < image->width; ++x, out += 3) {
            int red = 0;
            int green = 0;
            int blue = 0;
            ReadImagePixel(image, x, y, &red, &green, &blue, nullptr);
            out[0] = static_cast<uint8_t>(red);
            out[1] = static_cast<uint8_t>(green);
            out[2] = static_cast<uint8_t>(blue);
        }
    }
    jpeg_write_scanlines(info, state->rowTable, static_cast<JDIMENSION>(image->height));
    jpeg_finish_compress(info);
}

int EncodeJpegGuarded(JpegWriteState* state, FILE* file, BASEIMAGE* image, int quality) {
    if (setjmp(state->errors.jump)) {
        return -1;
    }
    EncodeJpeg(state, file, image, quality);
    return 0;
}

}  // namespace

int ReadJpegImage(InputStream* stream, BASEIMAGE* image) {
    auto* state =
        static_cast<JpegReadState*>(AllocTrackedZeroed(sizeof(JpegReadState), __FILE__, __LINE__));
    if (state == nullptr) {
        return -1;
    }
    AttachErrorManager(&state->errors);
    state->info.err = &state->errors.standard;
    int result = DecodeJpegGuarded(state, stream, image);
    jpeg_destroy_decompress(&state->info);
    if (state->pixels != nullptr) {
        FreeTracked(state->pixels);
    }
    FreeTracked(state);
    return result;
}

int WriteJpegFile(const WCHAR* widePath, const char* path, BASEIMAGE* image, int quality) {
    if (image == nullptr || image->pixels == nullptr || image->width <= 0 || image->height <= 0 ||
        uint64_t(image->width) * 3 * image->height > 0x7FFFFFFF) {
        return -1;
    }
    FILE* file = OpenWriteFile(widePath, path);
    if (file == nullptr) {
        return -1;
    }
    auto* state = static_cast<JpegWriteState*>(
        AllocTrackedZeroed(sizeof(JpegWriteState), __FILE__, __LINE__));
    int result = -1;
    if (state != nullptr) {
        state->rows = static_cast<uint8_t*>(AllocTracked(
            static_cast<uint32_t>(size_t(image->width) * 3 * image->height), __FILE__, __LINE__));
        state->rowTable = static_cast<JSAMPROW*>(AllocTracked(
            static_cast<uint32_t>(sizeof(JSAMPROW) * image->height), __FILE__, __LINE__));
        if (state->rows != nullptr && state->rowTable != nullptr) {
            AttachErrorManager(&state->errors);
            state->info.err = &state->errors.standard;
            result = EncodeJpegGuarded(state, file, image, quality);
            jpeg_destroy_compress(&state->info);
        }
    }
    if (std::fclose(file) != 0) {
        result = -1;
    }
    if (state != nullptr) {
        if (state->rows != nullptr) {
            FreeTracked(state->rows);
        }
        if (state->rowTable != nullptr) {
            FreeTracked(state->rowTable);
        }
        FreeTracked(state);
    }
    return result;
}

int SaveImageAsJpeg(const char* path, BASEIMAGE* image, int quality) {
    return WriteJpegFile(nullptr, path, image, quality);
}

}  // namespace tessel
