// Hosts rendering through the frei0r plug-in on several threads at once (as MLT and GStreamer
// do), on one instance and on several, while parameters change between frames, and MLT's bands
// of one frame updated at once on one instance: every frame exact, and (under ThreadSanitizer)
// no race.
#include "frei0rtesting.h"

#include <atomic>
#include <barrier>
#include <cstring>
#include <thread>
#include <vector>

using namespace frei0rtest;

namespace {

constexpr int kThreads = 4;
constexpr int kFramesPerThread = 6;
// Large enough that every frame is cut into chunks for the shared helpers.
constexpr int kWidth = 640, kHeight = 360;

TEST(Frei0rOnManyThreads, OneInstanceAndOneEachRenderEveryFrameExact) {
    Plugin plugin;
    const std::vector<uint8_t> frame = RandomFrame(kWidth, kHeight, 77);
    const Setting shared{0.1, 0.2, 0.9, 0.7, 65, 45};
    f0r_instance_t common = plugin.construct(kWidth, kHeight);
    Apply(plugin, common, shared);
    const std::vector<uint8_t> commonWant = Expected(frame, kWidth, kHeight, shared);

    std::atomic<int> exact{0};
    std::vector<std::thread> hosts;
    for (int t = 0; t < kThreads; ++t) {
        hosts.emplace_back([&, t] {
            const Setting own{0.05 * t, 0, 1 - 0.05 * t, 1, 30 + 10 * t, 60 - 5 * t};
            f0r_instance_t mine = plugin.construct(kWidth, kHeight);
            Apply(plugin, mine, own);
            const std::vector<uint8_t> mineWant = Expected(frame, kWidth, kHeight, own);
            for (int f = 0; f < kFramesPerThread; ++f) {
                exact += Update(plugin, common, frame) == commonWant ? 1 : 0;
                exact += Update(plugin, mine, frame) == mineWant ? 1 : 0;
            }
            plugin.destruct(mine);
        });
    }
    for (std::thread& host : hosts)
        host.join();
    plugin.destruct(common);
    EXPECT_EQ(exact, 2 * kThreads * kFramesPerThread);
}

TEST(Frei0rOnManyThreads, AParameterSetWhileFramesRenderGivesEachFrameOneValueOrTheOther) {
    Plugin plugin;
    const std::vector<uint8_t> frame = RandomFrame(kWidth, kHeight, 78);
    const Setting darker{0.2, 0.2, 0.8, 0.8, 30, 50}, brighter{0.2, 0.2, 0.8, 0.8, 90, 50};
    const std::vector<uint8_t> darkWant = Expected(frame, kWidth, kHeight, darker);
    const std::vector<uint8_t> brightWant = Expected(frame, kWidth, kHeight, brighter);
    f0r_instance_t instance = plugin.construct(kWidth, kHeight);
    Apply(plugin, instance, darker);

    std::atomic<bool> done{false};
    std::thread editor([&] {
        for (int n = 0; !done; ++n)
            plugin.Set(instance, kGain, (n % 2 ? brighter : darker).Gain());
    });
    std::atomic<int> whole{0};
    std::vector<std::thread> hosts;
    for (int t = 0; t < kThreads; ++t) {
        hosts.emplace_back([&] {
            for (int f = 0; f < kFramesPerThread; ++f) {
                const std::vector<uint8_t> got = Update(plugin, instance, frame);
                whole += got == darkWant || got == brightWant ? 1 : 0;
            }
        });
    }
    for (std::thread& host : hosts)
        host.join();
    done = true;
    editor.join();
    plugin.destruct(instance);
    EXPECT_EQ(whole, kThreads * kFramesPerThread);
}

// MLT with a filter's `threads` property set: the instance is made with one band's height; for
// each frame the thread that renders it sets every parameter, then its band threads update the
// one instance at once, each with its own band of the same frame buffers, and the frame is done
// when all have returned. Each band is the effect of its band alone, the region in every band.
TEST(Frei0rOnManyThreads, BandsOfOneFrameUpdatedAtOnceOnOneInstanceAreEachTheirBandsEffect) {
    constexpr int kBands = 4, kBandHeight = kHeight / kBands, kFrames = 6;
    constexpr size_t kBandPixels = size_t(kWidth) * kBandHeight;
    const Setting settings[] = {{0.1, 0.2, 0.9, 0.7, 65, 45}, {0.25, 0, 0.5, 1, 20, 80}};
    Plugin plugin;
    f0r_instance_t instance = plugin.construct(kWidth, kBandHeight);
    const std::vector<uint8_t> frame = RandomFrame(kWidth, kHeight, 79);
    std::vector<uint32_t> in(frame.size() / 4), out(frame.size() / 4);
    std::memcpy(in.data(), frame.data(), frame.size());

    std::barrier start(kBands + 1), finished(kBands + 1);
    std::vector<std::thread> bands;
    for (int b = 0; b < kBands; ++b) {
        bands.emplace_back([&, b] {
            for (int f = 0; f < kFrames; ++f) {
                start.arrive_and_wait();
                plugin.update(instance, f, in.data() + b * kBandPixels,
                              out.data() + b * kBandPixels);
                finished.arrive_and_wait();
            }
        });
    }
    int exactBands = 0;
    for (int f = 0; f < kFrames; ++f) {
        const Setting& setting = settings[f % 2];
        Apply(plugin, instance, setting);
        start.arrive_and_wait();
        finished.arrive_and_wait();
        for (int b = 0; b < kBands; ++b) {
            const auto* bandIn = frame.data() + b * kBandPixels * 4;
            const auto* bandOut = reinterpret_cast<const uint8_t*>(out.data() + b * kBandPixels);
            const std::vector<uint8_t> want =
                Expected({bandIn, bandIn + kBandPixels * 4}, kWidth, kBandHeight, setting);
            exactBands += std::equal(want.begin(), want.end(), bandOut) ? 1 : 0;
        }
    }
    for (std::thread& band : bands)
        band.join();
    plugin.destruct(instance);
    EXPECT_EQ(exactBands, kFrames * kBands);
}

} // namespace
