// The configuration record: defaults, format, current region, and block copies.
#include "DataHandling.h"
#include "MacMemory.h"
#include "configglue.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

PluginDataPtr NewConfig() { return reinterpret_cast<PluginDataPtr>(NewPtrClear(kPluginDataSize)); }

TEST(Config, FreshBlockIsAllZero) {
    PluginDataPtr config = NewConfig();
    EXPECT_EQ(config->StartRel.Right, 0.0);
    EXPECT_EQ(config->Sliders[0], 0);
    EXPECT_EQ(config->MediaType, 0);
    DisposePtr(reinterpret_cast<Ptr>(config));
}

TEST(Config, ResetSetsDefaultsButKeepsTheEndColour) {
    PluginDataRec config;
    std::memset(&config, 0x5A, sizeof config);
    config.FrameEndColor = RGBColor{1, 2, 3};
    ResetConfig(&config);
    EXPECT_EQ(config.StartRel.Left, 0.0);
    EXPECT_EQ(config.StartRel.Right, 1.0);
    EXPECT_EQ(config.EndRel.Bottom, 1.0);
    EXPECT_EQ(config.Sliders[0], 50);
    EXPECT_EQ(config.Sliders[1], 50);
    for (int n = 2; n < kSliderCount; ++n) EXPECT_EQ(config.Sliders[n], 0);
    for (const RGBColor& c : config.Colors) EXPECT_EQ(c.red + c.green + c.blue, 0);
    EXPECT_EQ(config.FrameStartColor.red, 65535);
    EXPECT_EQ(config.FrameStartColor.green, 0);
    EXPECT_EQ(config.FrameEndColor.blue, 3);
    EXPECT_EQ(config.MediaType, 1);
}

TEST(Config, MediaFormatOfNullIsNtscAndOthersAsStored) {
    EXPECT_EQ(GetMediaFormat(nullptr), 1);
    PluginDataRec config{};
    config.MediaType = 7;
    EXPECT_EQ(GetMediaFormat(&config), 7);
}

TEST(Config, CurrentRegionIsTheStartRegion) {
    PluginDataRec config{};
    ResetConfig(&config);
    config.EndRel = RelRect{0.1, 0.2, 0.3, 0.4};
    gConfigWorkSpace.TheConfig = &config;
    const RelRect odd{-0.5, 7.25, 0.125, -3};
    PutCurrentRel(odd);
    const RelRect back = GetCurrentRel();
    EXPECT_EQ(std::memcmp(&back, &odd, sizeof odd), 0);
    EXPECT_EQ(config.EndRel.Left, 0.1);
    gConfigWorkSpace.TheConfig = nullptr;
}

TEST(Config, CopyMovesTheWholeBlockAndIgnoresNull) {
    PluginDataPtr a = NewConfig(), b = NewConfig();
    ResetConfig(a);
    a->Sliders[3] = 1234;
    pCopyConfig(a, b);
    EXPECT_EQ(std::memcmp(a, b, kPluginDataSize), 0);
    // Copies with a missing side change neither block.
    pCopyConfig(nullptr, b);
    pCopyConfig(a, nullptr);
    EXPECT_EQ(std::memcmp(a, b, kPluginDataSize), 0);
    EXPECT_EQ(b->Sliders[3], 1234);
    Size size = 0;
    pGetConfigSize(&size);
    EXPECT_EQ(size, 128);
    DisposePtr(reinterpret_cast<Ptr>(a));
    DisposePtr(reinterpret_cast<Ptr>(b));
}

TEST(ConfigDeathTest, CopyBetweenBlocksOfDifferentSizeEndsTheApplication) {
    PluginDataPtr a = NewConfig();
    auto* small = reinterpret_cast<PluginDataPtr>(NewPtrClear(64 + 64 + 8));
    EXPECT_EXIT(pCopyConfig(a, small), testing::ExitedWithCode(1),
                "Non-Matching Blocks[^\n]*\n?.*The Size of Source and Dest do not match");
    DisposePtr(reinterpret_cast<Ptr>(a));
    DisposePtr(reinterpret_cast<Ptr>(small));
}

TEST(ConfigDeathTest, InitialisingNothingIsAFailedAssertion) {
    EXPECT_EXIT(InitPluginData(nullptr), testing::ExitedWithCode(1),
                "Assertion failed in: Nil theConfig on InitPluginData");
}

} // namespace
