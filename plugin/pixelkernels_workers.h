// The threads that share out the rows of one pixel call, and who owns them.
//
// Owners: each render's record (_EffectData, the placeholder's private one included) owns one
// set from its begin to its end, and the configuration window's run owns one for its live
// preview from the window's opening to its closing. An owner makes its set with NewRowWorkers,
// lends it to every pixel call it makes, and ends it with DisposeRowWorkers, which joins its
// helpers; a call lent no set does all its rows on its own thread. The frei0r plug-in owns no
// set: its hosts already run frames, and bands of one frame, on threads of their own.
//
// Helpers start at the first call that can use them and sleep between calls. A program unloaded
// while it still owns sets (a host that never ended a render) joins their helpers as it goes, so
// no helper outlives it; a child process after fork has none of them (Multiprocessing.h).
//
// A call is cut into chunks that the calling thread and the helpers claim one at a time, so a
// helper that the system schedules late just finds nothing left, and the caller never waits
// for a helper that has not started. Run returns when every chunk is done, so nothing of a call
// outlives it. While one call uses a set's helpers, a call from another thread on the same set
// does all its rows on its own thread.
#pragma once

#include "Multiprocessing.h"

#include <type_traits>

class RowWorkers {
  public:
    // `helpers` threads beside the caller's, started at the first call that can use them; with
    // none, every call runs on its caller's thread alone.
    explicit RowWorkers(int helpers);
    ~RowWorkers();
    RowWorkers(const RowWorkers&) = delete;
    RowWorkers& operator=(const RowWorkers&) = delete;

    // The threads that can work on one call: the helpers and the caller.
    int Threads() const { return int(MPWorkerThreads(workers_)); }
    // The helpers running now: none before the first call that used them and after Stop.
    int RunningHelpers() const { return int(MPRunningHelpers(workers_)); }
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

    MPWorkersID workers_ = nullptr; // null: no helpers (none asked for, or none could be made)
};

// An owner's set: one helper per further processor, at most three, since the vector kernels
// already keep pace with memcpy on one thread and only the plain table gains from more. Null
// when memory is short; the owner's calls then run on their own thread.
RowWorkers* NewRowWorkers();
// Joins the set's helpers and frees it. Null: nothing.
void DisposeRowWorkers(RowWorkers* workers);
