#include <gtest/gtest.h>

#include <latch>
#include <optional>
#include <thread>

#include "core/SerialQueue.h"
#include "core/VirtualLoop.h"
#include "linux/PollLoop.h"

namespace {

using namespace std::chrono_literals;
using tandemo::SerialQueue;
using tandemo::VirtualLoop;
using Events = std::vector<std::pair<std::string, tandemo::MainLoop::Duration>>;

// What happened, with the virtual time at which it happened; all of it on the test's (main) thread.
struct Trace {
  VirtualLoop& loop;
  Events events;
  void operator()(std::string what) {
    EXPECT_EQ(std::this_thread::get_id(), mainThread) << what;
    events.emplace_back(std::move(what), loop.elapsed());
  }
  std::thread::id mainThread = std::this_thread::get_id();
};

TEST(VirtualLoop, TimersFireInTimeThenStartOrderAndPostedTasksTakeNoTime) {
  VirtualLoop loop;
  Trace trace{loop, {}};
  loop.post([&] { trace("posted"); loop.post([&] { trace("posted by posted"); }); });
  loop.startTimer(300ms, [&] { trace("c"); });
  loop.startTimer(100ms, [&] { trace("a"); });
  loop.startTimer(300ms, [&] { trace("d"); });
  loop.startTimer(200ms, [&] { trace("b"); loop.startTimer(50ms, [&] { trace("b+"); }); });
  loop.cancelTimer(loop.startTimer(1ms, [&] { trace("never"); }));
  loop.cancelTimer(12345);  // an unknown id: nothing
  loop.advance(300ms);
  EXPECT_EQ(trace.events, (Events{{"posted", 0ms}, {"posted by posted", 0ms}, {"a", 100ms}, {"b", 200ms},
                                  {"b+", 250ms}, {"c", 300ms}, {"d", 300ms}}));
  EXPECT_EQ(loop.pendingTimers(), 0u);
  // A repeating timer runs until cancelled, here from its own task.
  tandemo::MainLoop::TimerId poll = 0;
  poll = loop.startTimer(2s, [&] { trace("poll"); if (trace.events.size() == 9) loop.cancelTimer(poll); }, true);
  loop.advance(20s);
  EXPECT_EQ(Events(trace.events.begin() + 7, trace.events.end()), (Events{{"poll", 2300ms}, {"poll", 4300ms}}));
}

// A job that runs `count` steps 50 ms apart on the main loop, then posts that it is done.
SerialQueue::Job pacedJob(Trace& trace, std::string name, int count) {
  return [&trace, name, count](SerialQueue& queue) {
    for (int i = 0; i < count; ++i) {
      if (!queue.runOnMain([&trace, name, i] { trace(name + std::to_string(i)); }) || !queue.sleep(50ms)) return;
    }
    queue.loop().post([&trace, name] { trace(name + " done"); });
  };
}

TEST(SerialQueue, JobsRunOneAfterAnotherWithExactPacingBetweenTimers) {
  VirtualLoop loop;
  Trace trace{loop, {}};
  SerialQueue queue(loop, "org.tandemo.Tandemo.test");
  queue.async(pacedJob(trace, "a", 3));
  queue.async(pacedJob(trace, "b", 1));
  loop.startTimer(70ms, [&] { trace("timer"); });
  loop.advance(1s);
  EXPECT_EQ(trace.events, (Events{{"a0", 0ms}, {"a1", 50ms}, {"timer", 70ms}, {"a2", 100ms},
                                  {"a done", 150ms}, {"b0", 150ms}, {"b done", 200ms}}));
  queue.async(pacedJob(trace, "c", 1));  // idle again: a later job starts at once
  loop.advance(50ms);
  EXPECT_EQ(trace.events.back(), (Events::value_type{"c done", 1050ms}));
}

TEST(SerialQueue, DestructionEndsSleepsAndHopsAtOnceAndDropsQueuedJobs) {
  VirtualLoop loop;
  std::optional<bool> sleepResult, hopResult;
  bool laterRan = false;
  {
    SerialQueue queue(loop, "q");
    queue.async([&](SerialQueue& q) { sleepResult = q.sleep(10s); });
    queue.async([&](SerialQueue&) { laterRan = true; });
    loop.runUntilIdle();
  }
  EXPECT_EQ(sleepResult, false);
  std::latch started(1);
  {
    SerialQueue queue(loop, "q");
    queue.async([&](SerialQueue& q) {
      started.count_down();
      hopResult = q.runOnMain([&] { laterRan = true; });
    });
    started.wait();
  }  // the loop never ran the hop: destruction must not wait for it
  EXPECT_EQ(hopResult, false);
  loop.advance(20s);  // no busy worker is counted any more, and abandoned hops never run
  EXPECT_FALSE(laterRan);
}

// A stalled loop: a repeating timer that missed five periods fires once, then keeps its period
// from that moment. The loop's clock is the test's, so nothing waits.
TEST(PollLoop, ARepeatingTimerThatFellBehindFiresOnceAndKeepsItsPeriodFromThen) {
  auto clock = tandemo::MainLoop::Clock::now();
  tandemo::linux_platform::PollLoop loop([&] { return clock; });
  int fired = 0;
  loop.startTimer(1s, [&] { ++fired; }, /*repeating=*/true);
  const auto runOnce = [&](tandemo::MainLoop::Duration later) {
    clock += later;
    loop.post([&] { loop.quit(); });  // one round: posted tasks, then the due timers
    loop.run();
  };
  runOnce(5500ms);
  EXPECT_EQ(fired, 1);
  runOnce(900ms);  // 6.4 s: the next is due at 6.5 s, not at 6 s
  EXPECT_EQ(fired, 1);
  runOnce(100ms);
  EXPECT_EQ(fired, 2);
  runOnce(1s);  // on time: the ordinary period
  EXPECT_EQ(fired, 3);
}

}  // namespace
