// Platform-internal: the classic resource file layout, parsed from and written to bytes.
#pragma once

#include "MacTypes.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The 24-bit data offsets limit a file to 16 MiB; larger files are neither read nor written.
constexpr size_t kMaxResourceFileSize = size_t(1) << 24;

// Resource attribute kept in memory only, never on disk.
constexpr uint8_t kResChangedAttribute = 0x02;

struct ResourceInfo {
    ResType type;
    int16_t id;
    std::string name; // Mac OS Roman bytes; empty when the resource has no name
    uint8_t attributes;
};

struct ParsedResource {
    ResourceInfo info;
    std::vector<uint8_t> data;
};

// A resource about to be written: its description and its bytes, both borrowed.
struct ResourceToWrite {
    const ResourceInfo* info;
    std::span<const uint8_t> data;
};

// The resources of a file image in map order, or nothing when the bytes are not a sound
// resource file (any offset, count or length out of bounds, or overlapping parts).
std::optional<std::vector<ParsedResource>> ParseResourceFile(std::span<const uint8_t> file);

// The clean layout of these resources (types in order of first appearance), or nothing when
// they do not fit the format's 16-bit map offsets or its 16 MiB limit.
std::optional<std::vector<uint8_t>>
SerializeResourceFile(std::span<const ResourceToWrite> resources);
