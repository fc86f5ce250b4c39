// The effect's records, process-wide workspace and compile-time settings.
#pragma once

#include "HostPluginAPI.h"
#include "MacTypes.h"
#include "QuickDraw.h"

// A rectangle in fractions of a frame's width (Left, Right) and height (Top, Bottom), measured
// from the frame's top-left corner. Not clamped: fractions outside 0..1 lie outside the frame.
struct RelRect {
    double Left, Right, Top, Bottom;
};

constexpr int kSliderCount = 6;
constexpr int kColorCount = 6;

// The configuration: allocated as a zero-filled block of 128 bytes and copied as a whole.
// Array index n - 1 holds slider (colour) n.
struct PluginDataRec {
    RelRect StartRel;              // the effect's region
    RelRect EndRel;                // kept and stored, never edited or rendered (one region is used)
    int16_t Sliders[kSliderCount]; // 50 is neutral; 1 is the gain, 2 the offset
    RGBColor Colors[kColorCount];  // colour boxes; none is used by this effect
    RGBColor FrameStartColor;      // the preview's outline of the region
    RGBColor FrameEndColor;
    int16_t MediaType; // video format of the configuration window
};
typedef PluginDataRec* PluginDataPtr;

constexpr Size kPluginDataSize = 128;
static_assert(sizeof(PluginDataRec) <= kPluginDataSize, "the configuration must fit its block");

// Video formats of the configuration window; any other value is treated as NTSC.
enum : int16_t {
    kMediaNTSC = 1,
    kMediaPAL = 2,
    kMediaHD = 3,
};

// Compile-time settings of the effect.
#define CUSEDNUMBEROFRECTS 1
#define CUSESSLIDER1 1
#define CUSESSLIDER2 1
#define CUSESSLIDER3 0
#define CUSESSLIDER4 0
#define CUSESSLIDER5 0
#define CUSESSLIDER6 0
#define CUSESCOLOR1 0
#define CUSESCOLOR2 0
#define CUSESCOLOR3 0
#define CUSESCOLOR4 0
#define CUSESCOLOR5 0
#define CUSESCOLOR6 0
#define CUSEDISPOSEGWINSLIDER 1
#define CHANDLESIZE 6
#define CMYPLUGINNAME "lumashift"
#define CMYCLEARNAME "Glimmerdusk"
#define CMYBUNDLEID "com.brindle.reelkit.lumashift"
// The processor's name comes from the build: i386 on Intel, PPC on PowerPC, ARM64 on 64-bit ARM.
#define CPLUGVERSION "3.0.0 (" CPLUGPROCESSOR " Universal)"

constexpr int16_t kNeutralSlider = 50; // slider value that leaves a channel unchanged
constexpr double kSliderSpan = 100.0;  // the gain and offset sliders run 0..100 in whole steps
