// Every dialog of the module shown by the GTK face on the test run's Xvfb and saved as a picture,
// checked from the widgets GTK really laid out: each control inside the dialog's client area, no
// two overlapping (a group box frames what it holds), no text cut.
#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/loop/MessageLoop.h"
#include "platform/resources/Resources.h"
#include "platform/ui/CommCtrl.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/HtmlView.h"
#include "resources/resource.h"
#include "tests/platform/ui/GuiSupport.h"
#include "tests/support/TestEnvironment.h"

extern const platform::resources::ModuleResources kQuillMarkResources;

namespace {

using namespace uitest;

HINSTANCE module() { return platform::resources::handleOf(kQuillMarkResources); }

INT_PTR initOnly(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG ? TRUE : FALSE; }

struct Placed {
  HWND handle;
  int id;
  GtkWidget* widget;
  GdkRectangle box;  // in the dialog's client area
};

std::string nameOf(const Placed& p) {
  return "control " + std::to_string(p.id) + " (" + G_OBJECT_TYPE_NAME(p.widget) + ")";
}

bool inside(const GdkRectangle& outer, const GdkRectangle& inner) {
  return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width &&
         inner.y + inner.height <= outer.y + outer.height;
}

bool overlap(const GdkRectangle& a, const GdkRectangle& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

void collectLabels(GtkWidget* widget, std::vector<GtkWidget*>& out) {
  if (GTK_IS_LABEL(widget)) out.push_back(widget);
  if (GTK_IS_FRAME(widget)) {
    if (GtkWidget* label = gtk_frame_get_label_widget(GTK_FRAME(widget))) collectLabels(label, out);
  }
  if (GTK_IS_TREE_VIEW(widget)) {
    for (int c = 0; GtkTreeViewColumn* column = gtk_tree_view_get_column(GTK_TREE_VIEW(widget), c); ++c) {
      if (GtkWidget* button = gtk_tree_view_column_get_button(column)) collectLabels(button, out);
    }
  }
  if (GTK_IS_CONTAINER(widget)) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    for (GList* at = children; at; at = at->next) collectLabels(GTK_WIDGET(at->data), out);
    g_list_free(children);
  }
}

// Each label shows its whole text: one line as wide as it wants, or wrapped lines that all fit.
void expectLabelsWhole(const Placed& p) {
  std::vector<GtkWidget*> labels;
  collectLabels(p.widget, labels);
  for (GtkWidget* label : labels) {
    if (!gtk_widget_get_visible(label) || !*gtk_label_get_text(GTK_LABEL(label))) continue;
    const std::string what = nameOf(p) + " text \"" + gtk_label_get_text(GTK_LABEL(label)) + "\"";
    GtkAllocation a{};
    gtk_widget_get_allocation(label, &a);
    if (gtk_label_get_line_wrap(GTK_LABEL(label))) {
      int minimum = 0;
      int natural = 0;
      gtk_widget_get_preferred_height_for_width(label, a.width, &minimum, &natural);
      EXPECT_LE(natural, a.height) << what << " is cut: " << natural << " pixels high in " << a.height;
      // A word longer than the line would still be cut.
      int minWidth = 0;
      gtk_widget_get_preferred_width(label, &minWidth, nullptr);
      EXPECT_LE(minWidth, a.width) << what << " is cut";
    } else {
      int natural = 0;
      gtk_widget_get_preferred_width(label, nullptr, &natural);
      EXPECT_LE(natural, a.width) << what << " is cut: " << natural << " pixels wide in " << a.width;
    }
  }
}

class DialogPicturesTest : public testsupport::IsolatedTest, public ::testing::WithParamInterface<UINT> {
 protected:
  void SetUp() override {
    testsupport::IsolatedTest::SetUp();
    std::string why;
    if (!startGtkFace(why)) GTEST_SKIP() << "GUI test skipped: " << why;
  }
  void TearDown() override {
    if (m_dialog) DestroyWindow(m_dialog);
    if (m_host) DestroyWindow(m_host);
    platform::loop::runFor(20);
    testsupport::IsolatedTest::TearDown();
  }

  HWND show(UINT id) {
    const platform::resources::DialogTemplate* dialog = platform::resources::findDialog(module(), id);
    if (!dialog) return nullptr;
    HWND owner = nullptr;
    if (dialog->style & WS_CHILD) {
      // A page lives inside another window, as in the options dialog.
      m_host = CreateWindowExW(0, WC_DIALOG, u"Options", WS_POPUP | WS_CAPTION, 0, 0, 600, 500, nullptr, nullptr, module(), nullptr);
      owner = m_host;
    }
    m_dialog = CreateDialogIndirectParamW(module(), dialog, owner, initOnly, 0);
    if (!m_dialog) return nullptr;
    fillReportLists();
    if (m_host) ShowWindow(m_host, SW_SHOW);
    ShowWindow(m_dialog, SW_SHOW);
    waitUntilShown(m_host ? m_host : m_dialog);
    return m_dialog;
  }

  // Report lists get their columns and a row from their procedures: two titled columns here, so
  // that the header's titles are checked too.
  void fillReportLists() {
    for (HWND child = GetWindow(m_dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      char16_t name[32]{};
      GetClassNameW(child, name, 32);
      if (std::u16string(name) != u"SysListView32" || (GetWindowLongPtrW(child, GWL_STYLE) & LVS_TYPEMASK) != LVS_REPORT) continue;
      RECT client{};
      GetClientRect(child, &client);
      LVCOLUMNW column{};
      column.mask = LVCF_TEXT | LVCF_WIDTH;
      column.cx = client.right / 2;
      column.pszText = const_cast<LPWSTR>(u"Message Class");
      ListView_InsertColumn(child, 0, &column);
      column.pszText = const_cast<LPWSTR>(u"Templates");
      ListView_InsertColumn(child, 1, &column);
      LVITEMW row{};
      row.mask = LVIF_TEXT;
      row.pszText = const_cast<LPWSTR>(u"IPM.Note");
      ListView_InsertItem(child, &row);
      ListView_SetItemText(child, 0, 1, const_cast<LPWSTR>(u"Memo.htm"));
    }
  }

  HWND m_host = nullptr;
  HWND m_dialog = nullptr;
};

TEST_P(DialogPicturesTest, EveryControlShowsWholeInsideItsDialog) {
  const UINT id = GetParam();
  ASSERT_TRUE(show(id)) << "dialog " << id;
  if (id == IDD_HTML_SELECTION || id == IDD_PRINTER) {
    const HWND browser = GetDlgItem(m_dialog, id == IDD_PRINTER ? IDC_PRINTER_BROWSER : IDC_SELECTION_BROWSER);
    platform::ui::IHtmlView* view = platform::ui::htmlViewOf(browser);
    ASSERT_NE(view, nullptr);
    bool complete = false;
    view->setDocumentCompleteHandler([&] { complete = true; });
    view->loadHtml(
        "<html><body><h2>Quarterly figures</h2><p>Sales rose by a tenth over the quarter.</p>"
        "<p>The second paragraph of the message.</p></body></html>",
        std::filesystem::temp_directory_path());
    EXPECT_TRUE(platform::loop::runUntil([&] { return complete; }, 20000));
    platform::loop::runFor(300);  // the first frame
  }
  ASSERT_TRUE(platform::ui::saveWindowPicture(m_host ? m_host : m_dialog, picturePath("dialog-" + std::to_string(id) + ".png")));

  GtkWidget* top = static_cast<GtkWidget*>(platform::ui::widgetOf(m_dialog));
  ASSERT_NE(top, nullptr);
  GtkWidget* client = GTK_IS_WINDOW(top) ? gtk_bin_get_child(GTK_BIN(top)) : top;
  const GdkRectangle area{0, 0, gtk_widget_get_allocated_width(client), gtk_widget_get_allocated_height(client)};
  const platform::resources::DialogTemplate* dialog = platform::resources::findDialog(module(), id);
  RECT model{0, 0, dialog->cx, dialog->cy};
  MapDialogRect(m_dialog, &model);
  EXPECT_EQ(area.width, model.right) << "client area as the template sizes it";
  EXPECT_EQ(area.height, model.bottom);
  if (top != client) {
    EXPECT_EQ(gtk_widget_get_allocated_width(top), area.width) << "the window is as wide as its client area";
    EXPECT_EQ(gtk_widget_get_allocated_height(top), area.height);
  }

  std::vector<Placed> placed;
  for (HWND child = GetWindow(m_dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    auto* widget = static_cast<GtkWidget*>(platform::ui::widgetOf(child));
    ASSERT_NE(widget, nullptr) << "control " << GetDlgCtrlID(child);
    EXPECT_TRUE(gtk_widget_get_mapped(widget)) << "control " << GetDlgCtrlID(child) << " is not shown";
    Placed p{child, GetDlgCtrlID(child), widget, {}};
    gtk_widget_translate_coordinates(widget, client, 0, 0, &p.box.x, &p.box.y);
    p.box.width = gtk_widget_get_allocated_width(widget);
    p.box.height = gtk_widget_get_allocated_height(widget);
    RECT r{};
    GetWindowRect(child, &r);
    EXPECT_LE(p.box.width, r.right - r.left) << nameOf(p) << " grew beyond its rectangle";
    EXPECT_LE(p.box.height, r.bottom - r.top) << nameOf(p) << " grew beyond its rectangle";
    int natural = 0;
    gtk_widget_get_preferred_width(widget, nullptr, &natural);
    EXPECT_LE(natural, r.right - r.left) << nameOf(p) << " asks for more room than its rectangle";
    placed.push_back(p);
  }
  ASSERT_FALSE(placed.empty());
  for (std::size_t i = 0; i < placed.size(); ++i) {
    const Placed& a = placed[i];
    EXPECT_TRUE(inside(area, a.box)) << nameOf(a) << " leaves the dialog";
    expectLabelsWhole(a);
    for (std::size_t j = i + 1; j < placed.size(); ++j) {
      const Placed& b = placed[j];
      const bool framed = (GTK_IS_FRAME(a.widget) && inside(a.box, b.box)) || (GTK_IS_FRAME(b.widget) && inside(b.box, a.box));
      EXPECT_TRUE(framed || !overlap(a.box, b.box)) << nameOf(a) << " overlaps " << nameOf(b);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Module, DialogPicturesTest,
                         ::testing::Values(IDD_PRINTER, IDD_QUILLMARKPP, IDD_ATTACHMENTS, IDD_ADD_OUTLOOK_ITEM, IDD_TEMPLATES,
                                           IDD_TEMPLATE, IDD_TEMPLATE_SELECTION, IDD_PAGE_SETUP, IDD_HTML_SELECTION,
                                           IDD_CUSTOM_BUTTON, IDD_AUTOPRINT_SETTINGS, IDD_ACTION_SELECTION, IDD_BUTTON_MANAGER,
                                           IDD_ACTION, IDD_PRINT_OPTIONS, IDD_COMPLEX_ATTACHMENTS, IDD_OTHER_OPTIONS,
                                           IDD_PROPERTY_PAGE_HOST),
                         [](const ::testing::TestParamInfo<UINT>& info) { return "Dialog" + std::to_string(info.param); });

}  // namespace
