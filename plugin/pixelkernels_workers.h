// A small persistent set of threads that share out the rows of one pixel call.
//
// The host makes one request at a time on its main thread; only the loop inside a call is
// shared. A call is cut into chunks that the calling thread and the helpers claim one at a time,
// so a helper that the system schedules late just finds nothing left, and the caller never
// waits for a helper that has not started. Run returns when every chunk is done, so nothing of
// a call outlives it. Calls from several threads are taken one after another.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

class RowWorkers {
  public:
    // `helpers` threads beside the caller's; fewer when the system refuses to start them.
    explicit RowWorkers(int helpers);
    ~RowWorkers();
    RowWorkers(const RowWorkers&) = delete;
    RowWorkers& operator=(const RowWorkers&) = delete;

    // The threads that can work on one call: the helpers and the caller.
    int Threads() const { return int(threads_.size()) + 1; }

    // Runs job(chunk) once for every chunk in 0..chunks-1, spread over the threads, and returns
    // when all have finished. `job` must not throw.
    template <class Job> void Run(int chunks, Job&& job) { RunErased(chunks, &CallJob<Job>, &job); }

  private:
    using ErasedJob = void (*)(void* context, int chunk);
    template <class Job> static void CallJob(void* context, int chunk) {
        (*static_cast<Job*>(context))(chunk);
    }
    void RunErased(int chunks, ErasedJob job, void* context);
    // Claims and runs chunks of the current call until none is left; called with mutex_ held.
    void WorkOnCall(std::unique_lock<std::mutex>& lock);
    void HelperLoop();

    std::mutex callerMutex_; // one call at a time
    std::mutex mutex_;       // guards everything below
    std::condition_variable wake_;
    std::condition_variable finished_;
    ErasedJob job_ = nullptr;
    void* context_ = nullptr;
    int chunks_ = 0;
    int nextChunk_ = 0;  // the next chunk to claim; chunks_ when all are claimed
    int unfinished_ = 0; // chunks claimed or not yet, whose work has not ended
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// The process's pool: one helper per further processor, at most three, since the vector
// kernels already keep pace with memcpy on one thread and only the plain table gains from more.
// Made on first use, joined at unload.
RowWorkers& SharedRowWorkers();
