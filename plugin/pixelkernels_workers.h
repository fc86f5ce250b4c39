// The threads that share out the rows of one pixel call, and who owns them.
//
// A call is cut into chunks that the calling thread and the helpers claim one at a time, so a
// helper that the system schedules late just finds nothing left, and the caller never waits
// for a helper that has not started. Run returns when every chunk is done, so nothing of a call
// outlives it. Several threads may run the effect at once: while one call uses the helpers,
// another does all its rows on its own thread.
#pragma once

#include "Multiprocessing.h"

#include <type_traits>

class RowWorkers {
  public:
    // `helpers` threads beside the caller's, started at the first call that can use them.
    explicit RowWorkers(int helpers);
    ~RowWorkers();
    RowWorkers(const RowWorkers&) = delete;
    RowWorkers& operator=(const RowWorkers&) = delete;

    // The threads that can work on one call: the helpers and the caller.
    int Threads() const { return int(MPWorkerThreads(workers_)); }
    // Joins the helpers; the next call starts them again.
    void Stop() { MPStopWorkers(workers_); }

    // Runs job(chunk) once for every chunk in 0..chunks-1, spread over the threads, and returns
    // when all have finished. `job` must not throw.
    template <class Job> void Run(int chunks, Job&& job) {
        RunErased(chunks, &CallJob<std::remove_reference_t<Job>>, &job);
    }

  private:
    template <class Job> static void CallJob(void* context, SInt32 chunk) {
        (*static_cast<Job*>(context))(int(chunk));
    }
    void RunErased(int chunks, MPChunkProc job, void* context);

    MPWorkersID workers_ = nullptr; // null when the platform could not make a set: caller only
};

// The plug-in's own workers: one helper per further processor, at most three, since the vector
// kernels already keep pace with memcpy on one thread and only the plain table gains from more.
// Their helpers start when a pixel call first needs them, stop at every end of a render
// (StopSharedRowWorkers) and at unload.
RowWorkers& SharedRowWorkers();
void StopSharedRowWorkers();
