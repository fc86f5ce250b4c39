// The OBS filter's cost per 1080p frame beside OBS's own colour correction filter, both on the
// same source in the same headless libobs and renderer, measured in one run: the source alone,
// then with each filter, round after round, each render read back so that it has finished.
//
// Usage: bench_obs [--rounds=N] [--frames=N] [--summary=PATH]
#include "obsharness.h"

#include "median.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
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

double TimeFrames(obsharness::Renderer& renderer, obs_source_t* source, int frames,
                  std::vector<uint8_t>& pixels) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < frames; ++i)
        renderer.Render(source, pixels);
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / frames;
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
        TimeFrames(renderer, side.source, 2, pixels);
    for (int round = 0; round < options.rounds; ++round)
        for (Side& side : sides)
            side.msPerFrame.push_back(TimeFrames(renderer, side.source, options.frames, pixels));

    const double alone = Median(sides[0].msPerFrame);
    const double ours = Median(sides[1].msPerFrame) - alone;
    const double theirs = Median(sides[2].msPerFrame) - alone;
    std::string summary;
    char line[256];
    std::snprintf(line, sizeof line,
                  "obs/1920x1080: Glimmerdusk %.2f ms, Color Correction %.2f ms per frame beyond "
                  "the source's own %.2f ms: %.2fx Color Correction's cost\n",
                  ours, theirs, alone, ours / theirs);
    summary = line;
    std::printf("Filters on a %dx%d screen-capture-like source, this machine's OpenGL renderer "
                "(median of %d rounds of %d frames, each read back):\n",
                kWidth, kHeight, options.rounds, options.frames);
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
