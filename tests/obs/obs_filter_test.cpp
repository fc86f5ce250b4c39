// The OBS module in a real libobs, headless: loaded alone as OBS loads a module, listed with its
// texts, and its filter on test sources whose pictures are known, every pixel read back and
// compared with the effect's formula.
#include "obsharness.h"

#include "effectreference.h"
#include "pluginloader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using obsharness::Picture;
using obsharness::SourceKind;

namespace {

constexpr const char* kFilterId = "glimmerdusk_filter";
// Creating a filter or changing its settings is taken up by the graphics thread's next tick;
// the second one begins after the first has finished.
constexpr int kTicksToSettle = 2;

obsharness::Obs* gObs = nullptr;

// The module the build made or, with LUMASHIFT_OBS_INSTALL_PREFIX set (the install check), the
// one `make install` put under that prefix, found by libobs's own search. Without them the
// program ends at once with the reason: GoogleTest would report its tests as skipped, and ctest
// counts skipped tests as no failure.
class ObsEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        try {
            gObs = new obsharness::Obs(LUMASHIFT_OBS_SHADER_CACHE);
            if (const char* prefix = std::getenv("LUMASHIFT_OBS_INSTALL_PREFIX"))
                gObs->LoadInstalledModule(LUMASHIFT_OBS_MODULE_NAME, prefix,
                                          LUMASHIFT_LIBOBS_PREFIX);
            else
                gObs->LoadModule(LUMASHIFT_OBS_MODULE, LUMASHIFT_OBS_MODULE_DATA);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "libobs with the module could not be started headless: %s\n",
                         e.what());
            std::exit(EXIT_FAILURE);
        }
    }
    void TearDown() override { delete gObs; }
};

const testing::Environment* const kObsEnvironment =
    testing::AddGlobalTestEnvironment(new ObsEnvironment);

// The filter's settings as a user sets them: edges in per cent, sliders on the window's scale.
struct Settings {
    double left = 0, top = 0, right = 100, bottom = 100;
    int gain = 50, offset = 50;
    bool useSaved = false;

    // The same as fractions of the picture, for the formula.
    effectref::Setting AsFractions() const {
        return {left / 100, top / 100, right / 100, bottom / 100, gain, offset};
    }
};

using DataPtr = std::unique_ptr<obs_data_t, decltype(&obs_data_release)>;

DataPtr DataOf(const Settings& s) {
    DataPtr data(obs_data_create(), obs_data_release);
    obs_data_set_double(data.get(), "left", s.left);
    obs_data_set_double(data.get(), "top", s.top);
    obs_data_set_double(data.get(), "right", s.right);
    obs_data_set_double(data.get(), "bottom", s.bottom);
    obs_data_set_int(data.get(), "gain", s.gain);
    obs_data_set_int(data.get(), "offset", s.offset);
    obs_data_set_bool(data.get(), "use_saved", s.useSaved);
    return data;
}

// A test source showing `picture` with the filter on it, created with `settings`.
class FilteredSource {
  public:
    FilteredSource(SourceKind kind, const Picture& picture, const Settings& settings = {})
        : picture_(picture) {
        source_ = obsharness::CreatePictureSource(kind, picture_, "picture");
        filter_ = obs_source_create_private(kFilterId, "Glimmerdusk", DataOf(settings).get());
        obs_source_filter_add(source_, filter_);
        gObs->WaitTicks(kTicksToSettle);
    }
    ~FilteredSource() {
        obs_source_filter_remove(source_, filter_);
        obs_source_release(filter_);
        obs_source_release(source_);
    }
    FilteredSource(const FilteredSource&) = delete;
    FilteredSource& operator=(const FilteredSource&) = delete;

    void Set(const Settings& settings) {
        obs_source_update(filter_, DataOf(settings).get());
        gObs->WaitTicks(kTicksToSettle);
    }
    std::vector<uint8_t> Render() const {
        return obsharness::Render(source_, picture_.width, picture_.height);
    }
    // The same source drawn without the filter.
    std::vector<uint8_t> RenderUnfiltered() const {
        obs_source_set_enabled(filter_, false);
        std::vector<uint8_t> pixels = Render();
        obs_source_set_enabled(filter_, true);
        return pixels;
    }
    bool FilterIsValid() const { return filter_ && !obs_obj_invalid(filter_); }

  private:
    Picture picture_;
    obs_source_t* source_ = nullptr;
    obs_source_t* filter_ = nullptr;
};

// The first pixel where two renders differ, as text, or empty when they agree.
std::string FirstDifference(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want,
                            int width) {
    if (got.size() != want.size()) return "sizes differ";
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i] == want[i]) continue;
        const size_t pixel = i / 4, first = pixel * 4;
        const auto rgba = [&](const std::vector<uint8_t>& p) {
            return std::to_string(p[first]) + "," + std::to_string(p[first + 1]) + "," +
                   std::to_string(p[first + 2]) + "," + std::to_string(p[first + 3]);
        };
        return "pixel (" + std::to_string(pixel % width) + ", " + std::to_string(pixel / width) +
               "): got " + rgba(got) + ", want " + rgba(want);
    }
    return "";
}

std::string KindName(SourceKind kind) {
    switch (kind) {
    case SourceKind::ImageLike:
        return "ImageLike";
    case SourceKind::CaptureLike:
        return "CaptureLike";
    case SourceKind::InPieces:
        return "InPieces";
    case SourceKind::SdrFloat:
        return "SdrFloat";
    case SourceKind::Hdr:
        return "Hdr";
    }
    return "Unknown";
}

TEST(ObsModule, ListsTheFilterWithItsTextsAndNeutralDefaults) {
    ASSERT_TRUE(obs_source_get_display_name(kFilterId)) << "the module registered no filter";
    EXPECT_STREQ(obs_source_get_display_name(kFilterId), "Glimmerdusk");
    const uint32_t flags = obs_get_source_output_flags(kFilterId);
    EXPECT_TRUE(flags & OBS_SOURCE_VIDEO);
    EXPECT_FALSE(flags & OBS_SOURCE_AUDIO);
    bool listed = false;
    const char* id = nullptr;
    for (size_t i = 0; obs_enum_filter_types(i, &id); ++i)
        listed = listed || std::string(id) == kFilterId;
    EXPECT_TRUE(listed);

    // Each setting in order with its text and tooltip from the module's en-US.ini: a missing
    // text shows as its key.
    const char* const keys[] = {"left", "top", "right", "bottom", "gain", "offset", "use_saved"};
    const char* const texts[] = {
        "Left", "Top", "Right", "Bottom", "Gain", "Offset", "Use saved configuration"};
    obs_properties_t* props = obs_get_source_properties(kFilterId);
    obs_property_t* p = obs_properties_first(props);
    for (size_t i = 0; i < std::size(keys); ++i, obs_property_next(&p)) {
        ASSERT_TRUE(p) << "no property for " << keys[i];
        EXPECT_STREQ(obs_property_name(p), keys[i]);
        EXPECT_STREQ(obs_property_description(p), texts[i]);
        const std::string tip = obs_property_long_description(p);
        EXPECT_EQ(tip.find(".Description"), std::string::npos) << tip;
        EXPECT_GT(tip.size(), 40u) << keys[i];
    }
    EXPECT_FALSE(p) << "a property more than expected: " << obs_property_name(p);
    obs_properties_destroy(props);

    obs_data_t* defaults = obs_get_source_defaults(kFilterId);
    EXPECT_EQ(obs_data_get_double(defaults, "left"), 0);
    EXPECT_EQ(obs_data_get_double(defaults, "top"), 0);
    EXPECT_EQ(obs_data_get_double(defaults, "right"), 100);
    EXPECT_EQ(obs_data_get_double(defaults, "bottom"), 100);
    EXPECT_EQ(obs_data_get_int(defaults, "gain"), 50);
    EXPECT_EQ(obs_data_get_int(defaults, "offset"), 50);
    EXPECT_FALSE(obs_data_get_bool(defaults, "use_saved"));
    obs_data_release(defaults);
}

TEST(ObsModule, TheSwitchTurnsTheSettingsItReplacesOff) {
    obs_properties_t* props = obs_get_source_properties(kFilterId);
    DataPtr on = DataOf(Settings{.useSaved = true});
    obs_property_modified(obs_properties_get(props, "use_saved"), on.get());
    for (const char* key : {"left", "top", "right", "bottom", "gain", "offset"})
        EXPECT_FALSE(obs_property_enabled(obs_properties_get(props, key))) << key;
    DataPtr off = DataOf(Settings{});
    obs_property_modified(obs_properties_get(props, "use_saved"), off.get());
    for (const char* key : {"left", "top", "right", "bottom", "gain", "offset"})
        EXPECT_TRUE(obs_property_enabled(obs_properties_get(props, key))) << key;
    EXPECT_TRUE(obs_property_enabled(obs_properties_get(props, "use_saved")));
    obs_properties_destroy(props);
}

// A picture and the filter's settings on it.
struct PixelCase {
    const char* name;
    int width, height;
    Settings settings;
};

struct PixelParam {
    SourceKind kind;
    PixelCase pixelCase;
};

// Failure messages name the case rather than dump its bytes.
void PrintTo(const PixelParam& param, std::ostream* os) {
    *os << KindName(param.kind) << " " << param.pixelCase.name;
}

class ObsFilterPixels : public testing::TestWithParam<PixelParam> {};

// Every pixel of an opaque 8-bit picture equals the formula's byte, inside and outside the
// region; the filter is created neutral and then set, as a user does.
TEST_P(ObsFilterPixels, EqualTheFormulasBytes) {
    const auto& [kind, c] = GetParam();
    const Picture picture = obsharness::RandomPicture(c.width, c.height, 7, true);
    FilteredSource filtered(kind, picture);
    ASSERT_TRUE(filtered.FilterIsValid());
    ASSERT_EQ(FirstDifference(filtered.RenderUnfiltered(), picture.rgba, c.width), "")
        << "the test source itself does not show its picture exactly";
    filtered.Set(c.settings);
    const std::vector<uint8_t> want =
        effectref::Expected(picture.rgba, c.width, c.height, c.settings.AsFractions());
    EXPECT_EQ(FirstDifference(filtered.Render(), want, c.width), "");
}

const PixelCase kPixelCases[] = {
    {"WholeOddPicture", 33, 17, {0, 0, 100, 100, 70, 60}},
    {"CentreRegion", 64, 48, {25, 25, 75, 75, 20, 80}},
    {"EdgesBetweenPixels", 101, 37, {33.3, 10.5, 66.7, 90.1, 85, 40}},
    {"PastEveryEdge", 40, 30, {-50, -20, 150, 120, 90, 55}},
    {"PastTheRightAndBottom", 41, 29, {60, 70, 250, 400, 35, 65}},
    {"InvertedRegionIsEmpty", 40, 30, {80, 20, 20, 80, 100, 100}},
    {"OnePixel", 9, 7, {50, 50, 60, 60, 0, 100}},
    {"AllBlack", 16, 16, {0, 0, 100, 100, 0, 0}},
    {"AllWhite", 16, 16, {0, 0, 100, 100, 100, 100}},
    {"OneColumn", 1, 300, {0, 10, 100, 90, 65, 45}},
    {"OneRow", 511, 1, {12.5, 0, 87.5, 100, 30, 58}},
    {"LargeOddPicture", 331, 257, {5, 95, 95, 5, 75, 50}},
    {"LargeRegion", 331, 257, {5, 3, 95, 97, 75, 50}},
};

std::vector<PixelParam> AllPixelParams() {
    std::vector<PixelParam> params;
    for (SourceKind kind : {SourceKind::ImageLike, SourceKind::CaptureLike, SourceKind::InPieces,
                            SourceKind::SdrFloat})
        for (const PixelCase& c : kPixelCases)
            params.push_back({kind, c});
    return params;
}

INSTANTIATE_TEST_SUITE_P(Sources, ObsFilterPixels, testing::ValuesIn(AllPixelParams()),
                         [](const testing::TestParamInfo<PixelParam>& info) {
                             return KindName(info.param.kind) + "_" + info.param.pixelCase.name;
                         });

TEST(ObsFilter, DefaultsAndNeutralSlidersLeaveEveryByteAsItWas) {
    const Picture picture = obsharness::RandomPicture(45, 23, 11, false);
    FilteredSource filtered(SourceKind::ImageLike, picture);
    const std::vector<uint8_t> unfiltered = filtered.RenderUnfiltered();
    EXPECT_EQ(FirstDifference(filtered.Render(), unfiltered, picture.width), "");
    filtered.Set(Settings{10, 10, 90, 90, 50, 50});
    EXPECT_EQ(FirstDifference(filtered.Render(), unfiltered, picture.width), "");
}

// OBS keeps a translucent picture's colours multiplied by alpha in linear light, 8 bits deep, so
// the straight colour the table is indexed by is known only to within a step or two where alpha
// is small; the table can double that step, and multiplying by alpha again shrinks it. Opaque
// pixels stay exact, alpha is never changed, and every colour stays within 3 steps of the
// formula's byte premultiplied as OBS shows it.
TEST(ObsFilter, KeepsAlphaAndTakesTranslucentColoursThroughTheTable) {
    const Picture picture = obsharness::RandomPicture(64, 48, 13, false);
    const Settings settings{10, 0, 90, 100, 80, 35};
    FilteredSource filtered(SourceKind::ImageLike, picture, settings);
    const std::vector<uint8_t> got = filtered.Render();
    const std::vector<uint8_t> unfiltered = filtered.RenderUnfiltered();
    const std::vector<uint8_t> straight =
        effectref::Expected(picture.rgba, picture.width, picture.height, settings.AsFractions());

    // A byte of the formula's, premultiplied in linear light as OBS shows it.
    const auto shown = [](uint8_t byte, int alpha) {
        const double light = obsharness::SrgbDecode(byte / 255.0) * alpha / 255.0;
        return obsharness::SrgbEncode(light) * 255.0;
    };
    int worst = 0;
    for (size_t i = 0; i < got.size(); i += 4) {
        const int alpha = picture.rgba[i + 3];
        ASSERT_EQ(got[i + 3], alpha) << "pixel " << i / 4;
        for (size_t c = 0; c < 3; ++c) {
            if (alpha == 255) {
                ASSERT_EQ(got[i + c], straight[i + c]) << "pixel " << i / 4;
            }
            if (alpha == 0) {
                ASSERT_EQ(got[i + c], unfiltered[i + c]) << "pixel " << i / 4;
            }
            worst = std::max(
                worst, int(std::lround(std::abs(got[i + c] - shown(straight[i + c], alpha)))));
        }
    }
    EXPECT_LE(worst, 3);
}

TEST(ObsFilter, LeavesAnHdrSourceUnchangedAndSaysSoOnce) {
    const Picture picture = obsharness::RandomPicture(32, 24, 17, true);
    gObs->TakeWarnings();
    FilteredSource filtered(SourceKind::Hdr, picture, Settings{0, 0, 100, 100, 90, 70});
    const std::vector<uint8_t> first = filtered.Render();
    EXPECT_EQ(FirstDifference(filtered.Render(), filtered.RenderUnfiltered(), picture.width), "");
    EXPECT_EQ(FirstDifference(first, filtered.RenderUnfiltered(), picture.width), "");
    const std::vector<std::string> warnings = gObs->TakeWarnings();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("HDR"), std::string::npos) << warnings[0];
}

// The saved configuration, written by the effect's own saving code as the window's OK does.
class ObsFilterSaved : public testing::Test {
  protected:
    TempPreferences prefs;
    const Picture picture = obsharness::RandomPicture(50, 30, 19, true);
    const Settings own{0, 0, 50, 50, 20, 50};

    std::vector<uint8_t> Expected(const effectref::Setting& s) const {
        return effectref::Expected(picture.rgba, picture.width, picture.height, s);
    }
};

TEST_F(ObsFilterSaved, TheSwitchTakesTheSavedConfigurationAsReadWhenItCameOn) {
    const effectref::Setting saved{0.3, 0.1, 0.9, 0.8, 75, 62}, later{0, 0, 1, 1, 0, 50};
    ASSERT_TRUE(effectref::SaveSetting(saved));
    Settings switchedOn = own;
    switchedOn.useSaved = true;
    FilteredSource filtered(SourceKind::CaptureLike, picture, switchedOn);
    EXPECT_EQ(FirstDifference(filtered.Render(), Expected(saved), picture.width), "");

    // Read once, when switched on: other settings changing do not read it again.
    ASSERT_TRUE(effectref::SaveSetting(later));
    switchedOn.gain = 30;
    filtered.Set(switchedOn);
    EXPECT_EQ(FirstDifference(filtered.Render(), Expected(saved), picture.width), "");

    filtered.Set(own);
    EXPECT_EQ(FirstDifference(filtered.Render(), Expected(own.AsFractions()), picture.width), "");
    filtered.Set(switchedOn);
    EXPECT_EQ(FirstDifference(filtered.Render(), Expected(later), picture.width), "");
}

TEST_F(ObsFilterSaved, WithoutASavedConfigurationItsOwnSettingsStayAndTheLogSaysWhy) {
    gObs->TakeWarnings();
    Settings switchedOn = own;
    switchedOn.useSaved = true;
    FilteredSource filtered(SourceKind::CaptureLike, picture, switchedOn);
    EXPECT_EQ(FirstDifference(filtered.Render(), Expected(own.AsFractions()), picture.width), "");
    const std::vector<std::string> warnings = gObs->TakeWarnings();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("no saved configuration"), std::string::npos) << warnings[0];
}

} // namespace
