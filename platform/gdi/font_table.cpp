// The font table: CreateFontA checks its arguments and registers the font
// it opens under a checked id, SelectObject and DeleteObject of a font come
// here, and GetTextMetricsA reads the metrics worked out when it was opened.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/gdi/font_table_internal.h"
#include "platform/kernel.h"
#include "platform/kernel/pathmap_internal.h"

namespace platform::gdi {

namespace {

constexpr int kMaxHeight = 1024;    // larger glyphs would make runaway bitmaps
constexpr int kFaceNameBytes = 31;  // Windows keeps 32 bytes with the NUL
constexpr size_t kMaxFonts = 16384;

// Handle layout: a tag in the top byte that no user-space address has, the
// generation in bits 32-55, the slot in bits 0-31. Slot 0 is the stock font.
constexpr uintptr_t kFontTag = uintptr_t{0x7E} << 56;
constexpr uint32_t kGenerationMask = 0xFFFFFF;

struct Slot {
    std::unique_ptr<FontObject> font;
    uint32_t generation = 1;
};

std::vector<Slot>& Slots() {
    static auto* slots = new std::vector<Slot>(1);
    return *slots;
}

HGDIOBJ HandleOf(size_t slot, uint32_t generation) {
    return reinterpret_cast<HGDIOBJ>(kFontTag | uintptr_t{generation} << 32 | slot);
}

HGDIOBJ StockFontHandle() {
    return HandleOf(0, 1);
}

// Windows keeps the first 31 bytes of a face name; a double-byte character
// that would be cut in two is left out whole.
std::string TruncatedFaceName(const char* name) {
    std::string kept;
    for (size_t i = 0; name[i] != '\0';) {
        size_t length = IsDBCSLeadByte(static_cast<BYTE>(name[i])) && name[i + 1] != '\0' ? 2 : 1;
        if (kept.size() + length > kFaceNameBytes) {
            break;
        }
        kept.append(name + i, length);
        i += length;
    }
    return kept;
}

HGDIOBJ Register(std::unique_ptr<FontObject> font) {
    std::vector<Slot>& slots = Slots();
    for (size_t i = 1; i < slots.size(); ++i) {
        if (slots[i].font == nullptr) {
            slots[i].font = std::move(font);
            return HandleOf(i, slots[i].generation);
        }
    }
    if (slots.size() >= kMaxFonts) {
        LogFontRefusal("CreateFontA: %zu fonts exist already", kMaxFonts - 1);
        return nullptr;
    }
    slots.emplace_back();
    slots.back().font = std::move(font);
    return HandleOf(slots.size() - 1, slots.back().generation);
}

// The slot of a live handle (0 for the stock font), or -1.
long SlotOf(HGDIOBJ object) {
    if (!IsFontHandle(object)) {
        return -1;
    }
    auto value = reinterpret_cast<uintptr_t>(object);
    uint32_t slot = static_cast<uint32_t>(value);
    uint32_t generation = static_cast<uint32_t>(value >> 32) & kGenerationMask;
    const std::vector<Slot>& slots = Slots();
    // A deleted font's slot already carries the generation its next font
    // will have: only a slot that holds a font (or the stock slot) answers.
    if (slot >= slots.size() || slots[slot].generation != generation ||
        (slot != 0 && slots[slot].font == nullptr)) {
        return -1;
    }
    return static_cast<long>(slot);
}

FontObject* StockFont() {
    Slot& stock = Slots()[0];
    if (stock.font == nullptr) {
        FontRequest request = {kDefaultFontHeight, 400, false, false, false, DEFAULT_CHARSET, {}};
        stock.font = OpenFont(request);
    }
    return stock.font.get();
}

}  // namespace

void LogFontRefusal(const char* format, ...) {
    std::fputs("gdi: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

std::mutex& FontLock() {
    static auto* lock = new std::mutex();
    return *lock;
}

bool IsFontHandle(HGDIOBJ object) {
    return (reinterpret_cast<uintptr_t>(object) >> 56) == (kFontTag >> 56);
}

FontObject* FindFontLocked(HGDIOBJ object) {
    if (object == nullptr) {
        return StockFont();
    }
    long slot = SlotOf(object);
    if (slot < 0) {
        return nullptr;
    }
    return slot == 0 ? StockFont() : Slots()[static_cast<size_t>(slot)].font.get();
}

int CountFontsLocked() {
    const std::vector<Slot>& slots = Slots();
    return static_cast<int>(std::count_if(slots.begin() + 1, slots.end(),
                                          [](const Slot& slot) { return slot.font != nullptr; }));
}

BOOL DeleteFont(HGDIOBJ object) {
    std::lock_guard<std::mutex> guard(FontLock());
    long slot = SlotOf(object);
    if (slot < 0) {
        LogFontRefusal("DeleteObject: the font handle is stale or made up");
        return FALSE;
    }
    if (slot == 0) {
        return TRUE;  // the stock font stays
    }
    Slot& entry = Slots()[static_cast<size_t>(slot)];
    entry.font.reset();
    entry.generation = (entry.generation + 1) & kGenerationMask;
    if (entry.generation == 0) {
        entry.generation = 1;
    }
    return TRUE;
}

HGDIOBJ SelectFont(HDC dc, HGDIOBJ font) {
    std::lock_guard<std::mutex> guard(FontLock());
    HGDIOBJ* selected = SelectedFontOf(dc);
    if (selected == nullptr) {
        LogFontRefusal("SelectObject: fonts go into memory contexts only");
        return nullptr;
    }
    if (SlotOf(font) < 0) {
        LogFontRefusal("SelectObject: the font handle is stale or made up");
        return nullptr;
    }
    HGDIOBJ previous = *selected != nullptr ? *selected : StockFontHandle();
    *selected = font;
    return previous;
}

}  // namespace platform::gdi

namespace gdi = platform::gdi;

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                  DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCSTR faceName) {
    (void)outPrecision, (void)clipPrecision, (void)quality;
    if (width != 0 || escapement != 0 || orientation != 0) {
        gdi::LogFontRefusal("CreateFontA: width, escapement and orientation must be 0");
        return nullptr;
    }
    if (height < -gdi::kMaxHeight || height > gdi::kMaxHeight) {
        gdi::LogFontRefusal("CreateFontA: height %d is beyond %d pixels", height, gdi::kMaxHeight);
        return nullptr;
    }
    gdi::FontRequest request = {
        height, std::clamp(weight, 0, 1000), italic != 0, underline != 0, strikeOut != 0, charSet,
        {}};
    if (request.weight == 0) {
        request.weight = 400;
    }
    std::string name = faceName != nullptr ? gdi::TruncatedFaceName(faceName) : std::string();
    request.face = {platform::Cp932ToUtf8(name), request.weight, request.italic, charSet,
                    (pitchAndFamily & 0x3u) == FIXED_PITCH};
    std::lock_guard<std::mutex> guard(gdi::FontLock());
    std::unique_ptr<gdi::FontObject> font = gdi::OpenFont(request);
    return font != nullptr ? gdi::Register(std::move(font)) : nullptr;
}

BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics) {
    if (metrics == nullptr) {
        gdi::LogFontRefusal("GetTextMetricsA: no record to fill");
        return FALSE;
    }
    return gdi::WithSelectedFont(dc, "GetTextMetricsA",
                                 [metrics](gdi::FontObject& font) { *metrics = font.metrics; })
               ? TRUE
               : FALSE;
}
