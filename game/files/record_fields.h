// Little-endian fields of the game's fixed-size files. Every record is
// written and read one field at a time through these cursors, so no
// in-memory layout (padding, alignment, byte order) ever reaches a file:
// the replay's settings block, for one, has 64-bit fields that sit only
// 4-aligned in the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

struct FieldWriter {
    uint8_t* at;

    void U8(uint8_t value) { *at++ = value; }
    void U16(uint16_t value) {
        U8(static_cast<uint8_t>(value));
        U8(static_cast<uint8_t>(value >> 8));
    }
    void U32(uint32_t value) {
        U16(static_cast<uint16_t>(value));
        U16(static_cast<uint16_t>(value >> 16));
    }
    void U64(uint64_t value) {
        U32(static_cast<uint32_t>(value));
        U32(static_cast<uint32_t>(value >> 32));
    }
    void I32(int32_t value) { U32(static_cast<uint32_t>(value)); }
    void I64(int64_t value) { U64(static_cast<uint64_t>(value)); }
    void Raw(const void* source, size_t count) {
        memcpy(at, source, count);
        at += count;
    }
};

struct FieldReader {
    const uint8_t* at;

    uint8_t U8() { return *at++; }
    uint16_t U16() {
        uint16_t low = U8();
        return static_cast<uint16_t>(low | (U8() << 8));
    }
    uint32_t U32() {
        uint32_t low = U16();
        return low | (static_cast<uint32_t>(U16()) << 16);
    }
    uint64_t U64() {
        uint64_t low = U32();
        return low | (static_cast<uint64_t>(U32()) << 32);
    }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    int64_t I64() { return static_cast<int64_t>(U64()); }
    void Raw(void* target, size_t count) {
        memcpy(target, at, count);
        at += count;
    }
};
