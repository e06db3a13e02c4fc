// The video renderer a graph movie renders into: it takes only uncompressed
// 24-bit RGB, keeps each delivered frame top row first in a buffer of its
// own and raises a new-frame flag that the window thread takes.
//
// The renderer owns its buffer for its whole life; a movie borrows it only
// while it holds the frame lock, so a change of media type on the streaming
// thread cannot free a buffer that the window thread is reading.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/dshow.h"

namespace tessel {

extern const CLSID CLSID_MovieFrameRenderer;

class MovieFrameRenderer : public CBaseVideoRenderer {
  public:
    MovieFrameRenderer(LPUNKNOWN outer, HRESULT* result);
    ~MovieFrameRenderer() override;

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType* type) override;
    HRESULT DoRenderSample(IMediaSample* sample) override;

    // Held by the window thread while it reads the buffer, by the streaming
    // thread while it writes it or replaces it.
    void LockFrame() { frameLock_.Lock(); }
    void UnlockFrame() { frameLock_.Unlock(); }
    // 1 once when a frame arrived since the last call (clears the flag).
    int TakeNewFrame() { return newFrame_.exchange(0, std::memory_order_acq_rel); }

    const uint8_t* FrameBuffer() const { return buffer_; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    int32_t Pitch() const { return pitch_; }
    int32_t BottomUp() const { return bottomUp_; }

  private:
    CCritSec frameLock_;
    uint8_t* buffer_ = nullptr;
    std::atomic<int32_t> newFrame_{0};
    int32_t bottomUp_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t pitch_ = 0;
};

// Bytes of one 24-bit row: 3 x width rounded up to a multiple of 4.
constexpr int32_t MovieFramePitch(int32_t width) {
    return ((width + 1) * 3) & ~3;
}

// A new renderer with no reference taken yet (the graph's AddFilter takes
// the first), or null when memory runs out; S_OK goes to result when given.
MovieFrameRenderer* CreateMovieFrameRenderer(LPUNKNOWN outer, HRESULT* result);

}  // namespace tessel
