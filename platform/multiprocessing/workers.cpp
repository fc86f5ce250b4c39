// Worker sets on POSIX threads, with the fork handlers that keep a child from waiting on
// helpers that only its parent has.
#include "Multiprocessing.h"
#include "memory/failseam.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <vector>

struct OpaqueMPWorkersID {
    UInt32 wantedHelpers = 0;
    std::vector<pthread_t> helpers; // running; empty before the first run and when stopped

    pthread_mutex_t runLock = PTHREAD_MUTEX_INITIALIZER; // one run (or stop) at a time
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;    // guards everything below
    pthread_cond_t wake = PTHREAD_COND_INITIALIZER;
    pthread_cond_t finished = PTHREAD_COND_INITIALIZER;
    MPChunkProc job = nullptr;
    void* context = nullptr;
    SInt32 chunks = 0;
    SInt32 nextChunk = 0;  // the next chunk to claim; `chunks` when all are claimed
    SInt32 unfinished = 0; // chunks of the run whose work has not ended
    bool stopping = false;

    OpaqueMPWorkersID* next = nullptr; // in the list of live sets that the fork handlers walk
};

namespace {

// Every live set, so that a fork can quiesce them all and a child can forget their helpers.
pthread_mutex_t gSetsLock = PTHREAD_MUTEX_INITIALIZER;
OpaqueMPWorkersID* gSets = nullptr;
pthread_once_t gForkHandlersOnce = PTHREAD_ONCE_INIT;

class Locked {
  public:
    explicit Locked(pthread_mutex_t& mutex) : mutex_(mutex) { pthread_mutex_lock(&mutex_); }
    ~Locked() { pthread_mutex_unlock(&mutex_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

  private:
    pthread_mutex_t& mutex_;
};

// Claims and runs chunks of the current run until none is left; called with `lock` held.
void WorkOnRun(OpaqueMPWorkersID* set) {
    while (set->nextChunk < set->chunks) {
        // The chunk and the job are read together, so they always belong to the same run.
        const SInt32 chunk = set->nextChunk++;
        const MPChunkProc job = set->job;
        void* const context = set->context;
        pthread_mutex_unlock(&set->lock);
        job(context, chunk);
        pthread_mutex_lock(&set->lock);
        if (--set->unfinished == 0) pthread_cond_broadcast(&set->finished);
    }
}

void* HelperLoop(void* arg) {
    auto* set = static_cast<OpaqueMPWorkersID*>(arg);
    Locked locked(set->lock);
    for (;;) {
        while (!set->stopping && set->nextChunk >= set->chunks)
            pthread_cond_wait(&set->wake, &set->lock);
        if (set->stopping) return nullptr;
        WorkOnRun(set);
    }
}

// Starts the helpers a run can use; fewer when the system refuses threads. Called with `lock`.
void StartHelpers(OpaqueMPWorkersID* set) {
    while (set->helpers.size() < set->wantedHelpers) {
        pthread_t thread;
        if (pthread_create(&thread, nullptr, HelperLoop, set) != 0) break;
        set->helpers.push_back(thread);
    }
}

void RunOnCaller(SInt32 chunks, MPChunkProc job, void* context) {
    for (SInt32 chunk = 0; chunk < chunks; ++chunk)
        job(context, chunk);
}

// Before a fork: no run under way and every lock held by the forking thread, so the child
// inherits consistent sets.
void BeforeFork() {
    pthread_mutex_lock(&gSetsLock);
    for (OpaqueMPWorkersID* set = gSets; set; set = set->next) {
        pthread_mutex_lock(&set->runLock);
        pthread_mutex_lock(&set->lock);
    }
}

void AfterForkInParent() {
    for (OpaqueMPWorkersID* set = gSets; set; set = set->next) {
        pthread_mutex_unlock(&set->lock);
        pthread_mutex_unlock(&set->runLock);
    }
    pthread_mutex_unlock(&gSetsLock);
}

// The child has only the forking thread: the helpers are forgotten, not joined, and the
// condition variables their parent copies were waiting on are made anew.
void AfterForkInChild() {
    for (OpaqueMPWorkersID* set = gSets; set; set = set->next) {
        set->helpers.clear();
        set->stopping = false;
        pthread_cond_init(&set->wake, nullptr);
        pthread_cond_init(&set->finished, nullptr);
        pthread_mutex_unlock(&set->lock);
        pthread_mutex_unlock(&set->runLock);
    }
    pthread_mutex_unlock(&gSetsLock);
}

void InstallForkHandlers() {
    pthread_atfork(BeforeFork, AfterForkInParent, AfterForkInChild);
}

void Register(OpaqueMPWorkersID* set) {
    pthread_once(&gForkHandlersOnce, InstallForkHandlers);
    Locked locked(gSetsLock);
    set->next = gSets;
    gSets = set;
}

void Unregister(OpaqueMPWorkersID* set) {
    Locked locked(gSetsLock);
    for (OpaqueMPWorkersID** link = &gSets; *link; link = &(*link)->next) {
        if (*link != set) continue;
        *link = set->next;
        return;
    }
}

} // namespace

UInt32 MPProcessors(void) {
    if (const UInt32 pretended = PlatformFailureSeams().processors.load()) return pretended;
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? UInt32(online) : 1;
}

OSStatus MPCreateWorkers(UInt32 helpers, MPWorkersID* outWorkers) {
    if (!outWorkers) return paramErr;
    *outWorkers = new (std::nothrow) OpaqueMPWorkersID;
    if (!*outWorkers) return memFullErr;
    (*outWorkers)->wantedHelpers = helpers;
    Register(*outWorkers);
    return noErr;
}

void MPStopWorkers(MPWorkersID workers) {
    if (!workers) return;
    Locked run(workers->runLock);
    std::vector<pthread_t> helpers;
    {
        Locked locked(workers->lock);
        workers->stopping = true;
        pthread_cond_broadcast(&workers->wake);
        helpers.swap(workers->helpers);
    }
    for (pthread_t helper : helpers)
        pthread_join(helper, nullptr);
    Locked locked(workers->lock);
    workers->stopping = false;
}

void MPDeleteWorkers(MPWorkersID workers) {
    if (!workers) return;
    MPStopWorkers(workers);
    Unregister(workers);
    delete workers;
}

UInt32 MPWorkerThreads(MPWorkersID workers) {
    return workers ? workers->wantedHelpers + 1 : 1;
}

UInt32 MPRunningHelpers(MPWorkersID workers) {
    if (!workers) return 0;
    Locked locked(workers->lock);
    return UInt32(workers->helpers.size());
}

OSStatus MPRunChunks(MPWorkersID workers, SInt32 chunks, MPChunkProc job, void* context) {
    if (!workers || !job) return paramErr;
    if (chunks <= 0) return noErr;
    // One chunk, no helpers, or another thread's run under way: this thread does it all.
    if (chunks == 1 || workers->wantedHelpers == 0 || pthread_mutex_trylock(&workers->runLock)) {
        RunOnCaller(chunks, job, context);
        return noErr;
    }
    {
        Locked locked(workers->lock);
        StartHelpers(workers);
        workers->job = job;
        workers->context = context;
        workers->chunks = chunks;
        workers->nextChunk = 0;
        workers->unfinished = chunks;
        pthread_cond_broadcast(&workers->wake);
        WorkOnRun(workers);
        while (workers->unfinished > 0)
            pthread_cond_wait(&workers->finished, &workers->lock);
    }
    pthread_mutex_unlock(&workers->runLock);
    return noErr;
}
