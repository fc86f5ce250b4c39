// The resource file layout, read and written the plain way (see rsrcimage.h).
#include "rsrcimage.h"

#include <algorithm>

namespace rsrcimage {
namespace {

uint32_t Big(std::span<const uint8_t> bytes, size_t at, int width) {
    uint32_t value = 0;
    for (int i = 0; i < width; ++i)
        value = value << 8 | bytes[at + size_t(i)];
    return value;
}

void PutBig(std::vector<uint8_t>& out, uint32_t value, int width) {
    for (int i = width - 1; i >= 0; --i)
        out.push_back(uint8_t(value >> (8 * i)));
}

// [offset, offset + length) inside `size` bytes, in 64 bits so that nothing wraps.
bool Inside(uint64_t offset, uint64_t length, uint64_t size) {
    return offset + length <= size;
}

} // namespace

std::optional<std::vector<Resource>> Walk(std::span<const uint8_t> file) {
    if (file.size() < 16) return std::nullopt;
    const uint32_t dataAt = Big(file, 0, 4), mapAt = Big(file, 4, 4);
    const uint32_t dataLength = Big(file, 8, 4), mapLength = Big(file, 12, 4);
    if (!Inside(dataAt, dataLength, file.size()) || !Inside(mapAt, mapLength, file.size()))
        return std::nullopt;
    const auto data = file.subspan(dataAt, dataLength);
    const auto map = file.subspan(mapAt, mapLength);
    if (map.size() < 28) return std::nullopt;
    const uint32_t typeList = Big(map, 24, 2), nameList = Big(map, 26, 2);
    if (!Inside(typeList, 2, map.size())) return std::nullopt;
    const uint32_t types = (Big(map, typeList, 2) + 1) & 0xFFFF;

    std::vector<Resource> resources;
    for (uint32_t t = 0; t < types; ++t) {
        const uint64_t entry = typeList + 2 + 8 * uint64_t(t);
        if (!Inside(entry, 8, map.size())) return std::nullopt;
        const uint32_t type = Big(map, entry, 4);
        const uint32_t count = Big(map, entry + 4, 2) + 1;
        const uint64_t references = typeList + uint64_t(Big(map, entry + 6, 2));
        for (uint32_t r = 0; r < count; ++r) {
            const uint64_t at = references + 12 * uint64_t(r);
            if (!Inside(at, 12, map.size())) return std::nullopt;
            Resource resource{type, int16_t(Big(map, at, 2)), {}, map[at + 4], {}};
            if (const uint32_t nameOffset = Big(map, at + 2, 2); nameOffset != 0xFFFF) {
                const uint64_t name = uint64_t(nameList) + nameOffset;
                if (!Inside(name, 1, map.size()) || !Inside(name + 1, map[name], map.size()))
                    return std::nullopt;
                resource.name.assign(map.begin() + long(name) + 1,
                                     map.begin() + long(name) + 1 + map[name]);
            }
            const uint64_t record = Big(map, at + 5, 3);
            if (!Inside(record, 4, data.size())) return std::nullopt;
            const uint32_t length = Big(data, record, 4);
            if (!Inside(record + 4, length, data.size())) return std::nullopt;
            resource.data.assign(data.begin() + long(record) + 4,
                                 data.begin() + long(record) + 4 + long(length));
            resources.push_back(std::move(resource));
        }
    }
    return resources;
}

std::vector<Resource> AsStored(std::vector<Resource> resources) {
    for (Resource& r : resources)
        r.attributes &= uint8_t(~0x02);
    return resources;
}

std::vector<Resource> GroupedByType(const std::vector<Resource>& resources) {
    std::vector<uint32_t> order;
    for (const Resource& r : resources)
        if (std::find(order.begin(), order.end(), r.type) == order.end()) order.push_back(r.type);
    std::vector<Resource> grouped;
    for (uint32_t type : order)
        for (const Resource& r : resources)
            if (r.type == type) grouped.push_back(r);
    return grouped;
}

std::vector<uint8_t> Build(const std::vector<Resource>& resources) {
    const std::vector<Resource> grouped = GroupedByType(resources);
    std::vector<uint32_t> types;
    for (const Resource& r : grouped)
        if (types.empty() || types.back() != r.type) types.push_back(r.type);

    std::vector<uint8_t> data, typeList, references, names;
    PutBig(typeList, uint32_t(types.size() - 1), 2);
    size_t listAt = 2 + 8 * types.size();
    for (uint32_t type : types) {
        const auto count = size_t(std::count_if(grouped.begin(), grouped.end(),
                                                [&](const Resource& r) { return r.type == type; }));
        PutBig(typeList, type, 4);
        PutBig(typeList, uint32_t(count - 1), 2);
        PutBig(typeList, uint32_t(listAt), 2);
        listAt += 12 * count;
    }
    for (const Resource& r : grouped) {
        PutBig(references, uint16_t(r.id), 2);
        PutBig(references, r.name.empty() ? 0xFFFF : uint32_t(names.size()), 2);
        references.push_back(r.attributes);
        PutBig(references, uint32_t(data.size()), 3);
        PutBig(references, 0, 4);
        if (!r.name.empty()) {
            names.push_back(uint8_t(r.name.size()));
            names.insert(names.end(), r.name.begin(), r.name.end());
        }
        PutBig(data, uint32_t(r.data.size()), 4);
        data.insert(data.end(), r.data.begin(), r.data.end());
    }

    const uint32_t nameListAt = uint32_t(28 + typeList.size() + references.size());
    const uint32_t mapLength = nameListAt + uint32_t(names.size());
    std::vector<uint8_t> header;
    for (uint32_t field : {256u, uint32_t(256 + data.size()), uint32_t(data.size()), mapLength})
        PutBig(header, field, 4);
    std::vector<uint8_t> file = header;
    file.resize(256, 0);
    file.insert(file.end(), data.begin(), data.end());
    file.insert(file.end(), header.begin(), header.end());
    file.resize(file.size() + 8, 0);
    PutBig(file, 28, 2);
    PutBig(file, nameListAt, 2);
    for (const auto* part : {&typeList, &references, &names})
        file.insert(file.end(), part->begin(), part->end());
    return file;
}

} // namespace rsrcimage
