#include "platform/gdi/framebuffer_dc_internal.h"

namespace platform::gdi {

FramebufferDC::FramebufferDC(HDC dc) {
    window_ = dc != nullptr ? WindowFromDC(dc) : nullptr;
    open_ = window_ != nullptr && LockWindowFramebuffer(window_, &framebuffer_);
}

FramebufferDC::~FramebufferDC() {
    if (open_) {
        UnlockWindowFramebuffer(window_, changed_);
    }
}

}  // namespace platform::gdi
