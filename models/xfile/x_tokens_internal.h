// The two token forms of a .x file behind one reader: text (blank, comma and
// semicolon separated words, "//" and "#" comments, double-byte characters
// kept whole) and the binary token stream (a 16-bit kind, then its data).
// Template parsers ask for integers, float runs and strings without caring
// which form the file has; binary integers stream across list tokens.
#pragma once

#include <cstdint>

namespace tessel {

struct XSpan {
    const char* text;
    int32_t length;
};

// Binary token kinds the reader tells apart.
enum XTokenKind : int {
    kXTokenName = 1,
    kXTokenString = 2,
    kXTokenInteger = 3,
    kXTokenGuid = 5,
    kXTokenIntegerList = 6,
    kXTokenFloatList = 7,
    kXTokenOpenBrace = 10,
    kXTokenCloseBrace = 11,
    kXTokenTemplate = 31,
};

// What the object loop meets next.
enum class XEvent { kEnd, kOpen, kClose, kWord, kTemplateKeyword, kOther };

// The result of reading a run of floats.
enum class XFloatRun { kOk, kNotList, kWrongCount };

class XTokens {
  public:
    XTokens(const uint8_t* data, int32_t size, bool binary, bool doubleFloats)
        : at_(data), end_(data + size), binary_(binary), doubleFloats_(doubleFloats) {}

    bool binary() const { return binary_; }
    // Bytes not yet read: every count a file gives must fit in them.
    int64_t Remaining() const { return end_ - at_; }
    bool Fits(int64_t count) const { return count >= 0 && count <= Remaining(); }

    // The object loop. Text: braces are events of their own and a word ends
    // at a brace; binary: names are words, a template keyword is told apart.
    XEvent Next(XSpan* word);
    // After a template name: the object's optional name, then its opening
    // brace and optional GUID. False when no brace follows.
    bool ObjectHead(XSpan* name);
    // After an opening brace that starts a reference: the name and the
    // closing brace. False when it is no reference.
    bool ReferenceBody(XSpan* name);
    // Steps over an object we do not know: up to its opening brace and the
    // matching closing one; a closing brace met first is left for the loop.
    // depth: braces already open (1 after a malformed reference's brace).
    void SkipObject(int depth);

    bool Int(int32_t* value);
    // Drops what is left of the current binary integer list.
    void EndInts() { intsLeft_ = 0; }
    // count floats: text words, or one binary float list of exactly count.
    XFloatRun Floats(float* out, int32_t count, int32_t* listCount);
    // A binary integer list token whole (not streamed); its values are
    // little-endian 32-bit words.
    bool IntList(int32_t* count, const uint8_t** values);
    // A binary float list of any length; its values follow in FloatAt.
    bool FloatList(int32_t* count, const uint8_t** values);
    float FloatAt(const uint8_t* values, int32_t i) const;
    // A quoted text string, or a binary string (or name) token.
    bool String(XSpan* text);

  private:
    bool IsDelimiter(uint8_t c) const;
    void SkipBlanks();
    // A text word: up to a delimiter, a brace or, when asked, a quote.
    XSpan Word(bool stopAtQuote);
    int PeekKind() const;
    bool StepToken();
    bool TakeName(XSpan* name);

    const uint8_t* at_;
    const uint8_t* end_;
    bool binary_;
    bool doubleFloats_;
    int64_t intsLeft_ = 0;
    const uint8_t* intAt_ = nullptr;
};

}  // namespace tessel
