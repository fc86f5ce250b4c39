// The host's plug-in interface: the parameter block, the callbacks, selectors and results.
//
// Calls: the host calls the bundle's exported `main(which, params)` for every request, one at a
// time, on its main thread. Callbacks are called back on that same thread, only during a
// request. Nothing in this interface is thread-safe.
//
// Ownership:
// - The host owns the parameter block, its output image `frame`, and every image it hands
//   out from GetFrame. Such an image is lent: valid until the plug-in calls ReleaseFrame with
//   its cookie, which gives it back; the host disposes of it or reuses it. The plug-in never
//   disposes of a lent image, so GetFrameIntoGW's `disposeAfterUse` asks for nothing more.
// - The host lends the filter info record from GetFilterInfo until ReleaseFilterInfo.
// - Blocks from NewPtrClear belong to the plug-in until it passes them to DisposePtr. They are
//   the platform's pointers, so GetPtrSize answers their size.
// - The plug-in owns `clientData` between the begin (kPlugInitialize) and end (kPlugTerminate)
//   requests of a render; the host starts every render with it null.
#pragma once

#include "MacTypes.h"
#include "QuickDraw.h"

typedef uint8_t HYPluginSelector;
typedef uint8_t HYPluginResult;

enum : HYPluginSelector {
    kPlugGetInfo = 1,
    kPlugInitialize = 2,
    kPlugDrawIcon = 3,
    kPlugDrawThumbNail = 4,
    kPlugFilePlaceHolder = 5,
    kPlugDoFrame = 6,
    kPlugCallOnceWithInitAndTerminate = 7,
    kPlugTerminate = 8,
    kPlugCustomButtonClick = 9,
};

enum : HYPluginResult {
    kPluginOK = 0,
    kPluginBadParams = 3,
    kPluginOutOfMemory = 4,
    kPluginFailed = 6,
    kPluginAppIsTooOld = 10,
};

enum : uint8_t {
    kDVLowQuality = 0,
    kDVHighQuality = 1,
};

enum : uint8_t { kPluginFilterType = 105 }; // the character "i"

// Bits of pluginFlags that the effect sets; the host's own bits are kept.
enum : uint32_t {
    kPluginFlagRendersInPlace = 0x0080,
    kPluginFlagHasSliders = 0x0100,
    kPluginFlagWantsFades = 0x0200,
    kPluginFlagHasCustomButton = 0x1000,
};

constexpr int kHostSliderCount = 3;
constexpr int kHostTextLength = 128;  // labels and group, zero-terminated
constexpr int kHostButtonLength = 32; // button title, zero-terminated

// The host's effect settings, lent by GetFilterInfo.
struct _HYPluginFilterInfo {
    float sliderValues[kHostSliderCount];
    int32_t fadeInFrames;
    int32_t fadeOutFrames;
};

struct _HYPluginGetInfo {
    uint8_t pluginType;
    uint32_t pluginFlags;
    int32_t framesToBeRendered;
    int32_t takeFromClipBefore;
    int32_t takeFromClipAfter;
    int32_t minSpeedFrames;
    int32_t maxSpeedFrames;
    Boolean mustTakeFromSingleClips;
    int32_t bestThumbOffset; // read: the frame the placeholder shows, counted from startFrame
};

struct _HYPluginFilterSliderInfo {
    char label[kHostTextLength];
    char minLabel[kHostTextLength];
    char maxLabel[kHostTextLength];
    float defaultValue;
};

struct _HY2PluginGetInfo {
    char group[kHostTextLength];
    _HYPluginFilterSliderInfo filterSliders[kHostSliderCount];
    int32_t baseMemoryNeeded;
    int32_t selectedFrames; // read: frames the user selected for the effect
};

struct _HY3PluginGetInfo {
    char buttonTitle[kHostButtonLength];
};

// Callbacks. Every result is a HYPluginResult; 0 is success.
struct _HYProcs {
    Ptr (*NewPtrClear)(Size byteCount);
    void (*DisposePtr)(Ptr p);
    // Source frame `frameIndex` of the movie as an image of width x height with bounds
    // (0, 0, height, width); *outImage and *outCookie are set on success.
    HYPluginResult (*GetFrame)(void* instance, int32_t frameIndex, GWorldPtr* outImage,
                               int16_t width, int16_t height, uint8_t quality,
                               int16_t* outVolume, void** outCookie);
    HYPluginResult (*ReleaseFrame)(void* instance, void* cookie);
    // Draws srcRect of src over dstRect of dst with opacity 0 (nothing) to 255 (opaque).
    HYPluginResult (*Blit)(PixMapHandle src, PixMapHandle dst, const Rect* srcRect,
                           const Rect* dstRect, int16_t opacity);
    // Mixes the frame's share of the input's sound into the output at volume / 256.
    HYPluginResult (*MixAudio)(void* instance, void* cookie, int16_t volume);
    HYPluginResult (*GetFilterInfo)(void* instance, _HYPluginFilterInfo** outInfo);
    HYPluginResult (*ReleaseFilterInfo)(void* instance, _HYPluginFilterInfo* info);
};

struct _PluginParams {
    int16_t interfaceVersion; // at least 4
    void* instance;           // handed back to every callback
    HYPluginSelector selector;
    _HYProcs* procs;
    _HYPluginGetInfo getInfo;
    int32_t startFrame;  // the effect's first movie frame
    int32_t renderFrame; // the frame to render, counted from startFrame
    int32_t frameCount;  // frames in the effect
    Boolean proxyOnly;   // a quick low-quality render
    Rect frameRect;      // target area in the output frame
    GWorldPtr frame;     // the output frame
    void* clientData;    // the plug-in's per-render record; null until it sets it
    _HY2PluginGetInfo getInfo2;
    _HY3PluginGetInfo getInfo3;
};

constexpr int16_t kHostInterfaceVersion = 4;

// The bundle's entry point, exported as `main`.
typedef int32_t (*HostPluginEntry)(int32_t which, _PluginParams* params);
