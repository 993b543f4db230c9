// The application's executor: a pool of threads for engine work, the main
// thread's Qt event loop for everything that comes back.
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>

#include "app/state/executor.h"

namespace {

// One pool for every action of the process. It is larger than the machine's
// thread count because most of its jobs wait rather than compute: a cleaning
// waits at the administrator prompt, an update check on the network, a quit
// for the application to end, while a scan runs beside them. Being a static
// object, it waits for its jobs when the process ends.
struct ActionPool {
    QThreadPool pool;
    ActionPool() { pool.setMaxThreadCount(std::max(16, QThread::idealThreadCount())); }
};

QThreadPool& actionPool() {
    static ActionPool shared;
    return shared.pool;
}

class ThreadPoolExecutor final : public Executor {
public:
    // The context object lives in the thread that makes the executor, the
    // main thread; posted calls run in its thread.
    ThreadPoolExecutor() : context_(new QObject) {}

    ~ThreadPoolExecutor() override {
        // Background jobs hold the executor, so the last of them may end it on
        // a pool thread; the context then goes with the main thread's next turn.
        if (context_->thread() == QThread::currentThread())
            delete context_;
        else
            context_->deleteLater();
    }

    void run(Job job) override { actionPool().start(std::move(job)); }

    void post(Receiver receiver, Job job) override {
        QMetaObject::invokeMethod(
            context_,
            [receiver = std::move(receiver), job = std::move(job)] {
                if (!receiver.expired()) job();
            },
            Qt::QueuedConnection);
    }

    void postAfter(Receiver receiver, std::chrono::milliseconds delay, Job job) override {
        // The timer starts in the main thread, whichever thread asked.
        QObject* context = context_;
        QMetaObject::invokeMethod(
            context_,
            [context, delay, receiver = std::move(receiver), job = std::move(job)] {
                // Precise: a coarse timer (Qt's choice from 2 s up) may fire
                // 5 % early, and the banner's 4.5 s would end at 4.3.
                QTimer::singleShot(delay, Qt::PreciseTimer, context, [receiver, job] {
                    if (!receiver.expired()) job();
                });
            },
            Qt::QueuedConnection);
    }

private:
    QObject* context_;
};

}  // namespace

std::shared_ptr<Executor> makeThreadPoolExecutor() { return std::make_shared<ThreadPoolExecutor>(); }

void waitForBackgroundWork() { actionPool().waitForDone(); }
