// The frei0r plug-in as hosts call it: its description, parameters, frames of any size, bad
// values, separate instances and the saved configuration, each frame checked byte for byte
// against the effect's formula.
#include "frei0rtesting.h"
#include "pluginloader.h"

#include "DataHandling.h"
#include "prefsloader.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <regex>

using namespace frei0rtest;

namespace {

class Frei0r : public testing::Test {
  protected:
    Plugin plugin;
};

TEST_F(Frei0r, DescribesAnRgbaFilterWhoseParametersReadBackAsSetWithNeutralDefaults) {
    f0r_plugin_info_t info{};
    plugin.pluginInfo(&info);
    EXPECT_STREQ(info.name, "Glimmerdusk");
    EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
    EXPECT_EQ(info.frei0r_version, FREI0R_MAJOR_VERSION);
    ASSERT_EQ(info.num_params, kParamCount);

    f0r_instance_t instance = plugin.construct(16, 16);
    ASSERT_TRUE(instance);
    const double defaults[kParamCount] = {0, 0, 1, 1, 0.5, 0.5, 0};
    for (int i = 0; i < kParamCount; ++i) {
        f0r_param_info_t param{};
        plugin.paramInfo(&param, i);
        EXPECT_EQ(param.type, i == kUseSaved ? F0R_PARAM_BOOL : F0R_PARAM_DOUBLE) << i;
        ASSERT_TRUE(param.explanation) << i;
        EXPECT_GT(std::strlen(param.explanation), 20u) << param.name;
        EXPECT_EQ(plugin.Get(instance, i), defaults[i]) << param.name;
        // The switch stays off: on, it would read the user's own saved configuration.
        const double value = i == kUseSaved ? 0.25 : 0.125 + i;
        plugin.Set(instance, i, value);
        EXPECT_EQ(plugin.Get(instance, i), value) << param.name;
    }
    plugin.destruct(instance);
}

// One attribute of an XML start tag, or `otherwise` when the tag has none.
std::string Attribute(const std::string& tag, const std::string& name,
                      const std::string& otherwise = "") {
    std::smatch match;
    const std::regex pattern("\\s" + name + "=\"([^\"]*)\"");
    return std::regex_search(tag, match, pattern) ? match[1].str() : otherwise;
}

TEST_F(Frei0r, KdenlivesEffectFileNamesThePluginsParametersWithItsDefaults) {
    std::ifstream file(LUMASHIFT_SOURCE_DIR "/plugin/Resources/kdenlive/frei0r_glimmerdusk.xml");
    const std::string xml{std::istreambuf_iterator<char>(file), {}};
    ASSERT_FALSE(xml.empty());
    EXPECT_NE(xml.find("tag=\"frei0r.glimmerdusk\""), std::string::npos);

    f0r_instance_t instance = plugin.construct(8, 8);
    const std::regex parameterTag("<parameter\\b[^>]*>");
    int index = 0;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), parameterTag);
         it != std::sregex_iterator(); ++it, ++index) {
        const std::string tag = it->str();
        ASSERT_LT(index, kParamCount) << tag;
        f0r_param_info_t param{};
        plugin.paramInfo(&param, index);
        EXPECT_EQ(Attribute(tag, "name"), param.name);
        // Kdenlive shows the plug-in's value times the factor.
        const double factor = std::stod(Attribute(tag, "factor", "1"));
        EXPECT_EQ(std::stod(Attribute(tag, "default")) / factor, plugin.Get(instance, index))
            << param.name;
    }
    EXPECT_EQ(index, kParamCount);
    plugin.destruct(instance);
}

struct SizeCase {
    const char* name;
    int width, height;
};

void PrintTo(const SizeCase& c, std::ostream* os) {
    *os << c.name;
}

class Frei0rSizes : public Frei0r, public testing::WithParamInterface<SizeCase> {};

TEST_P(Frei0rSizes, DefaultsLeaveEveryByteAsItWasAndARegionGivesTheFormula) {
    const auto [name, width, height] = GetParam();
    const std::vector<uint8_t> frame = RandomFrame(width, height, uint32_t(width * 97 + height));
    EXPECT_EQ(Render(plugin, frame, width, height, Setting{}), frame);
    const Setting centre{0.2, 0.3, 0.7, 0.9, 70, 60};
    EXPECT_EQ(Render(plugin, frame, width, height, centre), Expected(frame, width, height, centre));
}

INSTANTIATE_TEST_SUITE_P(Frames, Frei0rSizes,
                         testing::Values(SizeCase{"OnePixel", 1, 1}, SizeCase{"Odd7x3", 7, 3},
                                         SizeCase{"Odd37x19", 37, 19}, SizeCase{"Multiple8", 64, 8},
                                         SizeCase{"Wide1001x5", 1001, 5}),
                         [](const testing::TestParamInfo<SizeCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(Frei0r, EverySliderStepGivesTheSameBytesAsThatValueInTheWindow) {
    // Every channel value in every colour byte: 256 pixels.
    constexpr int kWidth = 64, kHeight = 4;
    std::vector<uint8_t> frame(kWidth * kHeight * 4);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = uint8_t(i / 4 + (i % 4) * 85);
    for (int s = 0; s <= 100; ++s) {
        const Setting gain{0, 0, 1, 1, s, 50}, offset{0, 0, 1, 1, 50, s};
        ASSERT_EQ(Render(plugin, frame, kWidth, kHeight, gain),
                  Expected(frame, kWidth, kHeight, gain))
            << "gain slider " << s;
        ASSERT_EQ(Render(plugin, frame, kWidth, kHeight, offset),
                  Expected(frame, kWidth, kHeight, offset))
            << "offset slider " << s;
    }
}

TEST_F(Frei0r, AFrameRenderedInPlaceEqualsOneRenderedIntoAnotherBuffer) {
    constexpr int kWidth = 45, kHeight = 21;
    const Setting s{0.1, 0.1, 0.8, 0.6, 30, 80};
    const std::vector<uint8_t> frame = RandomFrame(kWidth, kHeight, 3);
    f0r_instance_t instance = plugin.construct(kWidth, kHeight);
    Apply(plugin, instance, s);
    std::vector<uint32_t> pixels(kWidth * kHeight);
    std::memcpy(pixels.data(), frame.data(), frame.size());
    plugin.update2(instance, 1.5, pixels.data(), nullptr, nullptr, pixels.data());
    plugin.destruct(instance);
    std::vector<uint8_t> bytes(frame.size());
    std::memcpy(bytes.data(), pixels.data(), bytes.size());
    EXPECT_EQ(bytes, Expected(frame, kWidth, kHeight, s));
}

struct BadCase {
    const char* name;
    int index;
    double value;
    Setting meaning; // the well-formed setting it renders as
};

void PrintTo(const BadCase& c, std::ostream* os) {
    *os << c.name;
}

class Frei0rBadValues : public Frei0r, public testing::WithParamInterface<BadCase> {};

TEST_P(Frei0rBadValues, RenderAsTheNearestMeaningfulSetting) {
    const BadCase& c = GetParam();
    constexpr int kWidth = 33, kHeight = 17;
    const std::vector<uint8_t> frame = RandomFrame(kWidth, kHeight, 11);
    // A brightened centre, then the one bad value over it.
    const Setting base{0.25, 0.25, 0.75, 0.75, 70, 60};
    f0r_instance_t instance = plugin.construct(kWidth, kHeight);
    Apply(plugin, instance, base);
    plugin.Set(instance, c.index, c.value);
    EXPECT_EQ(Update(plugin, instance, frame), Expected(frame, kWidth, kHeight, c.meaning));
    plugin.destruct(instance);
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Parameters, Frei0rBadValues,
    testing::Values(
        BadCase{"GainNaNIsNeutral", kGain, kNaN, {0.25, 0.25, 0.75, 0.75, 50, 60}},
        BadCase{"GainNegativeIsZero", kGain, -3, {0.25, 0.25, 0.75, 0.75, 0, 60}},
        BadCase{"GainHugeIsFull", kGain, 1e300, {0.25, 0.25, 0.75, 0.75, 100, 60}},
        BadCase{"OffsetInfinityIsFull", kOffset, kInf, {0.25, 0.25, 0.75, 0.75, 70, 100}},
        BadCase{"OffsetMinusInfinityIsZero", kOffset, -kInf, {0.25, 0.25, 0.75, 0.75, 70, 0}},
        BadCase{"LeftNaNIsTheLeftEdge", kLeft, kNaN, {0, 0.25, 0.75, 0.75, 70, 60}},
        BadCase{"LeftNegativeIsTheLeftEdge", kLeft, -0.5, {0, 0.25, 0.75, 0.75, 70, 60}},
        BadCase{"RightHugeIsTheRightEdge", kRight, 1e300, {0.25, 0.25, 1, 0.75, 70, 60}},
        BadCase{"BottomInfinityIsTheBottomEdge", kBottom, kInf, {0.25, 0.25, 0.75, 1, 70, 60}},
        BadCase{"InvertedRegionIsEmpty", kRight, 0.1, {0.25, 0.25, 0.25, 0.75, 70, 60}},
        BadCase{"SwitchNaNIsOff", kUseSaved, kNaN, {0.25, 0.25, 0.75, 0.75, 70, 60}}),
    [](const testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

TEST_F(Frei0r, TwoInstancesKeepTheirOwnParametersBetweenFrames) {
    constexpr int kWidth = 40, kHeight = 24;
    const std::vector<uint8_t> frame = RandomFrame(kWidth, kHeight, 5);
    const Setting a{0, 0, 0.5, 1, 80, 50}, b{0.5, 0.2, 1, 0.9, 20, 70};
    f0r_instance_t first = plugin.construct(kWidth, kHeight);
    f0r_instance_t second = plugin.construct(kWidth, kHeight);
    Apply(plugin, first, a);
    Apply(plugin, second, b);
    std::vector<uint32_t> in(kWidth * kHeight), out(kWidth * kHeight);
    std::memcpy(in.data(), frame.data(), frame.size());
    for (int round = 0; round < 2; ++round) {
        for (auto [instance, setting] : {std::pair{first, a}, std::pair{second, b}}) {
            plugin.update(instance, round, in.data(), out.data());
            std::vector<uint8_t> bytes(frame.size());
            std::memcpy(bytes.data(), out.data(), bytes.size());
            EXPECT_EQ(bytes, Expected(frame, kWidth, kHeight, setting)) << "round " << round;
        }
    }
    plugin.destruct(first);
    plugin.destruct(second);
}

TEST_F(Frei0r, SizesNoImageCanHaveAndMissingArgumentsAreRefusedWithoutWriting) {
    EXPECT_FALSE(plugin.construct(0, 8));
    EXPECT_FALSE(plugin.construct(8, 0));
    EXPECT_FALSE(plugin.construct(32768, 8));
    EXPECT_FALSE(plugin.construct(8, 4000000000u));
    f0r_instance_t widest = plugin.construct(32767, 1);
    EXPECT_TRUE(widest);
    plugin.destruct(widest);

    f0r_instance_t instance = plugin.construct(8, 8);
    std::vector<uint32_t> in(64, 0x11223344u), out(64, 0xDEADBEEFu);
    plugin.update(nullptr, 0, in.data(), out.data());
    plugin.update(instance, 0, nullptr, out.data());
    plugin.update(instance, 0, in.data(), nullptr);
    EXPECT_EQ(out, std::vector<uint32_t>(64, 0xDEADBEEFu));
    double value = 0.3;
    plugin.setParam(instance, &value, kParamCount);
    plugin.setParam(instance, &value, -1);
    plugin.setParam(instance, nullptr, kGain);
    plugin.setParam(nullptr, &value, kGain);
    plugin.getParam(instance, &value, 99);
    EXPECT_EQ(value, 0.3);
    f0r_param_info_t param{"untouched", -7, nullptr};
    plugin.paramInfo(&param, kParamCount);
    EXPECT_STREQ(param.name, "untouched");
    plugin.destruct(instance);
    plugin.destruct(nullptr);
}

// The saved configuration, written by the effect's own saving code as the window's OK does.
class Frei0rSaved : public Frei0r {
  protected:
    static constexpr int kWidth = 50, kHeight = 30;
    TempPreferences prefs;
    const std::vector<uint8_t> frame = RandomFrame(kWidth, kHeight, 9);
    const Setting params{0, 0, 0.5, 0.5, 20, 50};

    static void Save(const Setting& s) { ASSERT_TRUE(SaveSetting(s)); }
    std::vector<uint8_t> Frame(f0r_instance_t instance) const {
        return Update(plugin, instance, frame);
    }
};

TEST_F(Frei0rSaved, TheSwitchTakesTheSavedConfigurationAsReadWhenItCameOn) {
    const Setting saved{0.3, 0.1, 0.9, 0.8, 75, 62}, later{0, 0, 1, 1, 0, 50};
    Save(saved);
    f0r_instance_t instance = plugin.construct(kWidth, kHeight);
    Apply(plugin, instance, params);
    plugin.Set(instance, kUseSaved, 1);
    EXPECT_EQ(Frame(instance), Expected(frame, kWidth, kHeight, saved));

    // Read once, when switched on: a host that sets every parameter before each frame (as MLT
    // does) neither reads the file per frame nor sees a half-written one.
    Save(later);
    plugin.Set(instance, kUseSaved, 1);
    Apply(plugin, instance, params);
    EXPECT_EQ(Frame(instance), Expected(frame, kWidth, kHeight, saved));

    plugin.Set(instance, kUseSaved, 0);
    EXPECT_EQ(Frame(instance), Expected(frame, kWidth, kHeight, params));
    plugin.Set(instance, kUseSaved, 1);
    EXPECT_EQ(Frame(instance), Expected(frame, kWidth, kHeight, later));
    plugin.destruct(instance);
}

TEST_F(Frei0rSaved, WithoutASavedConfigurationTheParametersStayInForce) {
    f0r_instance_t instance = plugin.construct(kWidth, kHeight);
    Apply(plugin, instance, params);
    plugin.Set(instance, kUseSaved, 1);
    EXPECT_EQ(Frame(instance), Expected(frame, kWidth, kHeight, params));
    EXPECT_EQ(plugin.Get(instance, kUseSaved), 1);
    plugin.destruct(instance);
}

} // namespace
