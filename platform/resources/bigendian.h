// Platform-internal: big-endian integers in byte buffers, as the resource map stores them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Readers trust the caller to have checked that the bytes lie inside the buffer.
inline uint16_t GetBig16(std::span<const uint8_t> bytes, size_t at) {
    return uint16_t(bytes[at] << 8 | bytes[at + 1]);
}

inline uint32_t GetBig24(std::span<const uint8_t> bytes, size_t at) {
    return uint32_t(bytes[at]) << 16 | uint32_t(bytes[at + 1]) << 8 | bytes[at + 2];
}

inline uint32_t GetBig32(std::span<const uint8_t> bytes, size_t at) {
    return uint32_t(bytes[at]) << 24 | GetBig24(bytes, at + 1);
}

inline void PutBig16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value));
}

inline void PutBig24(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(uint8_t(value >> 16));
    PutBig16(out, uint16_t(value));
}

inline void PutBig32(std::vector<uint8_t>& out, uint32_t value) {
    PutBig16(out, uint16_t(value >> 16));
    PutBig16(out, uint16_t(value));
}
