// The memory stream under the memory reader: reads cut at the end, and an
// optional rate limit that holds reads back until as many milliseconds have
// passed since creation as the bytes read so far take at that rate.
#include <algorithm>
#include <cstring>
#include <new>

#include "movie/filters/mem_reader.h"
#include "platform/kernel.h"
#include "platform/winmm.h"

namespace tessel {

T_CMemStream::T_CMemStream(const BYTE* data, LONGLONG length, DWORD rate)
    : data_(data), length_(length), rate_(rate), startTime_(timeGetTime()) {}

T_CMemStream::~T_CMemStream() = default;

HRESULT T_CMemStream::SetPointer(LONGLONG position) {
    if (position < 0 || position > length_) {
        return S_FALSE;
    }
    position_ = position;
    return S_OK;
}

HRESULT T_CMemStream::Read(BYTE* buffer, DWORD count, BOOL aligned, LPDWORD readOut) {
    (void)aligned;
    CAutoLock lock(&lock_);
    LONGLONG left = length_ - position_;
    DWORD n = static_cast<LONGLONG>(count) > left ? static_cast<DWORD>(left) : count;
    if (!Unlimited()) {
        // A rate of 0 would divide by zero: it counts as no limit.
        DWORD due = static_cast<DWORD>(position_ + n) / rate_;
        DWORD passed = timeGetTime() - startTime_;
        if (passed < due) {
            Sleep(due - passed);
        }
    }
    if (n > 0) {
        std::memcpy(buffer, data_ + position_, n);
    }
    position_ += n;
    *readOut = n;
    return S_OK;
}

LONGLONG T_CMemStream::Size(LONGLONG* available) {
    if (available != nullptr) {
        if (Unlimited()) {
            // Even in the first millisecond everything is there.
            *available = length_;
        } else {
            uint64_t passed = timeGetTime() - startTime_;
            uint64_t through = passed * rate_;
            *available = std::min<uint64_t>(static_cast<uint64_t>(length_), through);
        }
    }
    return length_;
}

DWORD T_CMemStream::Alignment() {
    return 1;
}

void T_CMemStream::Lock() {
    lock_.Lock();
}

void T_CMemStream::Unlock() {
    lock_.Unlock();
}

T_CMemStream* CreateMemStream(const BYTE* data, LONGLONG length, DWORD rate) {
    return new (std::nothrow) T_CMemStream(data, length, rate);
}

void DestroyMemStream(T_CMemStream* stream) {
    delete stream;
}

}  // namespace tessel
