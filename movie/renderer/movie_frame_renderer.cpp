// The movie frame renderer: media type checks, the buffer sized by the
// connected type, and the copy of each sample into it top row first.
#include "movie/renderer/movie_frame_renderer.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "foundation/memory/memory.h"

namespace tessel {

const CLSID CLSID_MovieFrameRenderer = {
    0x71771540, 0x2017, 0x11CF, {0xAE, 0x26, 0x00, 0x20, 0xAF, 0xD7, 0x97, 0x67}};

namespace {

// Larger frames than any movie this library plays; a type that claims more
// gets no buffer, so its samples are dropped.
constexpr int64_t kMaxFrameBytes = 64ll * 1024 * 1024;

}  // namespace

MovieFrameRenderer::MovieFrameRenderer(LPUNKNOWN outer, HRESULT* result)
    : CBaseVideoRenderer(CLSID_MovieFrameRenderer, nullptr, outer, result) {}

MovieFrameRenderer::~MovieFrameRenderer() {
    FreeTracked(buffer_);
}

HRESULT MovieFrameRenderer::CheckMediaType(const CMediaType* type) {
    if (type == nullptr) {
        return E_POINTER;
    }
    // A type without its header cannot say the frame's size.
    if (type->formattype != FORMAT_VideoInfo || type->pbFormat == nullptr ||
        type->cbFormat < sizeof(VIDEOINFOHEADER)) {
        return E_INVALIDARG;
    }
    if (type->majortype != MEDIATYPE_Video || type->subtype != MEDIASUBTYPE_RGB24) {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT MovieFrameRenderer::SetMediaType(const CMediaType* type) {
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
    CAutoLock lock(&frameLock_);
    FreeTracked(buffer_);
    buffer_ = nullptr;
    newFrame_.store(0, std::memory_order_release);
    const int32_t width = info->bmiHeader.biWidth;
    const int32_t height = info->bmiHeader.biHeight;
    bottomUp_ = height < 0 ? 0 : 1;
    width_ = width;
    height_ = height < 0 ? -height : height;
    pitch_ = MovieFramePitch(width);
    const int64_t bytes = static_cast<int64_t>(pitch_) * height_;
    if (width <= 0 || height_ <= 0 || width > 65535 || bytes > kMaxFrameBytes) {
        return S_OK;
    }
    buffer_ = static_cast<uint8_t*>(AllocTracked(static_cast<uint32_t>(bytes), nullptr, 0));
    return S_OK;
}

HRESULT MovieFrameRenderer::DoRenderSample(IMediaSample* sample) {
    if (sample == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(&frameLock_);
    if (buffer_ == nullptr) {
        return S_OK;
    }
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || data == nullptr) {
        return S_OK;
    }
    // A short sample fills what it holds; the rest keeps the last frame.
    const int64_t frameBytes = static_cast<int64_t>(pitch_) * height_;
    const int64_t length = std::clamp<int64_t>(sample->GetActualDataLength(), 0, frameBytes);
    if (bottomUp_ != 0) {
        for (int32_t row = 0; static_cast<int64_t>(row) * pitch_ < length; ++row) {
            const int64_t from = static_cast<int64_t>(row) * pitch_;
            const int64_t bytes = std::min<int64_t>(pitch_, length - from);
            std::memcpy(buffer_ + static_cast<int64_t>(height_ - 1 - row) * pitch_, data + from,
                        static_cast<size_t>(bytes));
        }
    } else {
        std::memcpy(buffer_, data, static_cast<size_t>(length));
    }
    newFrame_.store(1, std::memory_order_release);
    return S_OK;
}

MovieFrameRenderer* CreateMovieFrameRenderer(LPUNKNOWN outer, HRESULT* result) {
    HRESULT made = S_OK;
    auto* renderer = new (std::nothrow) MovieFrameRenderer(outer, &made);
    if (renderer == nullptr) {
        return nullptr;
    }
    if (result != nullptr) {
        *result = S_OK;
    }
    return renderer;
}

}  // namespace tessel
