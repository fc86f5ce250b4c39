// The command line: what each command accepts, its defaults, and every way to get it wrong.
#include "command_line.h"
#include "host_error.h"

#include <gtest/gtest.h>

namespace reelhost {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLineParse, RenderTakesEveryOptionInBothSpellings) {
    const CommandLine line = ParseCommandLine(
        {"render", "in.mp4", "-o", "out.mkv", "--fade-in", "12", "--fade-out=7", "--sliders",
         "0,0.25,1", "--start", "3", "--frames=40", "--proxy", "--bundle", "b.bundle", "--quiet"});
    EXPECT_EQ(line.command, Command::Render);
    EXPECT_EQ(line.input, "in.mp4");
    EXPECT_EQ(line.output, "out.mkv");
    EXPECT_EQ(line.settings.fadeInFrames, 12);
    EXPECT_EQ(line.settings.fadeOutFrames, 7);
    EXPECT_FLOAT_EQ(line.settings.sliders[0], 0.0f);
    EXPECT_FLOAT_EQ(line.settings.sliders[1], 0.25f);
    EXPECT_FLOAT_EQ(line.settings.sliders[2], 1.0f);
    EXPECT_EQ(line.start, 3);
    EXPECT_EQ(line.frames, 40);
    EXPECT_TRUE(line.proxy);
    EXPECT_EQ(line.bundle, "b.bundle");
    EXPECT_TRUE(line.quiet);
}

TEST(CommandLineParse, DefaultsAreTheDemoClipNeutralSlidersAndTheWholeClip) {
    const CommandLine line = ParseCommandLine({"render", "--output", "out.mp4"});
    EXPECT_TRUE(line.input.empty());
    EXPECT_TRUE(line.bundle.empty());
    EXPECT_EQ(line.settings.fadeInFrames, 0);
    EXPECT_EQ(line.settings.fadeOutFrames, 0);
    for (float slider : line.settings.sliders)
        EXPECT_FLOAT_EQ(slider, 0.5f);
    EXPECT_EQ(line.start, 0);
    EXPECT_FALSE(line.frames.has_value());
    EXPECT_FALSE(line.proxy);
    EXPECT_FALSE(line.quiet);
}

TEST(CommandLineParse, OtherCommands) {
    EXPECT_EQ(ParseCommandLine({"info"}).command, Command::Info);
    const CommandLine thumb =
        ParseCommandLine({"thumbnail", "clip.mov", "-o", "t.png", "--at", "9"});
    EXPECT_EQ(thumb.command, Command::Thumbnail);
    EXPECT_EQ(thumb.at, 9);
    const CommandLine configure = ParseCommandLine({"configure", "--at", "4"});
    EXPECT_EQ(configure.command, Command::Configure);
    EXPECT_EQ(configure.at, 4);
    EXPECT_EQ(ParseCommandLine({"render", "--help"}).command, Command::Help);
    EXPECT_EQ(ParseCommandLine({"-h"}).command, Command::Help);
}

struct BadCase {
    const char* name;
    Args args;
    const char* mentions; // a part of the message that points at the mistake
};

class CommandLineErrors : public testing::TestWithParam<BadCase> {};

TEST_P(CommandLineErrors, AreUsageErrorsThatNameTheMistake) {
    const BadCase& c = GetParam();
    try {
        ParseCommandLine(c.args);
        FAIL() << "accepted";
    } catch (const UsageError& error) {
        EXPECT_NE(std::string(error.what()).find(c.mentions), std::string::npos) << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, CommandLineErrors,
    testing::Values(
        BadCase{"NoCommand", {}, "no command"}, BadCase{"UnknownCommand", {"paint"}, "'paint'"},
        BadCase{"RenderWithoutOutput", {"render", "in.mp4"}, "-o PATH"},
        BadCase{"ThumbnailWithoutOutput", {"thumbnail"}, "-o PATH"},
        BadCase{"UnknownOption", {"render", "-o", "x.mp4", "--speed", "2"}, "'--speed'"},
        BadCase{"OptionOfAnotherCommand",
                {"thumbnail", "-o", "t.png", "--fade-in", "3"},
                "--fade-in does not apply to 'thumbnail'"},
        BadCase{"InfoTakesNoInput", {"info", "clip.mp4"}, "'clip.mp4'"},
        BadCase{"TwoInputs", {"render", "a.mp4", "b.mp4", "-o", "x.mp4"}, "'b.mp4'"},
        BadCase{"MissingValue", {"render", "-o", "x.mp4", "--start"}, "--start needs a value"},
        BadCase{"ValueOnAFlag", {"render", "-o", "x.mp4", "--proxy=yes"}, "takes no value"},
        BadCase{"GivenTwice", {"render", "-o", "x.mp4", "-o", "y.mp4"}, "more than once"},
        BadCase{"NotANumber", {"render", "-o", "x.mp4", "--fade-in", "ten"}, "'ten'"},
        BadCase{"TrailingText", {"render", "-o", "x.mp4", "--start", "5s"}, "'5s'"},
        BadCase{"NegativeFade", {"render", "-o", "x.mp4", "--fade-out", "-1"}, "'-1'"},
        BadCase{"NoFrames", {"render", "-o", "x.mp4", "--frames", "0"}, "from 1"},
        BadCase{"Beyond32Bits", {"render", "-o", "x.mp4", "--start", "2147483648"}, "2147483647"},
        BadCase{"EmptyNumber", {"thumbnail", "-o", "t.png", "--at="}, "--at needs"},
        BadCase{"TwoSliders", {"render", "-o", "x.mp4", "--sliders", "0.1,0.2"}, "three"},
        BadCase{"FourSliders", {"render", "-o", "x.mp4", "--sliders", "0.1,0.2,0.3,0.4"}, "three"},
        BadCase{"SliderAboveOne",
                {"render", "-o", "x.mp4", "--sliders", "0.1,1.5,0.3"},
                "'0.1,1.5,0.3'"},
        BadCase{"SliderNotANumber", {"render", "-o", "x.mp4", "--sliders", "a,b,c"}, "three"},
        BadCase{"SliderNaN", {"render", "-o", "x.mp4", "--sliders", "nan,0,0"}, "three"},
        BadCase{"EmptySlider", {"render", "-o", "x.mp4", "--sliders", "0.1,,0.3"}, "three"}),
    [](const testing::TestParamInfo<BadCase>& info) { return info.param.name; });

} // namespace
} // namespace reelhost
