#include <QtTest>
#include <atomic>
#include <future>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/SerialQueue.h"
#include "ui/QtMainLoop.h"

using namespace tandemo;
using namespace tandemo::ui;
using namespace std::chrono_literals;

class QtMainLoopTest : public QObject {
  Q_OBJECT

 private slots:
  void tasksPostedFromThreadsRunInTheirOrder() {
    QtMainLoop loop;
    constexpr int kThreads = 4;
    constexpr int kTasks = 200;
    std::vector<std::vector<int>> seen(kThreads);
    {
      std::vector<std::jthread> posters;
      for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&loop, &seen, t] {
          for (int i = 0; i < kTasks; ++i) loop.post([&seen, t, i] { seen[t].push_back(i); });
        });
      }
    }
    QTRY_COMPARE_WITH_TIMEOUT(seen[0].size() + seen[1].size() + seen[2].size() + seen[3].size(),
                              std::size_t{kThreads * kTasks}, 5000);
    for (const auto& perThread : seen) {
      QVERIFY(std::is_sorted(perThread.begin(), perThread.end()));
      QCOMPARE(perThread.size(), std::size_t{kTasks});
    }
  }

  void timersFireByDelayAndCancelledOnesNever() {
    QtMainLoop loop;
    QString order;
    int ticks = 0;
    loop.startTimer(seconds(0.030), [&] { order += 'c'; });
    loop.startTimer(seconds(0.010), [&] { order += 'a'; });
    const auto cancelled = loop.startTimer(seconds(0.015), [&] { order += 'x'; });
    loop.startTimer(seconds(0.020), [&] { order += 'b'; });
    for (const auto id : {cancelled, cancelled, MainLoop::TimerId{9999}}) loop.cancelTimer(id);  // twice, unknown: no harm
    MainLoop::TimerId repeating = 0;  // a repeating timer that ends itself
    repeating = loop.startTimer(seconds(0.004), [&] { if (++ticks == 3) loop.cancelTimer(repeating); }, true);
    QTRY_COMPARE_WITH_TIMEOUT(order, QString("abc"), 5000);
    QCOMPARE(ticks, 3);
    QCOMPARE(loop.pendingTimers(), std::size_t{0});
  }

  void watchCallsUntilUnwatchedFromItsOwnHandler() {
    QtMainLoop loop;
    int fds[2];
    QCOMPARE(::pipe(fds), 0);
    int calls = 0;
    MainLoop::WatchId watch = 0;
    watch = loop.watchReadable(fds[0], [&] {
      char byte = 0;
      QCOMPARE(::read(fds[0], &byte, 1), ssize_t{1});
      ++calls;
      loop.unwatch(watch);
    });
    QCOMPARE(::write(fds[1], "xy", 2), ssize_t{2});
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 5000);
    // The second byte stays unread: a live watch would be called again before this task runs.
    bool marker = false;
    loop.startTimer(seconds(0.02), [&] { marker = true; });
    QTRY_VERIFY_WITH_TIMEOUT(marker, 5000);
    QCOMPARE(calls, 1);
    ::close(fds[0]);
    ::close(fds[1]);
  }

  void workerRunsOnMainAndWaits() {
    QtMainLoop loop;
    std::atomic<bool> ranOnMain = false;
    auto result = std::async(std::launch::async, [&] {
      return loop.runOnMainAndWait([&] { ranOnMain = QThread::currentThread() == loop.thread(); }, {});
    });
    QTRY_VERIFY_WITH_TIMEOUT(result.wait_for(0s) == std::future_status::ready, 5000);
    QVERIFY(result.get());
    QVERIFY(ranOnMain);
    // On the loop's own thread the task runs at once.
    bool inline_ = false;
    QVERIFY(loop.runOnMainAndWait([&] { inline_ = true; }, {}));
    QVERIFY(inline_);
  }

  void stopEndsWaitsWhileTheMainThreadIsBusy() {
    QtMainLoop loop;
    bool ranLate = false;
    std::atomic<int> results = 0;
    {
      // The main thread does not spin while the workers wait: stopping them must not deadlock.
      std::jthread hopper([&](std::stop_token stop) {
        if (!loop.runOnMainAndWait([&] { ranLate = true; }, stop)) ++results;
      });
      std::jthread sleeper([&](std::stop_token stop) {
        if (!loop.sleepOnWorker(std::chrono::hours(1), stop)) ++results;
      });
    }
    QCOMPARE(results.load(), 2);
    QCoreApplication::processEvents();
    QVERIFY(!ranLate);  // the abandoned task is skipped
  }

  void serialQueueIsDestroyedWhileItsJobWaitsOnMain() {
    QtMainLoop loop;
    std::atomic<bool> waiting = false;
    std::atomic<bool> hopped = true;
    {
      SerialQueue queue(loop, "test");
      queue.async([&](SerialQueue& q) {
        waiting = true;
        hopped = q.runOnMain([] {});
      });
      while (!waiting) std::this_thread::yield();
    }
    QVERIFY(!hopped);
  }
};

QTEST_MAIN(QtMainLoopTest)
#include "QtMainLoopTest.moc"
