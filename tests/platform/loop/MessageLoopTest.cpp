#include "platform/loop/MessageLoop.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <glib.h>
#include <gtest/gtest.h>

#include "tests/support/TestEnvironment.h"

namespace {

namespace loop = platform::loop;
using Clock = std::chrono::steady_clock;

constexpr int kOk = 1;  // a dialog's answer
// Ends a dialog that a broken loop would never end.
constexpr UINT kWatchdogMs = 4000;

HWND window(int n) { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x1000 + n)); }

class MessageLoopTest : public testsupport::IsolatedTest {
 protected:
  void TearDown() override {
    for (int i = 0; i < 4; ++i) loop::killTimers(window(i));
    loop::runUntilIdle();
    loop::setExceptionHook(nullptr);
  }
};

struct Pipe {
  Pipe() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    readEnd = fds[0];
    writeEnd = fds[1];
  }
  int readEnd = -1;
  int writeEnd = -1;
};

// A print over the browser pipe, both ends on the loop: the browser answers each request line
// with "done:<line>", and the job sends its next page on each answer.
class PipePrint {
 public:
  using ReplyProc = std::function<void(const std::string& line)>;

  explicit PipePrint(int pages) : m_pages(pages) {
    m_browserIn.startReading(
        [this](std::string_view d) {
          m_browserBuffer.append(d);
          for (auto nl = m_browserBuffer.find('\n'); nl != std::string::npos; nl = m_browserBuffer.find('\n')) {
            m_browserOut.write("done:" + m_browserBuffer.substr(0, nl) + "\n");
            m_browserBuffer.erase(0, nl + 1);
          }
        },
        [](int) {});
    m_clientIn.startReading([this](std::string_view d) { handleClientData(d); }, [](int) {});
  }
  void start() { m_clientOut.write("page1\n"); }
  // Each line leaves the buffer before it is handled: a handler that runs a nested loop has the
  // later lines read and handled inside it.
  void handleClientData(std::string_view d) {
    m_clientBuffer.append(d);
    for (auto nl = m_clientBuffer.find('\n'); nl != std::string::npos; nl = m_clientBuffer.find('\n')) {
      const std::string line = m_clientBuffer.substr(0, nl);
      m_clientBuffer.erase(0, nl + 1);
      replies.push_back(line);
      if (static_cast<int>(replies.size()) < m_pages) m_clientOut.write("page" + std::to_string(replies.size() + 1) + "\n");
      if (onReply) onReply(line);
    }
  }
  bool finished() const { return static_cast<int>(replies.size()) == m_pages; }
  loop::CFdStream& clientIn() { return m_clientIn; }

  std::vector<std::string> replies;
  ReplyProc onReply;

 private:
  int m_pages;
  Pipe m_requests, m_answers;
  loop::CFdStream m_browserIn{m_requests.readEnd}, m_browserOut{m_answers.writeEnd};
  loop::CFdStream m_clientOut{m_requests.writeEnd}, m_clientIn{m_answers.readEnd};
  std::string m_browserBuffer, m_clientBuffer;
};

std::vector<std::string> expectedReplies(int pages) {
  std::vector<std::string> lines;
  for (int i = 1; i <= pages; ++i) lines.push_back("done:page" + std::to_string(i));
  return lines;
}

// A modal dialog opened from the printer's own timer handler, run as the loop's modal loop or
// as GTK runs its dialogs (a GMainLoop on the default context): the printer's timer re-enters,
// another window's timer ticks, and a print over the pipe completes behind the dialog.
class ModalInTimerTest : public MessageLoopTest, public testing::WithParamInterface<bool> {};

TEST_P(ModalInTimerTest, TimersTickAndAPrintCompletesBehindTheDialog) {
  const bool glibDialog = GetParam();
  PipePrint print(5);
  loop::CModalLoop dialog;
  GMainLoop* glibLoop = g_main_loop_new(nullptr, FALSE);
  bool inDialog = false, dialogReturned = false;
  int printerTicksInside = 0, otherTicksInside = 0;
  loop::SetTimer(window(1), 1, 15, [&](std::uintptr_t) { otherTicksInside += inDialog; });
  loop::SetTimer(window(3), 1, kWatchdogMs, [&](std::uintptr_t) {
    dialog.end(-1);
    g_main_loop_quit(glibLoop);
  });
  loop::SetTimer(window(0), 1, 30, [&](std::uintptr_t) {
    if (inDialog) {
      ++printerTicksInside;
      if (print.finished() && printerTicksInside >= 3 && otherTicksInside >= 3) {
        if (glibDialog) g_main_loop_quit(glibLoop);
        else dialog.end(kOk);
      }
      return;
    }
    if (dialogReturned) return;
    print.start();
    inDialog = true;
    if (glibDialog) g_main_loop_run(glibLoop);
    else EXPECT_EQ(dialog.run(), kOk);
    inDialog = false;
    dialogReturned = true;
  });
  ASSERT_TRUE(loop::runUntil([&] { return dialogReturned; }, 5000));
  g_main_loop_unref(glibLoop);
  EXPECT_EQ(print.replies, expectedReplies(5));
  EXPECT_GE(printerTicksInside, 3);
  EXPECT_GE(otherTicksInside, 3);
}

INSTANTIATE_TEST_SUITE_P(Dialogs, ModalInTimerTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "GMainLoop" : "ModalLoop"; });

TEST_F(MessageLoopTest, DialogOpenedFromAPipeReadLetsThePrintCompleteBehindIt) {
  // The first answer's handler opens the dialog; the later answers come on the same pipe, so
  // its reads must go on inside the handler's own nested loop.
  PipePrint print(5);
  loop::CModalLoop dialog;
  int ticksInside = 0;
  bool outerDataIntact = true;
  std::vector<std::string> repliesWhenDialogEnded;
  loop::SetTimer(window(3), 1, kWatchdogMs, [&](std::uintptr_t) { dialog.end(-1); });
  loop::SetTimer(window(0), 1, 20, [&](std::uintptr_t) {
    if (!dialog.running()) return;
    ++ticksInside;
    if (print.finished() && ticksInside >= 3) dialog.end(kOk);
  });
  print.onReply = [&](const std::string& line) {
    if (line != "done:page1") return;
    EXPECT_EQ(dialog.run(), kOk);
    repliesWhenDialogEnded = print.replies;
  };
  print.clientIn().startReading(
      [&](std::string_view d) {
        const std::string copy(d);
        print.handleClientData(d);  // may run the dialog, with more reads inside
        outerDataIntact = outerDataIntact && std::string(d) == copy;
      },
      [](int) {});
  print.start();
  ASSERT_TRUE(loop::runUntil([&] { return !repliesWhenDialogEnded.empty(); }, 5000));
  EXPECT_EQ(repliesWhenDialogEnded, expectedReplies(5));
  EXPECT_GE(ticksInside, 3);
  EXPECT_TRUE(outerDataIntact);  // a nested read did not reuse the buffer the outer handler reads
}

TEST_F(MessageLoopTest, WorkPostedAfterEndRunsInTheLoopBelow) {
  loop::CModalLoop modal;
  std::vector<std::string> order;
  loop::post([&] { modal.end(1); });
  loop::post([&] { order.push_back(modal.running() ? "inside" : "after"); });
  order.push_back("run=" + std::to_string(modal.run()));
  loop::runUntilIdle();
  EXPECT_EQ(order, (std::vector<std::string>{"run=1", "after"}));
}

TEST_F(MessageLoopTest, TimerKeepsTickingInsideNestedLoopsOfItsOwnHandler) {
  // The pulse's case: a tick handler runs a modal loop; the timer goes on ticking inside it and
  // re-enters the handler, and another window's timer ticks there too.
  std::vector<std::string> events;
  int depthAtOuterTicks = 0;
  int ticks = 0;
  loop::SetTimer(window(0), 1, 100, [&](std::uintptr_t id) {
    EXPECT_EQ(id, 1u);
    ++ticks;
    events.push_back("tick" + std::to_string(ticks) + "@" + std::to_string(loop::loopDepth()));
    if (ticks == 4) depthAtOuterTicks = loop::loopDepth();
    if (ticks == 1) {
      loop::runUntil([&] { return ticks >= 4; }, 5000);
      events.push_back("nested-done");
    }
  });
  int otherTicks = 0;
  loop::SetTimer(window(1), 7, 30, [&](std::uintptr_t) { ++otherTicks; });

  const auto start = Clock::now();
  ASSERT_TRUE(loop::runUntil([&] { return ticks >= 5; }, 5000));
  const auto elapsed = Clock::now() - start;

  ASSERT_GE(events.size(), 5u);
  EXPECT_EQ(events[0], "tick1@1");
  EXPECT_EQ(events[1], "tick2@2");
  EXPECT_EQ(events[2], "tick3@2");
  EXPECT_EQ(events[3], "tick4@2");
  EXPECT_EQ(events[4], "nested-done");
  EXPECT_EQ(depthAtOuterTicks, 2);
  EXPECT_GT(otherTicks, 3);
  // Five ticks at 100 ms: generous bounds only.
  EXPECT_GT(elapsed, std::chrono::milliseconds(350));
  EXPECT_LT(elapsed, std::chrono::milliseconds(3000));
}

TEST_F(MessageLoopTest, NestedLoopsUnwindLastInFirstOut) {
  loop::CModalLoop outer, inner;
  std::vector<std::string> order;
  loop::post([&] {
    // The outer loop is asked to end first, while the inner one still runs.
    loop::post([&] {
      outer.end(1);
      loop::post([&] { inner.end(2); });
    });
    order.push_back("inner=" + std::to_string(inner.run()));
  });
  order.push_back("outer=" + std::to_string(outer.run()));
  EXPECT_EQ(order, (std::vector<std::string>{"inner=2", "outer=1"}));
  EXPECT_FALSE(outer.running());
}

TEST_F(MessageLoopTest, EndingTheInnerLoopLeavesTheOuterRunning) {
  loop::CModalLoop outer, inner;
  int afterInner = 0;
  loop::SetTimer(window(0), 1, 20, [&](std::uintptr_t) {
    loop::KillTimer(window(0), 1);
    loop::post([&] { inner.end(5); });
    EXPECT_EQ(inner.run(), 5);
    // Still inside the outer loop: work posted now runs there.
    loop::post([&] { ++afterInner; });
    loop::post([&] { outer.end(afterInner == 1 ? 9 : -1); });
  });
  EXPECT_EQ(outer.run(), 9);
  EXPECT_EQ(afterInner, 1);
}

TEST_F(MessageLoopTest, EndBeforeRunReturnsAtOnceAndTheLoopCanRunAgain) {
  loop::CModalLoop modal;
  modal.end(3);
  EXPECT_EQ(modal.run(), 3);
  loop::post([&] { modal.end(4); });
  EXPECT_EQ(modal.run(), 4);
}

TEST_F(MessageLoopTest, KillTimerInsideItsOwnHandlerStopsIt) {
  int ticks = 0;
  loop::SetTimer(window(0), 3, 10, [&](std::uintptr_t id) {
    ++ticks;
    EXPECT_EQ(loop::KillTimer(window(0), id), TRUE);
    EXPECT_EQ(loop::KillTimer(window(0), id), FALSE);
  });
  ASSERT_TRUE(loop::runUntil([&] { return ticks > 0; }, 10000));
  loop::runFor(100);  // room for a tick that should not come
  EXPECT_EQ(ticks, 1);
}

TEST_F(MessageLoopTest, SetTimerAgainReplacesHandlerAndPeriod) {
  std::vector<int> seen;
  loop::SetTimer(window(0), 1, 10, [&](std::uintptr_t) {
    seen.push_back(1);
    loop::SetTimer(window(0), 1, 10, [&](std::uintptr_t) { seen.push_back(2); });
  });
  loop::runUntil([&] { return seen.size() >= 3; }, 3000);
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen[0], 1);
  EXPECT_EQ(seen[1], 2);
  EXPECT_EQ(seen[2], 2);
  EXPECT_EQ(loop::SetTimer(window(0), 2, 10, nullptr), 0u);
}

TEST_F(MessageLoopTest, TimersOfOneOwnerAreKeyedById) {
  int a = 0, b = 0, c = 0;
  loop::SetTimer(window(0), 1, 10, [&](std::uintptr_t) { ++a; });
  loop::SetTimer(window(0), 2, 10, [&](std::uintptr_t) { ++b; });
  loop::SetTimer(window(1), 1, 10, [&](std::uintptr_t) { ++c; });
  loop::killTimers(window(0));
  EXPECT_TRUE(loop::runUntil([&] { return c > 0; }, 10000));
  loop::runFor(50);  // room for ticks of the killed timers that should not come
  EXPECT_EQ(a + b, 0);
}

TEST_F(MessageLoopTest, FdIsServicedInsideANestedLoopAndWritesAreQueued) {
  Pipe p;
  loop::CFdStream reader(p.readEnd);
  loop::CFdStream writer(p.writeEnd);
  std::string received;
  int closedWith = -1;
  reader.startReading([&](std::string_view d) { received.append(d); }, [&](int e) { closedWith = e; });

  // Data written just before a timer handler enters its nested loop arrives inside that loop.
  // 1 MB is far beyond the pipe's buffer, so the writer must not block the thread.
  const std::string big(1 << 20, 'x');
  bool nestedSawAll = false;
  loop::SetTimer(window(0), 1, 10, [&](std::uintptr_t) {
    loop::KillTimer(window(0), 1);
    writer.write("head:");
    writer.write(big);
    nestedSawAll = loop::runUntil([&] { return received.size() == 5 + big.size(); }, 5000);
    writer.close();
  });
  ASSERT_TRUE(loop::runUntil([&] { return closedWith != -1; }, 5000));
  EXPECT_TRUE(nestedSawAll);
  EXPECT_EQ(received.substr(0, 5), "head:");
  EXPECT_EQ(closedWith, 0);  // end of file
  EXPECT_FALSE(reader.isOpen());
}

// Long work on the loop thread lets an urgent stream's peer through, and only that: its data
// comes in and its answers go out, while other streams and posted work wait for the loop.
TEST_F(MessageLoopTest, UrgentStreamsAreServicedOutsideTheLoopAndNothingElse) {
  Pipe question, answer, other;
  loop::CFdStream asked(question.readEnd);
  loop::CFdStream answering(answer.writeEnd);
  loop::CFdStream unhurried(other.readEnd);
  asked.setUrgent();
  answering.setUrgent();
  std::string received, otherReceived;
  asked.startReading([&](std::string_view d) {
    received.append(d);
    answering.write("answer to " + std::string(d));
  }, [](int) {});
  unhurried.startReading([&](std::string_view d) { otherReceived.append(d); }, [](int) {});
  bool posted = false;
  loop::post([&] { posted = true; });
  ASSERT_EQ(::write(question.writeEnd, "q1", 2), 2);
  ASSERT_EQ(::write(other.writeEnd, "o1", 2), 2);

  loop::serviceUrgent();
  EXPECT_EQ(received, "q1");
  char reply[64] = {};
  EXPECT_EQ(::read(answer.readEnd, reply, sizeof reply), 12);
  EXPECT_STREQ(reply, "answer to q1");
  EXPECT_EQ(otherReceived, "");
  EXPECT_FALSE(posted);

  loop::serviceUrgent();  // nothing waiting: nothing happens
  EXPECT_EQ(received, "q1");
  loop::runUntilIdle();
  EXPECT_EQ(otherReceived, "o1");
  EXPECT_TRUE(posted);
  for (int fd : {question.writeEnd, answer.readEnd, other.writeEnd}) ::close(fd);
}

TEST_F(MessageLoopTest, WriteToAPipeWithoutReaderReportsTheBreak) {
  Pipe p;
  ::close(p.readEnd);
  loop::CFdStream writer(p.writeEnd);
  int closedWith = -1;
  writer.setClosedHandler([&](int e) { closedWith = e; });
  writer.write("lost");
  loop::runUntil([&] { return closedWith != -1; }, 2000);
  EXPECT_NE(closedWith, -1);
  EXPECT_FALSE(writer.write("more"));
}

TEST_F(MessageLoopTest, PostFromAnotherThreadWakesAWaitingLoop) {
  std::atomic<bool> flag{false};
  bool ranOnLoop = false;
  const auto loopThread = std::this_thread::get_id();
  std::thread other([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    loop::post([&] {
      ranOnLoop = std::this_thread::get_id() == loopThread;
      flag = true;
    });
  });
  const bool done = loop::runUntil([&] { return flag.load(); }, 5000);
  other.join();
  EXPECT_TRUE(done);
  EXPECT_TRUE(ranOnLoop);

  loop::CModalLoop modal;
  std::thread ender([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    modal.end(12);
  });
  EXPECT_EQ(modal.run(), 12);
  ender.join();
}

TEST_F(MessageLoopTest, HandlerExceptionsAreCountedReportedAndContained) {
  std::vector<std::string> reports;
  loop::setExceptionHook([&](std::string_view where, std::string_view what) {
    reports.push_back(std::string(where) + ":" + std::string(what));
  });
  const auto before = loop::exceptionCount();
  int ticks = 0;
  loop::SetTimer(window(0), 1, 10, [&](std::uintptr_t) {
    if (++ticks == 1) throw std::runtime_error("tick failed");
  });
  loop::post([] { throw 42; });
  loop::runUntil([&] { return ticks >= 3; }, 3000);
  EXPECT_GE(ticks, 3);  // the timer survived its throwing handler
  EXPECT_EQ(loop::exceptionCount() - before, 2u);
  EXPECT_EQ(reports, (std::vector<std::string>{"posted work:unknown exception", "timer:tick failed"}));
}

TEST_F(MessageLoopTest, RunUntilTimesOutAndRunUntilIdleRunsOnlyReadyWork) {
  EXPECT_FALSE(loop::runUntil([] { return false; }, 60));
  EXPECT_TRUE(loop::runUntil([] { return true; }, 0));
  int ran = 0;
  loop::post([&] { ++ran; loop::post([&] { ++ran; }); });
  loop::SetTimer(window(0), 1, 1000, [&](std::uintptr_t) { ran += 100; });
  EXPECT_EQ(loop::runUntilIdle(), 2u);
  EXPECT_EQ(ran, 2);
  EXPECT_EQ(loop::loopDepth(), 0);
}

}  // namespace
