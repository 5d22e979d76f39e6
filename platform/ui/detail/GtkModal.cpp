#include "platform/ui/detail/GtkModal.h"

#include <atomic>

#include "platform/system/Diagnostics.h"

namespace platform::ui::detail {

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
  // The project's loop runs on GLib's default context, GTK's own: its events come in this loop.
  return loop.run();
}

}  // namespace platform::ui::detail
