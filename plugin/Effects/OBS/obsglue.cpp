// The OBS Studio glue: the effect as a video filter, "Glimmerdusk", for any source, rendered on
// the GPU. Each frame's region comes from the effect's own region mapping and its channel table
// from the effect's own code; the shader (data/glimmerdusk.effect) only looks that table up
// inside the region, so OBS shows the same bytes as every other host of the effect.
//
// Threads: OBS calls update on the thread that created the filter or, deferred, on its graphics
// thread, and renders on the graphics thread. The configuration in force is kept under the
// filter's lock and copied out once per frame. The saved configuration is read only when the
// "use saved configuration" switch comes on, never per frame.
#include "DataHandling.h"
#include "pixeleffect.h"
#include "relrects.h"
#include "savedconfig.h"

#include <obs-module.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <mutex>
#include <new>

OBS_DECLARE_MODULE()
OBS_MODULE_USE_DEFAULT_LOCALE("glimmerdusk-obs", "en-US")

namespace {

constexpr const char* kFilterId = "glimmerdusk_filter";
constexpr const char* kEffectFile = "glimmerdusk.effect";

enum class Control { Percent, Slider, Switch };

struct Setting {
    const char* key;         // in the filter's settings
    const char* text;        // in data/locale
    const char* explanation; // in data/locale: the tooltip
    Control control;
    double defaultValue;
};

enum SettingIndex : int { kLeft, kTop, kRight, kBottom, kGain, kOffset, kUseSaved, kSettingCount };

// What OBS shows for each setting, in this order. The defaults leave the picture unchanged.
constexpr Setting kSettings[kSettingCount] = {
    {"left", "Left", "Left.Description", Control::Percent, 0.0},
    {"top", "Top", "Top.Description", Control::Percent, 0.0},
    {"right", "Right", "Right.Description", Control::Percent, 100.0},
    {"bottom", "Bottom", "Bottom.Description", Control::Percent, 100.0},
    {"gain", "Gain", "Gain.Description", Control::Slider, kNeutralSlider},
    {"offset", "Offset", "Offset.Description", Control::Slider, kNeutralSlider},
    {"use_saved", "UseSaved", "UseSaved.Description", Control::Switch, 0.0},
};

constexpr double kPerCent = 100.0;
constexpr double kPercentStep = 0.01; // a fifth of a pixel across a 1920-pixel source
// The region mapping works in 16-bit pixel coordinates.
constexpr uint32_t kLargestSide = std::numeric_limits<int16_t>::max();
constexpr uint32_t kTableSize = 256; // one entry per 8-bit channel value

// The colour spaces the filter can be handed: 8-bit sRGB, the same in 16-bit float, and HDR.
constexpr gs_color_space kSpaces[] = {GS_CS_SRGB, GS_CS_SRGB_16F, GS_CS_709_EXTENDED};

struct Filter {
    obs_source_t* context = nullptr;
    gs_effect_t* effect = nullptr;
    gs_eparam_t* regionParam = nullptr;
    gs_eparam_t* sizeParam = nullptr;
    gs_eparam_t* tableParam = nullptr;

    // Graphics thread only: the table texture and the sliders it was made for.
    gs_texture_t* table = nullptr;
    int16_t tableSliders[2] = {-1, -1};
    bool tableChangesNothing = true;
    bool toldUnchanged = false; // a picture the effect cannot take was logged once

    std::mutex lock; // the fields below, between update and render
    PluginDataRec fromSettings;
    PluginDataRec saved; // the saved configuration, read when the switch came on
    bool useSaved = false;
    bool savedFound = false;
};

Filter& FilterOf(void* data) {
    return *static_cast<Filter*>(data);
}

double FractionOf(obs_data_t* settings, SettingIndex index) {
    return obs_data_get_double(settings, kSettings[index].key) / kPerCent;
}

// A slider value from the settings; outside the slider's span it is the nearer end.
int16_t SliderOf(obs_data_t* settings, SettingIndex index) {
    return int16_t(std::clamp<long long>(obs_data_get_int(settings, kSettings[index].key), 0,
                                         (long long)kSliderSpan));
}

PluginDataRec ConfigFromSettings(obs_data_t* settings) {
    PluginDataRec config{};
    ResetConfig(&config);
    // Edges are taken as given: the region mapping defines edges past the picture and inverted
    // regions (an inverted region is empty).
    config.StartRel = RelRect{FractionOf(settings, kLeft), FractionOf(settings, kRight),
                              FractionOf(settings, kTop), FractionOf(settings, kBottom)};
    config.Sliders[0] = SliderOf(settings, kGain);
    config.Sliders[1] = SliderOf(settings, kOffset);
    return config;
}

void Update(void* data, obs_data_t* settings) {
    Filter& filter = FilterOf(data);
    const PluginDataRec fromSettings = ConfigFromSettings(settings);
    const bool useSaved = obs_data_get_bool(settings, kSettings[kUseSaved].key);

    std::lock_guard<std::mutex> guard(filter.lock);
    filter.fromSettings = fromSettings;
    if (useSaved && !filter.useSaved) {
        filter.savedFound = ReadSavedConfigGuarded(&filter.saved);
        if (!filter.savedFound)
            blog(LOG_WARNING,
                 "[glimmerdusk-obs] '%s': no saved configuration was found (vorel-Prefs in the "
                 "preferences folder), so the filter's own settings are used instead.",
                 obs_source_get_name(filter.context));
    }
    filter.useSaved = useSaved;
}

PluginDataRec ConfigInForce(Filter& filter) {
    std::lock_guard<std::mutex> guard(filter.lock);
    return filter.useSaved && filter.savedFound ? filter.saved : filter.fromSettings;
}

// The light an 8-bit sRGB value stands for: the inverse of the sRGB transfer function.
float LinearLight(uint8_t value) {
    const double u = value / 255.0;
    return float(u <= 0.04045 ? u / 12.92 : std::pow((u + 0.055) / 1.055, 2.4));
}

// The channel table of these sliders as a 256 x 1 texture, made again only when they change.
// Each entry holds the light its byte stands for, worked out here in double precision, so the
// shader returns it as it is and OBS's encoding of it gives back exactly that byte.
bool PrepareTable(Filter& filter, const PluginDataRec& config) {
    const int16_t gain = config.Sliders[0], offset = config.Sliders[1];
    if (filter.table && filter.tableSliders[0] == gain && filter.tableSliders[1] == offset)
        return true;
    const ChannelTable table = MakeChannelTable(gain, offset);
    float light[kTableSize];
    for (uint32_t v = 0; v < kTableSize; ++v)
        light[v] = LinearLight(table.map[v]);
    if (filter.table) gs_texture_destroy(filter.table);
    const uint8_t* rows[] = {reinterpret_cast<const uint8_t*>(light)};
    filter.table = gs_texture_create(kTableSize, 1, GS_R32F, 1, rows, 0);
    filter.tableSliders[0] = gain;
    filter.tableSliders[1] = offset;
    filter.tableChangesNothing = true;
    for (uint32_t v = 0; v < kTableSize; ++v)
        filter.tableChangesNothing = filter.tableChangesNothing && table.map[v] == v;
    return filter.table != nullptr;
}

void TellUnchanged(Filter& filter, gs_color_space space, uint32_t width, uint32_t height) {
    if (filter.toldUnchanged) return;
    filter.toldUnchanged = true;
    if (space == GS_CS_709_EXTENDED)
        blog(LOG_WARNING,
             "[glimmerdusk-obs] '%s' leaves its HDR source unchanged: the effect is defined on "
             "8-bit sRGB colour values.",
             obs_source_get_name(filter.context));
    else
        blog(LOG_WARNING,
             "[glimmerdusk-obs] '%s' leaves its %ux%u source unchanged: the effect takes "
             "pictures of at most %u pixels a side.",
             obs_source_get_name(filter.context), width, height, kLargestSide);
}

gs_color_space SourceSpace(const Filter& filter) {
    return obs_source_get_color_space(obs_filter_get_target(filter.context), std::size(kSpaces),
                                      kSpaces);
}

void Render(void* data, gs_effect_t*) {
    Filter& filter = FilterOf(data);
    obs_source_t* target = obs_filter_get_target(filter.context);
    const uint32_t width = obs_source_get_base_width(target);
    const uint32_t height = obs_source_get_base_height(target);
    const gs_color_space space = SourceSpace(filter);
    if (space == GS_CS_709_EXTENDED || width > kLargestSide || height > kLargestSide) {
        TellUnchanged(filter, space, width, height);
        obs_source_skip_video_filter(filter.context);
        return;
    }

    const PluginDataRec config = ConfigInForce(filter);
    const Rect picture = {0, 0, int16_t(height), int16_t(width)};
    const Rect region = CalcTweenRect(&config, picture, 0, 1);
    // Neutral sliders or a region outside the picture: OBS draws the source as it is.
    if (!PrepareTable(filter, config) || filter.tableChangesNothing ||
        !SectRect(&region, &picture, nullptr)) {
        obs_source_skip_video_filter(filter.context);
        return;
    }

    // Never drawn directly by the source: a source may draw itself in several pieces with its
    // own texture coordinates, and the region needs coordinates that span the picture.
    if (!obs_source_process_filter_begin_with_color_space(
            filter.context, gs_get_format_from_space(space), space, OBS_NO_DIRECT_RENDERING))
        return;
    const int32_t box[4] = {region.left, region.top, region.right, region.bottom};
    gs_effect_set_val(filter.regionParam, box, sizeof box);
    vec2 size;
    vec2_set(&size, float(width), float(height));
    gs_effect_set_vec2(filter.sizeParam, &size);
    gs_effect_set_texture(filter.tableParam, filter.table);
    // The picture comes and goes with premultiplied alpha, as with OBS's own colour filters.
    gs_blend_state_push();
    gs_blend_function(GS_BLEND_ONE, GS_BLEND_INVSRCALPHA);
    obs_source_process_filter_end(filter.context, filter.effect, 0, 0);
    gs_blend_state_pop();
}

gs_color_space ColorSpace(void* data, size_t, const gs_color_space*) {
    return SourceSpace(FilterOf(data));
}

bool LoadEffect(Filter& filter) {
    char* path = obs_module_file(kEffectFile);
    if (!path) {
        blog(LOG_ERROR, "[glimmerdusk-obs] %s is missing from the module's data folder",
             kEffectFile);
        return false;
    }
    char* errors = nullptr;
    obs_enter_graphics();
    filter.effect = gs_effect_create_from_file(path, &errors);
    if (filter.effect) {
        filter.regionParam = gs_effect_get_param_by_name(filter.effect, "region");
        filter.sizeParam = gs_effect_get_param_by_name(filter.effect, "picture_size");
        filter.tableParam = gs_effect_get_param_by_name(filter.effect, "channel_table");
    }
    obs_leave_graphics();
    if (!filter.effect)
        blog(LOG_ERROR, "[glimmerdusk-obs] cannot load %s: %s", path,
             errors ? errors : "no reason given");
    bfree(errors);
    bfree(path);
    return filter.effect != nullptr;
}

void Destroy(void* data) {
    Filter* filter = &FilterOf(data);
    obs_enter_graphics();
    gs_effect_destroy(filter->effect);
    if (filter->table) gs_texture_destroy(filter->table);
    obs_leave_graphics();
    delete filter;
}

void* Create(obs_data_t* settings, obs_source_t* context) {
    Filter* filter = new (std::nothrow) Filter;
    if (!filter) return nullptr;
    filter->context = context;
    ResetConfig(&filter->fromSettings);
    ResetConfig(&filter->saved);
    if (!LoadEffect(*filter)) {
        Destroy(filter);
        return nullptr;
    }
    Update(filter, settings);
    return filter;
}

const char* Name(void*) {
    return obs_module_text("Glimmerdusk");
}

void Defaults(obs_data_t* settings) {
    for (const Setting& s : kSettings) {
        switch (s.control) {
        case Control::Percent:
            obs_data_set_default_double(settings, s.key, s.defaultValue);
            break;
        case Control::Slider:
            obs_data_set_default_int(settings, s.key, (long long)s.defaultValue);
            break;
        case Control::Switch:
            obs_data_set_default_bool(settings, s.key, s.defaultValue != 0.0);
            break;
        }
    }
}

// With the saved configuration in force, the settings it replaces cannot be changed.
bool SwitchChanged(obs_properties_t* props, obs_property_t*, obs_data_t* settings) {
    const bool useSaved = obs_data_get_bool(settings, kSettings[kUseSaved].key);
    for (const Setting& s : kSettings)
        if (s.control != Control::Switch)
            obs_property_set_enabled(obs_properties_get(props, s.key), !useSaved);
    return true;
}

obs_property_t* AddProperty(obs_properties_t* props, const Setting& s) {
    const char* text = obs_module_text(s.text);
    switch (s.control) {
    case Control::Percent: {
        obs_property_t* p =
            obs_properties_add_float_slider(props, s.key, text, 0.0, kPerCent, kPercentStep);
        obs_property_float_set_suffix(p, " %");
        return p;
    }
    case Control::Slider:
        return obs_properties_add_int_slider(props, s.key, text, 0, int(kSliderSpan), 1);
    case Control::Switch: {
        obs_property_t* p = obs_properties_add_bool(props, s.key, text);
        obs_property_set_modified_callback(p, SwitchChanged);
        return p;
    }
    }
    return nullptr;
}

obs_properties_t* Properties(void*) {
    obs_properties_t* props = obs_properties_create();
    for (const Setting& s : kSettings)
        obs_property_set_long_description(AddProperty(props, s), obs_module_text(s.explanation));
    return props;
}

} // namespace

MODULE_EXPORT const char* obs_module_description(void) {
    return "Glimmerdusk: lightens or darkens a rectangular region of any source";
}

MODULE_EXPORT bool obs_module_load(void) {
    obs_source_info info = {};
    info.id = kFilterId;
    info.type = OBS_SOURCE_TYPE_FILTER;
    info.output_flags = OBS_SOURCE_VIDEO | OBS_SOURCE_SRGB;
    info.get_name = Name;
    info.create = Create;
    info.destroy = Destroy;
    info.update = Update;
    info.get_defaults = Defaults;
    info.get_properties = Properties;
    info.video_render = Render;
    info.video_get_color_space = ColorSpace;
    obs_register_source(&info);
    return true;
}
