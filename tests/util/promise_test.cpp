#include "util/promise.h"

#include "support/event_loop.h"
#include "support/mqtt_test_fixture.h"
#include "support/qt_printers.h"

#include <QElapsedTimer>
#include <QThread>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using Promise = TPromise<QString>;

// What the callbacks saw, and on which thread.
struct Outcome {
    std::atomic<int> done{0};
    std::atomic<int> errors{0};
    QString result;
    QString error;
    std::atomic<bool> onMainThread{false};
    std::atomic<QThread*> thread{nullptr};

    void noteThread() {
        thread = QThread::currentThread();
        onMainThread = QThread::currentThread() == qApp->thread();
    }
};

QString MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const MeltrixError& error) {
        return error.message();
    }
    return {};
}

TEST(TPromise, RunDeliversTheResultOnTheMainThreadAndOutlivesTheCallersReference) {
    Outcome outcome;
    Promise::Execute([] { return QStringLiteral("pronto"); })
        ->OnDone([&](const QString& result) {
            outcome.result = result;
            outcome.noteThread();
            ++outcome.done;
        })
        ->OnError([&](const std::exception&) { ++outcome.errors; })
        ->Run();

    ASSERT_TRUE(SpinUntil([&] { return outcome.done == 1; }));
    EXPECT_EQ(outcome.result, "pronto");
    EXPECT_TRUE(outcome.onMainThread);
    SpinFor(50);
    EXPECT_EQ(outcome.done, 1);
    EXPECT_EQ(outcome.errors, 0);
}

TEST(TPromise, AFailingWorkGoesToOnErrorAndNeverToOnDone) {
    Outcome outcome;
    Promise::Execute([]() -> QString { throw std::runtime_error("sem rede"); })
        ->OnDone([&](const QString&) { ++outcome.done; })
        ->OnError([&](const std::exception& error) {
            outcome.error = QString::fromUtf8(error.what());
            outcome.noteThread();
            ++outcome.errors;
        })
        ->Run();
    ASSERT_TRUE(SpinUntil([&] { return outcome.errors == 1; }));
    EXPECT_EQ(outcome.error, "sem rede");
    EXPECT_TRUE(outcome.onMainThread);

    // Without an error callback the failure is reported elsewhere, still not as a result.
    Promise::Execute([]() -> QString { throw MeltrixError("falhou"); })
        ->OnDone([&](const QString&) { ++outcome.done; })
        ->Run();
    SpinFor(150);
    EXPECT_EQ(outcome.done, 0);
}

TEST(TPromise, DoNotSynchronizeRunsTheCallbacksOnThePoolWithoutTheEventLoop) {
    Outcome succeeded;
    Outcome failed;
    Promise::Execute([] { return QStringLiteral("ok"); })
        ->DoNotSynchronize()
        ->OnDone([&](const QString& result) {
            succeeded.result = result;
            succeeded.noteThread();
            ++succeeded.done;
        })
        ->Run();
    Promise::Execute([]() -> QString { throw std::runtime_error("x"); })
        ->DoNotSynchronize()
        ->OnError([&](const std::exception&) {
            failed.noteThread();
            ++failed.errors;
        })
        ->Run();

    ASSERT_TRUE(PollWithoutEvents([&] { return succeeded.done == 1 && failed.errors == 1; }));
    EXPECT_EQ(succeeded.result, "ok");
    EXPECT_FALSE(succeeded.onMainThread);
    EXPECT_NE(succeeded.thread.load(), nullptr);
    EXPECT_FALSE(failed.onMainThread);
}

TEST(TPromise, CallbacksGivenAfterRunAreIgnoredAndAPromiseRunsOnce) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    Outcome first;
    Outcome late;
    auto promise = Promise::Execute([released] {
        released.wait();
        return QStringLiteral("r");
    });
    promise->OnDone([&](const QString&) { ++first.done; });
    promise->Run();
    promise->OnDone([&](const QString&) { ++late.done; });
    promise->OnError([&](const std::exception&) { ++late.errors; });

    EXPECT_EQ(MessageOf([&] { promise->Run(); }), "Cannot run an already awaiting promise.");
    std::thread worker(
        [&] { EXPECT_EQ(MessageOf([&] { promise->Await(); }), "Cannot await an already running promise."); });
    worker.join();

    release.set_value();
    ASSERT_TRUE(SpinUntil([&] { return first.done == 1; }));
    SpinFor(50);
    EXPECT_EQ(late.done, 0);
    EXPECT_EQ(late.errors, 0);
}

TEST(TPromise, AwaitReturnsOnAWorkerAndIsGuardedOnTheMainThread) {
    Outcome callbacks;
    auto promise = Promise::Execute([] { return QStringLiteral("valor"); });
    promise->OnDone([&](const QString&) { ++callbacks.done; });

    QString awaited;
    std::thread worker([&] { awaited = promise->Await(); });
    worker.join();
    EXPECT_EQ(awaited, "valor");

    EXPECT_EQ(MessageOf([&] { promise->Await(); }),
              QString::fromUtf8("Você não pode usar Await() na thread principal. Se mesmo assim você precisar "
                                "disso, use AllowAwaitOnMainThread() antes (pode causar dead lock!)"));
    EXPECT_EQ(promise->AllowAwaitOnMainThread()->Await(), "valor");

    // A promise that has been awaited is not run afterwards.
    EXPECT_EQ(MessageOf([&] { promise->Run(); }), "Cannot run an already awaiting promise.");
    SpinFor(50);
    EXPECT_EQ(callbacks.done, 0);
}

TEST(TPromise, AwaitPassesTheWorksErrorToTheCallerWithoutCallbacks) {
    Outcome callbacks;
    auto promise = Promise::Execute([]() -> QString { throw MeltrixError("quebrou"); });
    promise->OnError([&](const std::exception&) { ++callbacks.errors; })->AllowAwaitOnMainThread();
    EXPECT_EQ(MessageOf([&] { promise->Await(); }), "quebrou");
    SpinFor(50);
    EXPECT_EQ(callbacks.errors, 0);
}

// Workers of the pool itself await further work: none of them may block the pool.
TEST(TPromise, AwaitInsideEveryPoolThreadDoesNotStarveThePool) {
    const int workers = QThreadPool::globalInstance()->maxThreadCount() + 1;
    std::atomic<int> finished{0};
    for (int index = 0; index < workers; ++index)
        Promise::Execute([index] {
            return Promise::Execute([index] { return QString::number(index); })->Await();
        })
            ->DoNotSynchronize()
            ->OnDone([&](const QString&) { ++finished; })
            ->Run();
    EXPECT_TRUE(PollWithoutEvents([&] { return finished == workers; }));
}

TEST(TPromise, ADoneCallbackFollowsTheWorkPromptlyAndACallbackThatRaisesIsContained) {
    std::atomic<qint64> workEnded{0};
    qint64 doneAt = 0;
    QElapsedTimer clock;
    clock.start();
    Promise::Execute([&] {
        QThread::msleep(20);
        workEnded = clock.elapsed();
        return QString();
    })
        ->OnDone([&](const QString&) {
            doneAt = clock.elapsed();
            throw std::runtime_error("retorno com defeito");
        })
        ->Run();
    ASSERT_TRUE(SpinUntil([&] { return doneAt > 0; }));
    EXPECT_LT(doneAt - workEnded, 500);
}

TEST(TPromise, RefusesAMissingWork) {
    EXPECT_EQ(MessageOf([] { Promise::Execute({}); }), "Cannot create a new promise with empty asynchronous function.");
}

}  // namespace
