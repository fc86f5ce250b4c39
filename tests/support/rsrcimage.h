// A plain reading and writing of the classic resource file layout, straight from the format's
// tables, for tests and fuzzers to hold the platform's Resource Manager against. No checks
// beyond bounds: it reads what the offsets say, and writes the clean layout.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace rsrcimage {

struct Resource {
    uint32_t type;
    int16_t id;
    std::string name; // empty for no name
    uint8_t attributes;
    std::vector<uint8_t> data;

    bool operator==(const Resource&) const = default;
};

// The resources in map order (type list order, then reference order), or nothing when an
// offset or length points outside the part it belongs to.
std::optional<std::vector<Resource>> Walk(std::span<const uint8_t> file);

// A clean file image: types in order of first appearance, each type's resources in the order
// given, names in reference order.
std::vector<uint8_t> Build(const std::vector<Resource>& resources);

// The resources as a file stores them: the changed attribute (0x02) lives in memory only.
std::vector<Resource> AsStored(std::vector<Resource> resources);

// The same resources grouped as a clean file groups them: by type, in order of first appearance.
std::vector<Resource> GroupedByType(const std::vector<Resource>& resources);

} // namespace rsrcimage
