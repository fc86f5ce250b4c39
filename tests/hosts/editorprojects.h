// Projects the way the editors write them, for melt to render and Shotcut to open: animated
// parameters with clock times, and what MLT makes of them at each frame.
#pragma once

#include "hostruns.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace editortest {

using frei0rtest::Setting;
using hosttest::Size;

constexpr int kFps = 25; // every project here runs at 25 frames a second

// One keyframe of an animated parameter as an editor stores it. After a held key the value stays
// until the next key (MLT's discrete keyframe, "|="); after any other it moves in a straight line.
struct Key {
    int frame;
    double value;
    bool hold = false;
};
using Keys = std::vector<Key>;

// What MLT makes of an animated value at a frame: the first or last key's value outside the keys;
// between two keys the earlier one's value when it holds, else y1 + (y2 - y1) * t, t being how far
// the frame is from the earlier key towards the later one.
inline double ValueAt(const Keys& keys, int frame) {
    if (frame <= keys.front().frame) return keys.front().value;
    for (size_t i = 0; i + 1 < keys.size(); ++i) {
        const Key& a = keys[i];
        const Key& b = keys[i + 1];
        if (frame >= b.frame) continue;
        if (a.hold) return a.value;
        const double t = double(frame - a.frame) / double(b.frame - a.frame);
        return a.value + (b.value - a.value) * t;
    }
    return keys.back().value;
}

// A value as both editors write it (MLT's own "%g").
inline std::string Short(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// A frame as a clock time, the way both editors write times: "00:00:00.120".
inline std::string Clock(int frame) {
    const int ms = frame * 1000 / kFps;
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", ms / 3600000, ms / 60000 % 60,
                  ms / 1000 % 60, ms % 1000);
    return text;
}

// "00:00:00.000=0.1;00:00:00.200|=0.5": an animation string with clock times.
inline std::string ClockAnimation(const Keys& keys) {
    std::string text;
    for (const Key& k : keys)
        text += (text.empty() ? "" : ";") + Clock(k.frame) + (k.hold ? "|=" : "=") + Short(k.value);
    return text;
}

// The six parameters of one filter, each a list of keys (one key: a constant).
struct Animated {
    Keys left, top, right, bottom, gain, offset;
};

// The setting a frame asks for. Gain and offset land on the slider step nearest value x 100.
inline Setting SettingAt(const Animated& a, int frame) {
    return Setting{ValueAt(a.left, frame),
                   ValueAt(a.top, frame),
                   ValueAt(a.right, frame),
                   ValueAt(a.bottom, frame),
                   int(std::lround(ValueAt(a.gain, frame) * 100)),
                   int(std::lround(ValueAt(a.offset, frame) * 100))};
}

struct Param {
    const char* name;
    const Keys Animated::*keys;
};
constexpr Param kParams[] = {{"Left", &Animated::left},   {"Top", &Animated::top},
                             {"Right", &Animated::right}, {"Bottom", &Animated::bottom},
                             {"Gain", &Animated::gain},   {"Offset", &Animated::offset}};

inline std::string Profile(int width, int height) {
    return "<profile description=\"" + Size(width, height) + " 25 fps\" width=\"" +
           std::to_string(width) + "\" height=\"" + std::to_string(height) +
           "\" progressive=\"1\" sample_aspect_num=\"1\" sample_aspect_den=\"1\" "
           "display_aspect_num=\"" +
           std::to_string(width) + "\" display_aspect_den=\"" + std::to_string(height) +
           "\" frame_rate_num=\"25\" frame_rate_den=\"1\" colorspace=\"601\"/>\n";
}

inline std::string Property(const std::string& name, const std::string& value) {
    return "    <property name=\"" + name + "\">" + value + "</property>\n";
}

// A Kdenlive 22.12 project: the clip on the first video track with the effect on it, over the
// black background track, composited by Kdenlive's own track transition. Kdenlive stores every
// animated parameter as a keyframe string with clock times, divided by the effect file's factor.
inline std::string KdenliveProject(const std::string& clip, int width, int height, int frames,
                                   const Animated& a) {
    const std::string out = Clock(frames - 1);
    std::string filter;
    for (const Param& p : kParams)
        filter += Property(p.name, ClockAnimation(a.*p.keys));
    filter += Property("Use saved configuration", "0") +
              Property("mlt_service", "frei0r.glimmerdusk") +
              Property("kdenlive_id", "frei0r.glimmerdusk") + Property("kdenlive:collapsed", "0");
    return "<?xml version='1.0' encoding='utf-8'?>\n"
           "<mlt LC_NUMERIC=\"C\" producer=\"main_bin\" version=\"7.12.0\" root=\"\">\n" +
           Profile(width, height) + " <producer id=\"producer0\" in=\"00:00:00.000\" out=\"" + out +
           "\">\n" + Property("length", "2147483647") + Property("eof", "continue") +
           Property("resource", "black") + Property("aspect_ratio", "1") +
           Property("mlt_service", "color") + Property("kdenlive:playlistid", "black_track") +
           Property("mlt_image_format", "rgba") + Property("set.test_audio", "0") +
           " </producer>\n <chain id=\"chain0\" out=\"" + out + "\">\n" +
           Property("length", std::to_string(frames)) + Property("eof", "pause") +
           Property("resource", clip) + Property("mlt_service", "avformat-novalidate") +
           Property("kdenlive:id", "2") + Property("kdenlive:clip_type", "0") +
           " </chain>\n <playlist id=\"playlist0\">\n  <entry producer=\"chain0\" "
           "in=\"00:00:00.000\" out=\"" +
           out + "\">\n" + Property("kdenlive:id", "2") + "   <filter id=\"filter0\">\n" + filter +
           "   </filter>\n  </entry>\n </playlist>\n <playlist id=\"playlist1\"/>\n"
           " <tractor id=\"tractor0\" in=\"00:00:00.000\" out=\"" +
           out + "\">\n" + Property("kdenlive:trackheight", "67") +
           Property("kdenlive:timeline_active", "1") +
           "  <track hide=\"audio\" producer=\"playlist0\"/>\n"
           "  <track hide=\"audio\" producer=\"playlist1\"/>\n </tractor>\n"
           " <playlist id=\"main_bin\">\n" +
           Property("kdenlive:docproperties.kdenliveversion", "22.12.3") +
           Property("kdenlive:docproperties.version", "1.04") + Property("xml_retain", "1") +
           "  <entry producer=\"chain0\" in=\"00:00:00.000\" out=\"" + out +
           "\"/>\n </playlist>\n"
           " <tractor id=\"tractor1\" global_feed=\"1\" in=\"00:00:00.000\" out=\"" +
           out +
           "\">\n  <track producer=\"producer0\"/>\n  <track producer=\"tractor0\"/>\n"
           "  <transition id=\"transition0\">\n" +
           Property("a_track", "0") + Property("b_track", "1") + Property("compositing", "0") +
           Property("distort", "0") + Property("rotate_center", "0") +
           Property("mlt_service", "qtblend") + Property("always_active", "1") +
           Property("internal_added", "237") + "  </transition>\n </tractor>\n</mlt>\n";
}

// A Shotcut 22.12 project: the clip on V1 over the black background, with the filter as our
// Shotcut panel stores it (the parameters by name, a plain value unless keyframed, the four edges
// keyframed together as the region's gang) and the blend that Shotcut turns off on V1.
inline std::string ShotcutProject(const std::string& clip, int width, int height, int frames,
                                  const Animated& a) {
    const std::string out = Clock(frames - 1);
    const std::string length = Clock(frames);
    std::string filter = Property("version", "3") + Property("mlt_service", "frei0r.glimmerdusk") +
                         Property("shotcut:filter", "glimmerdusk");
    for (const Param& p : kParams) {
        const Keys& keys = a.*p.keys;
        filter += Property(p.name, keys.size() == 1 ? Short(keys[0].value) : ClockAnimation(keys));
    }
    return "<?xml version=\"1.0\" standalone=\"no\"?>\n"
           "<mlt LC_NUMERIC=\"C\" version=\"7.12.0\" title=\"Shotcut version 22.12.21\" "
           "producer=\"main_bin\">\n  " +
           Profile(width, height) + "  <playlist id=\"main_bin\">\n" + Property("xml_retain", "1") +
           "  </playlist>\n  <producer id=\"black\" in=\"00:00:00.000\" out=\"" + out + "\">\n" +
           Property("length", length) + Property("eof", "pause") + Property("resource", "0") +
           Property("aspect_ratio", "1") + Property("mlt_service", "color") +
           Property("mlt_image_format", "rgba") + Property("set.test_audio", "0") +
           "  </producer>\n  <playlist id=\"background\">\n    <entry producer=\"black\" "
           "in=\"00:00:00.000\" out=\"" +
           out + "\"/>\n  </playlist>\n  <chain id=\"chain0\" out=\"" + out + "\">\n" +
           Property("length", length) + Property("eof", "pause") + Property("resource", clip) +
           Property("mlt_service", "avformat-novalidate") + Property("seekable", "1") +
           Property("video_index", "0") + Property("mute_on_pause", "0") +
           Property("shotcut:caption", clip.substr(clip.rfind('/') + 1)) +
           "    <filter id=\"filter0\" out=\"" + out + "\">\n" + filter +
           "    </filter>\n  </chain>\n  <playlist id=\"playlist0\">\n" +
           Property("shotcut:video", "1") + Property("shotcut:name", "V1") +
           "    <entry producer=\"chain0\" in=\"00:00:00.000\" out=\"" + out +
           "\"/>\n  </playlist>\n  <tractor id=\"tractor0\" title=\"Shotcut version 22.12.21\" "
           "in=\"00:00:00.000\" out=\"" +
           out + "\">\n" + Property("shotcut", "1") +
           Property("shotcut:projectAudioChannels", "2") + Property("shotcut:projectFolder", "0") +
           "    <track producer=\"background\"/>\n    <track producer=\"playlist0\"/>\n"
           "    <transition id=\"transition0\">\n" +
           Property("a_track", "0") + Property("b_track", "1") + Property("mlt_service", "mix") +
           Property("always_active", "1") + Property("sum", "1") +
           "    </transition>\n    <transition id=\"transition1\">\n" + Property("a_track", "0") +
           Property("b_track", "1") + Property("version", "0.1") +
           Property("mlt_service", "frei0r.cairoblend") + Property("threads", "0") +
           Property("disable", "1") + "    </transition>\n  </tractor>\n</mlt>\n";
}

} // namespace editortest
