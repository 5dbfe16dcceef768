#include <gtest/gtest.h>

#include <chrono>
#include <latch>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/SerialQueue.h"
#include "core/VirtualLoop.h"
#include "linux/PollLoop.h"

namespace {

using namespace std::chrono_literals;
using tandemo::MainLoop;
using tandemo::SerialQueue;
using tandemo::VirtualLoop;
using Duration = MainLoop::Duration;

// What happened, with the virtual time at which it happened.
struct Trace {
  VirtualLoop& loop;
  std::vector<std::pair<std::string, Duration>> events;
  void operator()(std::string what) { events.emplace_back(std::move(what), loop.elapsed()); }
};
using Events = std::vector<std::pair<std::string, Duration>>;

TEST(VirtualLoopTimers, FireInTimeOrderAndStartOrderOnTies) {
  VirtualLoop loop;
  Trace trace{loop, {}};
  loop.startTimer(300ms, [&] { trace("c"); });
  loop.startTimer(100ms, [&] { trace("a"); });
  loop.startTimer(300ms, [&] { trace("d"); });
  loop.startTimer(200ms, [&] { trace("b"); loop.startTimer(50ms, [&] { trace("b+"); }); });

  loop.advance(299ms);
  EXPECT_EQ(trace.events, (Events{{"a", 100ms}, {"b", 200ms}, {"b+", 250ms}}));
  loop.advance(1ms);
  EXPECT_EQ(trace.events.size(), 5u);
  EXPECT_EQ(trace.events[3], (std::pair<std::string, Duration>{"c", 300ms}));
  EXPECT_EQ(trace.events[4], (std::pair<std::string, Duration>{"d", 300ms}));
  EXPECT_EQ(loop.elapsed(), 300ms);
  EXPECT_EQ(loop.pendingTimers(), 0u);
}

TEST(VirtualLoopTimers, RepeatingTimerAndCancel) {
  VirtualLoop loop;
  Trace trace{loop, {}};
  const auto poll = loop.startTimer(2s, [&] { trace("poll"); }, true);
  const auto never = loop.startTimer(1s, [&] { trace("never"); });
  loop.cancelTimer(never);
  loop.cancelTimer(never);   // twice: nothing
  loop.cancelTimer(12345);   // unknown: nothing
  loop.advance(6s);
  EXPECT_EQ(trace.events, (Events{{"poll", 2s}, {"poll", 4s}, {"poll", 6s}}));
  loop.cancelTimer(poll);
  loop.advance(10s);
  EXPECT_EQ(trace.events.size(), 3u);

  // A repeating timer may cancel itself from its own task.
  MainLoop::TimerId self = 0;
  int fired = 0;
  self = loop.startTimer(500ms, [&] { if (++fired == 2) loop.cancelTimer(self); }, true);
  loop.advance(5s);
  EXPECT_EQ(fired, 2);
}

TEST(VirtualLoopTimers, PostedTasksRunInOrderWithoutMovingTime) {
  VirtualLoop loop;
  std::vector<int> order;
  loop.post([&] { order.push_back(1); loop.post([&] { order.push_back(3); }); });
  loop.post([&] { order.push_back(2); });
  EXPECT_TRUE(order.empty());
  loop.runUntilIdle();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(loop.elapsed(), 0ms);
}

// A job that sends `count` steps 50 ms apart and reports back on the main loop.
SerialQueue::Job pacedJob(Trace& trace, std::string name, int count) {
  return [&trace, name, count](SerialQueue& queue) {
    for (int i = 0; i < count; ++i) {
      queue.runOnMain([&trace, name, i] { trace(name + std::to_string(i)); });
      if (!queue.sleep(50ms)) return;
    }
    queue.loop().post([&trace, name] { trace(name + " done"); });
  };
}

TEST(VirtualLoopSerialQueue, WorkerSleepsAreExactAndInterleaveWithTimers) {
  VirtualLoop loop;
  Trace trace{loop, {}};
  SerialQueue queue(loop, "org.tandemo.Tandemo.test");
  EXPECT_EQ(queue.label(), "org.tandemo.Tandemo.test");
  queue.async(pacedJob(trace, "p", 3));
  loop.startTimer(70ms, [&] { trace("timer"); });

  loop.runUntilIdle();
  EXPECT_EQ(trace.events, (Events{{"p0", 0ms}}));
  loop.advance(149ms);
  EXPECT_EQ(trace.events, (Events{{"p0", 0ms}, {"p1", 50ms}, {"timer", 70ms}, {"p2", 100ms}}));
  loop.advance(1ms);
  EXPECT_EQ(trace.events.back(), (std::pair<std::string, Duration>{"p done", 150ms}));
}

TEST(VirtualLoopSerialQueue, SecondJobWaitsForTheFirstWithoutStallingTheLoop) {
  VirtualLoop loop;
  Trace trace{loop, {}};
  SerialQueue queue(loop, "q");
  queue.async(pacedJob(trace, "a", 2));
  queue.async(pacedJob(trace, "b", 2));
  loop.advance(1s);
  EXPECT_EQ(trace.events, (Events{{"a0", 0ms}, {"a1", 50ms}, {"a done", 100ms},
                                  {"b0", 100ms}, {"b1", 150ms}, {"b done", 200ms}}));
  // Idle again: a later job starts at once.
  queue.async(pacedJob(trace, "c", 1));
  loop.advance(50ms);
  EXPECT_EQ(trace.events.back(), (std::pair<std::string, Duration>{"c done", 1050ms}));
}

TEST(VirtualLoopSerialQueue, RunOnMainRunsOnTheLoopThreadAndWaits) {
  VirtualLoop loop;
  SerialQueue queue(loop, "q");
  const auto mainThread = std::this_thread::get_id();
  std::optional<std::thread::id> ranOn;
  std::optional<bool> sawResult;
  queue.async([&](SerialQueue& q) {
    int value = 0;
    const bool ok = q.runOnMain([&] { ranOn = std::this_thread::get_id(); value = 7; });
    q.loop().post([&, ok, value] { sawResult = ok && value == 7; });
  });
  loop.runUntilIdle();
  EXPECT_EQ(ranOn, mainThread);
  EXPECT_EQ(sawResult, true);
}

TEST(VirtualLoopQueueDestruction, WhileTheJobSleepsStopsAtOnceAndDropsQueuedJobs) {
  VirtualLoop loop;
  Trace trace{loop, {}};
  std::optional<bool> sleepResult;
  {
    SerialQueue queue(loop, "q");
    queue.async([&](SerialQueue& q) { sleepResult = q.sleep(10s); });
    queue.async([&](SerialQueue&) { trace("queued job ran"); });
    loop.runUntilIdle();
  }
  EXPECT_EQ(sleepResult, false);
  EXPECT_TRUE(trace.events.empty());
  // The loop counts no busy worker any more: driving it returns.
  loop.advance(20s);
  EXPECT_TRUE(trace.events.empty());
}

TEST(VirtualLoopQueueDestruction, WhileTheJobWaitsForTheMainLoop) {
  VirtualLoop loop;
  bool taskRan = false;
  std::optional<bool> hopResult;
  std::latch started(1);
  {
    SerialQueue queue(loop, "q");
    queue.async([&](SerialQueue& q) {
      started.count_down();
      hopResult = q.runOnMain([&] { taskRan = true; });
    });
    started.wait();
  }  // the loop never ran the hop: destruction must not wait for it
  EXPECT_EQ(hopResult, false);
  loop.runUntilIdle();
  EXPECT_FALSE(taskRan);  // an abandoned hop does not run later either
  loop.advance(1s);
}

TEST(PollLoopSmoke, RunsPostedTasksAndTimersUntilQuit) {
  tandemo::linux_platform::PollLoop loop;
  std::vector<std::string> order;
  loop.startTimer(5ms, [&] { order.push_back("timer"); loop.quit(); });
  loop.post([&] { order.push_back("posted"); });
  std::thread other([&] { loop.post([&] { order.push_back("from thread"); }); });
  other.join();
  loop.run();
  ASSERT_EQ(order.size(), 3u);
  EXPECT_EQ(order[0], "posted");
  EXPECT_EQ(order[1], "from thread");
  EXPECT_EQ(order[2], "timer");
}

}  // namespace
