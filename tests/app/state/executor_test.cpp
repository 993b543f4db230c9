// Both executors: work off the main thread, posted calls on it, and nothing
// posted for an object that has gone.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <atomic>
#include <future>
#include <string>
#include <vector>

#include "app/state/executor.h"
#include "app/state/manual_executor.h"
#include "state_test_env.h"

using namespace std::chrono_literals;

namespace {

// Turns the main thread's event loop until the condition holds or ten seconds pass.
bool processEventsUntil(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 10000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

}  // namespace

TEST(ManualExecutor, RunsOnlyWhatItIsToldInOrderAndDropsCallsForAnEndedReceiver) {
    ManualExecutor executor;
    auto alive = std::make_unique<Lifeline>();
    auto ended = std::make_unique<Lifeline>();
    Executor::Receiver endedReceiver = ended->receiver();
    ended.reset();
    std::vector<std::string> log;
    std::atomic<bool> workOffMain = true;

    executor.run([&] {
        workOffMain = workOffMain && !onMainThread();
        executor.post(alive->receiver(), [&] { log.push_back("first result"); });
        executor.run([&] { log.push_back("queued by work"); });
    });
    executor.post(endedReceiver, [&] { log.push_back("never"); });
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(executor.queuedWork(), 1u);
    EXPECT_EQ(executor.queuedPosts(), 1u);

    EXPECT_EQ(executor.runWork(), 2);
    EXPECT_TRUE(workOffMain);
    EXPECT_EQ(log, std::vector<std::string>{"queued by work"});
    // A post made by a post waits for the next round.
    executor.post(alive->receiver(), [&] {
        log.push_back("second result");
        executor.post(alive->receiver(), [&] { log.push_back("third"); });
    });
    EXPECT_EQ(executor.runPosts(), 2);
    EXPECT_EQ(executor.droppedPosts(), 1);
    EXPECT_EQ(log, (std::vector<std::string>{"queued by work", "first result", "second result"}));
    EXPECT_EQ(executor.runPosts(), 1);
    EXPECT_EQ(log.back(), "third");
}

TEST(ManualExecutor, DelayedCallsFallDueOnItsOwnClockEarliestFirst) {
    ManualExecutor executor;
    Lifeline owner;
    std::vector<int> order;
    executor.postAfter(owner.receiver(), 300ms, [&] { order.push_back(300); });
    executor.postAfter(owner.receiver(), 100ms, [&] { order.push_back(100); });
    executor.postAfter(owner.receiver(), 100ms, [&] { order.push_back(101); });
    executor.advance(99ms);
    EXPECT_EQ(executor.runPosts(), 0);
    executor.advance(1ms);
    executor.runPosts();
    EXPECT_EQ(order, (std::vector<int>{100, 101}));
    EXPECT_EQ(executor.delayedCalls(), 1u);
    executor.advance(1s);
    executor.runPosts();
    EXPECT_EQ(order, (std::vector<int>{100, 101, 300}));
}

TEST(ThreadPoolExecutor, WorkRunsOffTheMainThreadAndPostsComeBackToIt) {
    auto executor = makeThreadPoolExecutor();
    auto owner = std::make_unique<Lifeline>();
    std::atomic<bool> workOnMain = true;
    std::atomic<bool> postOnMain = false;
    std::atomic<int> delivered = 0;
    executor->run([&, executor, receiver = owner->receiver()] {
        workOnMain = onMainThread();
        executor->post(receiver, [&] {
            postOnMain = onMainThread();
            ++delivered;
        });
    });
    ASSERT_TRUE(processEventsUntil([&] { return delivered == 1; }));
    EXPECT_FALSE(workOnMain);
    EXPECT_TRUE(postOnMain);

    // A delayed call, asked for from a worker, waits its time on the main thread.
    QElapsedTimer timer;
    timer.start();
    std::atomic<qint64> waited = -1;
    executor->run([&, executor, receiver = owner->receiver()] {
        executor->postAfter(receiver, 150ms, [&] { waited = timer.elapsed(); });
    });
    ASSERT_TRUE(processEventsUntil([&] { return waited >= 0; }));
    EXPECT_GE(waited, 150);

    // Posted for an owner that has gone by the time the main thread gets to it.
    std::promise<void> posted;
    executor->run([&, executor, receiver = owner->receiver()] {
        executor->post(receiver, [&] { ++delivered; });
        executor->postAfter(receiver, 10ms, [&] { ++delivered; });
        posted.set_value();
    });
    posted.get_future().wait();
    owner.reset();
    waitForBackgroundWork();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 100) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(delivered, 1);
}

TEST(ThreadPoolExecutor, ALongDelayIsNeverCutShort) {
    // The banner's 4.5 s: a coarse timer would be allowed to fire 225 ms early.
    auto executor = makeThreadPoolExecutor();
    Lifeline owner;
    QElapsedTimer timer;
    timer.start();
    std::atomic<qint64> waited = -1;
    executor->postAfter(owner.receiver(), AppState::kBannerLifetime, [&] { waited = timer.elapsed(); });
    ASSERT_TRUE(processEventsUntil([&] { return waited >= 0; }));
    EXPECT_GE(waited, 4500);
}
