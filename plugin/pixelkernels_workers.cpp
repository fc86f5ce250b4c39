// The plug-in's row workers on the platform's worker sets, and the sets its owners hold.
#include "pixelkernels_workers.h"

#include <algorithm>
#include <atomic>
#include <new>

namespace {

// See NewRowWorkers: more helpers would only wait on the memory bus.
constexpr int kMaxHelpers = 3;
// More sets than any host keeps at once (one per render under way, one for an open window).
constexpr int kMaxOwnedSets = 64;

// The sets NewRowWorkers made and DisposeRowWorkers has not freed, so that unloading the program
// joins the helpers of sets a host never ended. Slots of atomics rather than a locked list: a
// child forked while another thread makes or ends a set must not inherit a lock held by a
// thread it does not have. The sets themselves are not freed here: a host still inside a call
// at exit finishes it on a set that still exists.
class OwnedSets {
  public:
    void Add(RowWorkers* workers) {
        for (std::atomic<RowWorkers*>& slot : slots_) {
            RowWorkers* empty = nullptr;
            if (slot.compare_exchange_strong(empty, workers)) return;
        }
        // More sets at once than slots: this one's helpers are joined by its owner alone.
    }
    void Remove(RowWorkers* workers) {
        for (std::atomic<RowWorkers*>& slot : slots_) {
            RowWorkers* expected = workers;
            if (slot.compare_exchange_strong(expected, nullptr)) return;
        }
    }
    ~OwnedSets() {
        for (std::atomic<RowWorkers*>& slot : slots_)
            if (RowWorkers* workers = slot.load()) workers->Stop();
    }

  private:
    std::atomic<RowWorkers*> slots_[kMaxOwnedSets] = {};
};

// Constant-initialised, so that it exists before any owner asks for a set.
constinit OwnedSets gOwnedSets;

} // namespace

RowWorkers::RowWorkers(int helpers) {
    if (helpers > 0 && MPCreateWorkers(UInt32(helpers), &workers_) != noErr) workers_ = nullptr;
}

RowWorkers::~RowWorkers() {
    MPDeleteWorkers(workers_);
}

void RowWorkers::RunErased(int chunks, MPChunkProc job, void* context) {
    if (workers_) {
        MPRunChunks(workers_, chunks, job, context);
        return;
    }
    for (int chunk = 0; chunk < chunks; ++chunk)
        job(context, chunk);
}

RowWorkers* NewRowWorkers() {
    auto* workers =
        new (std::nothrow) RowWorkers(std::clamp(int(MPProcessors()) - 1, 0, kMaxHelpers));
    if (workers) gOwnedSets.Add(workers);
    return workers;
}

void DisposeRowWorkers(RowWorkers* workers) {
    if (!workers) return;
    gOwnedSets.Remove(workers);
    delete workers;
}
