#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "platform/system/Diagnostics.h"
#include "platform/ui/PageSetupForm.h"
#include "platform/ui/PreviewWindow.h"
#include "platform/ui/PrintDialog.h"
#include "platform/resources/Resources.h"
#include "tests/platform/ui/GuiSupport.h"
#include "tests/support/TestEnvironment.h"

// After the tests' own headers: X11's macros clash with gtest's names.
#include <cairo-pdf.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

extern const platform::resources::ModuleResources kQuillMarkResources;

namespace {

namespace fs = std::filesystem;

GtkWidget* named(GtkWidget* widget, const char* name) { return uitest::widgetNamed(widget, name); }
GtkWidget* builderNamed(GtkWidget* widget, const char* name) { return uitest::widgetNamed(widget, name); }
GtkWidget* toplevelTitled(const char* title) { return uitest::mappedToplevel(title); }
std::string at(GtkWidget* widget) { return uitest::xdotoolAt(widget); }
std::string typed(const std::string& text) { return uitest::typedKeys(text); }
void xdotool(const std::string& args) { ASSERT_TRUE(uitest::xdotoolAsync(args)); }
using namespace platform::ui;

#define QM_REQUIRE_SCREEN()                                \
  do {                                                     \
    std::string why;                                       \
    if (!uitest::startGtkFace(why)) GTEST_SKIP() << "GUI test skipped: " << why; \
  } while (0)

// Pumps GTK's events until `done` or a few seconds pass.
bool pumpUntil(const std::function<bool()>& done, int ms = 5000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    g_usleep(5000);
  }
  return true;
}

void runXdotool(const std::string& args) { ASSERT_EQ(system(("xdotool" + args).c_str()), 0) << args; }

// Three Letter pages, each with its number large and a colour of its own.
fs::path threePagePdf(const fs::path& dir) {
  const fs::path path = dir / "three.pdf";
  cairo_surface_t* surface = cairo_pdf_surface_create(path.c_str(), 612, 792);
  cairo_t* cr = cairo_create(surface);
  const double colours[3][3] = {{0.8, 0.1, 0.1}, {0.1, 0.6, 0.1}, {0.1, 0.1, 0.8}};
  for (int page = 0; page < 3; ++page) {
    cairo_set_source_rgb(cr, colours[page][0], colours[page][1], colours[page][2]);
    cairo_rectangle(cr, 72, 72, 468, 100);
    cairo_fill(cr);
    cairo_set_font_size(cr, 200);
    cairo_move_to(cr, 240, 450);
    cairo_show_text(cr, std::to_string(page + 1).c_str());
    cairo_show_page(cr);
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return path;
}

void savePicture(GtkWidget* window, const fs::path& png) {
  const int width = gtk_widget_get_allocated_width(window), height = gtk_widget_get_allocated_height(window);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(surface);
  gtk_widget_draw(window, cr);
  cairo_destroy(cr);
  EXPECT_EQ(cairo_surface_write_to_png(surface, png.c_str()), CAIRO_STATUS_SUCCESS);
  cairo_surface_destroy(surface);
}

// Ends whatever dialog titled `title` is still open after a while, with a picture of it to look at.
guint closeLater(const char* title) {
  return g_timeout_add(8000, +[](gpointer data) -> gboolean {
    const char* title = static_cast<const char*>(data);
    if (GtkWidget* dialog = toplevelTitled(title)) {
      savePicture(dialog, uitest::picturePath(std::string(title) + "-stuck.png"));
      ADD_FAILURE() << title << " did not close";
      gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    }
    return G_SOURCE_REMOVE;
  }, const_cast<char*>(title));
}

const char* entryText(GtkWidget* window, const char* name) {
  return gtk_entry_get_text(GTK_ENTRY(named(window, name)));
}

class PrintWindowsTest : public testsupport::IsolatedTest {};

TEST_F(PrintWindowsTest, PreviewShowsPagesAndAnswersToolbarClicksAndKeys) {
  QM_REQUIRE_SCREEN();
  const fs::path pdf = threePagePdf(dir());
  int closes = 0;
  PreviewCallbacks callbacks;
  callbacks.onClose = [&] { ++closes; };
  CPreviewWindow preview({platform::resources::handleOf(kQuillMarkResources)}, callbacks);
  ASSERT_TRUE(preview.load(pdf));
  preview.show();
  auto* window = static_cast<GtkWidget*>(preview.nativeWindow());
  ASSERT_TRUE(pumpUntil([&] { return gtk_widget_get_mapped(window) && gtk_widget_get_allocated_width(window) > 100; }));
  pumpUntil([] { return false; }, 300);  // the first frame

  EXPECT_EQ(preview.pageCount(), 3);
  EXPECT_EQ(preview.currentPage(), 1);
  EXPECT_EQ(preview.zoomPercent(), 75);
  EXPECT_STREQ(entryText(window, "pageNumber"), "1");
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(named(window, "pageCount"))), "3");
  EXPECT_FALSE(gtk_widget_get_sensitive(named(window, "attachments")));
  EXPECT_FALSE(gtk_widget_get_sensitive(named(window, "previous")));
  EXPECT_FALSE(gtk_widget_get_visible(named(window, "frameLayout")));
  // The pages area is as wide as a Letter page at 75 % and its gaps.
  EXPECT_EQ(gtk_widget_get_allocated_height(named(window, "pages")) > 792 * 0.75 * 96 / 72, true);
  savePicture(window, uitest::picturePath("preview-page1-75.png"));

  runXdotool(at(named(window, "next")) + " click 1");
  EXPECT_TRUE(pumpUntil([&] { return preview.currentPage() == 2; }));
  EXPECT_STREQ(entryText(window, "pageNumber"), "2");
  runXdotool(at(named(window, "zoomIn")) + " click 1");
  EXPECT_TRUE(pumpUntil([&] { return preview.zoomPercent() == 100; }));
  EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(named(window, "zoomList"))), 3);  // "100%"
  savePicture(window, uitest::picturePath("preview-page2-100.png"));

  // The zoom list by real input: opened on 100 %, one row down is 75 %.
  runXdotool(at(named(window, "zoomList")) + " click 1 sleep 0.3 key Down key Return");
  EXPECT_TRUE(pumpUntil([&] { return preview.zoomPercent() == 75; }));
  runXdotool(at(named(window, "previous")) + " click 1");
  EXPECT_TRUE(pumpUntil([&] { return preview.currentPage() == 1; }));

  runXdotool(at(named(window, "pages")) + " key alt+End");
  EXPECT_TRUE(pumpUntil([&] { return preview.currentPage() == 3; }));
  EXPECT_FALSE(gtk_widget_get_sensitive(named(window, "next")));
  runXdotool(" key alt+Left key alt+minus key alt+minus");
  EXPECT_TRUE(pumpUntil([&] { return preview.currentPage() == 2 && preview.zoomPercent() == 25; }));

  // The page box takes a typed number; one past the end shows the last page.
  runXdotool(at(named(window, "pageNumber")) + " click 1" + typed("9"));
  runXdotool(" key Return");
  EXPECT_TRUE(pumpUntil([&] { return preview.currentPage() == 3; }));

  preview.setFit(PreviewFit::kTwoPages);
  EXPECT_EQ(preview.currentPage(), 3);  // the last page has no second beside it
  preview.goToPage(1);
  pumpUntil([] { return false; }, 300);
  EXPECT_LT(preview.zoomPercent(), 75);
  savePicture(window, uitest::picturePath("preview-two-pages.png"));

  runXdotool(" key Escape");
  EXPECT_TRUE(pumpUntil([&] { return !preview.isOpen(); }));
  EXPECT_EQ(closes, 1);
}

TEST_F(PrintWindowsTest, PreviewRunsModallyAndReloadsAfterItsPageSetup) {
  QM_REQUIRE_SCREEN();
  const fs::path pdf = threePagePdf(dir());
  CPreviewWindow* shown = nullptr;
  PageSetupValues setup;
  bool setupTaken = false;
  PreviewCallbacks callbacks;
  // As the printer does: the page setup form, a modal loop inside the preview's own, then the
  // pages laid out anew (here one page fewer) and Escape to close.
  callbacks.onPageSetup = [&] {
    g_timeout_add(300, +[](gpointer) -> gboolean {
                    GtkWidget* form = toplevelTitled("Page Setup");
                    if (!form) return G_SOURCE_CONTINUE;
                    xdotool(at(named(form, "landscape")) + " click 1" +
                            at(gtk_dialog_get_widget_for_response(GTK_DIALOG(form), GTK_RESPONSE_OK)) + " click 1");
                    return G_SOURCE_REMOVE;
                  },
                  nullptr);
    setupTaken = showPageSetupForm(setup);
    const fs::path two = dir() / "two.pdf";
    cairo_surface_t* surface = cairo_pdf_surface_create(two.c_str(), 792, 612);
    cairo_t* cr = cairo_create(surface);
    cairo_show_page(cr);
    cairo_show_page(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    EXPECT_TRUE(shown->reload(two));
    xdotool(at(named(static_cast<GtkWidget*>(shown->nativeWindow()), "pages")) + " key Escape");
  };
  CPreviewWindow preview({platform::resources::handleOf(kQuillMarkResources), "Preview", true}, callbacks);
  shown = &preview;
  ASSERT_TRUE(preview.load(pdf));
  preview.goToPage(3);
  auto* window = static_cast<GtkWidget*>(preview.nativeWindow());
  EXPECT_TRUE(gtk_widget_get_sensitive(named(window, "attachments")));

  g_timeout_add(500, +[](gpointer data) -> gboolean {
                  xdotool(at(named(static_cast<GtkWidget*>(data), "pages")) + " key alt+u");
                  return G_SOURCE_REMOVE;
                },
                window);
  const guint guard = g_timeout_add(15000, +[](gpointer data) -> gboolean {
                                      static_cast<CPreviewWindow*>(data)->close();
                                      ADD_FAILURE() << "the preview did not close on Escape";
                                      return G_SOURCE_REMOVE;
                                    },
                                    &preview);
  preview.runModal();
  g_source_remove(guard);
  EXPECT_TRUE(setupTaken);
  EXPECT_TRUE(setup.landscape);
  EXPECT_EQ(preview.pageCount(), 2);
  EXPECT_EQ(preview.currentPage(), 2);  // page 3 is gone: the last one
  EXPECT_FALSE(preview.load((dir() / "missing.pdf").string()));
  EXPECT_NE(platform::diag::lastFailure().find("missing.pdf"), std::string::npos);
  EXPECT_EQ(preview.pageCount(), 2);
}

TEST_F(PrintWindowsTest, PageSetupFormTakesTypedMarginsAndRefusesOnesThatLeaveNoRoom) {
  QM_REQUIRE_SCREEN();
  PageSetupValues values;
  values.header = u"&w&bPage &p of &P";
  // Left margin 1.25 and landscape, then OK.
  g_timeout_add(300, +[](gpointer) -> gboolean {
                  GtkWidget* form = toplevelTitled("Page Setup");
                  if (!form) return G_SOURCE_CONTINUE;
                  xdotool(at(named(form, "marginLeft")) + " click 1" + typed("1.25") + at(named(form, "landscape")) +
                          " click 1" + at(gtk_dialog_get_widget_for_response(GTK_DIALOG(form), GTK_RESPONSE_OK)) +
                          " click 1");
                  return G_SOURCE_REMOVE;
                },
                nullptr);
  guint guard = closeLater("Page Setup");
  ASSERT_TRUE(showPageSetupForm(values));
  g_source_remove(guard);
  EXPECT_EQ(values.marginLeft, 125);
  EXPECT_EQ(values.marginRight, 60);
  EXPECT_TRUE(values.landscape);
  EXPECT_EQ(values.header, u"&w&bPage &p of &P");

  // A top margin of 10.5 inches leaves no room on Letter landscape: OK does nothing, Escape cancels.
  g_timeout_add(300, +[](gpointer) -> gboolean {
                  GtkWidget* form = toplevelTitled("Page Setup");
                  if (!form) return G_SOURCE_CONTINUE;
                  xdotool(at(named(form, "marginTop")) + " click 1" + typed("10.5") +
                          at(gtk_dialog_get_widget_for_response(GTK_DIALOG(form), GTK_RESPONSE_OK)) +
                          " click 1 sleep 0.5 key Escape");
                  return G_SOURCE_REMOVE;
                },
                nullptr);
  guard = closeLater("Page Setup");
  EXPECT_FALSE(showPageSetupForm(values));
  g_source_remove(guard);
  EXPECT_EQ(values.marginTop, 60);
}

TEST_F(PrintWindowsTest, PrintDialogPrintsToFileAndHandsOnTheRangeAsTyped) {
  QM_REQUIRE_SCREEN();
  const fs::path pdf = threePagePdf(dir());
  const fs::path out = dir() / "printed.pdf";
  // "Pages" with "3-2" typed, then Print, on the file printer offered at first.
  g_timeout_add(300, +[](gpointer) -> gboolean {
                  GtkWidget* dialog = toplevelTitled("Print");
                  if (!dialog) return G_SOURCE_CONTINUE;
                  GtkWidget* print = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
                  if (!gtk_widget_get_sensitive(print)) return G_SOURCE_CONTINUE;  // printers still coming
                  xdotool(at(builderNamed(dialog, "page_range_radio")) + " click 1" +
                          at(builderNamed(dialog, "page_range_entry")) + " click 1" + typed("3-2") + at(print) +
                          " click 1");
                  return G_SOURCE_REMOVE;
                },
                nullptr);
  PrintRequest request;
  request.pageCount = 3;
  request.printer = "Print to File";
  request.outputPath = out;
  const guint guard = closeLater("Print");
  const PrintAnswer answer = showPrintDialog(request);
  g_source_remove(guard);
  ASSERT_FALSE(answer.cancelled);
  EXPECT_EQ(answer.printToFile, out.string());
  EXPECT_EQ(answer.rangeText, "3-2");
  EXPECT_EQ(answer.range.status, RangeStatus::kRefused);
  EXPECT_EQ(answer.copies, 1);

  ASSERT_TRUE(sendPdfToPrinter(pdf, answer));
  EXPECT_EQ(testsupport::readFile(out), testsupport::readFile(pdf));
  for (const auto& entry : fs::directory_iterator(dir())) {
    EXPECT_NE(entry.path().filename().string().rfind(".printed.pdf", 0), 0u) << "temporary left: " << entry.path();
  }
}

TEST_F(PrintWindowsTest, RangeTextIsOneRangeFromToOrRefused) {
  struct Case {
    const char* text;
    RangeStatus status;
    int from, to;
  } cases[] = {
      {"", RangeStatus::kAll, 1, RangeChoice::kLastPage},
      {"  ", RangeStatus::kAll, 1, RangeChoice::kLastPage},
      {"2", RangeStatus::kRange, 2, 2},
      {"2-3", RangeStatus::kRange, 2, 3},
      {" 2 - 3 ", RangeStatus::kRange, 2, 3},
      {"3-", RangeStatus::kRange, 3, RangeChoice::kLastPage},
      {"-2", RangeStatus::kRange, 1, 2},
      {"3-2", RangeStatus::kRefused, 0, 0},
      {"1-2,4", RangeStatus::kRefused, 0, 0},
      {"1 4", RangeStatus::kRefused, 0, 0},
      {"0", RangeStatus::kRefused, 0, 0},
      {"-", RangeStatus::kRefused, 0, 0},
      {"2-x", RangeStatus::kRefused, 0, 0},
      {"9999999999", RangeStatus::kRefused, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const RangeChoice choice = readPageRange(c.text);
    EXPECT_EQ(choice.status, c.status);
    if (c.status != RangeStatus::kRefused) {
      EXPECT_EQ(choice.from, c.from);
      EXPECT_EQ(choice.to, c.to);
    }
  }
}

TEST_F(PrintWindowsTest, PdfGoesToLpWithTheDialogsChoicesOrToAFileWrittenWhole) {
  const fs::path bin = dir() / "bin";
  fs::create_directories(bin);
  const fs::path args = dir() / "lp-args";
  {
    std::ofstream lp(bin / "lp");
    lp << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << args.string() << "'\n"
       << "[ \"$2\" = Missing ] && { echo 'lp: The printer or class does not exist.' >&2; exit 1; }\nexit 0\n";
  }
  fs::permissions(bin / "lp", fs::perms::owner_all);
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", (bin.string() + ":" + path).c_str(), 1);
  const fs::path pdf = dir() / "job.pdf";
  std::ofstream(pdf) << "%PDF-1.4 job";

  PrintAnswer answer;
  answer.cancelled = false;
  answer.printer = "Office";
  answer.copies = 2;
  answer.collate = true;
  answer.duplex = Duplex::kLongEdge;
  EXPECT_TRUE(sendPdfToPrinter(pdf, answer));
  EXPECT_EQ(testsupport::readFile(args),
            "-d\nOffice\n-n\n2\n-o\ncollate=true\n-o\nsides=two-sided-long-edge\n--\n" + pdf.string() + "\n");

  answer.printer = "Missing";
  EXPECT_FALSE(sendPdfToPrinter(pdf, answer));
  EXPECT_NE(platform::diag::lastFailure().find("The printer or class does not exist."), std::string::npos);
  setenv("PATH", path.c_str(), 1);

  // To a file: replaced whole; a folder that is not there is reported and leaves nothing.
  const fs::path target = dir() / "saved.pdf";
  std::ofstream(target) << "old";
  answer.printToFile = target.string();
  EXPECT_TRUE(sendPdfToPrinter(pdf, answer));
  EXPECT_EQ(testsupport::readFile(target), "%PDF-1.4 job");
  answer.printToFile = (dir() / "nowhere" / "saved.pdf").string();
  EXPECT_FALSE(sendPdfToPrinter(pdf, answer));
  EXPECT_NE(platform::diag::lastFailure().find("nowhere"), std::string::npos);
  answer.cancelled = true;
  answer.printToFile = target.string();
  EXPECT_FALSE(sendPdfToPrinter(pdf, answer));
}

}  // namespace
