#pragma once
// The UI thread's message loop: window timers by (owner, id), nested modal loops that end on
// request, work posted from any thread, and file descriptors serviced inside every loop level.
//
// The loop is GTK's own (GLib's default main context): GTK's events are serviced by these loops,
// and these timers, streams and posted work by GTK's nested loops (a GTK dialog's run). Every
// source here is re-entrant: a handler that runs a nested loop has its own source serviced there.
//
// Everything here runs on one thread, the UI thread: the first thread that runs the loop, which
// keeps it; a loop run on another thread answers at once (false, 0) with a failure reported. Only
// post() and CModalLoop::end() may be called from other threads. Handlers never let an exception
// out: it is reported as an Error, counted and passed to the exception hook, and the loop goes on.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Export.h"
#include "platform/WinTypes.h"

namespace platform::loop {

constexpr DWORD kInfinite = 0xFFFFFFFFu;

// Called on each tick with the timer's id.
using TimerProc = std::function<void(std::uintptr_t id)>;

// Starts (or restarts with a new period and handler) the timer `id` of `owner`; the first tick
// comes `elapseMs` after the call. A tick keeps coming inside nested loops, also while the
// timer's own handler runs one (the handler is then re-entered, as WM_TIMER is). Ticks missed
// while the thread was busy are not made up. Answers `id`, or 0 when `handler` is empty.
QM_PLATFORM_API std::uintptr_t SetTimer(HWND owner, std::uintptr_t id, UINT elapseMs, TimerProc handler);
// Stops the timer; safe inside its own handler. FALSE when no such timer runs.
QM_PLATFORM_API BOOL KillTimer(HWND owner, std::uintptr_t id);
// Stops every timer of `owner` (a window going away).
QM_PLATFORM_API void killTimers(HWND owner);

// Queues `work` to run on the loop thread at any loop level; callable from any thread, and wakes
// a loop that waits.
QM_PLATFORM_API void post(std::function<void()> work);

// Runs a nested loop until `done()` answers true (checked before each pass of the loop, and
// between posted work items, so work posted after the end waits for the loop below) or
// `timeoutMs` passes. Answers whether `done()` became true. Nested calls unwind last-in,
// first-out: an outer wait whose condition is met returns only once the inner ones have.
QM_PLATFORM_API bool runUntil(const std::function<bool()>& done, DWORD timeoutMs = kInfinite);

// For tests and the host: runs the loop for `ms` milliseconds, or until nothing is ready to run.
// Both answer the number of handlers run.
QM_PLATFORM_API std::size_t runFor(DWORD ms);
QM_PLATFORM_API std::size_t runUntilIdle();

// How many loops are running on the loop thread now (0 outside any).
QM_PLATFORM_API int loopDepth();

// A modal loop, as a dialog runs one: run() returns the code given to end(). end() may come
// from a handler at any depth (or from another thread); a loop ended while an inner loop runs
// returns once the inner one has returned.
class QM_PLATFORM_API CModalLoop {
 public:
  CModalLoop();
  ~CModalLoop();
  CModalLoop(const CModalLoop&) = delete;
  CModalLoop& operator=(const CModalLoop&) = delete;

  // Runs until end(); answers end()'s code. Calling run() again after it returned runs again.
  int run();
  void end(int code);
  bool running() const;
  bool ended() const;

 private:
  struct State;
  std::shared_ptr<State> m_state;
};

// A file descriptor (a pipe end, a socket) serviced by the loop: reads arrive through the data
// callback at any loop level; writes are queued and go out without blocking the thread. Owns
// the descriptor (made non-blocking) and closes it when destroyed or closed.
//
// A data callback that runs a nested loop is re-entered with the bytes read after its own, in
// order: a reader that takes each message off its buffer before handling it sees them in order.
class QM_PLATFORM_API CFdStream {
 public:
  using DataProc = std::function<void(std::string_view data)>;
  // errorCode: 0 at end of file, otherwise the errno that broke the stream.
  using ClosedProc = std::function<void(int errorCode)>;

  explicit CFdStream(int fd);
  ~CFdStream();
  CFdStream(const CFdStream&) = delete;
  CFdStream& operator=(const CFdStream&) = delete;

  // Starts reading; onClosed comes once, at end of file or on an error, never after close().
  void startReading(DataProc onData, ClosedProc onClosed);
  // For a stream only written to: onClosed comes once when a write fails.
  void setClosedHandler(ClosedProc onClosed);
  // Marks the stream as one serviceUrgent() reads and writes.
  void setUrgent();
  // Queues bytes to write; answers false when the stream is closed or broken.
  bool write(std::string data);
  // Bytes queued and not yet written.
  std::size_t pendingWrite() const;
  void close();
  bool isOpen() const;

 private:
  struct State;
  std::shared_ptr<State> m_state;
};

// Reads and writes the urgent streams now, as the loop would, and runs nothing else: long work
// on the loop thread calls it between its steps, so that a peer waiting for an answer is not
// held up by the whole of that work. A stream whose data handler is running is left alone.
QM_PLATFORM_API void serviceUrgent();

// Runs on the loop thread before each wait of every loop level: the GTK face flushes the
// display's output there, so that what was drawn reaches the screen before the thread sleeps.
QM_PLATFORM_API void setBeforeWait(std::function<void()> hook);

// Also told of each handler exception, after its Error report: `where` names the entry point
// ("timer", "posted work", "stream data", "stream closed", "loop condition"), `what` the
// exception's text.
using ExceptionHook = std::function<void(std::string_view where, std::string_view what)>;
QM_PLATFORM_API void setExceptionHook(ExceptionHook hook);
QM_PLATFORM_API unsigned long exceptionCount();

}  // namespace platform::loop
