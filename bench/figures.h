// The figures of `make bench`: each a ratio to memcpy of the same bytes, measured in one run.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <functional>
#include <limits>
#include <string>

namespace figures {

using Body = std::function<void(benchmark::State&)>;

// Name of the counter in which Measure reports the fastest iteration, in microseconds.
inline constexpr const char* kBestCounter = "best_us";

// The benchmark loop: runs `step` once per iteration and reports the fastest iteration as well.
// Figures are compared by their fastest iterations, which other processes on a shared machine
// slow down least; the mean stays in the report for comparison.
template <class Step> void Measure(benchmark::State& state, Step&& step) {
    using Clock = std::chrono::steady_clock;
    double best = std::numeric_limits<double>::infinity();
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        step();
        benchmark::ClobberMemory();
        best =
            std::min(best, std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    state.counters[kBestCounter] = best;
}

// A yardstick: memcpy of `bytes` bytes. Baselines run in order of size, each followed by the
// figures measured against it. A second baseline of the same name is ignored.
void AddBaseline(const std::string& name, size_t bytes, Body body);

// A figure reported as its time over `baseline`'s time of the same round. With `minus`, the
// summary also says how much the figure adds to that other figure, in the same unit.
void AddFigure(const std::string& name, const std::string& baseline, Body body,
               const std::string& minus = {});

// Median results over the rounds, for notes computed from several figures.
class Results {
  public:
    virtual ~Results() = default;
    // Of the fastest iterations: microseconds, and the ratio to the figure's baseline; 0 if
    // unknown.
    virtual double MedianTime(const std::string& name) const = 0;
    virtual double MedianRatio(const std::string& name) const = 0;
    // A counter the benchmark set in its State (Google Benchmark's per-run value); 0 if unknown.
    virtual double MedianCounter(const std::string& name, const std::string& counter) const = 0;
};

// A line printed after the figures and added to the summary; empty means nothing to say.
void AddNote(std::function<std::string(const Results&)> note);

// Runs every round and prints the ratios and the summary (also appended to the file named by
// --summary=PATH). Flags: --rounds=N (default 5) and Google Benchmark's own.
int RunRounds(int argc, char** argv);

} // namespace figures
