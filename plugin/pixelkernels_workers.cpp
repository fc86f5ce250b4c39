// The plug-in's row workers on the platform's worker sets.
#include "pixelkernels_workers.h"

#include <algorithm>

namespace {

// See SharedRowWorkers: more helpers would only wait on the memory bus.
constexpr int kMaxSharedHelpers = 3;

} // namespace

RowWorkers::RowWorkers(int helpers) {
    if (MPCreateWorkers(UInt32(std::max(helpers, 0)), &workers_) != noErr) workers_ = nullptr;
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

RowWorkers& SharedRowWorkers() {
    // Destroyed when the program is unloaded (or the process ends), which joins the helpers.
    static RowWorkers workers(std::clamp(int(MPProcessors()) - 1, 0, kMaxSharedHelpers));
    return workers;
}

void StopSharedRowWorkers() {
    SharedRowWorkers().Stop();
}
