// Windows on a screen no taller than a laptop's (a panel takes the rest of the test run's Xvfb
// when a window manager is there to honour it): Outlook 12's explorer and inspector, a dialog
// placed past the screen's corner and the print preview lie wholly in the work area,
// frames included; the inspector keeps its width when its ribbon tab shows every group, and its
// body grows with the window.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "host/AddIns.h"
#include "host/Install.h"
#include "host/OutlookWindows.h"
#include "platform/com/Com.h"
#include "platform/loop/MessageLoop.h"
#include "platform/outlook/OutlookInterfaces.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/resources/Resources.h"
#include "platform/system/Text.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/PreviewWindow.h"
#include "tests/platform/ui/GuiSupport.h"
#include "tests/support/TestEnvironment.h"

// After the project's headers: X11's macros clash with gtest's names.
#include <cairo-pdf.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

extern const platform::resources::ModuleResources kQuillMarkResources;

namespace {

namespace fs = std::filesystem;

constexpr int kLaptopHeight = 768;

bool waitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 200 && !done(); ++i) platform::loop::runFor(30);
  return done();
}

GdkRectangle workArea() {
  GdkRectangle area{};
  gdk_monitor_get_workarea(gdk_display_get_primary_monitor(gdk_display_get_default()) ?: gdk_display_get_monitor(gdk_display_get_default(), 0), &area);
  return area;
}

// The window as the screen shows it: the window manager's frame included.
GdkRectangle outerOf(GtkWidget* window) {
  GdkRectangle outer{};
  if (window && gtk_widget_get_window(window)) gdk_window_get_frame_extents(gtk_widget_get_window(window), &outer);
  return outer;
}

GtkWidget* topOf(HWND window) { return static_cast<GtkWidget*>(platform::ui::widgetOf(window)); }

bool inside(const GdkRectangle& outer, const GdkRectangle& area) {
  return outer.width > 0 && outer.x >= area.x && outer.y >= area.y && outer.x + outer.width <= area.x + area.width &&
         outer.y + outer.height <= area.y + area.height;
}

std::string describe(const GdkRectangle& r) {
  return std::to_string(r.width) + "x" + std::to_string(r.height) + "+" + std::to_string(r.x) + "+" + std::to_string(r.y);
}

// A panel along the bottom that leaves a laptop's height above it; null without a window manager.
GtkWidget* reserveBottom() {
  GdkScreen* screen = gdk_screen_get_default();
  if (!GDK_IS_X11_SCREEN(screen) || std::string(gdk_x11_screen_get_window_manager_name(screen)) == "unknown") return nullptr;
  GdkRectangle monitor{};
  gdk_monitor_get_geometry(gdk_display_get_monitor(gdk_display_get_default(), 0), &monitor);
  const int reserved = monitor.height - kLaptopHeight;
  if (reserved <= 0) return nullptr;
  GtkWidget* panel = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_type_hint(GTK_WINDOW(panel), GDK_WINDOW_TYPE_HINT_DOCK);
  gtk_window_set_default_size(GTK_WINDOW(panel), monitor.width, reserved);
  gtk_window_move(GTK_WINDOW(panel), 0, monitor.height - reserved);
  gtk_widget_realize(panel);
  const gulong strut[12] = {0, 0, 0, static_cast<gulong>(reserved), 0, 0, 0, 0, 0, 0, 0, static_cast<gulong>(monitor.width - 1)};
  gdk_property_change(gtk_widget_get_window(panel), gdk_atom_intern("_NET_WM_STRUT_PARTIAL", FALSE),
                      gdk_atom_intern("CARDINAL", FALSE), 32, GDK_PROP_MODE_REPLACE, reinterpret_cast<const guchar*>(strut), 12);
  gdk_property_change(gtk_widget_get_window(panel), gdk_atom_intern("_NET_WM_STRUT", FALSE), gdk_atom_intern("CARDINAL", FALSE),
                      32, GDK_PROP_MODE_REPLACE, reinterpret_cast<const guchar*>(strut), 4);
  gtk_widget_show(panel);
  return panel;
}

CComPtr<IDispatch> firstItem(IDispatch* folder) {
  CComVariant items;
  CComDispatchDriver(folder).GetPropertyByName(u"Items", &items);
  if (items.vt != VT_DISPATCH) return nullptr;
  CComVariant which(1L), item;
  if (FAILED(CComDispatchDriver(items.pdispVal).Invoke1(u"Item", &which, &item)) || item.vt != VT_DISPATCH) return nullptr;
  return CComPtr<IDispatch>(item.pdispVal);
}

std::u16string text(HWND window) {
  char16_t buffer[256] = {};
  GetWindowTextW(window, buffer, 256);
  return buffer;
}

HWND childTitled(HWND frame, std::u16string_view caption) {
  for (HWND at = GetWindow(frame, GW_CHILD); at; at = GetWindow(at, GW_HWNDNEXT))
    if (IsWindowVisible(at) && text(at) == caption) return at;
  return nullptr;
}

fs::path onePagePdf(const fs::path& dir) {
  const fs::path path = dir / "page.pdf";
  cairo_surface_t* surface = cairo_pdf_surface_create(path.c_str(), 612, 792);
  cairo_t* cr = cairo_create(surface);
  cairo_show_page(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return path;
}

INT_PTR plainDialog(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG ? TRUE : FALSE; }

class ScreenFitGuiTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    std::string why;
    if (!uitest::startGtkFace(why)) GTEST_SKIP() << why;
    QM_REQUIRE_SHARED_DATA();
    platform::registry::resetForTesting();
    ASSERT_TRUE(host::install({}).ok);
    const fs::path inbox = dir() / "store" / "Inbox";
    fs::create_directories(inbox);
    fs::copy_file(testsupport::sharedDir() / "testdata" / "msg" / "aspose__Test_Meeting.msg", inbox / "meeting.msg");
    m_panel = reserveBottom();
    if (m_panel) {
      ASSERT_TRUE(waitFor([] { return workArea().height <= kLaptopHeight; })) << "the panel left " << describe(workArea());
    }
  }
  void TearDown() override {
    if (m_panel) gtk_widget_destroy(m_panel);
    platform::loop::runFor(50);
    platform::registry::resetForTesting();
  }

  // The window is wholly in the work area once the window manager has framed and placed it.
  void expectOnScreen(GtkWidget* window, const char* what) {
    ASSERT_TRUE(window) << what;
    EXPECT_TRUE(waitFor([&] { return inside(outerOf(window), workArea()); }))
        << what << " is " << describe(outerOf(window)) << " on a work area of " << describe(workArea());
  }

  GtkWidget* m_panel = nullptr;
};

TEST_F(ScreenFitGuiTest, WindowsDialogsAndThePreviewLieInTheWorkAreaAndTheInspectorFollowsItsWindow) {
  platform::office::COfficeCommandBars office;
  host::COutlookWindows windows{office};
  platform::outlook::OutlookOptions options;
  options.version = u"12.0.0.0";
  windows.prepare(options, true);
  std::unique_ptr<platform::outlook::COutlook> outlook = platform::outlook::COutlook::open(dir() / "store", options);
  ASSERT_TRUE(outlook);
  windows.attach(outlook.get());
  host::CAddInHost addIns;
  std::string error;
  ASSERT_TRUE(addIns.connect(outlook->application(), error)) << error;
  for (const CComPtr<IUnknown>& addIn : addIns.objects()) windows.addAddIn(addIn);

  const CComPtr<IDispatch> inbox = outlook->defaultFolder(olFolderInbox);
  const CComPtr<IDispatch> explorer = outlook->openExplorer(inbox);
  const HWND explorerFrame = outlook->windowHandle(explorer);
  ASSERT_TRUE(explorerFrame);
  uitest::waitUntilShown(explorerFrame);
  expectOnScreen(topOf(explorerFrame), "the explorer");

  const CComPtr<IDispatch> inspector = outlook->openInspector(firstItem(inbox));
  const HWND frame = outlook->windowHandle(inspector);
  ASSERT_TRUE(frame);
  uitest::waitUntilShown(frame);
  expectOnScreen(topOf(frame), "the inspector");

  // Every group of the add-in's tab shows inside the window, which keeps its width.
  ASSERT_TRUE(waitFor([&] { return childTitled(frame, u"Quillmark") != nullptr; })) << "no add-in tab";
  RECT before{};
  GetWindowRect(frame, &before);
  ASSERT_TRUE(uitest::clickAt(uitest::centreOf(childTitled(frame, u"Quillmark"))));
  ASSERT_TRUE(waitFor([&] { return childTitled(frame, u"Options") && childTitled(frame, u"Quillmark for Outlook"); }));
  platform::loop::runFor(100);
  RECT after{};
  GetWindowRect(frame, &after);
  EXPECT_EQ(after.right - after.left, before.right - before.left) << "the tab widened the window";
  for (HWND at = GetWindow(frame, GW_CHILD); at; at = GetWindow(at, GW_HWNDNEXT)) {
    RECT control{};
    if (!IsWindowVisible(at) || !GetWindowRect(at, &control)) continue;
    EXPECT_LE(control.right, after.right) << platform::system::utf16ToUtf8(text(at)) << " is cut off";
  }
  EXPECT_TRUE(platform::ui::saveWindowPicture(frame, uitest::picturePath("screen-fit-inspector-12.png")));

  // The body grows with the window, as a user drags its edge.
  const HWND body = windows.bodyOf(frame);
  ASSERT_TRUE(body);
  RECT bodyBefore{};
  GetWindowRect(body, &bodyBefore);
  int width = 0, height = 0;
  gtk_window_get_size(GTK_WINDOW(topOf(frame)), &width, &height);
  gtk_window_resize(GTK_WINDOW(topOf(frame)), width + 120, height);
  EXPECT_TRUE(waitFor([&] {
    RECT now{};
    GetWindowRect(body, &now);
    return now.right - now.left == bodyBefore.right - bodyBefore.left + 120;
  })) << "the body kept its width";

  // A dialog whose template places it past the screen's corner is moved onto the work area.
  const platform::resources::DialogTemplate dialog{
      0, DS_ABSALIGN | DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 1000, 1000, 220, 150, u"Cornered", u"MS Shell Dlg",
      8, 400, false, 0, nullptr, 0, u"", 1, 0};
  const HWND cornered = CreateDialogIndirectParamW(nullptr, &dialog, explorerFrame, plainDialog, 0);
  ASSERT_TRUE(cornered);
  ShowWindow(cornered, SW_SHOW);
  uitest::waitUntilShown(cornered);
  expectOnScreen(topOf(cornered), "the dialog");
  DestroyWindow(cornered);

  // The preview, made taller than a laptop's screen, starts within it.
  platform::ui::CPreviewWindow preview({platform::resources::handleOf(kQuillMarkResources)}, {});
  ASSERT_TRUE(preview.load(onePagePdf(dir()).string()));
  preview.show();
  GtkWidget* shown = nullptr;
  ASSERT_TRUE(waitFor([&] { return (shown = uitest::mappedToplevel("Print Preview")) != nullptr; }));
  expectOnScreen(shown, "the preview");
  preview.close();

  outlook->close(inspector);
  outlook->close(explorer);
  windows.releaseAddIns();
  addIns.disconnect();
}

}  // namespace
