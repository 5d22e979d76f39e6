#pragma once
// What the print-time windows on GTK share: starting GTK once, and running a window modally in
// the project's own nested loop so that window timers and the browser pipe keep being serviced.

#include <gtk/gtk.h>

#include "platform/loop/MessageLoop.h"

namespace platform::ui::detail {

// Starts GTK on the first call; false when there is no display to open (reported when asked).
bool ensureGtk(bool report = true);

// Presents `window` and runs `loop` until it is ended; answers end()'s code. The loop runs GLib's
// default context, so GTK's events are serviced in it.
int runModal(GtkWindow* window, platform::loop::CModalLoop& loop);

}  // namespace platform::ui::detail
