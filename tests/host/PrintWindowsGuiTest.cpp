// `quillmark print` with a display: the preview window over the job's pages, its toolbar and its
// page setup, GTK's print dialog with its page range and "Print to File", all driven by real
// input (XTEST) on the test run's Xvfb, with pictures saved to look at.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "host/AddIns.h"
#include "host/Install.h"
#include "host/OutlookWindows.h"
#include "host/Print.h"
#include "platform/browser/PrintDestination.h"
#include "platform/loop/MessageLoop.h"
#include "platform/mapi/MAPIDefs.h"
#include "platform/mapi/PropTags.h"
#include "platform/office/CommandBars.h"
#include "platform/outlook/Outlook.h"
#include "platform/outlook/OutlookInterfaces.h"
#include "platform/registry/RegKey.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/system/Text.h"
#include "platform/ui/CommCtrl.h"
#include "platform/ui/Desktop.h"
#include "resources/resource.h"
#include "tests/platform/ui/GuiSupport.h"
#include "tests/support/MsgWriter.h"
#include "tests/support/TestEnvironment.h"

// After the project's headers: X11's macros clash with gtest's names.
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <gtk/gtkunixprint.h>

namespace {

namespace fs = std::filesystem;

GtkWidget* named(GtkWidget* widget, const char* name) { return uitest::widgetNamed(widget, name); }
GtkWidget* toplevel(const char* title) { return uitest::mappedToplevel(title); }
std::string at(GtkWidget* widget) { return uitest::xdotoolAt(widget); }
std::string typed(const std::string& text) { return uitest::typedKeys(text); }
void xdotool(const std::string& args) { uitest::xdotoolAsync(args); }

using namespace testsupport;

void savePicture(GtkWidget* window, const std::string& name) {
  const int width = gtk_widget_get_allocated_width(window), height = gtk_widget_get_allocated_height(window);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(surface);
  gtk_widget_draw(window, cr);
  cairo_destroy(cr);
  EXPECT_EQ(cairo_surface_write_to_png(surface, uitest::picturePath(name).c_str()), CAIRO_STATUS_SUCCESS);
  cairo_surface_destroy(surface);
}

// The person at the screen: steps run one after the other from a 100 ms timer while the print
// runs its windows; a step answers true when it is done. A step that waits too long fails the
// test and closes whatever window is up, so the print always ends.
class Person {
 public:
  using Step = std::function<bool()>;
  explicit Person(std::vector<std::pair<std::string, Step>> steps) : m_steps(std::move(steps)) {
    // A timer of the project's loop: it ticks inside every modal loop the print runs.
    platform::loop::SetTimer(owner(), 1, 100, [this](std::uintptr_t) { tick(); });
  }
  ~Person() { platform::loop::KillTimer(owner(), 1); }
  bool finished() const { return m_next == m_steps.size(); }
  // One more look once the print has returned (its last window may have gone with its loop).
  void settle() { tick(); }
  std::string waitingFor() const { return finished() ? "" : m_steps[m_next].first; }

 private:
  HWND owner() { return reinterpret_cast<HWND>(this); }
  void tick() {
    if (m_inTick) return;  // the loop's timers re-enter when a step runs a loop
    struct Flag {
      bool& f;
      explicit Flag(bool& flag) : f(flag) { f = true; }
      ~Flag() { f = false; }
    } inTick(m_inTick);
    if (finished()) {
      platform::loop::KillTimer(owner(), 1);
      return;
    }
    if (m_steps[m_next].second()) {
      ++m_next;
      m_ticks = 0;
    } else if (++m_ticks > 150) {
      ADD_FAILURE() << "gave up waiting: " << m_steps[m_next].first;
      if (GtkWidget* box = toplevel(nullptr)) gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
      for (const char* title : {"Print", "Page Setup", "Print Preview"}) {
        if (GtkWidget* w = toplevel(title)) {
          savePicture(w, std::string("stuck-") + title + ".png");
          if (GTK_IS_DIALOG(w)) gtk_dialog_response(GTK_DIALOG(w), GTK_RESPONSE_CANCEL);
          else gtk_window_close(GTK_WINDOW(w));
        }
      }
      m_next = m_steps.size();
    }
  }

  std::vector<std::pair<std::string, Step>> m_steps;
  std::size_t m_next = 0;
  int m_ticks = 0;
  bool m_inTick = false;
};

class PrintWindowsGuiTest : public IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    std::string why;
    if (!uitest::startGtkFace(why)) GTEST_SKIP() << why;
    platform::registry::resetForTesting();
    ASSERT_TRUE(host::install({}).ok);
    MsgDescription mail;
    mail.messageClass = "IPM.Note";
    std::u16string body;
    for (int i = 1; i <= 160; ++i) body += u"Line of a long mail that runs over several pages.\r\n";
    mail.props = {unicodeProp(PR_SUBJECT_W, u"A long mail"), unicodeProp(PR_SENDER_NAME_W, u"Mara Lindqvist"),
                  unicodeProp(PR_SENT_REPRESENTING_NAME_W, u"Mara Lindqvist"), unicodeProp(PR_BODY_W, body)};
    ASSERT_TRUE(writeMsgFile(mail, m_mail));
  }
  void TearDown() override {
    platform::registry::resetForTesting();
  }

  int print(int mode) {
    host::PrintCommandLine command;
    command.files = {m_mail};
    command.mode = mode;
    command.out = m_out;
    return host::runPrint(command);
  }

  // The preview's window once it is drawn.
  GtkWidget* preview() {
    GtkWidget* window = toplevel("Print Preview");
    return window && gtk_widget_get_allocated_width(window) > 100 ? window : nullptr;
  }
  std::string previewText(const char* name) {
    GtkWidget* widget = named(preview(), name);
    return GTK_IS_ENTRY(widget) ? gtk_entry_get_text(GTK_ENTRY(widget)) : gtk_label_get_text(GTK_LABEL(widget));
  }
  int zoomRow() { return gtk_combo_box_get_active(GTK_COMBO_BOX(named(preview(), "zoomList"))); }
  void click(const char* name) { xdotool(at(named(preview(), name)) + " click 1"); }

  // GTK's print dialog once its printers are there: "Print to File" is offered with the --out
  // folder's file; `range` typed into Pages (none: all pages), then Print. Done when that dialog
  // has gone; the input is given again while it stays (a window just mapped may still move).
  static Person::Step printDialog(std::string range, std::string* file = nullptr) {
    auto clicked = std::make_shared<gpointer>(nullptr);
    return [range, file, clicked, seen = 0, given = false]() mutable {
      if (given && *clicked == nullptr) return true;  // the dialog given the input is gone
      GtkWidget* dialog = toplevel("Print");
      if (!dialog) return false;
      GtkWidget* print = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
      if (!gtk_widget_get_sensitive(print) || ++seen % 10 != 5) return false;
      if (file) {
        GtkPrintSettings* settings = gtk_print_unix_dialog_get_settings(GTK_PRINT_UNIX_DIALOG(dialog));
        const char* uri = gtk_print_settings_get(settings, GTK_PRINT_SETTINGS_OUTPUT_URI);
        *file = uri ? uri : "";
        g_object_unref(settings);
      }
      if (!given) {
        given = true;
        *clicked = dialog;
        g_object_add_weak_pointer(G_OBJECT(dialog), clicked.get());
      }
      std::string input;
      if (!range.empty())
        input = at(named(dialog, "page_range_radio")) + " click 1" + at(named(dialog, "page_range_entry")) + " click 1" +
                typed(range);
      xdotool(input + at(print) + " click 1");
      return false;
    };
  }
  // A key for the window `find` answers, sent again every second until that window has gone: on a
  // loaded machine a window just mapped may refuse the focus, and xdotool then sends nothing.
  static Person::Step keyUntilGone(std::function<GtkWidget*()> find, std::string key,
                                   std::function<void(GtkWidget*)> check = {}) {
    auto window = std::make_shared<gpointer>(nullptr);
    return [find, key, check, window, seen = 0, given = false]() mutable {
      if (given && *window == nullptr) return true;
      GtkWidget* shown = given ? GTK_WIDGET(*window) : find();
      if (!shown || !gtk_widget_get_mapped(shown) || ++seen % 10 != 3) return false;
      if (!given) {
        given = true;
        *window = shown;
        g_object_add_weak_pointer(G_OBJECT(shown), window.get());
        if (check) check(shown);
      }
      xdotool(" windowfocus --sync " + std::to_string(gdk_x11_window_get_xid(gtk_widget_get_window(shown))) + " key " + key);
      return false;
    };
  }
  // A message box with `text` is up: answered with Return.
  static Person::Step messageBox(std::string text) {
    return keyUntilGone([] { return toplevel(nullptr); }, "Return", [text](GtkWidget* box) {
      gchar* shown = nullptr;
      g_object_get(box, "text", &shown, nullptr);
      EXPECT_EQ(std::string(shown ? shown : ""), text);
      g_free(shown);
    });
  }

  fs::path m_mail = dir() / "mail.msg";
  fs::path m_out = dir() / "out";
};

TEST_F(PrintWindowsGuiTest, PreviewAnswersItsToolbarAndItsPageSetupLaysOutAgainForTheNextPrint) {
  int pagesAtFirst = 0, pagesAfterSetup = 0;
  Person person({
      {"the preview at 75 %", [&] {
         if (!preview()) return false;
         EXPECT_EQ(previewText("pageNumber"), "1");
         EXPECT_EQ(zoomRow(), 4);  // 75 %
         EXPECT_FALSE(gtk_widget_get_sensitive(named(preview(), "attachments")));
         pagesAtFirst = std::stoi(previewText("pageCount"));
         savePicture(preview(), "host-preview-75.png");
         click("next");
         return true;
       }},
      {"page 2", [&] {
         if (previewText("pageNumber") != "2") return false;
         click("previous");
         return true;
       }},
      {"page 1 again", [&] {
         if (previewText("pageNumber") != "1") return false;
         click("zoomIn");
         return true;
       }},
      {"zoomed to 100 %", [&] {
         if (zoomRow() != 3) return false;
         savePicture(preview(), "host-preview-100.png");
         xdotool(at(named(preview(), "zoomList")) + " click 1 sleep 0.3 key Down key Down key Return");
         return true;
       }},
      {"50 % from the zoom list", [&] {
         if (zoomRow() != 5) return false;
         click("pageSetup");
         return true;
       }},
      {"the page setup form", [&] {
         GtkWidget* form = toplevel("Page Setup");
         if (!form) return false;
         xdotool(at(named(form, "marginLeft")) + " click 1" + typed("2.5") + at(named(form, "landscape")) + " click 1" +
                 at(gtk_dialog_get_widget_for_response(GTK_DIALOG(form), GTK_RESPONSE_OK)) + " click 1");
         return true;
       }},
      {"the pages laid out again", [&] {
         if (toplevel("Page Setup") || previewText("pageCount") == std::to_string(pagesAtFirst)) return false;
         pagesAfterSetup = std::stoi(previewText("pageCount"));
         savePicture(preview(), "host-preview-landscape.png");
         xdotool(at(named(preview(), "pages")) + " key Escape");
         return true;
       }},
  });
  EXPECT_EQ(print(host::kModePreview), 0);
  EXPECT_TRUE(person.finished()) << person.waitingFor();
  EXPECT_FALSE(toplevel("Print Preview"));
  EXPECT_GT(pagesAtFirst, 1);
  EXPECT_GT(pagesAfterSetup, pagesAtFirst);  // landscape and a wide margin: more pages

  // The next print of the template and locale is laid out so, asking nothing.
  ASSERT_EQ(print(host::kModePrint), 0);
  ASSERT_EQ(platform::browser::writtenPdfs().size(), 1u);
  EXPECT_EQ(pdfPages(platform::browser::writtenPdfs()[0]), pagesAfterSetup);
}

TEST_F(PrintWindowsGuiTest, PrintInThePreviewWritesTheSamePagesToTheFileChosen) {
  int pages = 0;
  std::string offered;
  Person person({
      {"the preview", [&] {
         if (!preview()) return false;
         pages = std::stoi(previewText("pageCount"));
         click("print");
         return true;
       }},
      {"GTK's print dialog", printDialog("", &offered)},
  });
  EXPECT_EQ(print(host::kModePreview), 0);
  person.settle();  // the print may end before the person sees the dialog gone
  EXPECT_TRUE(person.finished()) << person.waitingFor();
  EXPECT_FALSE(toplevel("Print Preview"));  // printing ends the preview
  ASSERT_FALSE(platform::browser::writtenPdfs().empty());
  const fs::path printed = platform::browser::writtenPdfs().back();
  gchar* offeredFile = g_filename_from_uri(offered.c_str(), nullptr, nullptr);
  EXPECT_EQ(printed.string(), offeredFile ? offeredFile : "");
  g_free(offeredFile);
  EXPECT_EQ(pdfPages(printed), pages);
  EXPECT_GT(pages, 1);
}

TEST_F(PrintWindowsGuiTest, DialogPrintsOneRangeAndRefusesOthersAskingAgain) {
  Person person({
      {"the print dialog, 3-2", printDialog("3-2")},
      {"the refusal of 3-2", messageBox("The 'From' value cannot be greater than the 'To' value.")},
      {"the print dialog again, 1-2,4", printDialog("1-2,4")},
      {"the refusal of 1-2,4", messageBox("The 'From' value cannot be greater than the 'To' value.")},
      {"the print dialog again, 2-3", printDialog("2-3")},
  });
  EXPECT_EQ(print(host::kModePrintWithPrompt), 0);
  person.settle();
  EXPECT_TRUE(person.finished()) << person.waitingFor();
  ASSERT_EQ(platform::browser::writtenPdfs().size(), 1u);
  EXPECT_EQ(pdfPages(platform::browser::writtenPdfs()[0]), 2);

  // Cancel prints nothing.
  Person cancelling({{"the print dialog", keyUntilGone([] { return toplevel("Print"); }, "Escape")}});
  EXPECT_EQ(print(host::kModePrintWithPrompt), 0);
  cancelling.settle();
  EXPECT_TRUE(cancelling.finished()) << cancelling.waitingFor();
  EXPECT_TRUE(platform::browser::writtenPdfs().empty());
}

// A range stored for the template, and an --out folder given relative to the current one. GTK's
// print dialog opens on the range, showing the paper the pages are laid out on, and prints it;
// the preview shows every page, and its Print prints the range with the copies asked for.
TEST_F(PrintWindowsGuiTest, StoredRangeIsWhatTheDialogOffersAndThePreviewShowsEveryPage) {
  {
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER,
                         u"SOFTWARE\\Corvessa\\QuillMark For Outlook\\Template Settings\\Mail\\1033"),
              ERROR_SUCCESS);
    ASSERT_EQ(key.SetDWORDValue(u"printselection", 1), ERROR_SUCCESS);
    ASSERT_EQ(key.SetDWORDValue(u"pagefrom", 2), ERROR_SUCCESS);
    ASSERT_EQ(key.SetDWORDValue(u"pageto", 3), ERROR_SUCCESS);
  }
  m_out = fs::relative(dir() / "out", fs::current_path());
  ASSERT_TRUE(m_out.is_relative());
  // The dialog as it opens: the range 2-3, US Letter portrait; `copies` set, not collated, then Print.
  const auto printRange = [](int copies) -> Person::Step {
    return [copies, seen = 0, checked = false]() mutable {
      GtkWidget* dialog = toplevel("Print");
      if (!dialog) return checked;
      GtkWidget* print = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
      if (!gtk_widget_get_sensitive(print) || ++seen % 10 != 5) return false;
      if (!checked) {
        checked = true;
        EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(named(dialog, "page_range_radio"))));
        EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(named(dialog, "page_range_entry"))), "2-3");
        GtkPageSetup* setup = gtk_print_unix_dialog_get_page_setup(GTK_PRINT_UNIX_DIALOG(dialog));
        EXPECT_STREQ(gtk_paper_size_get_name(gtk_page_setup_get_paper_size(setup)), GTK_PAPER_NAME_LETTER);
        EXPECT_EQ(gtk_page_setup_get_orientation(setup), GTK_PAGE_ORIENTATION_PORTRAIT);
        savePicture(dialog, "print-dialog-stored-range.png");
        gtk_spin_button_set_value(GTK_SPIN_BUTTON(named(dialog, "copies_spin")), copies);
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(named(dialog, "collate_check")), FALSE);
      }
      xdotool(at(print) + " click 1");
      return false;
    };
  };
  Person dialogPerson({{"GTK's print dialog on 2-3", printRange(1)}});
  EXPECT_EQ(print(host::kModePrintWithPrompt), 0);
  dialogPerson.settle();
  EXPECT_TRUE(dialogPerson.finished()) << dialogPerson.waitingFor();
  ASSERT_EQ(platform::browser::writtenPdfs().size(), 1u);
  const fs::path printed = platform::browser::writtenPdfs()[0];
  EXPECT_EQ(printed, fs::absolute(dir() / "out" / "mail.pdf"));
  EXPECT_EQ(pdfPages(printed), 2);
  EXPECT_FALSE(fs::exists("output.pdf"));

  int pages = 0;
  Person previewPerson({
      {"the preview of every page", [&] {
         if (!preview()) return false;
         pages = std::stoi(previewText("pageCount"));
         click("print");
         return true;
       }},
      {"GTK's print dialog on 2-3, two copies", printRange(2)},
  });
  EXPECT_EQ(print(host::kModePreview), 0);
  previewPerson.settle();
  EXPECT_TRUE(previewPerson.finished()) << previewPerson.waitingFor();
  EXPECT_GT(pages, 3);
  ASSERT_EQ(platform::browser::writtenPdfs().size(), 2u);  // the preview's pages and the print
  EXPECT_EQ(pdfPages(platform::browser::writtenPdfs()[0]), pages);
  const fs::path copies = platform::browser::writtenPdfs()[1];
  ASSERT_EQ(pdfPages(copies), 4);
  // Not collated: each page twice before the next.
  const std::string total = " of " + std::to_string(pages);
  const std::pair<int, int> order[] = {{1, 2}, {2, 2}, {3, 3}, {4, 3}};
  for (const auto& [page, number] : order)
    EXPECT_NE(pdfText(copies, page).find("Page " + std::to_string(number) + total), std::string::npos)
        << "page " << page << ": " << pdfText(copies, page);
}

// The preview's frameset layout list is there for a frameset, not for a page with an inline frame.
TEST_F(PrintWindowsGuiTest, FramesetLayoutListShowsOnlyForAFrameset) {
  std::ofstream(dir() / "inner.htm") << "<html><body><p>The frame's own page.</p></body></html>";
  std::ofstream(dir() / "Inline.htm") << "<html><head><title>Inline</title></head><body>"
                                         "<p id=QMMessProp>NAME=Subject</p><iframe src=\"inner.htm\"></iframe>"
                                         "</body></html>";
  std::ofstream(dir() / "Frames.htm") << "<html><head><title>Frames</title></head><frameset cols=\"50%,50%\">"
                                         "<frame src=\"inner.htm\"><frame src=\"inner.htm\"></frameset></html>";
  for (const auto& [name, frameset] : {std::pair<const char*, bool>{"Inline.htm", false}, {"Frames.htm", true}}) {
    SCOPED_TRACE(name);
    bool listShown = !frameset;
    Person person({{"the preview", [&] {
                      if (!preview()) return false;
                      listShown = gtk_widget_get_visible(named(preview(), "frameLayout"));
                      xdotool(at(named(preview(), "pages")) + " key Escape");
                      return true;
                    }}});
    host::PrintCommandLine command;
    command.files = {m_mail};
    command.mode = host::kModePreview;
    command.out = m_out;
    command.templateName = (dir() / name).string();
    EXPECT_EQ(host::runPrint(command), 0);
    EXPECT_TRUE(person.finished()) << person.waitingFor();
    EXPECT_EQ(listShown, frameset);
  }
}

// Two items of a class with a memo and a Multi Item template: dialog 120 asks which; each choice
// prints with its template, Cancel prints nothing.
TEST_F(PrintWindowsGuiTest, TemplateSelectionOffersMemoAndMultiItemForTwoItems) {
  const fs::path second = dir() / "second.msg";
  MsgDescription mail;
  mail.messageClass = "IPM.Note";
  mail.props = {unicodeProp(PR_SUBJECT_W, u"The second mail"), unicodeProp(PR_SENDER_NAME_W, u"Ilse Brandt"),
                unicodeProp(PR_SENT_REPRESENTING_NAME_W, u"Ilse Brandt"), unicodeProp(PR_BODY_W, u"Short.")};
  ASSERT_TRUE(writeMsgFile(mail, second));
  struct Choice {
    const char* name;
    int row;         // -1: Cancel
    std::size_t pdfs;
  };
  for (const Choice choice : {Choice{"Mail List", 1, 1}, Choice{"Mail", 0, 2}, Choice{"Cancel", -1, 0}}) {
    SCOPED_TRACE(choice.name);
    HWND dialog = nullptr;
    Person person({{"dialog 120",
                    [&, seen = 0]() mutable {
                      dialog = GetActiveWindow();
                      const HWND list = dialog ? GetDlgItem(dialog, IDC_SELECTION_LIST) : nullptr;
                      if (!list || !IsWindowVisible(dialog) || ++seen < 5) return false;
                      EXPECT_EQ(ListView_GetItemCount(list), 2);
                      if (choice.row < 0) {
                        uitest::clickAt(uitest::centreOf(GetDlgItem(dialog, IDCANCEL)));
                        return true;
                      }
                      RECT r{};
                      ListView_GetItemRect(list, choice.row, &r, LVIR_LABEL);
                      POINT at{r.left + 10, (r.top + r.bottom) / 2};
                      ClientToScreen(list, &at);
                      uitest::clickAt(at);
                      return true;
                    }},
                   {"the row taken", [&, seen = 0]() mutable {
                      if (choice.row < 0 || ++seen < 3) return choice.row < 0;
                      if (choice.row == 1) {
                        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_ALL_ROWS)));
                        platform::ui::saveWindowPicture(dialog, uitest::picturePath("template-selection.png"));
                      } else {
                        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_ALL_ROWS)));
                      }
                      uitest::clickAt(uitest::centreOf(GetDlgItem(dialog, IDOK)));
                      return true;
                    }}});
    host::PrintCommandLine command;
    command.files = {m_mail, second};
    command.table = true;
    command.mode = host::kModePrint;
    command.out = m_out;
    EXPECT_EQ(host::runPrint(command), 0);
    EXPECT_TRUE(person.finished()) << person.waitingFor();
    ASSERT_EQ(platform::browser::writtenPdfs().size(), choice.pdfs);
    if (choice.row == 1) {
      const std::string text = pdfText(platform::browser::writtenPdfs()[0]);
      EXPECT_NE(text.find("A long mail"), std::string::npos) << text;
      EXPECT_NE(text.find("The second mail"), std::string::npos) << text;
    }
  }
}

// Outlook with the add-in connected: a mail selected with a click, Ctrl+P typed in the explorer.
// The add-in's accelerator takes Outlook's command over: GTK's print dialog, "Print to File", and
// Outlook's own print never runs.
TEST_F(PrintWindowsGuiTest, CtrlPInOutlooksExplorerPrintsThroughTheAddIn) {
  QM_REQUIRE_SHARED_DATA();
  const fs::path inbox = dir() / "store" / "Inbox";
  fs::create_directories(inbox);
  fs::copy_file(sharedDir() / "testdata" / "msg" / "aspose__Test_Meeting.msg", inbox / "meeting.msg");
  fs::copy_file(sharedDir() / "testdata" / "msg" / "tika__testMSG.msg", inbox / "tika.msg");
  platform::office::COfficeCommandBars office;
  host::COutlookWindows windows(office);
  platform::outlook::OutlookOptions options;
  windows.prepare(options, true);
  std::unique_ptr<platform::outlook::COutlook> outlook = platform::outlook::COutlook::open(dir() / "store", options);
  ASSERT_TRUE(outlook);
  windows.attach(outlook.get());
  host::CAddInHost addIns;
  std::string error;
  ASSERT_TRUE(addIns.connect(outlook->application(), error)) << error;
  platform::browser::PrintDestination& destination = platform::browser::printDestination();
  destination = {m_out, true, u"addin", {}};
  platform::browser::writtenPdfs().clear();

  const CComPtr<IDispatch> explorer = outlook->openExplorer(outlook->defaultFolder(olFolderInbox));
  const HWND frame = outlook->windowHandle(explorer);
  uitest::waitUntilShown(frame);
  const HWND list = windows.itemListOf(frame);
  RECT where{}, row{};
  GetWindowRect(list, &where);
  ListView_GetItemRect(list, 0, &row, LVIR_BOUNDS);
  ASSERT_TRUE(uitest::clickAt(POINT{where.left + 120, where.top + (row.top + row.bottom) / 2}));
  for (int i = 0; i < 100 && windows.statusOf(frame).rfind(u"Selected: ", 0) != 0; ++i) platform::loop::runFor(30);
  const std::string subject = platform::system::utf16ToUtf8(windows.statusOf(frame).substr(10));
  ASSERT_FALSE(subject.empty());

  Person person({{"GTK's print dialog", printDialog("")}});
  xdotool(at(static_cast<GtkWidget*>(platform::ui::widgetOf(list))) + " key ctrl+p");
  for (int i = 0; i < 600 && platform::browser::writtenPdfs().empty(); ++i) platform::loop::runFor(50);
  person.settle();
  EXPECT_TRUE(person.finished()) << person.waitingFor();
  ASSERT_EQ(platform::browser::writtenPdfs().size(), 1u);
  EXPECT_NE(pdfText(platform::browser::writtenPdfs()[0]).find(subject), std::string::npos);
  EXPECT_EQ(windows.statusOf(frame).find(u"Outlook prints"), std::u16string::npos);
  platform::loop::runFor(200);
  EXPECT_TRUE(platform::ui::saveWindowPicture(frame, uitest::picturePath("outlook-addin-explorer.png")));

  outlook->close(explorer);
  addIns.disconnect();
  destination = {};
}

}  // namespace
