// Progress: the bar's text, durations, which style a run gets, and how often the bar is drawn.
#include "progress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>

namespace reelhost {
namespace {

struct LineCase {
    const char* name;
    int64_t done, total;
    double seconds;
    const char* expected;
};

class ProgressLines : public testing::TestWithParam<LineCase> {};

TEST_P(ProgressLines, ShowTheBarCountsRateAndTimeLeft) {
    const LineCase& c = GetParam();
    EXPECT_EQ(ProgressLine(c.done, c.total, c.seconds, 10), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    States, ProgressLines,
    testing::Values(LineCase{"NothingYet", 0, 120, 0.0, "[----------]  0/120  0.0 fps"},
                    LineCase{"Quarter", 30, 120, 1.0, "[##--------]  30/120  30.0 fps  0:03 left"},
                    LineCase{"Done", 120, 120, 4.0, "[##########]  120/120  30.0 fps  0:00 left"},
                    LineCase{"Slow", 1, 1000, 2.0, "[----------]  1/1000  0.5 fps  33:18 left"},
                    LineCase{"DoneBeyondTotal", 500, 120, 4.0,
                             "[##########]  120/120  30.0 fps  0:00 left"},
                    LineCase{"NoFrames", 0, 0, 1.0, "[----------]  0/0  0.0 fps"}),
    [](const testing::TestParamInfo<LineCase>& info) { return info.param.name; });

TEST(ProgressDurations, UseMinutesThenHours) {
    EXPECT_EQ(FormatDuration(0), "0:00");
    EXPECT_EQ(FormatDuration(59.4), "0:59");
    EXPECT_EQ(FormatDuration(59.6), "1:00");
    EXPECT_EQ(FormatDuration(3599), "59:59");
    EXPECT_EQ(FormatDuration(3600), "1:00:00");
    EXPECT_EQ(FormatDuration(-5), "0:00");
    EXPECT_EQ(FormatDuration(std::numeric_limits<double>::infinity()), "0:00");
}

TEST(ProgressStyles, BarOnlyOnATerminalAndNothingWhenQuiet) {
    EXPECT_EQ(ChooseProgressStyle(false, true), ProgressStyle::Bar);
    EXPECT_EQ(ChooseProgressStyle(false, false), ProgressStyle::Summary);
    EXPECT_EQ(ChooseProgressStyle(true, true), ProgressStyle::Quiet);
    EXPECT_EQ(ChooseProgressStyle(true, false), ProgressStyle::Quiet);
}

std::string Drawn(ProgressStyle style, int64_t frames) {
    std::FILE* out = std::tmpfile();
    ProgressMeter meter(style, out, frames);
    for (int64_t i = 1; i <= frames; ++i)
        meter.Advance(i);
    meter.Finish();
    std::string text(size_t(std::ftell(out)), '\0');
    std::rewind(out);
    text.resize(std::fread(text.data(), 1, text.size(), out));
    std::fclose(out);
    return text;
}

TEST(ProgressMeters, RedrawTheBarSparinglyAndAlwaysShowTheEnd) {
    const std::string text = Drawn(ProgressStyle::Bar, 100000);
    const auto redraws = std::count(text.begin(), text.end(), '\r');
    EXPECT_GE(redraws, 2);    // the first frame and the last
    EXPECT_LT(redraws, 1000); // not one per frame
    EXPECT_NE(text.find("100000/100000"), std::string::npos);
    EXPECT_EQ(text.back(), '\n');
}

TEST(ProgressMeters, SummaryAndQuietDrawNoBar) {
    EXPECT_EQ(Drawn(ProgressStyle::Summary, 50), "");
    EXPECT_EQ(Drawn(ProgressStyle::Quiet, 50), "");
}

} // namespace
} // namespace reelhost
