// The row workers: every chunk runs once, helpers take part, concurrent callers take turns.
#include "pixelkernels_workers.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct SplitCase {
    const char* name;
    int helpers;
    int chunks;
};

void PrintTo(const SplitCase& c, std::ostream* os) {
    *os << c.name;
}

class WorkerSplit : public testing::TestWithParam<SplitCase> {};

TEST_P(WorkerSplit, EveryChunkRunsExactlyOncePerCall) {
    const SplitCase& c = GetParam();
    RowWorkers workers(c.helpers);
    EXPECT_EQ(workers.Threads(), c.helpers + 1);
    constexpr int kCalls = 200;
    const int chunks = std::max(c.chunks, 0);
    std::unique_ptr<std::atomic<int>[]> runs(new std::atomic<int>[size_t(chunks) + 1]());
    for (int call = 0; call < kCalls; ++call)
        workers.Run(c.chunks, [&](int chunk) { runs[size_t(chunk)].fetch_add(1); });
    for (int chunk = 0; chunk < chunks; ++chunk)
        EXPECT_EQ(runs[size_t(chunk)], kCalls) << chunk;
    EXPECT_EQ(runs[size_t(chunks)], 0) << "a chunk past the end ran";
}

INSTANTIATE_TEST_SUITE_P(
    Splits, WorkerSplit,
    testing::Values(SplitCase{"CallerOnlyOneChunk", 0, 1}, SplitCase{"CallerOnlyManyChunks", 0, 9},
                    SplitCase{"NoChunks", 2, 0}, SplitCase{"NegativeChunks", 2, -3},
                    SplitCase{"FewerChunksThanThreads", 3, 2},
                    SplitCase{"ChunksEqualThreads", 3, 4}, SplitCase{"ManyChunks", 2, 37}),
    [](const testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.name); });

TEST(RowWorkers, HelpersTakeChunksWhileTheCallerIsBusy) {
    RowWorkers workers(1);
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<bool> helperRan{false};
    workers.Run(2, [&](int) {
        if (std::this_thread::get_id() != caller) {
            helperRan = true;
            return;
        }
        // The caller holds its chunk until the helper has taken the other one.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!helperRan && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
    });
    EXPECT_TRUE(helperRan);
}

TEST(RowWorkers, CallsFromTwoThreadsAtOnceEachRunAllTheirChunks) {
    RowWorkers workers(2);
    constexpr int kCalls = 300, kChunks = 5;
    std::atomic<int> total{0};
    auto caller = [&] {
        for (int call = 0; call < kCalls; ++call) {
            std::atomic<int> mine{0};
            workers.Run(kChunks, [&](int) { mine.fetch_add(1); });
            total.fetch_add(mine == kChunks ? 1 : 0);
        }
    };
    std::thread first(caller), second(caller);
    first.join();
    second.join();
    EXPECT_EQ(total, 2 * kCalls);
}

} // namespace
