// A configuration saved by the program of the other byte order, read by this one: the record is
// refused, the defaults are used, and the file is rewritten with this program's own record.
// LUMASHIFT_OTHER_ORDER_SAVER names the command that saves the demo configuration with the other
// program (under emulation); `make test-foreign` runs this with it.
#include "filebytes.h"
#include "pluginloader.h"
#include "rsrcimage.h"
#include "testhost.h"

#include "DataHandling.h"
#include "prefsloader.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// The stored configuration's record, 'Pref' 1; fails the test when the file has none.
Bytes StoredRecord(const std::string& prefsFile) {
    const auto resources = rsrcimage::Walk(filebytes::ReadBytes(prefsFile));
    if (!resources) {
        ADD_FAILURE() << prefsFile << " is not a resource file";
        return {};
    }
    const auto record = std::find_if(resources->begin(), resources->end(), [](const auto& r) {
        return r.type == FOUR_CHAR_CODE("Pref") && r.id == 1;
    });
    if (record == resources->end()) {
        ADD_FAILURE() << prefsFile << " holds no configuration record";
        return {};
    }
    return record->data;
}

Bytes Head(const Bytes& record) {
    return Bytes(record.begin(), record.begin() + std::min<size_t>(record.size(), 8));
}

// Size and version as each byte order stores them.
const Bytes kBigEndianHead = {0x00, 0x00, 0x01, 0x86, 0x00, 0x00, 0x00, 0x03};
const Bytes kLittleEndianHead = {0x88, 0x01, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00};
constexpr bool kNativeIsBig = std::endian::native == std::endian::big;

TEST(CrossOrder, ARecordOfTheOtherByteOrderFallsBackToTheDefaultsAndIsRewritten) {
    const char* saver = std::getenv("LUMASHIFT_OTHER_ORDER_SAVER");
    ASSERT_TRUE(saver && *saver) << "LUMASHIFT_OTHER_ORDER_SAVER names no saving command";
    TempPreferences prefs;
    ASSERT_EQ(std::system(saver), 0) << saver;
    const Bytes other = StoredRecord(prefs.PrefsFile());
    EXPECT_EQ(Head(other), kNativeIsBig ? kLittleEndianHead : kBigEndianHead);
    EXPECT_EQ(other.size(), kNativeIsBig ? 392u : 390u);

    // The saved region is brightened; a render that leaves every pixel alone used the defaults.
    {
        PluginInstance plugin;
        TestHost host;
        host.params.startFrame = 0;
        host.params.frameCount = 10;
        ASSERT_EQ(host.Send(plugin.entry, kPlugInitialize), kPluginOK);
        host.params.renderFrame = 4;
        ASSERT_EQ(host.Send(plugin.entry, kPlugDoFrame), kPluginOK);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                ASSERT_EQ(PixelAt(host.Output(), x, y), TestHost::SourcePixel(4, x, y))
                    << x << "," << y;
        EXPECT_EQ(host.Send(plugin.entry, kPlugTerminate), kPluginOK);
    }

    const Bytes own = StoredRecord(prefs.PrefsFile());
    EXPECT_EQ(Head(own), kNativeIsBig ? kBigEndianHead : kLittleEndianHead);
    EXPECT_EQ(own.size(), kConfigSaveSize);
    PluginDataRec back{};
    ASSERT_TRUE(ReadConfig(&back));
    EXPECT_EQ(back.Sliders[0], 50);
    EXPECT_EQ(back.Sliders[1], 50);
}

} // namespace
