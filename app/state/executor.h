#pragma once
// Where the window's work runs. Engine work runs off the main thread; its
// results, its progress and the window's delayed calls come back to the main
// thread as posted calls, each tied to the object that asked for it and
// dropped once that object is gone. The application uses a thread pool
// (makeThreadPoolExecutor); tests use ManualExecutor, which runs queued work
// only when told to.
#include <chrono>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

class Executor {
public:
    using Job = std::function<void()>;
    // A weak handle on the object a posted call belongs to (see Lifeline).
    using Receiver = std::weak_ptr<const void>;

    virtual ~Executor() = default;

    // Runs the job on a thread other than the main thread. Any thread may call.
    virtual void run(Job job) = 0;
    // Runs the job on the main thread, after what was posted before it, unless
    // the receiver has ended by then. Any thread may call.
    virtual void post(Receiver receiver, Job job) = 0;
    // The same once the delay has passed.
    virtual void postAfter(Receiver receiver, std::chrono::milliseconds delay, Job job) = 0;
};

// What an object that receives posted calls holds: while it lives, its
// receivers are alive; once it ends (with the object, on the main thread),
// every call posted for it is dropped. Receivers may be copied to any thread.
class Lifeline {
public:
    Lifeline() : alive_(std::make_shared<char>(0)) {}
    Lifeline(const Lifeline&) = delete;
    Lifeline& operator=(const Lifeline&) = delete;

    Executor::Receiver receiver() const { return alive_; }
    // Ends it before the object itself goes (the object's destructor calls it first).
    void end() { alive_.reset(); }

private:
    std::shared_ptr<const char> alive_;
};

// A way to post calls to the main thread for the receiver, callable from any
// thread. It holds the executor weakly: queued work that held it strongly
// would keep alive the executor that queues it. Once the executor is gone,
// so is whatever it posted for, and the call is dropped.
inline std::function<void(Executor::Job)> poster(const std::shared_ptr<Executor>& executor,
                                                  Executor::Receiver receiver) {
    return [weak = std::weak_ptr<Executor>(executor), receiver = std::move(receiver)](Executor::Job job) {
        if (auto e = weak.lock()) e->post(receiver, std::move(job));
    };
}

// Runs work() off the main thread, then done(its result) on the main thread
// unless the receiver has ended by then. The job holds what it was given and
// a way to post back, never the receiver's object.
template <class Work, class Done>
void runThenPost(const std::shared_ptr<Executor>& executor, Executor::Receiver receiver, Work work, Done done) {
    using Result = std::invoke_result_t<Work&>;
    executor->run([post = poster(executor, std::move(receiver)), work = std::move(work),
                   done = std::move(done)]() mutable {
        auto result = std::make_shared<Result>(work());
        post([done, result] { done(std::move(*result)); });
    });
}

// The application's executor: background work on a pool of threads kept for
// the process's life, posted calls through the Qt event loop of the main
// thread. Made on the main thread, after the application object.
std::shared_ptr<Executor> makeThreadPoolExecutor();

// Waits until no job of the thread-pool executors runs any more. The window
// calls it once its event loop has ended, so no engine work outlives main().
void waitForBackgroundWork();
