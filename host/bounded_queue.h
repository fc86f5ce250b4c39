// A queue between two threads of a render: bounded, first in first out, and closable.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

namespace reelhost {

// Push waits while the queue is full and Pop while it is empty, so a fast stage cannot run
// further ahead of a slow one than the capacity allows. Any thread may call anything.
template <class T> class BoundedQueue {
  public:
    explicit BoundedQueue(size_t capacity) : capacity_(capacity) {}
    BoundedQueue(const BoundedQueue&) = delete;
    BoundedQueue& operator=(const BoundedQueue&) = delete;

    // Waits for room; false (and the item not taken) once the queue is stopped or finished.
    bool Push(T item) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopped_ || finished_ || items_.size() < capacity_; });
        if (stopped_ || finished_) return false;
        items_.push_back(std::move(item));
        changed_.notify_all();
        return true;
    }

    // Waits for an item; nothing once the queue is stopped, or finished and drained.
    std::optional<T> Pop() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopped_ || finished_ || !items_.empty(); });
        if (stopped_ || items_.empty()) return std::nullopt;
        T item = std::move(items_.front());
        items_.pop_front();
        changed_.notify_all();
        return item;
    }

    // No more items come: Pop hands out what is queued, then nothing.
    void Finish() {
        const std::lock_guard lock(mutex_);
        finished_ = true;
        changed_.notify_all();
    }

    // Both ends stop now: waiting calls return, and what is queued is never handed out.
    void Stop() {
        const std::lock_guard lock(mutex_);
        stopped_ = true;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<T> items_;
    size_t capacity_;
    bool finished_ = false;
    bool stopped_ = false;
};

} // namespace reelhost
