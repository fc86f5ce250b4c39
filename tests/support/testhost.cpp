// The scriptable test host.
#include "testhost.h"

#include "MacMemory.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>

namespace {
TestHost* sCurrent = nullptr; // NewPtrClear carries no instance: one host is live at a time

uint8_t* RowOf(PixMapHandle pm, const Rect& bounds, int y) {
    return reinterpret_cast<uint8_t*>(GetPixBaseAddr(pm)) + (y - bounds.top) * GetPixRowBytes(pm);
}
} // namespace

GWorldPtr NewTestImage(int16_t width, int16_t height) {
    Rect bounds = {0, 0, height, width};
    GWorldPtr image = nullptr;
    EXPECT_EQ(NewGWorld(&image, 32, &bounds, nullptr, nullptr, 0), noErr);
    return image;
}

uint32_t PixelAt(GWorldPtr image, int x, int y) {
    PixMapHandle pm = GetGWorldPixMap(image);
    Rect bounds;
    GetPixBounds(pm, &bounds);
    const uint8_t* p = RowOf(pm, bounds, y) + (x - bounds.left) * 4;
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

void SetPixelAt(GWorldPtr image, int x, int y, uint32_t argb) {
    PixMapHandle pm = GetGWorldPixMap(image);
    Rect bounds;
    GetPixBounds(pm, &bounds);
    uint8_t* p = RowOf(pm, bounds, y) + (x - bounds.left) * 4;
    p[0] = uint8_t(argb >> 24);
    p[1] = uint8_t(argb >> 16);
    p[2] = uint8_t(argb >> 8);
    p[3] = uint8_t(argb);
}

void BlendPixels(const uint8_t* src, uint8_t* dst, int pixelCount, int opacity) {
    for (int i = 0; i < pixelCount * 4; ++i)
        dst[i] = uint8_t((src[i] * opacity + dst[i] * (255 - opacity) + 127) / 255);
}

TestHost::TestHost(int16_t width, int16_t height) {
    procs_ = _HYProcs{CbNewPtrClear, CbDisposePtr, CbGetFrame,      CbReleaseFrame,
                      CbBlit,        CbMixAudio,   CbGetFilterInfo, CbReleaseFilterInfo};
    params.interfaceVersion = kHostInterfaceVersion;
    params.instance = this;
    params.procs = &procs_;
    params.frameCount = 30;
    params.frameRect = Rect{0, 0, height, width};
    params.frame = NewTestImage(width, height);
    sCurrent = this;
}

TestHost::~TestHost() {
    for (auto& [cookie, image] : lentFrames_)
        DisposeGWorld(image);
    for (Ptr block : blocks_)
        DisposePtr(block);
    DisposeGWorld(params.frame);
    if (sCurrent == this) sCurrent = nullptr;
}

std::vector<std::string> TestHost::CallNames() const {
    std::vector<std::string> names;
    for (const HostCall& call : calls)
        names.push_back(call.name);
    return names;
}

int TestHost::CountCalls(const std::string& name) const {
    return int(std::count_if(calls.begin(), calls.end(),
                             [&](const HostCall& c) { return c.name == name; }));
}

const HostCall* TestHost::LastCall(const std::string& name) const {
    for (auto it = calls.rbegin(); it != calls.rend(); ++it)
        if (it->name == name) return &*it;
    return nullptr;
}

uint32_t TestHost::SourcePixel(int32_t frameIndex, int x, int y) {
    // Opaque, with every channel value met somewhere across small frames.
    const uint32_t r = uint32_t(x * 7 + frameIndex * 13) & 0xFF;
    const uint32_t g = uint32_t(y * 11 + frameIndex * 5) & 0xFF;
    const uint32_t b = uint32_t((x ^ y) * 3 + frameIndex) & 0xFF;
    return 0xFF000000u | r << 16 | g << 8 | b;
}

void TestHost::PaintSource(GWorldPtr image, int32_t frameIndex) {
    Rect bounds;
    GetPortBounds(image, &bounds);
    for (int y = bounds.top; y < bounds.bottom; ++y)
        for (int x = bounds.left; x < bounds.right; ++x)
            SetPixelAt(image, x, y, SourcePixel(frameIndex, x, y));
}

int32_t TestHost::Send(int32_t (*entry)(int32_t, _PluginParams*), HYPluginSelector selector) {
    params.selector = selector;
    return entry(0, &params);
}

void TestHost::Record(const std::string& name, std::vector<int64_t> args) {
    calls.push_back(HostCall{name, std::move(args)});
    if (auto it = throws.find(name); it != throws.end()) std::rethrow_exception(it->second);
}

bool TestHost::Fails(const std::string& name, HYPluginResult* result) const {
    auto it = failures.find(name);
    if (it == failures.end()) return false;
    *result = it->second;
    return true;
}

Ptr TestHost::CbNewPtrClear(Size byteCount) {
    sCurrent->Record("NewPtrClear", {byteCount});
    HYPluginResult ignored;
    if (sCurrent->Fails("NewPtrClear", &ignored)) return nullptr;
    Ptr block = NewPtrClear(byteCount);
    if (block) sCurrent->blocks_.insert(block);
    return block;
}

void TestHost::CbDisposePtr(Ptr p) {
    sCurrent->Record("DisposePtr", {p != nullptr});
    if (!p) return;
    EXPECT_EQ(sCurrent->blocks_.erase(p), 1u) << "DisposePtr of a block the host did not give";
    DisposePtr(p);
}

HYPluginResult TestHost::CbGetFrame(void* instance, int32_t frameIndex, GWorldPtr* outImage,
                                    int16_t width, int16_t height, uint8_t quality,
                                    int16_t* outVolume, void** outCookie) {
    TestHost* host = From(instance);
    host->Record("GetFrame", {frameIndex, width, height, quality});
    HYPluginResult result;
    if (host->Fails("GetFrame", &result)) return result;
    if (frameIndex < 0 || frameIndex >= host->clipLength) return kPluginFailed;
    *outVolume = 256;
    if (host->frameWithoutImage) return kPluginOK;
    const Rect bounds = {host->frameOrigin.v, host->frameOrigin.h,
                         int16_t(host->frameOrigin.v + height),
                         int16_t(host->frameOrigin.h + width)};
    GWorldPtr image = nullptr;
    // A test may make the platform refuse this image: the host is out of memory then.
    if (NewGWorld(&image, 32, &bounds, nullptr, nullptr, 0) != noErr) return kPluginOutOfMemory;
    PaintSource(image, frameIndex);
    void* cookie = reinterpret_cast<void*>(intptr_t(host->nextCookie_++));
    host->lentFrames_[cookie] = image;
    *outImage = image;
    *outCookie = cookie;
    return kPluginOK;
}

HYPluginResult TestHost::CbReleaseFrame(void* instance, void* cookie) {
    TestHost* host = From(instance);
    host->Record("ReleaseFrame", {intptr_t(cookie)});
    auto it = host->lentFrames_.find(cookie);
    if (it != host->lentFrames_.end()) {
        DisposeGWorld(it->second);
        host->lentFrames_.erase(it);
    }
    HYPluginResult result;
    return host->Fails("ReleaseFrame", &result) ? result : HYPluginResult(kPluginOK);
}

HYPluginResult TestHost::CbBlit(PixMapHandle src, PixMapHandle dst, const Rect* srcRect,
                                const Rect* dstRect, int16_t opacity) {
    sCurrent->Record("Blit",
                     {srcRect->top, srcRect->left, srcRect->bottom, srcRect->right, dstRect->top,
                      dstRect->left, dstRect->bottom, dstRect->right, opacity});
    HYPluginResult result;
    if (sCurrent->Fails("Blit", &result)) return result;
    Rect srcBounds, dstBounds;
    GetPixBounds(src, &srcBounds);
    GetPixBounds(dst, &dstBounds);
    const int rows = std::min(srcRect->bottom - srcRect->top, dstRect->bottom - dstRect->top);
    const int cols = std::min(srcRect->right - srcRect->left, dstRect->right - dstRect->left);
    for (int y = 0; y < rows; ++y) {
        const uint8_t* s =
            RowOf(src, srcBounds, srcRect->top + y) + (srcRect->left - srcBounds.left) * 4;
        uint8_t* d = RowOf(dst, dstBounds, dstRect->top + y) + (dstRect->left - dstBounds.left) * 4;
        BlendPixels(s, d, cols, opacity);
    }
    return kPluginOK;
}

HYPluginResult TestHost::CbMixAudio(void* instance, void* cookie, int16_t volume) {
    TestHost* host = From(instance);
    host->Record("MixAudio", {intptr_t(cookie), volume});
    HYPluginResult result;
    return host->Fails("MixAudio", &result) ? result : HYPluginResult(kPluginOK);
}

HYPluginResult TestHost::CbGetFilterInfo(void* instance, _HYPluginFilterInfo** outInfo) {
    TestHost* host = From(instance);
    host->Record("GetFilterInfo", {});
    if (!host->filterInfoMissing) {
        *outInfo = &host->filterInfo;
        host->filterInfoLent_ = true;
    }
    HYPluginResult result;
    return host->Fails("GetFilterInfo", &result) ? result : HYPluginResult(kPluginOK);
}

HYPluginResult TestHost::CbReleaseFilterInfo(void* instance, _HYPluginFilterInfo* info) {
    TestHost* host = From(instance);
    host->Record("ReleaseFilterInfo", {});
    EXPECT_EQ(info, &host->filterInfo);
    EXPECT_TRUE(host->filterInfoLent_) << "filter info released twice";
    host->filterInfoLent_ = false;
    return kPluginOK;
}
