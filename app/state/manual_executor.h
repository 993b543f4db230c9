#pragma once
// An executor that runs nothing until told to, for tests and for pictures of
// the window made without running the engine. Background jobs wait in one
// queue, posted calls in another, delayed calls on a clock of its own; each
// step runs exactly what the caller asks for, so every interleaving of a
// window action with its results can be played out deterministically.
// Background jobs still run on a thread other than the caller's.
#include <chrono>
#include <deque>
#include <mutex>
#include <vector>

#include "app/state/executor.h"

class ManualExecutor final : public Executor {
public:
    void run(Job job) override;
    void post(Receiver receiver, Job job) override;
    void postAfter(Receiver receiver, std::chrono::milliseconds delay, Job job) override;

    size_t queuedWork() const;
    size_t queuedPosts() const;
    size_t delayedCalls() const;

    // Runs the oldest background job on a thread of its own and waits for it
    // to end. False when none was queued.
    bool runOneWork();
    // Runs background jobs, one after another, until none is queued (jobs
    // they queue included). Returns how many ran.
    int runWork();
    // Runs, on the calling thread and in order, the posted calls queued when
    // it is called; calls they post wait for the next time. Returns how many
    // ran; calls whose receiver has ended are dropped and counted apart.
    int runPosts();
    // Alternates runWork() and runPosts() until both queues are empty.
    // Delayed calls stay where they are.
    void settle();
    // Moves the clock on; delayed calls that fall due join the posted calls,
    // earliest first.
    void advance(std::chrono::milliseconds by);

    // Posted calls dropped so far because their receiver had ended.
    int droppedPosts() const;

private:
    struct Posted {
        Receiver receiver;
        Job job;
    };
    struct Delayed {
        std::chrono::milliseconds due;
        Receiver receiver;
        Job job;
    };

    mutable std::mutex lock_;
    std::deque<Job> work_;
    std::deque<Posted> posts_;
    std::vector<Delayed> delayed_;
    std::chrono::milliseconds now_{0};
    int dropped_ = 0;
};
