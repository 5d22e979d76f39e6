#include "tests/platform/ui/GuiSupport.h"

#include <gtest/gtest.h>
// After gtest: X11's headers define macros (None, Bool) that clash with it.
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/loop/MessageLoop.h"
#include "platform/ui/Desktop.h"

// GTK's, fontconfig's and D-Bus's own allocations live until exit; LeakSanitizer is told so.
// WebKitGTK is loaded with the first HTML view, so its libraries' thread-locals are dynamic TLS,
// which glibc allocates with malloc. GCC 12's runtime guesses each block's bounds in its
// __tls_get_addr hook, and for a block that malloc placed 16 bytes past a page start it takes
// the allocator's own chunk header for an old glibc's block header: the range it then scans at
// exit is garbage and its tracer dies. The hook is off; the blocks are still scanned, as
// everything the dynamic loader allocates is a root, and fewer roots can only report more.
extern "C" const char* __lsan_default_options() {
  return "suppressions=" QM_LSAN_SUPPRESSIONS ":print_suppressions=0:intercept_tls_get_addr=0";
}

// UndefinedBehaviorSanitizer's false reports inside WebKitGTK (see the file).
extern "C" const char* __ubsan_default_options() {
  return "suppressions=" QM_UBSAN_SUPPRESSIONS ":print_stacktrace=1";
}

namespace uitest {

bool startGtkFace(std::string& why) {
  // Only the test run's own server: never the desktop of whoever runs the tests.
  ::unsetenv("WAYLAND_DISPLAY");
  const char* dir = std::getenv("QM_GUI_TEST_DIR");
  std::ifstream file(std::string(dir ? dir : "") + "/xvfb/display");
  std::string number;
  if (!dir || !(file >> number)) {
    why = "no Xvfb for this test run (is xvfb installed?)";
    return false;
  }
  ::setenv("DISPLAY", (":" + number).c_str(), 1);
  if (!platform::ui::chooseFace(platform::ui::Face::kGtk)) {
    why = "GTK cannot open the display :" + number;
    return false;
  }
  return true;
}

std::string picturePath(const std::string& name) {
  const char* dir = std::getenv("QM_GUI_TEST_DIR");
  const std::filesystem::path folder = std::filesystem::path(dir ? dir : ".") / "pictures";
  std::filesystem::create_directories(folder);
  return (folder / name).string();
}

namespace {
bool windowManagerRuns() {
  GdkWindow* root = gdk_get_default_root_window();
  GdkAtom type;
  gint format = 0, length = 0;
  guchar* data = nullptr;
  const bool found = gdk_property_get(root, gdk_atom_intern_static_string("_NET_SUPPORTING_WM_CHECK"), GDK_NONE, 0, 1, FALSE,
                                      &type, &format, &length, &data);
  g_free(data);
  return found;
}
}  // namespace

bool settled(GtkWidget* toplevel) {
  if (!toplevel || !gtk_widget_get_mapped(toplevel)) return false;
  GdkWindow* own = gtk_widget_get_window(toplevel);
  static const bool managed = windowManagerRuns();
  if (managed) {
    GdkAtom type;
    gint format = 0, length = 0;
    guchar* data = nullptr;
    const bool taken = gdk_property_get(own, gdk_atom_intern_static_string("WM_STATE"), GDK_NONE, 0, 2, FALSE, &type, &format,
                                        &length, &data);
    g_free(data);
    if (!taken) return false;
  }
  int x = 0, y = 0;
  gdk_window_get_origin(own, &x, &y);
  const gint64 place = (static_cast<gint64>(x) << 32) | static_cast<guint32>(y);
  auto* last = static_cast<gint64*>(g_object_get_data(G_OBJECT(toplevel), "qm-test-place"));
  const bool same = last && *last == place;
  g_object_set_data_full(G_OBJECT(toplevel), "qm-test-place", g_memdup2(&place, sizeof place), g_free);
  return same;
}

bool settled(HWND window) {
  auto* widget = static_cast<GtkWidget*>(platform::ui::widgetOf(window));
  return widget && GTK_IS_WINDOW(widget) && settled(widget);
}

void waitUntilShown(HWND window) {
  // Generous: a loaded machine may take seconds to map and place a window. A window that is not
  // one of the screen has nothing to wait for.
  const auto shown = [window] {
    auto* widget = static_cast<GtkWidget*>(platform::ui::widgetOf(window));
    return !widget || !GTK_IS_WINDOW(widget) || settled(widget);
  };
  EXPECT_TRUE(platform::loop::runUntil(shown, 20000)) << "the window was never shown";
  platform::loop::runFor(25);
}

namespace {
INT_PTR initOnly(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG ? TRUE : FALSE; }
}  // namespace

bool saveDialogPicture(HINSTANCE module, const platform::resources::DialogTemplate& dialog, const std::string& pngPath) {
  const HWND shown = CreateDialogIndirectParamW(module, &dialog, nullptr, initOnly, 0);
  if (!shown) return false;
  ShowWindow(shown, SW_SHOW);
  waitUntilShown(shown);
  const bool saved = platform::ui::saveWindowPicture(shown, pngPath);
  DestroyWindow(shown);
  platform::loop::runFor(20);
  return saved;
}

namespace {
std::uint32_t bigEndian(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 24 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8 | static_cast<unsigned char>(bytes[at + 3]);
}
int shiftOf(std::uint32_t mask) {
  int shift = 0;
  while (mask && !(mask & 1)) mask >>= 1, ++shift;
  return shift;
}
}  // namespace

int screenPicture(GtkWidget* toplevel, const std::string& pngPath, std::string& why) {
  if (!toplevel || !gtk_widget_get_realized(toplevel)) {
    why = "the window is not on the screen";
    return 0;
  }
  const std::string id = std::to_string(gdk_x11_window_get_xid(gtk_widget_get_window(toplevel)));
  GError* error = nullptr;
  GBytes* output = nullptr;
  GSubprocess* xwd = g_subprocess_new(static_cast<GSubprocessFlags>(G_SUBPROCESS_FLAGS_STDOUT_PIPE | G_SUBPROCESS_FLAGS_STDERR_SILENCE),
                                      &error, "xwd", "-silent", "-id", id.c_str(), nullptr);
  const bool ran = xwd && g_subprocess_communicate(xwd, nullptr, nullptr, &output, nullptr, &error) && g_subprocess_get_successful(xwd);
  std::string bytes;
  if (output) {
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(output, &size));
    bytes.assign(data ? data : "", data ? size : 0);
    g_bytes_unref(output);
  }
  if (xwd) g_object_unref(xwd);
  if (!ran) {
    why = std::string("xwd -id ") + id + " failed" + (error ? std::string(": ") + error->message : std::string());
    g_clear_error(&error);
    return 0;
  }
  // XWD: a header of 32-bit big-endian fields, the colour map, then the pixels.
  if (bytes.size() < 100) {
    why = "xwd wrote no image";
    return 0;
  }
  const std::uint32_t headerSize = bigEndian(bytes, 0), format = bigEndian(bytes, 8), width = bigEndian(bytes, 16),
                      height = bigEndian(bytes, 20), byteOrder = bigEndian(bytes, 28), bitsPerPixel = bigEndian(bytes, 44),
                      bytesPerLine = bigEndian(bytes, 48), redMask = bigEndian(bytes, 56), greenMask = bigEndian(bytes, 60),
                      blueMask = bigEndian(bytes, 64), colours = bigEndian(bytes, 76);
  const std::size_t pixels = static_cast<std::size_t>(headerSize) + static_cast<std::size_t>(colours) * 12;
  // Pixels of three or four bytes (xwd may report 24 bits for a 32-bit layout: the row length tells).
  const std::uint32_t step = width ? std::min<std::uint32_t>(bytesPerLine / width, 4) : 0;
  if (format != 2 || step < 3 || width == 0 || height == 0 || pixels + static_cast<std::size_t>(bytesPerLine) * height > bytes.size()) {
    why = "xwd wrote an image of a kind not read here: format " + std::to_string(format) + ", " + std::to_string(bitsPerPixel) +
          " bits, " + std::to_string(width) + "x" + std::to_string(height) + ", " + std::to_string(bytes.size()) + " bytes";
    return 0;
  }
  GdkPixbuf* picture = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, static_cast<int>(width), static_cast<int>(height));
  guchar* target = gdk_pixbuf_get_pixels(picture);
  const int stride = gdk_pixbuf_get_rowstride(picture);
  std::set<std::uint32_t> seen;
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + pixels + static_cast<std::size_t>(y) * bytesPerLine + x * step);
      const std::uint32_t fourth = step == 4 ? p[3] : 0;
      const std::uint32_t value = byteOrder == 0 ? (p[0] | p[1] << 8 | p[2] << 16 | fourth << 24)
                                                 : (step == 4 ? (static_cast<std::uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3])
                                                              : (static_cast<std::uint32_t>(p[0]) << 16 | p[1] << 8 | p[2]));
      guchar* rgb = target + static_cast<std::size_t>(y) * stride + x * 3;
      rgb[0] = static_cast<guchar>((value & redMask) >> shiftOf(redMask));
      rgb[1] = static_cast<guchar>((value & greenMask) >> shiftOf(greenMask));
      rgb[2] = static_cast<guchar>((value & blueMask) >> shiftOf(blueMask));
      if (seen.size() < 1000) seen.insert(value & (redMask | greenMask | blueMask));
    }
  }
  if (!gdk_pixbuf_save(picture, pngPath.c_str(), "png", &error, nullptr)) {
    why = std::string("cannot write ") + pngPath + (error ? std::string(": ") + error->message : std::string());
    g_clear_error(&error);
  }
  g_object_unref(picture);
  return static_cast<int>(seen.size());
}

bool xdotool(const std::string& arguments) { return std::system(("xdotool " + arguments + " >/dev/null 2>&1").c_str()) == 0; }

namespace {
// A move with --sync waits for a motion, which never comes when the pointer is there already
// (the same button of a dialog shown again at the same place): a step beside it first.
std::string moveTo(int x, int y) {
  return " mousemove " + std::to_string(x + 1) + " " + std::to_string(y + 1) + " mousemove --sync " + std::to_string(x) + " " +
         std::to_string(y);
}
}  // namespace

bool clickAt(POINT at, int button) { return xdotool(moveTo(at.x, at.y) + " click " + std::to_string(button)); }

POINT centreOf(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

GtkWidget* widgetNamed(GtkWidget* root, const char* name) {
  if (!root) return nullptr;
  if (std::string(gtk_widget_get_name(root)) == name) return root;
  const char* own = GTK_IS_BUILDABLE(root) ? gtk_buildable_get_name(GTK_BUILDABLE(root)) : nullptr;
  if (own && std::string(own) == name) return root;
  if (!GTK_IS_CONTAINER(root)) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(root));
  GtkWidget* found = nullptr;
  for (GList* child = children; child && !found; child = child->next) found = widgetNamed(GTK_WIDGET(child->data), name);
  g_list_free(children);
  return found;
}

GtkWidget* mappedToplevel(const char* title) {
  GList* windows = gtk_window_list_toplevels();
  GtkWidget* found = nullptr;
  for (GList* w = windows; w && !found; w = w->next) {
    GtkWidget* window = GTK_WIDGET(w->data);
    if (!settled(window)) continue;
    const char* own = gtk_window_get_title(GTK_WINDOW(window));
    if (title ? own && std::string(own) == title : GTK_IS_MESSAGE_DIALOG(window)) found = window;
  }
  g_list_free(windows);
  return found;
}

std::string xdotoolAt(GtkWidget* widget) {
  GtkWidget* top = gtk_widget_get_toplevel(widget);
  int x = 0, y = 0, ox = 0, oy = 0;
  gtk_widget_translate_coordinates(widget, top, 0, 0, &x, &y);
  gdk_window_get_origin(gtk_widget_get_window(top), &ox, &oy);
  return " windowfocus --sync " + std::to_string(gdk_x11_window_get_xid(gtk_widget_get_window(top))) +
         moveTo(ox + x + gtk_widget_get_allocated_width(widget) / 2, oy + y + gtk_widget_get_allocated_height(widget) / 2);
}

std::string typedKeys(const std::string& text) {
  std::string keys = " key --delay 30 ctrl+a";
  for (const char c : text) keys += c == '.' ? " period" : c == '-' ? " minus" : c == ',' ? " comma" : std::string(" ") + c;
  return keys;
}

bool xdotoolAsync(const std::string& arguments) {
  const std::string command = "xdotool" + arguments;
  if (std::getenv("QM_TEST_VERBOSE")) std::fprintf(stderr, "%s\n", command.c_str());
  GError* error = nullptr;
  if (g_spawn_command_line_async(command.c_str(), &error)) return true;
  ADD_FAILURE() << "xdotool: " << (error ? error->message : "");
  g_clear_error(&error);
  return false;
}

}  // namespace uitest
