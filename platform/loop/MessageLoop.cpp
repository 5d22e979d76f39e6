#include "platform/loop/MessageLoop.h"

// <utility> first: Boost 1.74's Asio misses std::exchange under g++ 12 in C++20 mode otherwise.
#include <utility>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <unistd.h>

namespace platform::loop {
namespace detail {
namespace {

using Clock = std::chrono::steady_clock;
namespace asio = boost::asio;

// Windows' USER_TIMER_MINIMUM: shorter periods are raised to it.
constexpr UINT kMinimumPeriodMs = 10;
// A waiting loop wakes at least this often, so a condition changed without a handler still ends it.
constexpr auto kWaitSlice = std::chrono::milliseconds(50);

struct Timer {
  explicit Timer(asio::io_context& io) : timer(io) {}
  asio::steady_timer timer;
  HWND owner = nullptr;
  std::uintptr_t id = 0;
  UINT periodMs = 0;
  TimerProc proc;
  std::uint64_t generation = 0;
  bool killed = false;
};

struct Loop {
  // The default concurrency hint: with a hint of 1, work posted inside a handler stays in that
  // handler's private queue and a nested loop never sees it.
  asio::io_context io;
  // Keeps run_one_for from treating an empty queue as the end of the loop.
  asio::executor_work_guard<asio::io_context::executor_type> guard{io.get_executor()};
  std::map<std::pair<HWND, std::uintptr_t>, std::shared_ptr<Timer>> timers;
  int depth = 0;
  std::mutex hookMutex;
  ExceptionHook hook;
  std::atomic<unsigned long> exceptions{0};
};

// Never destroyed: handlers and streams may still refer to it while statics go at exit.
Loop& theLoop() {
  static Loop* loop = new Loop;
  return *loop;
}

void report(std::string_view where, std::string_view what) noexcept {
  Loop& loop = theLoop();
  ++loop.exceptions;
  ExceptionHook hook;
  {
    std::lock_guard<std::mutex> lock(loop.hookMutex);
    hook = loop.hook;
  }
  if (!hook) return;
  try {
    hook(where, what);
  } catch (...) {
  }
}

template <class Fn>
void guarded(std::string_view where, Fn&& fn) noexcept {
  try {
    fn();
  } catch (const std::exception& e) {
    report(where, e.what());
  } catch (...) {
    report(where, "unknown exception");
  }
}

struct DepthScope {
  DepthScope() { ++theLoop().depth; }
  ~DepthScope() { --theLoop().depth; }
  DepthScope(const DepthScope&) = delete;
  DepthScope& operator=(const DepthScope&) = delete;
};

void arm(const std::shared_ptr<Timer>& timer) {
  timer->timer.async_wait([timer, generation = timer->generation](const boost::system::error_code& ec) {
    if (ec || timer->killed || generation != timer->generation) return;
    // Re-arm before the handler runs, so the next tick also comes inside a loop the handler
    // starts; a tick already overdue is skipped rather than fired back-to-back.
    const auto period = std::chrono::milliseconds(timer->periodMs);
    auto next = timer->timer.expiry() + period;
    const auto now = Clock::now();
    if (next <= now) next = now + period;
    timer->timer.expires_at(next);
    arm(timer);
    TimerProc proc = timer->proc;  // SetTimer inside the handler may replace it
    guarded("timer", [&] { proc(timer->id); });
  });
}

}  // namespace
}  // namespace detail

using detail::theLoop;

std::uintptr_t SetTimer(HWND owner, std::uintptr_t id, UINT elapseMs, TimerProc handler) {
  if (!handler) return 0;
  detail::Loop& loop = theLoop();
  auto& slot = loop.timers[{owner, id}];
  if (!slot) {
    slot = std::make_shared<detail::Timer>(loop.io);
    slot->owner = owner;
    slot->id = id;
  }
  slot->periodMs = std::clamp<UINT>(elapseMs, detail::kMinimumPeriodMs, 0x7FFFFFFFu);
  slot->proc = std::move(handler);
  ++slot->generation;  // a wait armed before belongs to the old setting
  slot->timer.expires_after(std::chrono::milliseconds(slot->periodMs));
  detail::arm(slot);
  return id;
}

BOOL KillTimer(HWND owner, std::uintptr_t id) {
  detail::Loop& loop = theLoop();
  auto it = loop.timers.find({owner, id});
  if (it == loop.timers.end()) return FALSE;
  std::shared_ptr<detail::Timer> timer = it->second;
  loop.timers.erase(it);
  timer->killed = true;
  timer->timer.cancel();
  return TRUE;
}

void killTimers(HWND owner) {
  detail::Loop& loop = theLoop();
  std::vector<std::uintptr_t> ids;
  for (const auto& [key, timer] : loop.timers)
    if (key.first == owner) ids.push_back(key.second);
  for (auto id : ids) KillTimer(owner, id);
}

void post(std::function<void()> work) {
  if (!work) return;
  boost::asio::post(theLoop().io, [work = std::move(work)] { detail::guarded("posted work", work); });
}

bool runUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  detail::Loop& loop = theLoop();
  detail::DepthScope depth;
  const bool forever = timeoutMs == kInfinite;
  const auto deadline = detail::Clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);
  for (;;) {
    bool finished = false;
    detail::guarded("loop condition", [&] { finished = done(); });
    if (finished) return true;
    auto slice = detail::kWaitSlice;
    if (!forever) {
      const auto now = detail::Clock::now();
      if (now >= deadline) return false;
      slice = std::min<std::chrono::milliseconds>(
          slice, std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
    }
    // Bounded: a nested run_one() with nothing pending would block for ever.
    loop.io.run_one_for(slice);
  }
}

std::size_t runFor(DWORD ms) {
  detail::Loop& loop = theLoop();
  detail::DepthScope depth;
  const auto deadline = detail::Clock::now() + std::chrono::milliseconds(ms);
  std::size_t count = 0;
  for (auto now = detail::Clock::now(); now < deadline; now = detail::Clock::now())
    count += loop.io.run_one_for(std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
  return count;
}

std::size_t runUntilIdle() {
  detail::Loop& loop = theLoop();
  detail::DepthScope depth;
  std::size_t count = 0;
  while (loop.io.poll_one()) ++count;
  return count;
}

int loopDepth() { return theLoop().depth; }

void setExceptionHook(ExceptionHook hook) {
  detail::Loop& loop = theLoop();
  std::lock_guard<std::mutex> lock(loop.hookMutex);
  loop.hook = std::move(hook);
}

unsigned long exceptionCount() { return theLoop().exceptions.load(); }

// ---- CModalLoop ----

struct CModalLoop::State {
  std::atomic<bool> ended{false};
  std::atomic<int> code{0};
  int running = 0;
};

CModalLoop::CModalLoop() : m_state(std::make_shared<State>()) {}
CModalLoop::~CModalLoop() = default;

int CModalLoop::run() {
  auto state = m_state;
  ++state->running;
  runUntil([state] { return state->ended.load(); });
  --state->running;
  state->ended = false;
  return state->code.load();
}

void CModalLoop::end(int code) {
  m_state->code = code;
  m_state->ended = true;
  // Wakes the loop when end() comes from another thread.
  post([] {});
}

bool CModalLoop::running() const { return m_state->running > 0; }
bool CModalLoop::ended() const { return m_state->ended.load(); }

// ---- CFdStream ----

struct CFdStream::State {
  explicit State(int fd) : stream(theLoop().io, fd) {}
  boost::asio::posix::stream_descriptor stream;
  std::vector<char> buffer = std::vector<char>(64 * 1024);
  std::deque<std::string> outgoing;
  std::size_t pending = 0;
  bool writing = false;
  bool closed = false;
  DataProc onData;
  ClosedProc onClosed;
};

namespace detail {
namespace {

void ignoreSigpipeOnce() {
  // A write to a pipe whose reader died must fail with EPIPE, not end the process.
  static const bool done = [] {
    struct sigaction current {};
    if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
      struct sigaction ignore {};
      ignore.sa_handler = SIG_IGN;
      sigaction(SIGPIPE, &ignore, nullptr);
    }
    return true;
  }();
  (void)done;
}

template <class S>
void breakStream(const std::shared_ptr<S>& s, int errorCode) {
  if (s->closed) return;
  s->closed = true;
  boost::system::error_code ignored;
  s->stream.close(ignored);
  s->outgoing.clear();
  s->pending = 0;
  CFdStream::ClosedProc proc = std::move(s->onClosed);
  s->onData = nullptr;
  if (proc) guarded("stream closed", [&] { proc(errorCode); });
}

template <class S>
void readMore(const std::shared_ptr<S>& s) {
  s->stream.async_read_some(boost::asio::buffer(s->buffer),
                            [s](const boost::system::error_code& ec, std::size_t n) {
                              if (s->closed || ec == boost::asio::error::operation_aborted) return;
                              if (ec) {
                                breakStream(s, ec == boost::asio::error::eof ? 0 : ec.value());
                                return;
                              }
                              CFdStream::DataProc proc = s->onData;
                              if (proc) guarded("stream data", [&] { proc(std::string_view(s->buffer.data(), n)); });
                              if (!s->closed) readMore(s);
                            });
}

template <class S>
void writeMore(const std::shared_ptr<S>& s) {
  if (s->writing || s->closed || s->outgoing.empty()) return;
  s->writing = true;
  boost::asio::async_write(s->stream, boost::asio::buffer(s->outgoing.front()),
                           [s](const boost::system::error_code& ec, std::size_t) {
                             s->writing = false;
                             if (s->closed || ec == boost::asio::error::operation_aborted) return;
                             if (ec) {
                               breakStream(s, ec.value());
                               return;
                             }
                             s->pending -= s->outgoing.front().size();
                             s->outgoing.pop_front();
                             writeMore(s);
                           });
}

}  // namespace
}  // namespace detail

CFdStream::CFdStream(int fd) {
  detail::ignoreSigpipeOnce();
  m_state = std::make_shared<State>(fd);
}

CFdStream::~CFdStream() { close(); }

void CFdStream::startReading(DataProc onData, ClosedProc onClosed) {
  if (m_state->closed) return;
  m_state->onData = std::move(onData);
  m_state->onClosed = std::move(onClosed);
  detail::readMore(m_state);
}

void CFdStream::setClosedHandler(ClosedProc onClosed) {
  if (!m_state->closed) m_state->onClosed = std::move(onClosed);
}

bool CFdStream::write(std::string data) {
  if (m_state->closed) return false;
  if (data.empty()) return true;
  m_state->pending += data.size();
  m_state->outgoing.push_back(std::move(data));
  detail::writeMore(m_state);
  return true;
}

std::size_t CFdStream::pendingWrite() const { return m_state->pending; }

void CFdStream::close() {
  if (m_state->closed) return;
  m_state->closed = true;
  m_state->onData = nullptr;
  m_state->onClosed = nullptr;
  m_state->outgoing.clear();
  m_state->pending = 0;
  boost::system::error_code ignored;
  m_state->stream.close(ignored);
}

bool CFdStream::isOpen() const { return !m_state->closed; }

}  // namespace platform::loop
