// The MQO tokenizer: quoted strings (double-byte characters kept whole, so a
// second byte equal to the quote does not end them), single braces and
// parentheses, numbers and words. Anything else starts no token.
#include "models/readers/mqo_tokens.h"

#include <cstring>

#include "foundation/base/charset.h"
#include "foundation/base/text.h"

namespace tessel {

namespace {

bool IsDigit(uint8_t b) {
    return b >= '0' && b <= '9';
}
bool IsLetter(uint8_t b) {
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}
bool IsNumberByte(uint8_t b) {
    return b == '-' || b == '.' || IsDigit(b);
}
bool IsWordByte(uint8_t b) {
    return IsLetter(b) || IsDigit(b) || b == '_';
}

int32_t Remaining(const MqoCursor* c) {
    return c->length - static_cast<int32_t>(c->position - c->start);
}

// Copies bytes while `keep` holds; -1 when they do not fit.
template <typename Keep>
int CopyRun(MqoCursor* c, char* out, Keep keep) {
    int n = 0;
    while (!MqoAtEnd(c) && keep(MqoByte(c))) {
        if (n >= kMqoTokenBytes - 1) {
            c->overflowed = 1;
            return -1;
        }
        out[n++] = *c->position++;
    }
    out[n] = '\0';
    return 0;
}

int CopyQuoted(MqoCursor* c, char* out) {
    const char* begin = c->position;
    int n = 0;
    out[n++] = *c->position++;
    for (;;) {
        if (MqoAtEnd(c)) {
            c->position = begin;
            return -1;
        }
        const bool lead = IsLeadByte(c->position, LibraryCharSet) != 0 && Remaining(c) >= 2;
        const int take = lead ? 2 : 1;
        if (n + take >= kMqoTokenBytes) {
            c->overflowed = 1;
            return -1;
        }
        const bool closing = !lead && *c->position == '"';
        std::memcpy(out + n, c->position, take);
        n += take;
        c->position += take;
        if (closing) {
            out[n] = '\0';
            return 0;
        }
    }
}

}  // namespace

int MqoLooksAt(const MqoCursor* c, const char* text) {
    const int32_t n = static_cast<int32_t>(std::strlen(text));
    return Remaining(c) >= n && std::memcmp(c->position, text, n) == 0 ? 1 : 0;
}

int SkipMqoBlanks(MqoCursor* c, int sameLine) {
    while (!MqoAtEnd(c)) {
        const uint8_t b = MqoByte(c);
        const bool blank = b == ' ' || b == '\t' || (sameLine == 0 && (b == '\r' || b == '\n'));
        if (!blank) {
            return 0;
        }
        ++c->position;
    }
    return 1;
}

int NextMqoToken(MqoCursor* c, char* out) {
    out[0] = '\0';
    if (c->overflowed != 0) {
        return -1;
    }
    if (SkipMqoBlanks(c, 0) != 0) {
        return 1;
    }
    const uint8_t b = MqoByte(c);
    if (b == '"') {
        return CopyQuoted(c, out);
    }
    if (b == '(' || b == ')' || b == '{' || b == '}') {
        out[0] = static_cast<char>(b);
        out[1] = '\0';
        ++c->position;
        return 0;
    }
    if (IsNumberByte(b)) {
        return CopyRun(c, out, IsNumberByte);
    }
    if (IsLetter(b)) {
        return CopyRun(c, out, IsWordByte);
    }
    return -1;
}

// A byte that starts no token inside a skipped chunk is stepped over: the
// chunk's own grammar is of no interest, only its braces.
int SkipMqoChunk(MqoCursor* c) {
    char token[kMqoTokenBytes];
    SkipMqoBlanks(c, 0);
    while (MqoByte(c) != '{' || MqoAtEnd(c)) {
        if (MqoAtEnd(c) || c->overflowed != 0) {
            return -1;
        }
        if (NextMqoToken(c, token) == -1) {
            if (c->overflowed != 0) {
                return -1;
            }
            ++c->position;
        }
        SkipMqoBlanks(c, 0);
    }
    ++c->position;
    int depth = 1;
    SkipMqoBlanks(c, 0);
    while (depth > 0 && !MqoAtEnd(c)) {
        const uint8_t b = MqoByte(c);
        depth += b == '{' ? 1 : (b == '}' ? -1 : 0);
        if (NextMqoToken(c, token) == -1) {
            if (c->overflowed != 0) {
                return -1;
            }
            ++c->position;
        }
        SkipMqoBlanks(c, 0);
    }
    return depth == 0 ? 0 : -1;
}

float ReadMqoFloat(MqoCursor* c) {
    char token[kMqoTokenBytes];
    if (NextMqoToken(c, token) != 0) {
        return -1.0f;
    }
    return static_cast<float>(TextToDouble(token));
}

int32_t ReadMqoInt(MqoCursor* c) {
    char token[kMqoTokenBytes];
    if (NextMqoToken(c, token) != 0) {
        return -1;
    }
    return TextToInt(token);
}

int ReadMqoQuoted(MqoCursor* c, char* out) {
    if (NextMqoToken(c, out) != 0) {
        return -1;
    }
    const size_t n = std::strlen(out);
    if (n < 2 || out[0] != '"' || out[n - 1] != '"') {
        return -1;
    }
    std::memmove(out, out + 1, n - 2);
    out[n - 2] = '\0';
    return 0;
}

}  // namespace tessel
