// Rounds of Google Benchmark runs, each figure over its baseline of the same round; medians.
#include "figures.h"
#include "median.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

namespace figures {
namespace {

constexpr int kDefaultRounds = 5;
constexpr double kMinSecondsPerFigure = 0.2;

struct Baseline {
    std::string name;
    size_t bytes;
    Body body;
};

struct Figure {
    std::string name;
    std::string baseline;
    Body body;
    std::string minus;
};

struct Registry {
    std::vector<Baseline> baselines;
    std::vector<Figure> figures;
    std::vector<std::function<std::string(const Results&)>> notes;
};

// Filled by the benchmark files' static registrations, so it must exist before any of them.
Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

// One round: each benchmark's fastest iteration (or its mean where it reports none) and its
// mean real time per iteration, in microseconds.
struct Timing {
    double best;
    double mean;
    std::map<std::string, double> counters;
};
using RoundTimes = std::map<std::string, Timing>;

class RoundReporter : public benchmark::ConsoleReporter {
  public:
    void StartRound() { rounds_.emplace_back(); }
    const std::vector<RoundTimes>& Rounds() const { return rounds_; }

    bool ReportContext(const Context& context) override {
        if (contextShown_) return true;
        contextShown_ = true;
        return ConsoleReporter::ReportContext(context);
    }

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
            const double mean = run.GetAdjustedRealTime();
            const auto best = run.counters.find(kBestCounter);
            Timing& timing = rounds_.back()[run.run_name.function_name];
            timing = {best == run.counters.end() ? mean : double(best->second), mean, {}};
            for (const auto& [counter, value] : run.counters)
                timing.counters[counter] = value;
        }
        ConsoleReporter::ReportRuns(runs);
    }

  private:
    bool contextShown_ = false;
    std::vector<RoundTimes> rounds_;
};

// Per round, f(times of that round), for the rounds in which every name involved was measured.
template <class F>
std::vector<double> PerRound(const std::vector<RoundTimes>& rounds,
                             std::initializer_list<std::string> names, F f) {
    std::vector<double> values;
    for (const RoundTimes& round : rounds) {
        const bool complete = std::all_of(names.begin(), names.end(), [&](const std::string& n) {
            return !n.empty() && round.count(n) && round.at(n).best > 0 && round.at(n).mean > 0;
        });
        if (complete) values.push_back(f(round));
    }
    return values;
}

class RoundResults : public Results {
  public:
    explicit RoundResults(const std::vector<RoundTimes>& rounds) : rounds_(rounds) {}

    double MedianTime(const std::string& name) const override {
        return Median(
            PerRound(rounds_, {name}, [&](const RoundTimes& r) { return r.at(name).best; }));
    }
    double MedianCounter(const std::string& name, const std::string& counter) const override {
        std::vector<double> values;
        for (const RoundTimes& round : rounds_) {
            const auto timing = round.find(name);
            if (timing == round.end()) continue;
            const auto value = timing->second.counters.find(counter);
            if (value != timing->second.counters.end()) values.push_back(value->second);
        }
        return Median(values);
    }
    double MedianRatio(const std::string& name) const override {
        const Figure* figure = Find(name);
        return figure ? Median(Ratios(*figure)) : 0;
    }
    std::vector<double> Ratios(const Figure& f) const {
        return PerRound(rounds_, {f.name, f.baseline}, [&](const RoundTimes& r) {
            return r.at(f.name).best / r.at(f.baseline).best;
        });
    }
    // The same from the mean iterations, which include what other processes cost us.
    double MedianMeanRatio(const Figure& f) const {
        return Median(PerRound(rounds_, {f.name, f.baseline}, [&](const RoundTimes& r) {
            return r.at(f.name).mean / r.at(f.baseline).mean;
        }));
    }
    // What a figure adds to its `minus` figure, over the baseline.
    double MedianExcess(const Figure& f) const {
        return Median(PerRound(rounds_, {f.name, f.minus, f.baseline}, [&](const RoundTimes& r) {
            return (r.at(f.name).best - r.at(f.minus).best) / r.at(f.baseline).best;
        }));
    }

  private:
    static const Figure* Find(const std::string& name) {
        for (const Figure& figure : TheRegistry().figures)
            if (figure.name == name) return &figure;
        return nullptr;
    }
    const std::vector<RoundTimes>& rounds_;
};

void Register(const std::string& name, const Body& body) {
    benchmark::RegisterBenchmark(name.c_str(), [body](benchmark::State& state) { body(state); })
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond)
        ->MinTime(kMinSecondsPerFigure);
}

// Each baseline, smallest first, directly followed by its figures.
void RegisterInRunOrder() {
    Registry& registry = TheRegistry();
    std::vector<Baseline> baselines = registry.baselines;
    std::stable_sort(baselines.begin(), baselines.end(),
                     [](const Baseline& a, const Baseline& b) { return a.bytes < b.bytes; });
    for (const Baseline& baseline : baselines) {
        Register(baseline.name, baseline.body);
        for (const Figure& figure : registry.figures)
            if (figure.baseline == baseline.name) Register(figure.name, figure.body);
    }
}

std::string SummaryLine(const RoundResults& results, const Figure& figure) {
    char line[256];
    int length = std::snprintf(line, sizeof line, "%s: %.2fx memcpy", figure.name.c_str(),
                               results.MedianRatio(figure.name));
    if (!figure.minus.empty() && length > 0 && size_t(length) < sizeof line) {
        std::snprintf(line + length, sizeof line - size_t(length), " (%s + %.2fx)",
                      figure.minus.c_str(), results.MedianExcess(figure));
    }
    return line;
}

void PrintFigures(const RoundResults& results, size_t rounds) {
    std::printf("\nRatios to memcpy of the same bytes: median of %zu rounds, each round's time "
                "over its own memcpy (the rounds in brackets)\n",
                rounds);
    for (const Baseline& baseline : TheRegistry().baselines)
        if (results.MedianTime(baseline.name) > 0)
            std::printf("  %-44s %10.1f us\n", baseline.name.c_str(),
                        results.MedianTime(baseline.name));
    for (const Figure& figure : TheRegistry().figures) {
        if (results.MedianRatio(figure.name) <= 0) continue; // filtered out of this run
        std::printf("  %-44s %6.2fx  [", figure.name.c_str(), results.MedianRatio(figure.name));
        for (double ratio : results.Ratios(figure))
            std::printf(" %.2f", ratio);
        std::printf(" ]\n");
    }
}

std::vector<std::string> Summary(const RoundResults& results) {
    std::vector<std::string> lines;
    for (const Figure& figure : TheRegistry().figures)
        if (results.MedianRatio(figure.name) > 0) lines.push_back(SummaryLine(results, figure));
    for (const auto& note : TheRegistry().notes) {
        const std::string line = note(results);
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

// Takes our own flags out of argv, leaving Google Benchmark's.
void TakeOwnFlags(int& argc, char** argv, int& rounds, std::string& summaryPath) {
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--rounds=", 9) == 0) {
            rounds = std::max(1, std::atoi(argv[i] + 9));
        } else if (std::strncmp(argv[i], "--summary=", 10) == 0) {
            summaryPath = argv[i] + 10;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
}

} // namespace

void AddBaseline(const std::string& name, size_t bytes, Body body) {
    std::vector<Baseline>& baselines = TheRegistry().baselines;
    const bool known = std::any_of(baselines.begin(), baselines.end(),
                                   [&](const Baseline& b) { return b.name == name; });
    if (!known) baselines.push_back({name, bytes, std::move(body)});
}

void AddFigure(const std::string& name, const std::string& baseline, Body body,
               const std::string& minus) {
    TheRegistry().figures.push_back({name, baseline, std::move(body), minus});
}

void AddNote(std::function<std::string(const Results&)> note) {
    TheRegistry().notes.push_back(std::move(note));
}

int RunRounds(int argc, char** argv) {
    int rounds = kDefaultRounds;
    std::string summaryPath;
    TakeOwnFlags(argc, argv, rounds, summaryPath);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RegisterInRunOrder();

    RoundReporter reporter;
    for (int round = 0; round < rounds; ++round) {
        std::printf("\nRound %d of %d\n", round + 1, rounds);
        reporter.StartRound();
        benchmark::RunSpecifiedBenchmarks(&reporter);
    }
    const RoundResults results(reporter.Rounds());
    PrintFigures(results, reporter.Rounds().size());

    const std::vector<std::string> lines = Summary(results);
    std::FILE* summary = summaryPath.empty() ? nullptr : std::fopen(summaryPath.c_str(), "a");
    if (!summaryPath.empty() && !summary) {
        std::fprintf(stderr, "cannot append the summary to %s\n", summaryPath.c_str());
        return 1;
    }
    std::printf("\nSummary\n");
    for (const std::string& line : lines) {
        std::printf("%s\n", line.c_str());
        if (summary) std::fprintf(summary, "%s\n", line.c_str());
    }
    if (summary) std::fclose(summary);
    benchmark::Shutdown();
    return 0;
}

} // namespace figures

int main(int argc, char** argv) {
    return figures::RunRounds(argc, argv);
}
