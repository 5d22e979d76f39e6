#pragma once
// Where top-level GTK windows may go: the monitor's work area (the screen less the desktop's
// panels), and keeping a window wholly inside it once the window manager's frame is known.

#include <gtk/gtk.h>

namespace platform::ui::detail {

// The work area of the monitor showing `window` (the primary monitor when null or not shown).
GdkRectangle workAreaOf(GtkWidget* window);

// On the window's next configure while it is shown, its frame (the window manager's decoration
// included) is moved into the work area; a resizable window larger than the area is first
// shrunk to fit. Call again after each placement by the program; a user's own move later is left.
void keepOnWorkArea(GtkWindow* window);

}  // namespace platform::ui::detail
