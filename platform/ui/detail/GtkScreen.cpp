#include "platform/ui/detail/GtkScreen.h"

#include <algorithm>

#include "platform/system/Diagnostics.h"

namespace platform::ui::detail {
namespace {

constexpr const char* kPending = "qm-fit-pending";
constexpr const char* kConnected = "qm-fit-connected";

GdkMonitor* monitorOf(GtkWidget* window) {
  GdkDisplay* display = gdk_display_get_default();
  if (!display) return nullptr;
  if (window) {
    if (GdkWindow* shown = gtk_widget_get_window(window); shown && gtk_widget_get_realized(window)) {
      if (GdkMonitor* monitor = gdk_display_get_monitor_at_window(display, shown)) return monitor;
    }
  }
  if (GdkMonitor* primary = gdk_display_get_primary_monitor(display)) return primary;
  return gdk_display_get_monitor(display, 0);
}

// Only when the window is on the screen is its frame known.
gboolean onConfigure(GtkWidget* widget, GdkEvent*, gpointer) {
  if (!g_object_get_data(G_OBJECT(widget), kPending) || !gtk_widget_get_mapped(widget)) return FALSE;
  platform::diag::guarded("GTK window placement", [&] {
    g_object_set_data(G_OBJECT(widget), kPending, nullptr);
    GdkWindow* shown = gtk_widget_get_window(widget);
    GdkRectangle outer{};
    gdk_window_get_frame_extents(shown, &outer);
    const GdkRectangle area = workAreaOf(widget);
    GtkWindow* window = GTK_WINDOW(widget);
    int width = 0;
    int height = 0;
    gtk_window_get_size(window, &width, &height);
    const int excessX = outer.width - area.width;
    const int excessY = outer.height - area.height;
    if (gtk_window_get_resizable(window) && (excessX > 0 || excessY > 0)) {
      width -= std::max(0, excessX);
      height -= std::max(0, excessY);
      gtk_window_resize(window, std::max(1, width), std::max(1, height));
      outer.width -= std::max(0, excessX);
      outer.height -= std::max(0, excessY);
    }
    // A frame still larger than the area shows its top left corner, where its title and menus are.
    const int x = std::max(area.x, std::min(outer.x, area.x + area.width - outer.width));
    const int y = std::max(area.y, std::min(outer.y, area.y + area.height - outer.height));
    // The window manager places the frame's corner where a window is moved to.
    if (x != outer.x || y != outer.y) gtk_window_move(window, x, y);
  });
  return FALSE;
}

}  // namespace

GdkRectangle workAreaOf(GtkWidget* window) {
  GdkRectangle area{0, 0, 1024, 768};
  if (GdkMonitor* monitor = monitorOf(window)) gdk_monitor_get_workarea(monitor, &area);
  return area;
}

void keepOnWorkArea(GtkWindow* window) {
  if (!window) return;
  g_object_set_data(G_OBJECT(window), kPending, GINT_TO_POINTER(1));
  if (g_object_get_data(G_OBJECT(window), kConnected)) return;
  g_object_set_data(G_OBJECT(window), kConnected, GINT_TO_POINTER(1));
  g_signal_connect_after(window, "configure-event", G_CALLBACK(onConfigure), nullptr);
}

}  // namespace platform::ui::detail
