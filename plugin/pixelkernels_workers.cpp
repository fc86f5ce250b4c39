// The persistent row workers: helpers sleep on a condition variable until a call has chunks.
#include "pixelkernels_workers.h"

#include <algorithm>
#include <system_error>

namespace {

// See SharedRowWorkers: more helpers would only wait on the memory bus.
constexpr int kMaxSharedHelpers = 3;

} // namespace

RowWorkers::RowWorkers(int helpers) {
    threads_.reserve(size_t(std::max(helpers, 0)));
    for (int i = 0; i < helpers; ++i) {
        try {
            threads_.emplace_back(&RowWorkers::HelperLoop, this);
        } catch (const std::system_error&) {
            break; // the caller's thread still does all the work
        }
    }
}

RowWorkers::~RowWorkers() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

void RowWorkers::RunErased(int chunks, ErasedJob job, void* context) {
    if (chunks <= 0) return;
    if (chunks == 1 || threads_.empty()) {
        for (int chunk = 0; chunk < chunks; ++chunk)
            job(context, chunk);
        return;
    }
    std::lock_guard<std::mutex> caller(callerMutex_);
    std::unique_lock<std::mutex> lock(mutex_);
    job_ = job;
    context_ = context;
    chunks_ = chunks;
    nextChunk_ = 0;
    unfinished_ = chunks;
    wake_.notify_all();
    WorkOnCall(lock);
    finished_.wait(lock, [this] { return unfinished_ == 0; });
}

void RowWorkers::WorkOnCall(std::unique_lock<std::mutex>& lock) {
    while (nextChunk_ < chunks_) {
        // The chunk and the job are read together, so they always belong to the same call.
        const int chunk = nextChunk_++;
        const ErasedJob job = job_;
        void* const context = context_;
        lock.unlock();
        job(context, chunk);
        lock.lock();
        if (--unfinished_ == 0) finished_.notify_all();
    }
}

void RowWorkers::HelperLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || nextChunk_ < chunks_; });
        if (stopping_) return;
        WorkOnCall(lock);
    }
}

RowWorkers& SharedRowWorkers() {
    static RowWorkers workers(
        std::clamp(int(std::thread::hardware_concurrency()) - 1, 0, kMaxSharedHelpers));
    return workers;
}
