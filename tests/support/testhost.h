// A scriptable host for driving the plug-in: records every callback with its arguments, serves
// synthetic frames of any size, and can make any callback fail or hand out no image.
#pragma once

#include "HostPluginAPI.h"

#include <cstdint>
#include <exception>
#include <map>
#include <set>
#include <string>
#include <vector>

struct HostCall {
    std::string name;
    std::vector<int64_t> args;
};

class TestHost {
  public:
    TestHost(int16_t width = 64, int16_t height = 48);
    ~TestHost();
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    // The parameter block, ready for a request: version 4, callbacks, output image, frameRect.
    _PluginParams params{};

    // Script.
    std::map<std::string, HYPluginResult> failures;   // callback name -> result it answers
    std::map<std::string, std::exception_ptr> throws; // callback name -> what it throws
    bool frameWithoutImage = false;                   // GetFrame answers success with no image
    bool filterInfoMissing = false;                   // GetFilterInfo hands out no record
    _HYPluginFilterInfo filterInfo{{0.5f, 0.5f, 0.5f}, 0, 0};
    int32_t clipLength = 1000; // frames GetFrame can serve, from 0
    Point frameOrigin{0, 0};   // top-left corner of the bounds of the frames GetFrame lends

    // What happened.
    std::vector<HostCall> calls;
    std::vector<std::string> CallNames() const;
    int CountCalls(const std::string& name) const;
    const HostCall* LastCall(const std::string& name) const;
    size_t LiveFrames() const { return lentFrames_.size(); }
    size_t LiveBlocks() const { return blocks_.size(); }

    // The synthetic source frame: a deterministic pattern of frame index and position.
    static uint32_t SourcePixel(int32_t frameIndex, int x, int y);
    static void PaintSource(GWorldPtr image, int32_t frameIndex);
    GWorldPtr Output() const { return params.frame; }

    // Runs one request through `entry` with the given selector.
    int32_t Send(int32_t (*entry)(int32_t, _PluginParams*), HYPluginSelector selector);

  private:
    static TestHost* From(void* instance) { return static_cast<TestHost*>(instance); }
    void Record(const std::string& name, std::vector<int64_t> args);
    bool Fails(const std::string& name, HYPluginResult* result) const;

    static Ptr CbNewPtrClear(Size byteCount);
    static void CbDisposePtr(Ptr p);
    static HYPluginResult CbGetFrame(void* instance, int32_t frameIndex, GWorldPtr* outImage,
                                     int16_t width, int16_t height, uint8_t quality,
                                     int16_t* outVolume, void** outCookie);
    static HYPluginResult CbReleaseFrame(void* instance, void* cookie);
    static HYPluginResult CbBlit(PixMapHandle src, PixMapHandle dst, const Rect* srcRect,
                                 const Rect* dstRect, int16_t opacity);
    static HYPluginResult CbMixAudio(void* instance, void* cookie, int16_t volume);
    static HYPluginResult CbGetFilterInfo(void* instance, _HYPluginFilterInfo** outInfo);
    static HYPluginResult CbReleaseFilterInfo(void* instance, _HYPluginFilterInfo* info);

    _HYProcs procs_{};
    std::set<Ptr> blocks_;
    std::map<void*, GWorldPtr> lentFrames_; // cookie -> image
    int nextCookie_ = 1;
    bool filterInfoLent_ = false;
};

// Blends src over dst: out = (src * op + dst * (255 - op) + 127) / 255, every byte.
void BlendPixels(const uint8_t* src, uint8_t* dst, int pixelCount, int opacity);

// Pixel at (x, y) of an image as ARGB packed into one number (alpha highest).
uint32_t PixelAt(GWorldPtr image, int x, int y);
void SetPixelAt(GWorldPtr image, int x, int y, uint32_t argb);
GWorldPtr NewTestImage(int16_t width, int16_t height);
