// Reading and writing the classic resource file layout: header, data area, resource map.
#include "resources/rsrclayout.h"
#include "resources/bigendian.h"

#include <algorithm>

namespace {

constexpr size_t kHeaderSize = 16;
constexpr size_t kHeaderAreaSize = 256; // header plus 240 reserved bytes
constexpr size_t kMapHeaderSize = 28;   // header copy, next-map handle, refnum, attributes, offsets
constexpr size_t kTypeEntrySize = 8;
constexpr size_t kReferenceSize = 12;
constexpr size_t kDataLengthSize = 4;
constexpr uint16_t kNoName = 0xFFFF;
constexpr uint16_t kMaxNameOffset = 0x7FFF; // name offsets are signed; -1 means no name
constexpr uint16_t kMaxMapOffset = 0xFFFF;

// True when [offset, offset + length) lies inside a buffer of `size` bytes, without overflow.
bool Fits(size_t offset, size_t length, size_t size) {
    return offset <= size && length <= size - offset;
}

// In 64 bits: a 32-bit offset plus a 32-bit length must not wrap where size_t has 32 bits.
struct Extent {
    uint64_t begin, end;
};

// True when no two extents share a byte (empty extents share none).
bool Disjoint(std::vector<Extent> extents) {
    std::erase_if(extents, [](const Extent& e) { return e.begin == e.end; });
    std::sort(extents.begin(), extents.end(),
              [](const Extent& a, const Extent& b) { return a.begin < b.begin; });
    for (size_t i = 1; i < extents.size(); ++i)
        if (extents[i].begin < extents[i - 1].end) return false;
    return true;
}

// A reader for one map, checking every offset and length against the part it points into.
class MapReader {
  public:
    MapReader(std::span<const uint8_t> map, std::span<const uint8_t> data)
        : map_(map), data_(data) {}

    std::optional<std::vector<ParsedResource>> Read() {
        if (map_.size() < kMapHeaderSize + 2) return std::nullopt;
        const size_t typeListOffset = GetBig16(map_, 24);
        const size_t nameListOffset = GetBig16(map_, 26);
        // The type and reference lists sit between the map header and the name list.
        if (typeListOffset < kMapHeaderSize || nameListOffset > map_.size() ||
            !Fits(typeListOffset, 2, nameListOffset))
            return std::nullopt;
        types_ = map_.subspan(typeListOffset, nameListOffset - typeListOffset);
        names_ = map_.subspan(nameListOffset);

        const size_t typeCount = (GetBig16(types_, 0) + 1u) & 0xFFFFu; // 0xFFFF: no types
        if (!Fits(2, typeCount * kTypeEntrySize, types_.size())) return std::nullopt;
        for (size_t i = 0; i < typeCount; ++i)
            if (!ReadType(2 + i * kTypeEntrySize, 2 + typeCount * kTypeEntrySize))
                return std::nullopt;
        if (!Disjoint(referenceLists_) || !Disjoint(dataRecords_)) return std::nullopt;
        return std::move(resources_);
    }

  private:
    bool ReadType(size_t entry, size_t listsBegin) {
        const ResType type = GetBig32(types_, entry);
        const size_t count = GetBig16(types_, entry + 4) + 1u;
        const size_t listOffset = GetBig16(types_, entry + 6);
        if (listOffset < listsBegin || !Fits(listOffset, count * kReferenceSize, types_.size()))
            return false;
        referenceLists_.push_back({listOffset, listOffset + count * kReferenceSize});
        for (size_t i = 0; i < count; ++i)
            if (!ReadReference(type, listOffset + i * kReferenceSize)) return false;
        return true;
    }

    bool ReadReference(ResType type, size_t at) {
        ParsedResource resource{{type, int16_t(GetBig16(types_, at)), {}, types_[at + 4]}, {}};
        const uint16_t nameOffset = GetBig16(types_, at + 2);
        if (nameOffset != kNoName && !ReadName(nameOffset, resource.info.name)) return false;
        if (!ReadData(GetBig24(types_, at + 5), resource.data)) return false;
        resource.info.attributes &= uint8_t(~kResChangedAttribute);
        resources_.push_back(std::move(resource));
        return true;
    }

    bool ReadName(size_t offset, std::string& name) const {
        if (offset > kMaxNameOffset || !Fits(offset, 1, names_.size())) return false;
        const size_t length = names_[offset];
        if (!Fits(offset + 1, length, names_.size())) return false;
        name.assign(names_.begin() + long(offset) + 1, names_.begin() + long(offset + 1 + length));
        return true;
    }

    bool ReadData(size_t offset, std::vector<uint8_t>& data) {
        if (!Fits(offset, kDataLengthSize, data_.size())) return false;
        const size_t length = GetBig32(data_, offset);
        const size_t begin = offset + kDataLengthSize;
        if (!Fits(begin, length, data_.size())) return false;
        // Records may not share bytes, so the copies together never exceed the file's size.
        dataRecords_.push_back({offset, begin + length});
        data.assign(data_.begin() + long(begin), data_.begin() + long(begin + length));
        return true;
    }

    std::span<const uint8_t> map_, data_, types_, names_;
    std::vector<Extent> referenceLists_, dataRecords_;
    std::vector<ParsedResource> resources_;
};

// The resources grouped by type, types in order of first appearance, as the map lists them.
std::vector<std::vector<const ResourceToWrite*>>
GroupByType(std::span<const ResourceToWrite> resources) {
    std::vector<std::vector<const ResourceToWrite*>> groups;
    for (const ResourceToWrite& resource : resources) {
        auto group = std::find_if(groups.begin(), groups.end(), [&](const auto& g) {
            return g.front()->info->type == resource.info->type;
        });
        if (group == groups.end())
            groups.push_back({&resource});
        else
            group->push_back(&resource);
    }
    return groups;
}

void PutHeader(std::vector<uint8_t>& out, uint32_t dataLength, uint32_t mapLength) {
    PutBig32(out, kHeaderAreaSize);
    PutBig32(out, uint32_t(kHeaderAreaSize + dataLength));
    PutBig32(out, dataLength);
    PutBig32(out, mapLength);
}

} // namespace

std::optional<std::vector<ParsedResource>> ParseResourceFile(std::span<const uint8_t> file) {
    if (file.size() < kHeaderSize || file.size() >= kMaxResourceFileSize) return std::nullopt;
    const Extent data{GetBig32(file, 0), uint64_t(GetBig32(file, 0)) + GetBig32(file, 8)};
    const Extent map{GetBig32(file, 4), uint64_t(GetBig32(file, 4)) + GetBig32(file, 12)};
    if (data.begin < kHeaderSize || map.begin < kHeaderSize || data.end > file.size() ||
        map.end > file.size() || !Disjoint({data, map}))
        return std::nullopt;
    return MapReader(file.subspan(map.begin, map.end - map.begin),
                     file.subspan(data.begin, data.end - data.begin))
        .Read();
}

std::optional<std::vector<uint8_t>>
SerializeResourceFile(std::span<const ResourceToWrite> resources) {
    const auto groups = GroupByType(resources);
    const size_t nameListOffset =
        kMapHeaderSize + 2 + groups.size() * kTypeEntrySize + resources.size() * kReferenceSize;
    if (nameListOffset > kMaxMapOffset) return std::nullopt;

    std::vector<uint8_t> data, lists, names;
    PutBig16(lists, uint16_t(groups.size() - 1)); // 0xFFFF when there are no types
    size_t referenceListOffset = 2 + groups.size() * kTypeEntrySize;
    for (const auto& group : groups) {
        PutBig32(lists, group.front()->info->type);
        PutBig16(lists, uint16_t(group.size() - 1));
        PutBig16(lists, uint16_t(referenceListOffset));
        referenceListOffset += group.size() * kReferenceSize;
    }
    for (const auto& group : groups) {
        for (const ResourceToWrite* resource : group) {
            const ResourceInfo& info = *resource->info;
            // Keeping the data area under 16 MiB also keeps every data offset within 24 bits.
            if (kDataLengthSize + resource->data.size() >= kMaxResourceFileSize - data.size() ||
                info.name.size() > 255 || (!info.name.empty() && names.size() > kMaxNameOffset))
                return std::nullopt;
            PutBig16(lists, uint16_t(info.id));
            PutBig16(lists, info.name.empty() ? kNoName : uint16_t(names.size()));
            lists.push_back(uint8_t(info.attributes & ~kResChangedAttribute));
            PutBig24(lists, uint32_t(data.size()));
            PutBig32(lists, 0); // handle slot, used in memory only
            if (!info.name.empty()) {
                names.push_back(uint8_t(info.name.size()));
                names.insert(names.end(), info.name.begin(), info.name.end());
            }
            PutBig32(data, uint32_t(resource->data.size()));
            data.insert(data.end(), resource->data.begin(), resource->data.end());
        }
    }

    const size_t mapLength = nameListOffset + names.size();
    if (kHeaderAreaSize + data.size() + mapLength >= kMaxResourceFileSize) return std::nullopt;
    std::vector<uint8_t> file;
    file.reserve(kHeaderAreaSize + data.size() + mapLength);
    PutHeader(file, uint32_t(data.size()), uint32_t(mapLength));
    file.resize(kHeaderAreaSize, 0); // reserved areas are written as zeros
    file.insert(file.end(), data.begin(), data.end());
    PutHeader(file, uint32_t(data.size()), uint32_t(mapLength)); // the map's copy of the header
    file.resize(file.size() + 8, 0); // next-map handle, file refnum, file attributes
    PutBig16(file, kMapHeaderSize);
    PutBig16(file, uint16_t(nameListOffset));
    file.insert(file.end(), lists.begin(), lists.end());
    file.insert(file.end(), names.begin(), names.end());
    return file;
}
