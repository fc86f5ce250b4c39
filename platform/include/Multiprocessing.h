// Processors and worker threads (the platform's Multiprocessing Services, as used): a set of
// helper threads that share out the chunks of one job with the thread that runs it.
//
// A worker set belongs to whoever created it. Its helpers start at its first run that can use
// them, stay asleep between runs, and are joined by MPStopWorkers (the next run starts them
// again) or MPDeleteWorkers. A child process made by fork inherits the sets but none of their
// helpers: its runs start new ones, and it never waits on a thread it does not have.
// Any thread may run a set; while one run is under way, a run from another thread does all its
// chunks on its own thread, so concurrent callers never wait for each other.
#pragma once

#include "MacTypes.h"

PLATFORM_EXPORTS_BEGIN

typedef struct OpaqueMPWorkersID* MPWorkersID;
// Runs chunk number `chunk` of a job; must not throw and must not run the same set again.
typedef void (*MPChunkProc)(void* context, SInt32 chunk);

// The processors this process may run on (at least 1).
UInt32 MPProcessors(void);

// A set of `helpers` threads (0: the caller does everything); none is started yet.
OSStatus MPCreateWorkers(UInt32 helpers, MPWorkersID* outWorkers);
// Stops the set's helpers and frees it; not while one of its runs is under way. Null: nothing.
void MPDeleteWorkers(MPWorkersID workers);
// Joins the set's helpers once any run under way has finished; the set stays usable.
void MPStopWorkers(MPWorkersID workers);
// The threads a run can use: the helpers and the caller.
UInt32 MPWorkerThreads(MPWorkersID workers);
// The helper threads running now (0 before the first run and after MPStopWorkers).
UInt32 MPRunningHelpers(MPWorkersID workers);
// Runs job(context, c) once for every chunk c in 0 .. chunks - 1, spread over the caller and the
// helpers, and returns when all have finished. paramErr for a null set or job.
OSStatus MPRunChunks(MPWorkersID workers, SInt32 chunks, MPChunkProc job, void* context);

PLATFORM_EXPORTS_END
