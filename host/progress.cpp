// Drawing and pacing the progress bar.
#include "progress.h"

#include <algorithm>
#include <cmath>

namespace reelhost {
namespace {

constexpr std::chrono::milliseconds kRedrawInterval(100);

} // namespace

ProgressStyle ChooseProgressStyle(bool quiet, bool terminal) {
    if (quiet) return ProgressStyle::Quiet;
    return terminal ? ProgressStyle::Bar : ProgressStyle::Summary;
}

std::string FormatDuration(double seconds) {
    const long total = std::isfinite(seconds) ? std::lround(std::max(seconds, 0.0)) : 0;
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

std::string ProgressLine(int64_t done, int64_t total, double seconds, int barWidth) {
    done = std::clamp<int64_t>(done, 0, std::max<int64_t>(total, 0));
    const int filled = total > 0 ? int(done * barWidth / total) : 0;
    const double rate = seconds > 0 ? double(done) / seconds : 0.0;
    std::string line =
        "[" + std::string(size_t(filled), '#') + std::string(size_t(barWidth - filled), '-') + "]";
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "  %lld/%lld  %.1f fps", (long long)done,
                  (long long)total, rate);
    line += numbers;
    if (rate > 0) line += "  " + FormatDuration(double(total - done) / rate) + " left";
    return line;
}

ProgressMeter::ProgressMeter(ProgressStyle style, std::FILE* out, int64_t total)
    : style_(style), out_(out), total_(total), started_(Clock::now()) {}

void ProgressMeter::Advance(int64_t done) {
    if (style_ != ProgressStyle::Bar) return;
    const Clock::time_point now = Clock::now();
    if (done < total_ && now - drawn_ < kRedrawInterval) return;
    drawn_ = now;
    // Trailing spaces wipe what a longer earlier line left behind.
    std::fprintf(out_, "\r%s   ", ProgressLine(done, total_, Seconds()).c_str());
    std::fflush(out_);
    barShown_ = true;
}

void ProgressMeter::Finish() {
    if (barShown_) std::fputc('\n', out_);
    barShown_ = false;
}

double ProgressMeter::Seconds() const {
    return std::chrono::duration<double>(Clock::now() - started_).count();
}

} // namespace reelhost
