#include "platform/loop/MessageLoop.h"

#include <fcntl.h>
#include <glib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <deque>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/system/Diagnostics.h"

namespace platform::loop {
namespace detail {
namespace {

// Windows' USER_TIMER_MINIMUM: shorter periods are raised to it.
constexpr UINT kMinimumPeriodMs = 10;
// A waiting loop wakes at least this often, so a condition changed without a handler still ends it.
constexpr int kWaitSliceMs = 50;
constexpr std::size_t kReadChunk = 64 * 1024;

// An entry point's name for the exception hook, and for the log.
struct Where {
  std::string_view hook;
  std::string_view log;
};
constexpr Where kTimerTick{"timer", "platform::loop timer"};
constexpr Where kPostedWork{"posted work", "platform::loop posted work"};
constexpr Where kStreamData{"stream data", "platform::loop stream data"};
constexpr Where kStreamClosed{"stream closed", "platform::loop stream closed"};
constexpr Where kLoopCondition{"loop condition", "platform::loop condition"};

// One running runUntil: its condition, and the GLib dispatch depth of the handlers it runs.
struct Level {
  const std::function<bool()>* done = nullptr;
  int dispatchDepth = 0;
};

struct Loop {
  // GTK's own context, so its events and these sources are serviced by the same loops.
  GMainContext* context = g_main_context_default();
  std::map<std::pair<HWND, std::uintptr_t>, GSource*> timers;
  // Posted work: any thread appends, the loop thread takes from the front.
  std::mutex queueMutex;
  std::deque<std::function<void()>> queue;
  std::atomic<std::size_t> queued{0};
  GSource* posted = nullptr;
  int depth = 0;
  std::vector<Level> levels;
  std::size_t handlersRun = 0;
  // One poll set per depth: a nested pass must not overwrite the one of the pass it runs in.
  std::deque<std::vector<GPollFD>> pollSets;
  std::mutex hookMutex;
  ExceptionHook hook;
  std::function<void()> beforeWait;
  std::atomic<unsigned long> exceptions{0};
};

Loop& theLoop();

// ---- sources with a C++ payload ----

struct PayloadSource {
  GSource base;
  void* payload;
};

template <class P>
P& payloadOf(GSource* source) {
  return *static_cast<P*>(reinterpret_cast<PayloadSource*>(source)->payload);
}

template <class P>
void finalizePayload(GSource* source) {
  delete static_cast<P*>(reinterpret_cast<PayloadSource*>(source)->payload);
}

// Every source is re-entrant: a handler that runs a nested loop (a modal dialog) still has its
// own source serviced there, as WM_TIMER and window messages re-enter on Windows.
template <class P>
GSource* newSource(GSourceFuncs* funcs, const char* name, P payload) {
  GSource* source = g_source_new(funcs, sizeof(PayloadSource));
  reinterpret_cast<PayloadSource*>(source)->payload = new P(std::move(payload));
  g_source_set_can_recurse(source, TRUE);
  g_source_set_name(source, name);
  g_source_attach(source, theLoop().context);
  return source;
}

void destroySource(GSource*& source) {
  if (!source) return;
  g_source_destroy(source);
  g_source_unref(source);
  source = nullptr;
}

// ---- handlers ----

void noteException(const Where& where, std::string_view what) noexcept {
  Loop& loop = theLoop();
  ++loop.exceptions;
  ExceptionHook hook;
  {
    std::lock_guard<std::mutex> lock(loop.hookMutex);
    hook = loop.hook;
  }
  if (hook) platform::diag::guarded("platform::loop exception hook", [&] { hook(where.hook, what); });
}

// Runs one handler under the platform's guard; the hook hears of an exception as well.
template <class Fn>
void guardedCall(const Where& where, Fn&& fn) noexcept {
  platform::diag::guarded(where.log, [&] {
    try {
      fn();
    } catch (const std::exception& e) {
      noteException(where, e.what());
      throw;
    } catch (...) {
      noteException(where, "unknown exception");
      throw;
    }
  });
}

template <class Fn>
void runHandler(const Where& where, Fn&& fn) noexcept {
  ++theLoop().handlersRun;
  guardedCall(where, std::forward<Fn>(fn));
}

// ---- timers ----

struct Timer {
  std::uintptr_t id = 0;
  UINT periodMs = 0;
  TimerProc proc;
};

gboolean dispatchTimer(GSource* source, GSourceFunc, gpointer) {
  Timer& timer = payloadOf<Timer>(source);
  // Re-armed before the handler runs, so the next tick also comes inside a loop the handler
  // starts; a tick already overdue is skipped rather than fired back-to-back.
  const gint64 period = static_cast<gint64>(timer.periodMs) * 1000;
  const gint64 now = g_get_monotonic_time();
  gint64 next = g_source_get_ready_time(source) + period;
  if (next <= now) next = now + period;
  g_source_set_ready_time(source, next);
  TimerProc proc = timer.proc;  // SetTimer inside the handler may replace it
  const std::uintptr_t id = timer.id;
  runHandler(kTimerTick, [&] { proc(id); });
  return G_SOURCE_CONTINUE;
}

GSourceFuncs timerFuncs = {nullptr, nullptr, dispatchTimer, finalizePayload<Timer>, nullptr, nullptr};

// ---- posted work ----

gboolean preparePosted(GSource*, gint* timeout) {
  *timeout = -1;
  return theLoop().queued.load(std::memory_order_acquire) > 0;
}

gboolean checkPosted(GSource*) { return theLoop().queued.load(std::memory_order_acquire) > 0; }

// Whether the runUntil that dispatches this pass has its condition met: the rest of the queue
// then waits for the loop it returns to. A loop someone else runs (GTK's) never stops it.
bool dispatchingLoopIsDone(Loop& loop) {
  if (loop.levels.empty()) return false;
  const Level& level = loop.levels.back();
  if (!level.done || g_main_depth() != level.dispatchDepth) return false;
  bool done = false;
  guardedCall(kLoopCondition, [&] { done = (*level.done)(); });
  return done;
}

gboolean dispatchPosted(GSource*, GSourceFunc, gpointer) {
  Loop& loop = theLoop();
  // Only the work queued now: work posted by these handlers waits for the next pass, so other
  // sources get their turn in between.
  std::size_t batch = loop.queued.load(std::memory_order_acquire);
  for (std::size_t i = 0; i < batch; ++i) {
    if (i > 0 && dispatchingLoopIsDone(loop)) break;
    std::function<void()> work;
    {
      std::lock_guard<std::mutex> lock(loop.queueMutex);
      if (loop.queue.empty()) break;
      work = std::move(loop.queue.front());
      loop.queue.pop_front();
      loop.queued.store(loop.queue.size(), std::memory_order_release);
    }
    runHandler(kPostedWork, work);
  }
  return G_SOURCE_CONTINUE;
}

GSourceFuncs postedFuncs = {preparePosted, checkPosted, dispatchPosted, nullptr, nullptr, nullptr};

// Never destroyed: handlers and streams may still refer to it while statics go at exit.
Loop& theLoop() {
  static Loop* loop = [] {
    auto* made = new Loop;
    made->posted = g_source_new(&postedFuncs, sizeof(GSource));
    g_source_set_can_recurse(made->posted, TRUE);
    g_source_set_name(made->posted, "platform::loop posted work");
    g_source_attach(made->posted, made->context);
    return made;
  }();
  return *loop;
}

// ---- running ----

// The first thread that runs the loop owns GTK's context for good: it is the UI thread, and
// GLib's own cross-thread calls then land on it.
bool enterLoop(Loop& loop) {
  if (g_main_context_is_owner(loop.context) || g_main_context_acquire(loop.context)) return true;
  platform::diag::error("platform::loop", "the loop is run on a thread other than the UI thread");
  return false;
}

struct DepthScope {
  explicit DepthScope(const std::function<bool()>* done = nullptr) {
    Loop& loop = theLoop();
    ++loop.depth;
    loop.levels.push_back({done, g_main_depth() + 1});
  }
  ~DepthScope() {
    Loop& loop = theLoop();
    --loop.depth;
    loop.levels.pop_back();
  }
  DepthScope(const DepthScope&) = delete;
  DepthScope& operator=(const DepthScope&) = delete;
};

// One pass: waits at most maxWaitMs for a source to be ready and dispatches what is. Answers
// whether anything was dispatched.
bool iterate(Loop& loop, int maxWaitMs) {
  GMainContext* context = loop.context;
  while (loop.pollSets.size() <= static_cast<std::size_t>(loop.depth)) loop.pollSets.emplace_back();
  std::vector<GPollFD>& fds = loop.pollSets[loop.depth];
  gint priority = 0;
  g_main_context_prepare(context, &priority);
  gint timeout = -1;
  gint count = 0;
  while ((count = g_main_context_query(context, priority, &timeout, fds.data(), static_cast<gint>(fds.size()))) >
         static_cast<gint>(fds.size()))
    fds.resize(static_cast<std::size_t>(count));
  if (timeout < 0 || timeout > maxWaitMs) timeout = maxWaitMs;
  if (loop.beforeWait) platform::diag::guarded("platform::loop before wait", [&] { loop.beforeWait(); });
  g_main_context_get_poll_func(context)(fds.data(), static_cast<guint>(count), timeout);
  if (!g_main_context_check(context, priority, fds.data(), count)) return false;
  g_main_context_dispatch(context);
  return true;
}

int msUntil(gint64 deadline) {
  const gint64 left = deadline - g_get_monotonic_time();
  return left <= 0 ? 0 : static_cast<int>(std::min<gint64>((left + 999) / 1000, 0x7FFFFFFF));
}

}  // namespace
}  // namespace detail

using detail::theLoop;

std::uintptr_t SetTimer(HWND owner, std::uintptr_t id, UINT elapseMs, TimerProc handler) {
  if (!handler) return 0;
  detail::Loop& loop = theLoop();
  GSource*& source = loop.timers[{owner, id}];
  if (!source) source = detail::newSource(&detail::timerFuncs, "platform::loop timer", detail::Timer{id, 0, nullptr});
  detail::Timer& timer = detail::payloadOf<detail::Timer>(source);
  timer.periodMs = std::clamp<UINT>(elapseMs, detail::kMinimumPeriodMs, 0x7FFFFFFFu);
  timer.proc = std::move(handler);
  g_source_set_ready_time(source, g_get_monotonic_time() + static_cast<gint64>(timer.periodMs) * 1000);
  return id;
}

BOOL KillTimer(HWND owner, std::uintptr_t id) {
  detail::Loop& loop = theLoop();
  auto it = loop.timers.find({owner, id});
  if (it == loop.timers.end()) return FALSE;
  GSource* source = it->second;
  loop.timers.erase(it);
  // A handler running now keeps its source alive until it returns.
  detail::destroySource(source);
  return TRUE;
}

void killTimers(HWND owner) {
  detail::Loop& loop = theLoop();
  std::vector<std::uintptr_t> ids;
  for (const auto& [key, source] : loop.timers)
    if (key.first == owner) ids.push_back(key.second);
  for (auto id : ids) KillTimer(owner, id);
}

void post(std::function<void()> work) {
  if (!work) return;
  detail::Loop& loop = theLoop();
  bool wasEmpty = false;
  {
    std::lock_guard<std::mutex> lock(loop.queueMutex);
    wasEmpty = loop.queue.empty();
    loop.queue.push_back(std::move(work));
    loop.queued.store(loop.queue.size(), std::memory_order_release);
  }
  // A loop waiting in poll learns of the queue only through a wakeup; one per empty queue
  // suffices, as a non-empty queue keeps the source ready.
  if (wasEmpty) g_main_context_wakeup(loop.context);
}

bool runUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  detail::Loop& loop = theLoop();
  if (!detail::enterLoop(loop)) return false;
  detail::DepthScope depth(&done);
  const bool forever = timeoutMs == kInfinite;
  const gint64 deadline = g_get_monotonic_time() + (forever ? 0 : static_cast<gint64>(timeoutMs) * 1000);
  for (;;) {
    bool finished = false;
    detail::guardedCall(detail::kLoopCondition, [&] { finished = done(); });
    if (finished) return true;
    int wait = detail::kWaitSliceMs;
    if (!forever) {
      if (g_get_monotonic_time() >= deadline) return false;
      wait = std::min(wait, detail::msUntil(deadline));
    }
    detail::iterate(loop, wait);
  }
}

std::size_t runFor(DWORD ms) {
  detail::Loop& loop = theLoop();
  if (!detail::enterLoop(loop)) return 0;
  detail::DepthScope depth;
  const std::size_t before = loop.handlersRun;
  const gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(ms) * 1000;
  while (g_get_monotonic_time() < deadline) detail::iterate(loop, detail::msUntil(deadline));
  return loop.handlersRun - before;
}

std::size_t runUntilIdle() {
  detail::Loop& loop = theLoop();
  if (!detail::enterLoop(loop)) return 0;
  detail::DepthScope depth;
  const std::size_t before = loop.handlersRun;
  while (detail::iterate(loop, 0)) {
  }
  return loop.handlersRun - before;
}

int loopDepth() { return theLoop().depth; }

void setExceptionHook(ExceptionHook hook) {
  detail::Loop& loop = theLoop();
  std::lock_guard<std::mutex> lock(loop.hookMutex);
  loop.hook = std::move(hook);
}

unsigned long exceptionCount() { return theLoop().exceptions.load(); }

void setBeforeWait(std::function<void()> hook) { theLoop().beforeWait = std::move(hook); }

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
  // Wakes a loop waiting in poll, also when end() comes from another thread.
  g_main_context_wakeup(theLoop().context);
}

bool CModalLoop::running() const { return m_state->running > 0; }
bool CModalLoop::ended() const { return m_state->ended.load(); }

// ---- CFdStream ----

namespace detail {
namespace {

struct Stream {
  int fd = -1;
  GSource* source = nullptr;
  gpointer tag = nullptr;  // the descriptor's entry in the source; null while nothing is watched
  GIOCondition watching = GIOCondition(0);
  bool reading = false;
  bool closed = false;
  int delivering = 0;  // data handlers running now: a nested read must not reuse their buffer
  std::vector<char> buffer;
  std::deque<std::string> outgoing;
  std::size_t written = 0;  // of outgoing.front()
  std::size_t pending = 0;
  CFdStream::DataProc onData;
  CFdStream::ClosedProc onClosed;
};

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

void shutStream(Stream& s) {
  s.closed = true;
  s.reading = false;
  s.onData = nullptr;
  s.onClosed = nullptr;
  s.outgoing.clear();
  s.written = 0;
  s.pending = 0;
  s.tag = nullptr;
  destroySource(s.source);
  if (s.fd >= 0) ::close(s.fd);
  s.fd = -1;
}

void breakStream(Stream& s, int errorCode) {
  if (s.closed) return;
  CFdStream::ClosedProc proc = std::move(s.onClosed);
  shutStream(s);
  if (proc) runHandler(kStreamClosed, [&] { proc(errorCode); });
}

// Watches only for what the stream waits on: an idle descriptor whose peer hung up would
// otherwise wake every pass.
void updateWatch(Stream& s) {
  if (s.closed) return;
  int want = 0;
  if (s.reading) want |= G_IO_IN;
  if (!s.outgoing.empty()) want |= G_IO_OUT;
  if (want == s.watching) return;
  if (want == 0) {
    g_source_remove_unix_fd(s.source, s.tag);
    s.tag = nullptr;
  } else if (!s.tag) {
    s.tag = g_source_add_unix_fd(s.source, s.fd, GIOCondition(want));
  } else {
    g_source_modify_unix_fd(s.source, s.tag, GIOCondition(want));
  }
  s.watching = GIOCondition(want);
}

void writeSome(Stream& s) {
  while (!s.closed && !s.outgoing.empty()) {
    const std::string& front = s.outgoing.front();
    const ssize_t n = ::write(s.fd, front.data() + s.written, front.size() - s.written);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) breakStream(s, errno);
      return;
    }
    s.written += static_cast<std::size_t>(n);
    s.pending -= static_cast<std::size_t>(n);
    if (s.written == front.size()) {
      s.outgoing.pop_front();
      s.written = 0;
    }
  }
}

// Answers whether it read anything.
bool readSome(const std::shared_ptr<Stream>& s) {
  std::vector<char> spare;
  char* buffer = s->buffer.data();
  if (s->delivering > 0) {
    spare.resize(kReadChunk);
    buffer = spare.data();
  }
  ssize_t n = 0;
  do n = ::read(s->fd, buffer, kReadChunk);
  while (n < 0 && errno == EINTR);
  if (n == 0) {
    breakStream(*s, 0);
    return false;
  }
  if (n < 0) {
    if (errno != EAGAIN && errno != EWOULDBLOCK) breakStream(*s, errno);
    return false;
  }
  CFdStream::DataProc proc = s->onData;
  if (!proc) return true;
  ++s->delivering;
  runHandler(kStreamData, [&] { proc(std::string_view(buffer, static_cast<std::size_t>(n))); });
  --s->delivering;
  return true;
}

// The streams serviceUrgent() services; the loop thread's only.
std::vector<std::weak_ptr<Stream>>& urgentStreams() {
  static std::vector<std::weak_ptr<Stream>> streams;
  return streams;
}

gboolean dispatchStream(GSource* source, GSourceFunc, gpointer) {
  // Held for the whole pass: a handler may destroy the CFdStream.
  std::shared_ptr<Stream> s = payloadOf<std::weak_ptr<Stream>>(source).lock();
  if (!s || s->closed || !s->tag) return G_SOURCE_CONTINUE;
  const GIOCondition ready = g_source_query_unix_fd(source, s->tag);
  if ((ready & (G_IO_OUT | G_IO_ERR | G_IO_HUP)) && !s->outgoing.empty()) writeSome(*s);
  if (!s->closed && s->reading && (ready & (G_IO_IN | G_IO_ERR | G_IO_HUP))) readSome(s);
  updateWatch(*s);
  return G_SOURCE_CONTINUE;
}

GSourceFuncs streamFuncs = {nullptr, nullptr, dispatchStream, finalizePayload<std::weak_ptr<Stream>>, nullptr, nullptr};

}  // namespace
}  // namespace detail

struct CFdStream::State : detail::Stream {};

CFdStream::CFdStream(int fd) : m_state(std::make_shared<State>()) {
  detail::ignoreSigpipeOnce();
  m_state->fd = fd;
  const int flags = fd >= 0 ? fcntl(fd, F_GETFL) : -1;
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
    platform::diag::error("platform::loop stream", "not a usable descriptor");
    detail::shutStream(*m_state);
    return;
  }
  m_state->buffer.resize(detail::kReadChunk);
  m_state->source = detail::newSource(&detail::streamFuncs, "platform::loop stream",
                                      std::weak_ptr<detail::Stream>(m_state));
}

CFdStream::~CFdStream() { close(); }

void CFdStream::startReading(DataProc onData, ClosedProc onClosed) {
  if (m_state->closed) return;
  m_state->onData = std::move(onData);
  m_state->onClosed = std::move(onClosed);
  m_state->reading = true;
  detail::updateWatch(*m_state);
}

void CFdStream::setUrgent() {
  auto& urgent = detail::urgentStreams();
  std::erase_if(urgent, [](const std::weak_ptr<detail::Stream>& s) { return s.expired(); });
  urgent.push_back(std::weak_ptr<detail::Stream>(m_state));
}

void serviceUrgent() {
  // Copied: a handler may make or drop streams.
  const std::vector<std::weak_ptr<detail::Stream>> urgent = detail::urgentStreams();
  for (int pass = 0; pass < 2; ++pass)  // what the handlers of the first pass wrote goes out in the second
    for (const std::weak_ptr<detail::Stream>& weak : urgent) {
      const std::shared_ptr<detail::Stream> s = weak.lock();
      if (!s || s->closed) continue;
      if (!s->outgoing.empty()) detail::writeSome(*s);
      if (pass == 0 && s->reading && s->delivering == 0)
        while (!s->closed && s->reading && detail::readSome(s)) {
        }
      detail::updateWatch(*s);
    }
}

void CFdStream::setClosedHandler(ClosedProc onClosed) {
  if (!m_state->closed) m_state->onClosed = std::move(onClosed);
}

bool CFdStream::write(std::string data) {
  if (m_state->closed) return false;
  if (data.empty()) return true;
  m_state->pending += data.size();
  m_state->outgoing.push_back(std::move(data));
  detail::updateWatch(*m_state);
  return true;
}

std::size_t CFdStream::pendingWrite() const { return m_state->pending; }

void CFdStream::close() {
  if (!m_state->closed) detail::shutStream(*m_state);
}

bool CFdStream::isOpen() const { return !m_state->closed; }

}  // namespace platform::loop
