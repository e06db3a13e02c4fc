// Memory device contexts and the DIB sections selected into them.
#include "platform/gdi/dib_section_internal.h"

#include <mutex>
#include <new>

#include "platform/gdi/font_handles_internal.h"
#include "platform/window/dc_internal.h"

namespace platform::gdi {

namespace {

// Selection changes happen under one lock so that a bitmap is never in two
// contexts at once.
std::mutex& SelectionLock() {
    static std::mutex lock;
    return lock;
}

// What every memory context holds before a bitmap is selected into it.
DibSection* StockBitmap() {
    static DibSection* bitmap = new DibSection(true);
    return bitmap;
}

struct MemoryContext {
    DibSection* selected = nullptr;  // null: the stock bitmap
    HGDIOBJ font = nullptr;          // null: the stock font
};

MemoryContext* ContextOf(HDC dc) {
    if (dc == nullptr || !platform::IsLiveDC(dc) || !dc->memory) {
        return nullptr;
    }
    return static_cast<MemoryContext*>(dc->gdi);
}

void ReleaseMemoryContext(PlatformDC* dc) {
    auto* context = static_cast<MemoryContext*>(dc->gdi);
    if (context == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(SelectionLock());
        if (context->selected != nullptr) {
            context->selected->selectedInto = nullptr;
        }
    }
    delete context;
    dc->gdi = nullptr;
}

}  // namespace

DibSectionTarget::DibSectionTarget(HDC dc) {
    MemoryContext* context = ContextOf(dc);
    if (context == nullptr) {
        return;
    }
    open_ = true;
    section_ = context->selected;
}

HGDIOBJ* SelectedFontOf(HDC dc) {
    MemoryContext* context = ContextOf(dc);
    return context != nullptr ? &context->font : nullptr;
}

bool MayDeleteObject(HGDIOBJ object) {
    if (object == StockBitmap()) {
        return false;
    }
    if (FindObject(object, PlatformGdiObject::Kind::Bitmap) == nullptr) {
        return true;  // not a bitmap: nothing of ours holds it
    }
    std::lock_guard<std::mutex> guard(SelectionLock());
    return static_cast<DibSection*>(object)->selectedInto == nullptr;
}

}  // namespace platform::gdi

using platform::gdi::DibSection;
using platform::gdi::MemoryContext;

HDC CreateCompatibleDC(HDC dc) {
    HDC memory = platform::CreateDCRecord(nullptr, true);
    if (memory == nullptr) {
        return nullptr;
    }
    memory->gdi = new MemoryContext();
    memory->releaseGdi = platform::gdi::ReleaseMemoryContext;
    return memory;
}

BOOL DeleteDC(HDC dc) {
    if (platform::gdi::ContextOf(dc) == nullptr) {
        return FALSE;
    }
    platform::DestroyDCRecord(dc);
    return TRUE;
}

HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset) {
    if (bits != nullptr) {
        *bits = nullptr;
    }
    if (info == nullptr || usage != DIB_RGB_COLORS || section != nullptr) {
        return nullptr;
    }
    const BITMAPINFOHEADER& header = info->bmiHeader;
    int bitCount = header.biBitCount;
    if (header.biCompression != BI_RGB || (bitCount != 24 && bitCount != 32) ||
        header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == INT32_MIN) {
        return nullptr;
    }
    int64_t width = header.biWidth;
    int64_t height = header.biHeight < 0 ? -int64_t{header.biHeight} : header.biHeight;
    int64_t stride = (width * bitCount + 31) / 32 * 4;
    if (stride * height > 0x7FFFFFFF) {
        return nullptr;
    }
    auto* bitmap = new DibSection();
    bitmap->pixels = new (std::nothrow) uint8_t[static_cast<size_t>(stride * height)]();
    if (bitmap->pixels == nullptr) {
        delete bitmap;
        return nullptr;
    }
    bitmap->width = static_cast<int>(width);
    bitmap->height = static_cast<int>(height);
    bitmap->bitCount = bitCount;
    bitmap->topDown = header.biHeight < 0;
    bitmap->stride = static_cast<int>(stride);
    platform::gdi::RegisterObject(bitmap);
    if (bits != nullptr) {
        *bits = bitmap->pixels;
    }
    return bitmap;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    if (platform::gdi::IsFontHandle(object)) {
        return platform::gdi::SelectFont(dc, object);
    }
    MemoryContext* context = platform::gdi::ContextOf(dc);
    if (context == nullptr) {
        return nullptr;
    }
    DibSection* stock = platform::gdi::StockBitmap();
    DibSection* bitmap = nullptr;
    if (object != stock) {
        bitmap = static_cast<DibSection*>(
            platform::gdi::FindObject(object, PlatformGdiObject::Kind::Bitmap));
        if (bitmap == nullptr) {
            return nullptr;
        }
    }
    std::lock_guard<std::mutex> guard(platform::gdi::SelectionLock());
    if (bitmap != nullptr && bitmap->selectedInto != nullptr && bitmap->selectedInto != dc) {
        return nullptr;
    }
    DibSection* previous = context->selected;
    if (previous != nullptr) {
        previous->selectedInto = nullptr;
    }
    context->selected = bitmap;
    if (bitmap != nullptr) {
        bitmap->selectedInto = dc;
    }
    return previous != nullptr ? previous : stock;
}
