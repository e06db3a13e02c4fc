// The text-input handles and their records, the start of the layer (the
// ring, the fields, the IME's state, the display settings) and the deletion
// of fields. The colours are the screen's pixel values of the field's
// default colours; they come from the draw settings of the graphics layer.
#include <cstring>

#include "foundation/math/matrix.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/text_input/text_input_internal.h"
#include "graphics/device/device_state.h"
#include "graphics/device/shader_pack.h"
#include "graphics/memimg/memimg.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"
#include "platform/types.h"
#include "softrender/draw_state.h"

namespace tessel {

TextInputState g_textInput;

namespace {

constexpr int32_t kHandleKindMask = 0x78000000;
constexpr int32_t kHandleCheckMask = 0x07FF0000;
constexpr int32_t kHandleSlotMask = 0x0000FFFF;

struct Rgb {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};

// The fields' colours, in the order of TextInputDisplay::colors.
constexpr Rgb kDefaultColors[kTextInputColors] = {
    {255, 255, 255}, {255, 255, 0},  {255, 255, 255}, {0, 255, 255}, {255, 255, 255},
    {255, 0, 0},     {255, 255, 20}, {0, 0, 0},       {0, 0, 0},     {0, 0, 0},
    {255, 255, 0},   {0, 0, 0},      {255, 255, 255}, {0, 0, 0},     {128, 128, 128},
};

void ClearRecord(TextInputRecord& record) {
    if (record.text != nullptr) {
        FreeTracked(record.text);
    }
    std::memset(&record, 0, sizeof(record));
}

bool AnyInUse() {
    for (const TextInputRecord& record : g_textInput.records) {
        if (record.inUse != 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

TextInputRecord* FindTextInput(int handle) {
    if (handle < 0 || (handle & kHandleKindMask) != kTextInputHandleKind) {
        return nullptr;
    }
    int slot = handle & kHandleSlotMask;
    if (slot >= kTextInputSlots) {
        return nullptr;
    }
    TextInputRecord& record = g_textInput.records[slot];
    if (record.inUse == 0 ||
        ((record.check << 16) & kHandleCheckMask) != (handle & kHandleCheckMask)) {
        return nullptr;
    }
    return &record;
}

int DeleteTextInput(int handle) {
    TextInputRecord* record = FindTextInput(handle);
    if (record == nullptr) {
        WriteLogFormat("文字入力ハンドルが無効です  Handle:%x", handle);
        return -1;
    }
    ClearRecord(*record);
    if (g_textInput.display.activeHandle == handle) {
        g_textInput.display.activeHandle = -1;
    }
    if (!AnyInUse()) {
        EnableImeInput(0);
    }
    return 0;
}

int DeleteAllTextInputs() {
    for (int slot = 0; slot < kTextInputSlots; ++slot) {
        TextInputRecord& record = g_textInput.records[slot];
        if (record.inUse != 0) {
            DeleteTextInput(kTextInputHandleKind | ((record.check << 16) & kHandleCheckMask) |
                            slot);
        }
    }
    return 0;
}

int StartTextInput() {
    WriteLog("文字コードバッファの初期化を行います... ");
    // Whether the window may use the input method is an option that a
    // program sets before start-up; everything else starts afresh.
    int32_t imeEnabled = g_textInput.ime.enabled;
    for (TextInputRecord& record : g_textInput.records) {
        ClearRecord(record);
    }
    if (g_textInput.ime.candidateList != nullptr) {
        FreeTracked(g_textInput.ime.candidateList);
    }
    g_textInput = TextInputState{};
    g_textInput.ime.enabled = imeEnabled;
    for (int i = 0; i < kTextInputColors; ++i) {
        const Rgb& c = kDefaultColors[i];
        g_textInput.display.colors[i] = ColorToScreenPixel(c.red, c.green, c.blue);
    }
    g_textInput.display.caretBlinkPeriod = kCaretBlinkMilliseconds;
    WriteLog("完了しました\n");
    return 0;
}

int ResetCaretBlink() {
    g_textInput.display.caretShown = 1;
    g_textInput.display.caretBlinkStart = ReadMillisecondClock();
    return 0;
}

const ImeState& CurrentImeState() {
    return g_textInput.ime;
}

const TextInputDisplay& CurrentTextInputDisplay() {
    return g_textInput.display;
}

}  // namespace tessel
