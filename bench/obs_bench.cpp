// The OBS filter's cost per 1080p frame beside OBS's own colour correction filter, both on the
// same source in the same headless libobs and renderer, measured in one run: the source alone and
// with each filter, rendered in turn frame after frame so that all three see the same load, each
// render read back so that it has finished. Each round compares the fastest frame of each, which
// other processes on a shared machine slow down least.
//
// Usage: bench_obs [--rounds=N] [--frames=N] [--summary=PATH]
#include "obsharness.h"

#include "median.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

struct Options {
    int rounds = 5;
    int frames = 30; // per side and round
    std::string summary;
};

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--rounds=", 0) == 0)
            options.rounds = std::max(1, std::atoi(arg.c_str() + 9));
        else if (arg.rfind("--frames=", 0) == 0)
            options.frames = std::max(1, std::atoi(arg.c_str() + 9));
        else if (arg.rfind("--summary=", 0) == 0)
            options.summary = arg.substr(10);
        else
            throw std::runtime_error("unknown argument " + arg +
                                     " (--rounds=N, --frames=N, --summary=PATH)");
    }
    return options;
}

// A source with a filter made from `id` and `settings` (none: the source alone).
struct Side {
    const char* label;
    obs_source_t* source;
    obs_source_t* filter;
    std::vector<double> msPerFrame;
};

obs_source_t* AddFilter(obs_source_t* source, const char* id, obs_data_t* settings) {
    obs_source_t* filter = obs_source_create_private(id, id, settings);
    obs_data_release(settings);
    if (!filter || obs_obj_invalid(filter))
        throw std::runtime_error(std::string("the filter ") + id + " could not be created");
    obs_source_filter_add(source, filter);
    return filter;
}

// The brightening the plug-in's own figures use: the whole picture, gain 70, offset 60.
obs_data_t* GlimmerduskSettings() {
    obs_data_t* settings = obs_data_create();
    obs_data_set_int(settings, "gain", 70);
    obs_data_set_int(settings, "offset", 60);
    return settings;
}

// A colour correction that changes every pixel; its shader does the same work for any values.
obs_data_t* ColourCorrectionSettings() {
    obs_data_t* settings = obs_data_create();
    obs_data_set_double(settings, "contrast", 0.4);
    obs_data_set_double(settings, "brightness", 0.2);
    return settings;
}

double MillisecondsToRender(obsharness::Renderer& renderer, obs_source_t* source,
                            std::vector<uint8_t>& pixels) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    renderer.Render(source, pixels);
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int Run(const Options& options) {
    obsharness::Obs obs(LUMASHIFT_OBS_SHADER_CACHE);
    obs.LoadModule(LUMASHIFT_OBS_MODULE, LUMASHIFT_OBS_MODULE_DATA);
    obs.LoadModule(LUMASHIFT_OBS_FILTERS_MODULE, LUMASHIFT_OBS_FILTERS_DATA);

    // Three sources with one picture, as a screen capture draws it.
    const obsharness::Picture picture = obsharness::RandomPicture(kWidth, kHeight, 23, true);
    std::vector<Side> sides = {{"source alone", nullptr, nullptr, {}},
                               {"+ Glimmerdusk", nullptr, nullptr, {}},
                               {"+ Color Correction", nullptr, nullptr, {}}};
    for (Side& side : sides)
        side.source = obsharness::CreatePictureSource(obsharness::SourceKind::CaptureLike, picture,
                                                      side.label);
    sides[1].filter = AddFilter(sides[1].source, "glimmerdusk_filter", GlimmerduskSettings());
    sides[2].filter = AddFilter(sides[2].source, "color_filter_v2", ColourCorrectionSettings());
    obs.WaitTicks(2);

    obsharness::Renderer renderer(kWidth, kHeight);
    std::vector<uint8_t> pixels;
    for (Side& side : sides) // the first renders compile the shaders
        MillisecondsToRender(renderer, side.source, pixels);
    std::vector<double> ratios;
    for (int round = 0; round < options.rounds; ++round) {
        std::vector<double> fastest(sides.size(), std::numeric_limits<double>::infinity());
        for (int frame = 0; frame < options.frames; ++frame)
            for (size_t i = 0; i < sides.size(); ++i)
                fastest[i] =
                    std::min(fastest[i], MillisecondsToRender(renderer, sides[i].source, pixels));
        for (size_t i = 0; i < sides.size(); ++i)
            sides[i].msPerFrame.push_back(fastest[i]);
        ratios.push_back((fastest[1] - fastest[0]) / (fastest[2] - fastest[0]));
    }

    const double alone = Median(sides[0].msPerFrame);
    char line[256];
    std::snprintf(line, sizeof line,
                  "obs/1920x1080: Glimmerdusk adds %.2f ms, Color Correction %.2f ms to the "
                  "source's own %.2f ms per frame: %.2fx Color Correction's cost\n",
                  Median(sides[1].msPerFrame) - alone, Median(sides[2].msPerFrame) - alone, alone,
                  Median(ratios));
    const std::string summary = line;
    std::printf("Filters on a %dx%d screen-capture-like source, this machine's OpenGL renderer "
                "(fastest frame of %d per round, median of %d rounds; each render read back):\n",
                kWidth, kHeight, options.frames, options.rounds);
    for (const Side& side : sides)
        std::printf("  %-20s %7.2f ms per frame\n", side.label, Median(side.msPerFrame));
    std::printf("%s", summary.c_str());
    if (!options.summary.empty()) {
        if (FILE* file = std::fopen(options.summary.c_str(), "a")) {
            std::fputs(summary.c_str(), file);
            std::fclose(file);
        }
    }

    for (Side& side : sides) {
        if (side.filter) {
            obs_source_filter_remove(side.source, side.filter);
            obs_source_release(side.filter);
        }
        obs_source_release(side.source);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Run(ParseOptions(argc, argv));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_obs: %s\n", e.what());
        return 1;
    }
}
