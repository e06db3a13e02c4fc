// Reading operations over the text of an MQO file: blanks, tokens, skipped
// chunks, numbers and quoted strings. A token longer than its buffer marks
// the cursor as overflowed and every later read fails, so the file is
// refused instead of read cut short.
#pragma once

#include <cstdint>

namespace tessel {

constexpr int kMqoTokenBytes = 1024;

struct MqoCursor {
    const char* start;
    int32_t length;  // the 0 byte behind the text is not counted
    const char* position;
    int32_t overflowed;
};

inline int MqoAtEnd(const MqoCursor* c) {
    return c->position - c->start >= c->length;
}
// The current byte; the 0 behind the text at the end.
inline uint8_t MqoByte(const MqoCursor* c) {
    return MqoAtEnd(c) ? 0 : static_cast<uint8_t>(*c->position);
}
// 1 when the next bytes are `text` (all inside the text).
int MqoLooksAt(const MqoCursor* c, const char* text);

// Steps over spaces and tabs, and over CR and LF when sameLine is 0; 1 at
// the end of the text, else 0.
int SkipMqoBlanks(MqoCursor* c, int sameLine);
// 0 with a token in out (kMqoTokenBytes), 1 at the end of the text, -1 when
// no token starts at the current byte (the position stays) or the token does
// not fit.
int NextMqoToken(MqoCursor* c, char* out);
// Skips a chunk up to its balancing brace: 0, or -1 when the text ends first
// or a token does not fit. A byte that starts no token is stepped over.
int SkipMqoChunk(MqoCursor* c);
// The next token as a number; -1.0 and -1 when there is none.
float ReadMqoFloat(MqoCursor* c);
int32_t ReadMqoInt(MqoCursor* c);
// The next token without its quotes: 0, or -1 when it is not quoted.
int ReadMqoQuoted(MqoCursor* c, char* out);

}  // namespace tessel
