// Renders running the effect at once on several threads, each owning its row workers and its
// frames' pixel buffers as a render's record does, while one of them ends: every frame exact,
// the others' helpers untouched, and (under ThreadSanitizer) no race.
#include "configs.h"
#include "pixelkernel_testing.h"
#include "testhost.h"
#include "threadcount.h"

#include "callpixelfx.h"
#include "pixelkernels_workers.h"

#include <atomic>
#include <latch>
#include <thread>
#include <vector>

using namespace kerneltest;

namespace {

// Large enough that every frame is cut into chunks for the helpers.
constexpr int16_t kWidth = 1024, kHeight = 512;

struct RenderCase {
    int16_t gainSlider, offsetSlider;
    RelRect region;
    Rect box; // the region in pixels of a 1024 x 512 frame: truncated, then clipped to the frame
};

const RenderCase kRenders[] = {
    // 512 x 0.3 = 153.6 and 512 x 0.9 = 460.8 truncate to 153 and 460.
    {20, 70, RelRect{0.25, 0.75, 0.3, 0.9}, Rect{153, 256, 460, 768}},
    {65, 40, RelRect{0, 1, 0, 1}, Rect{0, 0, 512, 1024}},
    // Left 512, right 1536 and top -128 reach past the frame, which clips them.
    {50, 90, RelRect{0.5, 1.5, -0.25, 0.5}, Rect{0, 512, 256, 1024}},
};
constexpr int kRenderCount = int(std::size(kRenders));

// True when every pixel of dest is the formula's result inside `box` and the source outside.
bool MatchesTheFormula(GWorldPtr source, GWorldPtr dest, const RenderCase& c) {
    const ChannelTable table = FormulaTable(c.gainSlider, c.offsetSlider);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const uint32_t in = PixelAt(source, x, y);
            uint32_t want = in;
            if (y >= c.box.top && y < c.box.bottom && x >= c.box.left && x < c.box.right)
                want = (in & 0xFF000000u) | uint32_t(table.map[(in >> 16) & 0xFF]) << 16 |
                       uint32_t(table.map[(in >> 8) & 0xFF]) << 8 | table.map[in & 0xFF];
            if (PixelAt(dest, x, y) != want) return false;
        }
    }
    return true;
}

// One render as a host's record holds it: its configuration, its workers and its pixel reserve,
// from its begin to its end.
class OwnedRender {
  public:
    explicit OwnedRender(const RenderCase& c)
        : case_(c), config_(ConfigWith(c.region, c.gainSlider, c.offsetSlider)) {}
    ~OwnedRender() { End(); }
    OwnedRender(const OwnedRender&) = delete;
    OwnedRender& operator=(const OwnedRender&) = delete;

    // One frame, from a source of its own into an image from the render's reserve; true when
    // it is exact.
    bool RenderFrame(int frame) {
        GWorldPtr source = NewTestImage(kWidth, kHeight), dest = nullptr;
        const Rect bounds = {0, 0, kHeight, kWidth};
        NewGWorldFromReserve(&dest, &bounds, pixels_, &bounds); // the effect fills it all
        TestHost::PaintSource(source, frame);
        DoCorePixelEffect(source, dest, &config_, frame, 100, workers_);
        const bool exact = MatchesTheFormula(source, dest, case_);
        DisposeGWorld(source);
        DisposeGWorld(dest);
        return exact;
    }
    void End() {
        DisposeRowWorkers(workers_);
        DisposePixelReserve(pixels_);
        workers_ = nullptr;
        pixels_ = nullptr;
    }

  private:
    const RenderCase& case_;
    PluginDataRec config_;
    RowWorkers* workers_ = NewRowWorkers();
    PixelReserveRef pixels_ = NewPixelReserve();
};

TEST(EffectOnManyThreads, RendersAtOnceStayExactAndOneEndingLeavesTheOthersHelpers) {
    PretendProcessors four(4); // three helpers per render
    constexpr int kHelpers = 3;
    std::thread([] {}).join(); // a first thread may bring one of the runtime's own
    const int before = ProcessThreads();

    std::latch allRendering(kRenderCount); // each render has done a frame: its helpers run
    std::latch counted(1);
    std::atomic<bool> firstEnded{false};
    std::atomic<int> frames{0}, exact{0};
    std::vector<std::thread> renders;
    for (int r = 0; r < kRenderCount; ++r) {
        renders.emplace_back([&, r] {
            OwnedRender render(kRenders[r]);
            auto frame = [&] { exact += render.RenderFrame(frames++) ? 1 : 0; };
            frame();
            allRendering.arrive_and_wait();
            if (r == 0) {
                render.End(); // while the others render
                firstEnded = true;
                return;
            }
            do
                frame();
            while (!firstEnded);
            counted.wait();
            frame(); // their helpers still serve them
        });
    }
    renders[0].join();
    EXPECT_EQ(ProcessThreads(), before + (kRenderCount - 1) * (1 + kHelpers))
        << "the ended render's helpers are gone and every other render keeps its own";
    counted.count_down();
    for (int r = 1; r < kRenderCount; ++r)
        renders[size_t(r)].join();
    EXPECT_EQ(ProcessThreads(), before) << "every helper ended with its render";
    EXPECT_EQ(exact, frames);
}

TEST(EffectOnManyThreads, ImagesMadeAndDisposedOnManyThreadsStayTheirOwn) {
    constexpr int kThreads = 4;
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
