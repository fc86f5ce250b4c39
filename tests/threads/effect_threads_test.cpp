// Several host threads running the effect at once, each on its own frames, while the shared
// row workers are used and stopped: every frame exact, and (under ThreadSanitizer) no race.
#include "configs.h"
#include "pixelkernel_testing.h"
#include "testhost.h"

#include "DataHandling.h"
#include "Multiprocessing.h"
#include "callpixelfx.h"
#include "commonprocs.h"
#include "pixelkernels_workers.h"
#include "relrects.h"

#include <atomic>
#include <thread>
#include <vector>

using namespace kerneltest;

namespace {

constexpr int kThreads = 4;
constexpr int kCallsPerThread = 6;
// Large enough that every call is cut into chunks for the shared helpers.
constexpr int16_t kWidth = 640, kHeight = 360;

struct ThreadCase {
    int16_t gainSlider, offsetSlider;
    RelRect region;
};

ThreadCase CaseFor(int thread) {
    const double inset = 0.05 * thread;
    return {int16_t(20 + 15 * thread), int16_t(70 - 10 * thread),
            RelRect{inset, 1 - inset, inset / 2, 1 - inset / 2}};
}

// True when every pixel of dest is the formula's result inside `box` and the source outside.
bool MatchesTheFormula(GWorldPtr source, GWorldPtr dest, const Rect& box, int s1, int s2) {
    const ChannelTable table = FormulaTable(s1, s2);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const uint32_t in = PixelAt(source, x, y);
            uint32_t want = in;
            if (y >= box.top && y < box.bottom && x >= box.left && x < box.right)
                want = (in & 0xFF000000u) | uint32_t(table.map[(in >> 16) & 0xFF]) << 16 |
                       uint32_t(table.map[(in >> 8) & 0xFF]) << 8 | table.map[in & 0xFF];
            if (PixelAt(dest, x, y) != want) return false;
        }
    }
    return true;
}

// One host thread: its own images and configuration, several calls, each checked.
int RunHostThread(int thread) {
    const ThreadCase c = CaseFor(thread);
    PluginDataRec config = ConfigWith(c.region, c.gainSlider, c.offsetSlider);
    int exact = 0;
    for (int call = 0; call < kCallsPerThread; ++call) {
        GWorldPtr source = NewTestImage(kWidth, kHeight), dest = NewTestImage(kWidth, kHeight);
        TestHost::PaintSource(source, thread * 100 + call);
        DoCorePixelEffect(source, dest, &config, call, kCallsPerThread);
        const Rect box = CalcTweenRect(&config, GetPortRect(dest), call, kCallsPerThread);
        exact += MatchesTheFormula(source, dest, box, c.gainSlider, c.offsetSlider) ? 1 : 0;
        DisposeGWorld(source);
        DisposeGWorld(dest);
    }
    return exact;
}

TEST(EffectOnManyThreads, EveryCallIsExactWhileTheHelpersAreStoppedAndRestarted) {
    std::atomic<int> exactCalls{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> hosts;
    for (int t = 0; t < kThreads; ++t)
        hosts.emplace_back([t, &exactCalls] { exactCalls += RunHostThread(t); });
    // Ends of renders arriving meanwhile, as a host ending one render while another runs.
    std::thread ender([&done] {
        while (!done) {
            StopSharedRowWorkers();
            std::this_thread::yield();
        }
    });
    for (std::thread& host : hosts)
        host.join();
    done = true;
    ender.join();
    EXPECT_EQ(exactCalls, kThreads * kCallsPerThread);
}

TEST(EffectOnManyThreads, ImagesMadeAndDisposedOnManyThreadsStayTheirOwn) {
    std::atomic<int> intact{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &intact] {
            for (int round = 0; round < 50; ++round) {
                GWorldPtr image = NewTestImage(int16_t(64 + t), 32);
                SetPixelAt(image, 3, 3, uint32_t(t * 1000 + round));
                std::this_thread::yield();
                intact += PixelAt(image, 3, 3) == uint32_t(t * 1000 + round) ? 1 : 0;
                DisposeGWorld(image);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(intact, kThreads * 50);
}

} // namespace
