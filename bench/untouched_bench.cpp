// What a render leaves as it was, sample by sample: reelhost beside the stock ffmpeg programs,
// with the effect neutral and over a region, from 8-bit 4:2:0 and from 10-bit 4:2:2 with film
// grain, all to lossless FFV1. For each plane: the share of the samples outside the region
// (every sample, for a neutral render) that differ from the source, and the largest difference.
// Flags: --reelhost=PATH (default: the one built beside this program).
#include "sample_planes.h"
#include "saved_effect.h"
#include "scratch_folder.h"
#include "stock_graph.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using reelhost::testing_support::ForEachSample;
using reelhost::testing_support::PixelBox;
using reelhost::testing_support::PlanesOf;
using reelhost::testing_support::SamplePair;

constexpr int kWidth = 320, kHeight = 240, kFrames = 30;
// The demo's effect: a brightened centre region, gain 1.4 and offset +25.5.
constexpr stockgraph::Effect kRegion{0.2, 0.8, 0.25, 0.75, 70, 60};
constexpr stockgraph::Effect kNeutral{};

struct Source {
    const char* name;
    const char* filters; // after testsrc2
    const char* format;
};
const Source kSources[] = {
    {"8-bit 4:2:0", "null", "yuv420p"},
    {"10-bit 4:2:2 with film grain", "noise=alls=20:allf=t", "yuv422p10le"},
};

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

std::string Samples(const std::string& path) {
    std::string bytes;
    FILE* pipe = popen(("ffmpeg -v error -i " + Quoted(path) + " -f rawvideo -").c_str(), "r");
    if (!pipe) throw std::runtime_error("cannot run ffmpeg");
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        bytes.append(buffer, n);
    pclose(pipe);
    return bytes;
}

// Per plane: samples compared, those that differ, the largest difference.
struct PlaneFigures {
    long samples = 0, differ = 0;
    int largest = 0;
};

// Samples outside `region` (every sample, for an empty one).
std::vector<PlaneFigures> Compare(const std::string& source, const std::string& render,
                                  const Source& s, const PixelBox& region) {
    const std::string a = Samples(source), b = Samples(render);
    if (a.size() != b.size()) throw std::runtime_error(render + " has another size");
    std::vector<PlaneFigures> figures(PlanesOf(s.format, kWidth, kHeight).size());
    ForEachSample(a, b, PlanesOf(s.format, kWidth, kHeight), kWidth, kHeight,
                  [&](const SamplePair& pair) {
                      if (!region.Misses(pair.covers)) return;
                      PlaneFigures& f = figures[size_t(pair.plane)];
                      ++f.samples;
                      f.differ += pair.a != pair.b;
                      f.largest = std::max(f.largest, std::abs(pair.a - pair.b));
                  });
    return figures;
}

void PrintRow(const Source& s, const char* render, const std::vector<PlaneFigures>& figures) {
    std::printf("| %s | %s |", s.name, render);
    for (const PlaneFigures& f : figures)
        std::printf(" %.2f %% (%d) |", 100.0 * double(f.differ) / double(f.samples), f.largest);
    std::printf("\n");
}

void Measure(const std::string& reelhost, const fs::path& folder) {
    std::printf("| source | render | Y: differ (largest) | U | V |\n| --- | --- | --- | --- | --- "
                "|\n");
    for (const Source& s : kSources) {
        const std::string source = (folder / "source.mkv").string();
        Run("ffmpeg -v error -y -f lavfi -i testsrc2=size=" + std::to_string(kWidth) + "x" +
            std::to_string(kHeight) + ":rate=30 -frames:v " + std::to_string(kFrames) + " -vf " +
            s.filters + " -pix_fmt " + s.format + " -c:v ffv1 " + Quoted(source));
        for (const bool neutral : {true, false}) {
            const stockgraph::Effect& effect = neutral ? kNeutral : kRegion;
            const stockgraph::Region r = stockgraph::RegionOf(effect, kWidth, kHeight);
            const PixelBox region =
                neutral ? PixelBox{} : PixelBox{r.x, r.y, r.x + r.width, r.y + r.height};
            const std::string ours = (folder / "reelhost.mkv").string();
            const std::string theirs = (folder / "ffmpeg.mkv").string();
            SaveEffectAsConfiguration(effect);
            Run(Quoted(reelhost) + " render " + Quoted(source) + " -o " + Quoted(ours) +
                " --codec ffv1 --quiet");
            const std::string graph =
                neutral ? "-vf format=rgba,format=" + std::string(s.format)
                        : "-filter_complex \"" +
                              stockgraph::FilterGraph(effect, kWidth, kHeight, s.format) +
                              "\" -map '[v]'"; // the graph quotes with ' itself
            Run("ffmpeg -v error -y -i " + Quoted(source) + " " + graph + " -c:v ffv1 " +
                Quoted(theirs));
            const char* what = neutral ? "neutral" : "region, outside it";
            PrintRow(s, (std::string("reelhost, ") + what).c_str(),
                     Compare(source, ours, s, region));
            PrintRow(s, (std::string("stock ffmpeg through RGBA, ") + what).c_str(),
                     Compare(source, theirs, s, region));
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    std::string reelhost = LUMASHIFT_REELHOST;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]).rfind("--reelhost=", 0) == 0) reelhost = argv[i] + 11;
    return WithScratchFolder("untouched samples", [&](const fs::path& folder) {
        setenv("XDG_CONFIG_HOME", folder.c_str(), 1); // for this program and its children
        Measure(reelhost, folder);
    });
}
