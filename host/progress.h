// Render progress for people: a live bar on a terminal, a summary line otherwise.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace reelhost {

enum class ProgressStyle { Bar, Summary, Quiet };

// A bar only when standard error is a terminal; --quiet silences both.
ProgressStyle ChooseProgressStyle(bool quiet, bool terminal);

// "1:05" or "1:02:03" for a number of seconds (negative counts as 0).
std::string FormatDuration(double seconds);
// "[############------------]  45/120  37.5 fps  0:02 left" after `seconds` of work.
std::string ProgressLine(int64_t done, int64_t total, double seconds, int barWidth = 30);

// Redraws the bar at most ten times a second, so reporting costs the render nothing.
class ProgressMeter {
  public:
    ProgressMeter(ProgressStyle style, std::FILE* out, int64_t total);
    void Advance(int64_t done);
    // Ends the bar's line; safe to call more than once.
    void Finish();
    double Seconds() const;
    ProgressStyle Style() const { return style_; }

  private:
    using Clock = std::chrono::steady_clock;

    ProgressStyle style_;
    std::FILE* out_;
    int64_t total_;
    Clock::time_point started_;
    Clock::time_point drawn_{};
    bool barShown_ = false;
};

} // namespace reelhost
