#include "app/state/manual_executor.h"

#include <algorithm>
#include <thread>

void ManualExecutor::run(Job job) {
    std::lock_guard guard(lock_);
    work_.push_back(std::move(job));
}

void ManualExecutor::post(Receiver receiver, Job job) {
    std::lock_guard guard(lock_);
    posts_.push_back({std::move(receiver), std::move(job)});
}

void ManualExecutor::postAfter(Receiver receiver, std::chrono::milliseconds delay, Job job) {
    std::lock_guard guard(lock_);
    delayed_.push_back({now_ + delay, std::move(receiver), std::move(job)});
}

size_t ManualExecutor::queuedWork() const {
    std::lock_guard guard(lock_);
    return work_.size();
}

size_t ManualExecutor::queuedPosts() const {
    std::lock_guard guard(lock_);
    return posts_.size();
}

size_t ManualExecutor::delayedCalls() const {
    std::lock_guard guard(lock_);
    return delayed_.size();
}

bool ManualExecutor::runOneWork() {
    Job job;
    {
        std::lock_guard guard(lock_);
        if (work_.empty()) return false;
        job = std::move(work_.front());
        work_.pop_front();
    }
    std::thread worker(std::move(job));
    worker.join();
    return true;
}

int ManualExecutor::runWork() {
    int ran = 0;
    while (runOneWork()) ++ran;
    return ran;
}

int ManualExecutor::runPosts() {
    std::deque<Posted> batch;
    {
        std::lock_guard guard(lock_);
        batch.swap(posts_);
    }
    int ran = 0;
    for (auto& posted : batch) {
        if (posted.receiver.expired()) {
            std::lock_guard guard(lock_);
            ++dropped_;
            continue;
        }
        posted.job();
        ++ran;
    }
    return ran;
}

void ManualExecutor::settle() {
    while (queuedWork() > 0 || queuedPosts() > 0) {
        runWork();
        runPosts();
    }
}

void ManualExecutor::advance(std::chrono::milliseconds by) {
    std::lock_guard guard(lock_);
    now_ += by;
    std::stable_sort(delayed_.begin(), delayed_.end(),
                     [](const Delayed& a, const Delayed& b) { return a.due < b.due; });
    auto firstLater = std::find_if(delayed_.begin(), delayed_.end(), [&](const Delayed& d) { return d.due > now_; });
    for (auto it = delayed_.begin(); it != firstLater; ++it) posts_.push_back({std::move(it->receiver), std::move(it->job)});
    delayed_.erase(delayed_.begin(), firstLater);
}

int ManualExecutor::droppedPosts() const {
    std::lock_guard guard(lock_);
    return dropped_;
}
