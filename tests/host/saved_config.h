// The effect's saved configuration, written byte by byte the way the plug-in stores it, so
// that a test sets up a render without going through the plug-in's own saving code.
#pragma once

#include "MacMemory.h"
#include "Resources.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace reelhost::testing_support {

struct Region {
    double left = 0, right = 1, top = 0, bottom = 1; // fractions of the frame
};

struct EffectConfig {
    Region region;
    int16_t gainSlider = 50;   // Sliders[1]
    int16_t offsetSlider = 50; // Sliders[2]
};

inline constexpr size_t kRecordSize = 392;

template <typename T> void Put(std::vector<uint8_t>& record, size_t offset, T value) {
    std::memcpy(record.data() + offset, &value, sizeof value); // the writer's byte order
}

// The 392-byte stored record: size, version, two regions, six colours, six sliders, the two
// frame colours and the video format, at their fixed offsets.
inline std::vector<uint8_t> StoredRecord(const EffectConfig& config) {
    std::vector<uint8_t> record(kRecordSize, 0);
    Put<uint32_t>(record, 0, uint32_t(kRecordSize));
    Put<uint32_t>(record, 4, 3);
    const double rel[4] = {config.region.left, config.region.right, config.region.top,
                           config.region.bottom};
    for (int i = 0; i < 4; ++i) {
        Put<double>(record, 8 + 8 * size_t(i), rel[i]);  // start region
        Put<double>(record, 40 + 8 * size_t(i), rel[i]); // end region
    }
    Put<int16_t>(record, 108, config.gainSlider);
    Put<int16_t>(record, 110, config.offsetSlider);
    Put<uint16_t>(record, 120, 65535); // frame start colour: red
    Put<int16_t>(record, 132, 1);      // NTSC
    return record;
}

inline void SaveConfiguration(const std::string& configHome, const EffectConfig& config) {
    const std::string path = configHome + "/vorel-Prefs";
    ASSERT_EQ(CreateResFileAtPath(path.c_str()), noErr);
    const ResFileRefNum file = OpenResFileAtPath(path.c_str(), fsRdWrPerm);
    ASSERT_GE(file, 0);
    UseResFile(file);
    const std::vector<uint8_t> bytes = StoredRecord(config);
    Handle record = NewHandleClear(Size(bytes.size()));
    ASSERT_NE(record, nullptr);
    std::memcpy(*record, bytes.data(), bytes.size());
    static const unsigned char kName[] = "\x0f"
                                         "Config Settings";
    AddResource(record, FOUR_CHAR_CODE("Pref"), 1, kName);
    ASSERT_EQ(ResError(), noErr);
    UpdateResFile(file);
    CloseResFile(file);
}

} // namespace reelhost::testing_support
