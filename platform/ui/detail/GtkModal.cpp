#include "platform/ui/detail/GtkModal.h"

#include <atomic>

#include "platform/system/Diagnostics.h"

namespace platform::ui::detail {

namespace {

// Whether the project's loop dispatches GLib's default context itself: a GLib idle source must
// run inside it. Asked once; a loop of another kind needs GLib pumped beside it.
bool loopRunsGlib() {
  static const bool runs = [] {
    bool ran = false;
    const guint id = g_idle_add(
        [](gpointer data) -> gboolean {
          *static_cast<bool*>(data) = true;
          return G_SOURCE_REMOVE;
        },
        &ran);
    platform::loop::runUntil([&] { return ran; }, 100);
    if (!ran) g_source_remove(id);
    return ran;
  }();
  return runs;
}

}  // namespace

bool ensureGtk(bool report) {
  static std::atomic<bool> started{false};
  if (started) return true;
  if (!gtk_init_check(nullptr, nullptr)) {
    if (report) platform::diag::error("GTK", "cannot open the display");
    return false;
  }
  started = true;
  return true;
}

int runModal(GtkWindow* window, platform::loop::CModalLoop& loop) {
  gtk_window_present(window);
  if (loopRunsGlib()) return loop.run();
  // The pump's owner only has to be unique while this loop runs.
  const HWND owner = reinterpret_cast<HWND>(&loop);
  platform::loop::SetTimer(owner, 1, 10, [](std::uintptr_t) {
    for (int i = 0; i < 100 && g_main_context_iteration(nullptr, FALSE); ++i) {
    }
  });
  const int code = loop.run();
  platform::loop::KillTimer(owner, 1);
  return code;
}

}  // namespace platform::ui::detail
