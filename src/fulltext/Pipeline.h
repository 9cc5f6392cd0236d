// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The writing half of an index build, on a thread of its own.

#include <xapian.h>

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

namespace fulltext::detail {

// Documents waiting for the writing thread of a build.
inline constexpr size_t kQueueLimit = 256;

// Writes documents into the index on a thread of its own while the caller's
// thread reads and analyses the next articles: on two cores a build takes
// the longer of the two halves instead of their sum.
class Pipeline {
public:
    explicit Pipeline(Xapian::WritableDatabase& db) : db_(db), thread_([this] { run(); }) {}
    ~Pipeline() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    // Waits while the queue is full; a failure of the writing thread comes
    // back here.
    void put(Xapian::docid id, Xapian::Document doc) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return queue_.size() < kQueueLimit || error_; });
        if (error_)
            std::rethrow_exception(error_);
        queue_.emplace_back(id, std::move(doc));
        lock.unlock();
        changed_.notify_all();
    }

    // Waits until every document is written.
    void finish() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return (queue_.empty() && !busy_) || error_; });
        if (error_)
            std::rethrow_exception(error_);
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [&] { return !queue_.empty() || stop_; });
            if (stop_)
                return;
            auto [id, doc] = std::move(queue_.front());
            queue_.pop_front();
            busy_ = true;
            lock.unlock();
            changed_.notify_all();
            std::exception_ptr error;
            try {
                db_.replace_document(id, doc);
            } catch (...) {
                error = std::current_exception();
            }
            // The document's last reference goes here, on this thread.
            doc = Xapian::Document();
            lock.lock();
            busy_ = false;
            if (error) {
                error_ = error;
                queue_.clear();
            }
            changed_.notify_all();
        }
    }

    Xapian::WritableDatabase& db_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<Xapian::docid, Xapian::Document>> queue_;
    bool busy_ = false;
    bool stop_ = false;
    std::exception_ptr error_;
    std::thread thread_;
};

} // namespace fulltext::detail
