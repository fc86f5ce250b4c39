// Worker sets: helpers start when a run can use them, stop when told, and a forked child never
// waits on helpers only its parent has.
#include "Multiprocessing.h"
#include "threadcount.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <latch>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

void CountChunk(void* context, SInt32) {
    static_cast<std::atomic<int>*>(context)->fetch_add(1);
}

// A chunk that takes long enough for a helper to claim the other ones.
void SlowChunk(void* context, SInt32) {
    std::this_thread::sleep_for(20ms);
    static_cast<std::atomic<int>*>(context)->fetch_add(1);
}

class Workers : public testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(MPCreateWorkers(2, &workers_), noErr); }
    void TearDown() override { MPDeleteWorkers(workers_); }
    MPWorkersID workers_ = nullptr;
};

TEST_F(Workers, HelpersStartAtTheFirstRunAndStopWhenTold) {
    // A process's first thread can bring one of the runtime's own (an emulator's, say): start
    // and end one before counting.
    std::thread([] {}).join();
    const int before = ProcessThreads();
    EXPECT_EQ(MPRunningHelpers(workers_), 0u);
    EXPECT_EQ(MPWorkerThreads(workers_), 3u);
    std::atomic<int> done{0};
    ASSERT_EQ(MPRunChunks(workers_, 6, SlowChunk, &done), noErr);
    EXPECT_EQ(done, 6);
    EXPECT_EQ(MPRunningHelpers(workers_), 2u);
    EXPECT_EQ(ProcessThreads(), before + 2);

    MPStopWorkers(workers_);
    EXPECT_EQ(MPRunningHelpers(workers_), 0u);
    EXPECT_EQ(ProcessThreads(), before);

    // Usable again after a stop.
    ASSERT_EQ(MPRunChunks(workers_, 6, CountChunk, &done), noErr);
    EXPECT_EQ(done, 12);
}

TEST_F(Workers, OneChunkOrNoneStartsNoHelper) {
    std::atomic<int> done{0};
    EXPECT_EQ(MPRunChunks(workers_, 1, CountChunk, &done), noErr);
    EXPECT_EQ(MPRunChunks(workers_, 0, CountChunk, &done), noErr);
    EXPECT_EQ(MPRunChunks(workers_, -4, CountChunk, &done), noErr);
    EXPECT_EQ(done, 1);
    EXPECT_EQ(MPRunningHelpers(workers_), 0u);
    EXPECT_EQ(MPRunChunks(nullptr, 3, CountChunk, &done), paramErr);
    EXPECT_EQ(MPRunChunks(workers_, 3, nullptr, &done), paramErr);
}

// Waits for a child for at most `limit`, killing it when it hangs; its exit status, or -1.
int WaitForChild(pid_t child, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(5ms);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// In a child: a run of many chunks, a stop and a deletion all finish on the child's one thread.
// `failures` starts with what the child found already wrong.
[[noreturn]] void UseTheWorkersInTheChild(MPWorkersID workers, int failures = 0) {
    failures |= MPRunningHelpers(workers) == 0 ? 0 : 1;
    std::atomic<int> done{0};
    MPRunChunks(workers, 8, CountChunk, &done);
    failures |= done == 8 ? 0 : 2;
    MPStopWorkers(workers);
    MPDeleteWorkers(workers);
    _exit(failures);
}

TEST_F(Workers, AForkedChildNeverWaitsOnItsParentsHelpers) {
    std::atomic<int> done{0};
    ASSERT_EQ(MPRunChunks(workers_, 6, SlowChunk, &done), noErr);
    ASSERT_EQ(MPRunningHelpers(workers_), 2u);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) UseTheWorkersInTheChild(workers_);
    EXPECT_EQ(WaitForChild(child, 30s), 0) << "1: helpers inherited, 2: chunks lost, -1: hung";
    // The parent's helpers are untouched.
    EXPECT_EQ(MPRunningHelpers(workers_), 2u);
}

// A run whose every chunk holds until a fork has begun, counting the chunks that finished.
struct HeldRun {
    static constexpr int kChunks = 12;
    std::latch underWay{1};  // chunk 0 has started
    std::latch forkBegan{1}; // the forking thread has entered fork
    std::atomic<int> done{0};

    static void Chunk(void* context, SInt32 chunk) {
        auto* run = static_cast<HeldRun*>(context);
        if (chunk == 0) run->underWay.count_down();
        run->forkBegan.wait();
        run->done.fetch_add(1);
    }
};

// The run whose chunks a fork releases as it begins; null between tests.
std::atomic<HeldRun*> gRunReleasedByFork{nullptr};

// Registered after the platform's own fork handlers (the fixture's set made them), so it runs
// before them: the fork has begun, and the platform has yet to wait for the run.
void ReleaseTheHeldRun() {
    if (HeldRun* run = gRunReleasedByFork.load()) run->forkBegan.count_down();
}

TEST_F(Workers, AForkDuringAnotherThreadsRunWaitsForItAndTheChildCanRun) {
    static std::once_flag registered;
    std::call_once(registered, [] { pthread_atfork(ReleaseTheHeldRun, nullptr, nullptr); });
    HeldRun run;
    std::thread runner([&] { MPRunChunks(workers_, HeldRun::kChunks, HeldRun::Chunk, &run); });
    run.underWay.wait();
    gRunReleasedByFork = &run;
    // The fork begins while the run is held; the child's copy of the count shows whether the
    // fork waited for the run to finish.
    const pid_t child = fork();
    if (child == 0) UseTheWorkersInTheChild(workers_, run.done == HeldRun::kChunks ? 0 : 4);
    gRunReleasedByFork = nullptr;
    runner.join();
    ASSERT_GE(child, 0);
    EXPECT_EQ(WaitForChild(child, 30s), 0)
        << "1: helpers inherited, 2: chunks lost, 4: forked mid-run, -1: hung";
    EXPECT_EQ(run.done, HeldRun::kChunks);
}

} // namespace
