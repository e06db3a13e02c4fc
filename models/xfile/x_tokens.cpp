// Reading .x tokens in both forms. Every read is bounded by the data's end: a
// binary token whose length runs past it ends the data, and a count the
// caller is given can always be checked against the bytes still unread.
//
// Routes: text words and comments (SkipBlanks, Word); binary tokens
// (PeekKind, StepToken, TakeName); the object loop's reads (Next,
// ObjectHead, ReferenceBody, SkipObject); values (Int, IntList, FloatList,
// Floats, String).
#include <cstring>

#include "foundation/base/text.h"
#include "models/xfile/x_tokens_internal.h"

namespace tessel {

namespace {

constexpr int32_t kShiftJisCharSet = 1;
constexpr int kNumberBytes = 96;

// What each byte is to the text words, one bit a kind, so that a word's end
// is one table look-up a byte.
constexpr uint8_t kByteDelimiter = 1;
constexpr uint8_t kByteBrace = 2;
constexpr uint8_t kByteQuote = 4;
constexpr uint8_t kByteHigh = 8;

struct ByteKinds {
    uint8_t kind[256] = {};
    constexpr ByteKinds() {
        const char delimiters[] = " \r\n\t,;";
        for (int i = 0; delimiters[i] != '\0'; ++i) {
            kind[static_cast<uint8_t>(delimiters[i])] = kByteDelimiter;
        }
        kind[static_cast<uint8_t>('{')] = kByteBrace;
        kind[static_cast<uint8_t>('}')] = kByteBrace;
        kind[static_cast<uint8_t>('"')] = kByteQuote;
        for (int c = 0x80; c < 256; ++c) {
            kind[c] = kByteHigh;
        }
    }
};
constexpr ByteKinds kByteKinds;

uint32_t Load32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool StartsNumber(const XSpan& word) {
    if (word.length == 0) {
        return false;
    }
    const char c = word.text[0];
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.';
}

// The word as a NUL-terminated text for the runtime's conversions; a longer
// word than any number is cut, which leaves it malformed, not misread.
void NumberText(const XSpan& word, char* out) {
    const int length = word.length < kNumberBytes - 1 ? word.length : kNumberBytes - 1;
    std::memcpy(out, word.text, static_cast<size_t>(length));
    out[length] = '\0';
}

}  // namespace

bool XTokens::IsDelimiter(uint8_t c) const {
    return kByteKinds.kind[c] == kByteDelimiter;
}

void XTokens::SkipBlanks() {
    while (at_ < end_) {
        const uint8_t c = *at_;
        if (IsDelimiter(c)) {
            ++at_;
            continue;
        }
        const bool comment = c == '#' || (c == '/' && at_ + 1 < end_ && at_[1] == '/');
        if (!comment) {
            return;
        }
        while (at_ < end_ && *at_ != '\n') {
            ++at_;
        }
    }
}

XSpan XTokens::Word(bool stopAtQuote) {
    SkipBlanks();
    const uint8_t* start = at_;
    const uint8_t stops = kByteDelimiter | kByteBrace | (stopAtQuote ? kByteQuote : 0);
    while (at_ < end_) {
        const uint8_t kind = kByteKinds.kind[*at_];
        if ((kind & stops) != 0) {
            break;
        }
        // The second byte of a double-byte character may equal a delimiter.
        const bool pair =
            kind == kByteHigh && at_ + 1 < end_ && IsLeadByte(at_, kShiftJisCharSet) != 0;
        at_ += pair ? 2 : 1;
    }
    return XSpan{reinterpret_cast<const char*>(start), static_cast<int32_t>(at_ - start)};
}

int XTokens::PeekKind() const {
    if (end_ - at_ < 2) {
        return -1;
    }
    return at_[0] | at_[1] << 8;
}

bool XTokens::StepToken() {
    const int kind = PeekKind();
    const int64_t left = end_ - at_;
    int64_t bytes = 2;
    const int64_t floatBytes = doubleFloats_ ? 8 : 4;
    if (kind == kXTokenName || kind == kXTokenString || kind == kXTokenIntegerList ||
        kind == kXTokenFloatList) {
        if (left < 6) {
            at_ = end_;
            return false;
        }
        const int64_t n = Load32(at_ + 2);
        bytes = kind == kXTokenName          ? 6 + n
                : kind == kXTokenString      ? 8 + n
                : kind == kXTokenIntegerList ? 6 + 4 * n
                                             : 6 + floatBytes * n;
    } else if (kind == kXTokenInteger) {
        bytes = 6;
    } else if (kind == kXTokenGuid) {
        bytes = 18;
    }
    if (kind < 0 || bytes > left) {
        at_ = end_;
        return false;
    }
    at_ += bytes;
    return true;
}

bool XTokens::TakeName(XSpan* name) {
    if (PeekKind() != kXTokenName || end_ - at_ < 6) {
        return false;
    }
    const int64_t length = Load32(at_ + 2);
    if (length > end_ - at_ - 6) {
        at_ = end_;
        return false;
    }
    *name = XSpan{reinterpret_cast<const char*>(at_ + 6), static_cast<int32_t>(length)};
    at_ += 6 + length;
    return true;
}

XEvent XTokens::Next(XSpan* word) {
    *word = XSpan{"", 0};
    if (!binary_) {
        SkipBlanks();
        if (at_ >= end_) {
            return XEvent::kEnd;
        }
        if (*at_ == '{' || *at_ == '}') {
            return *at_++ == '{' ? XEvent::kOpen : XEvent::kClose;
        }
        *word = Word(false);
        return XEvent::kWord;
    }
    intsLeft_ = 0;
    const int kind = PeekKind();
    if (kind < 0) {
        return XEvent::kEnd;
    }
    if (kind == kXTokenName) {
        return TakeName(word) ? XEvent::kWord : XEvent::kEnd;
    }
    StepToken();
    switch (kind) {
        case kXTokenOpenBrace:
            return XEvent::kOpen;
        case kXTokenCloseBrace:
            return XEvent::kClose;
        case kXTokenTemplate:
            return XEvent::kTemplateKeyword;
        default:
            return XEvent::kOther;
    }
}

bool XTokens::ObjectHead(XSpan* name) {
    *name = XSpan{"", 0};
    if (binary_) {
        if (PeekKind() == kXTokenName && !TakeName(name)) {
            return false;
        }
        if (PeekKind() != kXTokenOpenBrace) {
            return false;
        }
        StepToken();
        if (PeekKind() == kXTokenGuid) {
            StepToken();
        }
        return true;
    }
    SkipBlanks();
    if (at_ < end_ && *at_ != '{') {
        *name = Word(false);
    }
    SkipBlanks();
    if (at_ >= end_ || *at_ != '{') {
        return false;
    }
    ++at_;
    SkipBlanks();
    if (at_ < end_ && *at_ == '<') {
        while (at_ < end_ && *at_ != '>' && *at_ != '}') {
            ++at_;
        }
        at_ += at_ < end_ && *at_ == '>' ? 1 : 0;
    }
    return true;
}

bool XTokens::ReferenceBody(XSpan* name) {
    *name = XSpan{"", 0};
    if (binary_) {
        if (!TakeName(name)) {
            return false;
        }
        if (PeekKind() == kXTokenGuid) {
            StepToken();
        }
        if (PeekKind() != kXTokenCloseBrace) {
            return false;
        }
        StepToken();
        return true;
    }
    *name = Word(false);
    while (true) {
        SkipBlanks();
        if (at_ >= end_ || *at_ == '{') {
            return false;
        }
        if (*at_ == '}') {
            ++at_;
            return true;
        }
        Word(false);  // a GUID beside the name
    }
}

void XTokens::SkipObject(int depth) {
    if (binary_) {
        for (int kind = PeekKind(); kind >= 0; kind = PeekKind()) {
            if (kind == kXTokenCloseBrace && depth == 0) {
                return;  // the enclosing object's end, not ours
            }
            if (!StepToken()) {
                return;
            }
            if (kind == kXTokenOpenBrace) {
                ++depth;
            } else if (kind == kXTokenCloseBrace && --depth == 0) {
                return;
            }
        }
        return;
    }
    while (true) {
        SkipBlanks();
        if (at_ >= end_) {
            return;
        }
        const uint8_t c = *at_;
        if (c == '}' && depth == 0) {
            return;
        }
        if (c == '{' || c == '}') {
            ++at_;
            depth += c == '{' ? 1 : -1;
            if (depth == 0) {
                return;
            }
        } else if (c == '"') {
            XSpan ignored;
            String(&ignored);
        } else {
            Word(true);
        }
    }
}

bool XTokens::Int(int32_t* value) {
    if (!binary_) {
        const XSpan word = Word(false);
        if (!StartsNumber(word)) {
            return false;
        }
        char text[kNumberBytes];
        NumberText(word, text);
        *value = TextToInt(text);
        return true;
    }
    while (intsLeft_ == 0) {
        const int kind = PeekKind();
        if (kind == kXTokenInteger && end_ - at_ >= 6) {
            *value = static_cast<int32_t>(Load32(at_ + 2));
            at_ += 6;
            return true;
        }
        if (kind != kXTokenIntegerList || end_ - at_ < 6) {
            return false;
        }
        const int64_t count = Load32(at_ + 2);
        if (count * 4 > end_ - at_ - 6) {
            at_ = end_;
            return false;
        }
        intAt_ = at_ + 6;
        intsLeft_ = count;
        at_ += 6 + count * 4;
    }
    *value = static_cast<int32_t>(Load32(intAt_));
    intAt_ += 4;
    --intsLeft_;
    return true;
}

bool XTokens::IntList(int32_t* count, const uint8_t** values) {
    intsLeft_ = 0;
    if (PeekKind() != kXTokenIntegerList || end_ - at_ < 6) {
        return false;
    }
    const int64_t n = Load32(at_ + 2);
    if (n > INT32_MAX || n * 4 > end_ - at_ - 6) {
        at_ = end_;
        return false;
    }
    *count = static_cast<int32_t>(n);
    *values = at_ + 6;
    at_ += 6 + n * 4;
    return true;
}

bool XTokens::FloatList(int32_t* count, const uint8_t** values) {
    intsLeft_ = 0;
    if (PeekKind() != kXTokenFloatList || end_ - at_ < 6) {
        return false;
    }
    const int64_t n = Load32(at_ + 2);
    const int64_t size = doubleFloats_ ? 8 : 4;
    if (n > INT32_MAX || n * size > end_ - at_ - 6) {
        at_ = end_;
        return false;
    }
    *count = static_cast<int32_t>(n);
    *values = at_ + 6;
    at_ += 6 + n * size;
    return true;
}

float XTokens::FloatAt(const uint8_t* values, int32_t i) const {
    if (doubleFloats_) {
        double wide;
        std::memcpy(&wide, values + 8 * static_cast<size_t>(i), 8);
        return static_cast<float>(wide);
    }
    float narrow;
    std::memcpy(&narrow, values + 4 * static_cast<size_t>(i), 4);
    return narrow;
}

XFloatRun XTokens::Floats(float* out, int32_t count, int32_t* listCount) {
    *listCount = 0;
    if (!binary_) {
        char text[kNumberBytes];
        for (int32_t i = 0; i < count; ++i) {
            const XSpan word = Word(false);
            if (!StartsNumber(word)) {
                return XFloatRun::kNotList;
            }
            NumberText(word, text);
            out[i] = static_cast<float>(TextToDouble(text));
        }
        *listCount = count;
        return XFloatRun::kOk;
    }
    const uint8_t* values = nullptr;
    if (!FloatList(listCount, &values)) {
        return XFloatRun::kNotList;
    }
    if (*listCount != count) {
        return XFloatRun::kWrongCount;
    }
    for (int32_t i = 0; i < count; ++i) {
        out[i] = FloatAt(values, i);
    }
    return XFloatRun::kOk;
}

bool XTokens::String(XSpan* text) {
    *text = XSpan{"", 0};
    if (binary_) {
        intsLeft_ = 0;
        const int kind = PeekKind();
        if (kind == kXTokenName) {
            return TakeName(text);
        }
        if (kind != kXTokenString || end_ - at_ < 8) {
            return false;
        }
        const int64_t length = Load32(at_ + 2);
        if (length > end_ - at_ - 8) {
            at_ = end_;
            return false;
        }
        *text = XSpan{reinterpret_cast<const char*>(at_ + 6), static_cast<int32_t>(length)};
        at_ += 8 + length;
        return true;
    }
    SkipBlanks();
    if (at_ >= end_) {
        return false;
    }
    if (*at_ != '"') {
        *text = Word(false);
        return text->length > 0;
    }
    const uint8_t* start = ++at_;
    while (at_ < end_ && *at_ != '"') {
        const bool pair = *at_ >= 0x80 && at_ + 1 < end_ && IsLeadByte(at_, kShiftJisCharSet) != 0;
        at_ += pair ? 2 : 1;
    }
    *text = XSpan{reinterpret_cast<const char*>(start), static_cast<int32_t>(at_ - start)};
    at_ += at_ < end_ ? 1 : 0;
    return true;
}

}  // namespace tessel
