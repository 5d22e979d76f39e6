// `quillmark outlook` after `quillmark install`, on the test run's Xvfb: the add-in's toolbar
// (Outlook 11 and 12 explorers) or its ribbon tab (16) in the explorer, pictures saved to look at,
// and a real click (XTEST) on its preview button opens the print preview.

#include <gtest/gtest.h>

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
#include "platform/registry/RegKey.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/system/Text.h"
#include "platform/ui/CommCtrl.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/HtmlView.h"
#include "resources/resource.h"
#include "tests/platform/ui/GuiSupport.h"
#include "tests/support/TestEnvironment.h"

// After the project's headers: X11's macros clash with gtest's names.
#include <gtk/gtk.h>

namespace {

namespace fs = std::filesystem;

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

bool waitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 150 && !done(); ++i) platform::loop::runFor(30);
  return done();
}

// A modal dialog opened by a click runs its own loop inside the click: a timer of that loop finds
// it as the active window by its caption (the printer's hidden dialog is active during a print),
// lets it draw for `ticks` ticks, notes whether it has the control expected (and the rows of that
// list), saves its picture and closes it, whichever it is, so that a wrong dialog fails the test
// instead of hanging it.
struct DialogWatch {
  std::u16string caption;  // how the caption begins
  int controlId = 0;
  int ticks = 3;
  std::string picture;
  bool seen = false, expected = false, saved = false;
  int rows = -1;
  int waited = 0;

  void start(HWND frame) {
    platform::loop::SetTimer(frame, 78, 100, [this](std::uintptr_t) {
      const HWND dialog = GetActiveWindow();
      if (seen || !dialog || text(dialog).rfind(caption, 0) != 0 || !uitest::settled(dialog) || ++waited < ticks) return;
      seen = true;
      const HWND control = GetDlgItem(dialog, controlId);
      expected = control != nullptr;
      // The selection dialog's browser is expected with the view that shows the body.
      if (control && controlId == IDC_SELECTION_BROWSER) expected = platform::ui::htmlViewOf(control) != nullptr;
      if (control && controlId != IDC_SELECTION_BROWSER) rows = ListView_GetItemCount(control);
      saved = platform::ui::saveWindowPicture(dialog, picture);
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
  }
  static void stop(HWND frame) { platform::loop::KillTimer(frame, 78); }
};

class AddinWindowsGuiTest : public testsupport::IsolatedTest, public testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    std::string why;
    if (!uitest::startGtkFace(why)) GTEST_SKIP() << why;
    QM_REQUIRE_SHARED_DATA();
    platform::registry::resetForTesting();
    ASSERT_TRUE(host::install({}).ok);
    // The buttons on a toolbar of their own, where a click reaches them without a menu.
    for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      CRegKey key;
      ASSERT_EQ(key.Create(hive, u"SOFTWARE\\Corvessa\\QuillMark For Outlook"), ERROR_SUCCESS);
      key.SetDWORDValue(u"Create Toolbar", 1);
      key.SetDWORDValue(u"Buttons in Menu", 0);
      key.SetDWORDValue(u"Display QuillMark preview button", 1);
    }
    const fs::path inbox = dir() / "store" / "Inbox";
    fs::create_directories(inbox);
    for (const char* sample : {"bbot__HTML_mail_with_replyto_and_attachment_and_embedded_image.msg",
                               "aspose__Test_Meeting.msg", "hht__attachmentFiles.msg",
                               "poi__attachment_msg_inlineImg.msg"})
      fs::copy_file(testsupport::sharedDir() / "testdata" / "msg" / sample, inbox / sample);
  }
  void TearDown() override {
    platform::loop::runFor(50);
    platform::registry::resetForTesting();
  }

  // Outlook of a version with its windows and the installed add-in connected, as `quillmark outlook`
  // starts; it lets the add-in go and closes its store when it goes.
  struct Session {
    platform::office::COfficeCommandBars office;
    host::COutlookWindows windows{office};
    std::unique_ptr<platform::outlook::COutlook> outlook;
    host::CAddInHost addIns;
    ~Session() {
      windows.releaseAddIns();
      addIns.disconnect();
      outlook.reset();
    }
  };
  void start(Session& session, const std::u16string& version) {
    platform::outlook::OutlookOptions options;
    options.version = version;
    session.windows.prepare(options, true);
    session.outlook = platform::outlook::COutlook::open(dir() / "store", options);
    ASSERT_TRUE(session.outlook);
    session.windows.attach(session.outlook.get());
    std::string error;
    ASSERT_TRUE(session.addIns.connect(session.outlook->application(), error)) << error;
    for (const CComPtr<IUnknown>& addIn : session.addIns.objects()) session.windows.addAddIn(addIn);
  }
};

TEST_P(AddinWindowsGuiTest, ExplorerShowsTheAddInsControlsAndItsPreviewButtonOpensThePreview) {
  const std::string version = GetParam();
  Session session;
  start(session, platform::system::utf8ToUtf16(version + ".0.0.0"));
  if (HasFatalFailure()) return;
  {

    const CComPtr<IDispatch> inbox = session.outlook->defaultFolder(olFolderInbox);
    const CComPtr<IDispatch> mail = session.outlook->item(dir() / "store" / "Inbox" /
                                                  "bbot__HTML_mail_with_replyto_and_attachment_and_embedded_image.msg");
    ASSERT_TRUE(mail);
    const CComPtr<IDispatch> explorer = session.outlook->openExplorer(inbox, {mail.p});
    const HWND frame = session.outlook->windowHandle(explorer);
    ASSERT_TRUE(frame);
    uitest::waitUntilShown(frame);

    if (version == "16") {
      EXPECT_EQ(session.windows.ribbonTypeOf(frame), u"Microsoft.Outlook.Explorer");
      ASSERT_TRUE(waitFor([&] { return childTitled(frame, u"Quillmark") != nullptr; }));
      ASSERT_TRUE(uitest::clickAt(uitest::centreOf(childTitled(frame, u"Quillmark"))));
    } else {
      EXPECT_TRUE(session.windows.ribbonTypeOf(frame).empty());
    }
    // The explorer's manager builds its toolbar on a pulse tick once the window shows.
    ASSERT_TRUE(waitFor([&] { return childTitled(frame, u"Print Preview...") != nullptr; })) << "no preview button";
    platform::loop::runFor(300);
    EXPECT_TRUE(platform::ui::saveWindowPicture(frame, uitest::picturePath("addin-explorer-" + version + ".png")));

    // The preview runs its own loop inside the click: a timer of the loop watches for its window.
    bool previewShown = false;
    platform::loop::SetTimer(frame, 77, 100, [&](std::uintptr_t) {
      GtkWidget* preview = uitest::mappedToplevel("Print Preview");
      if (!preview || gtk_widget_get_allocated_width(preview) < 100 || previewShown) return;
      previewShown = true;
      gtk_window_close(GTK_WINDOW(preview));
    });
    ASSERT_TRUE(uitest::clickAt(uitest::centreOf(childTitled(frame, u"Print Preview..."))));
    EXPECT_TRUE(waitFor([&] { return previewShown && !uitest::mappedToplevel("Print Preview"); }));
    platform::loop::KillTimer(frame, 77);

    session.outlook->close(explorer);
  }
}

// The attachments button with a sample whose three pictures are attached opens the stored view's
// dialog (112 on 11, 135 on 16) on them; the selection button with one mail selected opens 127.
class AddinDialogsGuiTest : public AddinWindowsGuiTest {};

TEST_P(AddinDialogsGuiTest, AttachmentsAndSelectionButtonsOpenTheirDialogs) {
  const std::string version = GetParam();
  const bool selectionView = version == "11";
  for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    CRegKey key;
    ASSERT_EQ(key.Create(hive, u"SOFTWARE\\Corvessa\\QuillMark For Outlook"), ERROR_SUCCESS);
    key.SetDWORDValue(u"Attachments Selection View", selectionView ? 1 : 0);
  }
  Session session;
  start(session, platform::system::utf8ToUtf16(version + ".0.0.0"));
  if (HasFatalFailure()) return;
  {

    const CComPtr<IDispatch> mail = session.outlook->item(dir() / "store" / "Inbox" / "hht__attachmentFiles.msg");
    ASSERT_TRUE(mail);
    const CComPtr<IDispatch> explorer = session.outlook->openExplorer(session.outlook->defaultFolder(olFolderInbox), {mail.p});
    const HWND frame = session.outlook->windowHandle(explorer);
    ASSERT_TRUE(frame);
    uitest::waitUntilShown(frame);
    if (version == "16") {
      ASSERT_TRUE(waitFor([&] { return childTitled(frame, u"Quillmark") != nullptr; }));
      ASSERT_TRUE(uitest::clickAt(uitest::centreOf(childTitled(frame, u"Quillmark"))));
    }
    ASSERT_TRUE(waitFor([&] { return childTitled(frame, u"Quickprint Attachments...") != nullptr; }));
    platform::loop::runFor(300);

    DialogWatch attachments;
    attachments.caption = u"Print Attachments";
    attachments.controlId = selectionView ? IDC_ATTACHMENTS_LIST : IDC_COMPLEX_LIST;
    attachments.picture = uitest::picturePath("addin-attachments-" + std::string(selectionView ? "112" : "135") +
                                              "-outlook-" + version + ".png");
    attachments.start(frame);
    ASSERT_TRUE(uitest::clickAt(uitest::centreOf(childTitled(frame, u"Quickprint Attachments..."))));
    EXPECT_TRUE(waitFor([&] { return attachments.seen && GetActiveWindow() == frame; }));
    DialogWatch::stop(frame);
    EXPECT_TRUE(attachments.expected) << "not the dialog of the stored view";
    EXPECT_TRUE(attachments.saved);
    EXPECT_EQ(attachments.rows, 3);  // jpg.jpg, png.png, tif.tif

    // A mail with paragraphs to choose from.
    const CComPtr<IDispatch> paragraphs = session.outlook->item(dir() / "store" / "Inbox" / "poi__attachment_msg_inlineImg.msg");
    ASSERT_EQ(session.outlook->select(explorer, {paragraphs.p}), S_OK);
    DialogWatch selection;
    selection.caption = u"Message Selection";
    selection.controlId = IDC_SELECTION_BROWSER;
    selection.ticks = 15;  // the page draws in the HTML view
    selection.picture = uitest::picturePath("addin-selection-127-outlook-" + version + ".png");
    selection.start(frame);
    ASSERT_TRUE(childTitled(frame, u"Print Selection ..."));
    ASSERT_TRUE(uitest::clickAt(uitest::centreOf(childTitled(frame, u"Print Selection ..."))));
    EXPECT_TRUE(waitFor([&] { return selection.seen && GetActiveWindow() == frame; }));
    DialogWatch::stop(frame);
    EXPECT_TRUE(selection.expected);
    EXPECT_TRUE(selection.saved);

    // The preview of the mail with attachments: its attachments button opens the same dialog.
    ASSERT_EQ(session.outlook->select(explorer, {mail.p}), S_OK);
    platform::loop::runFor(300);
    DialogWatch fromPreview;
    fromPreview.caption = attachments.caption;
    fromPreview.controlId = attachments.controlId;
    fromPreview.picture = uitest::picturePath("addin-preview-attachments-outlook-" + version + ".png");
    fromPreview.start(frame);
    bool pressed = false, attachmentsEnabled = false, previewClosed = false;
    int ticksSincePressed = 0;
    platform::loop::SetTimer(frame, 77, 100, [&](std::uintptr_t) {
      GtkWidget* preview = uitest::mappedToplevel("Print Preview");
      if (!preview || gtk_widget_get_allocated_width(preview) < 100) return;
      GtkWidget* button = uitest::widgetNamed(preview, "attachments");
      if (!pressed && button) {
        pressed = true;
        attachmentsEnabled = gtk_widget_is_sensitive(button);
        uitest::xdotoolAsync(uitest::xdotoolAt(button) + " click 1");
      } else if (pressed && !previewClosed && ((fromPreview.seen && text(GetActiveWindow()).rfind(fromPreview.caption, 0) != 0) ||
                                               ++ticksSincePressed > 100)) {
        previewClosed = true;
        gtk_window_close(GTK_WINDOW(preview));
      }
    });
    ASSERT_TRUE(uitest::clickAt(uitest::centreOf(childTitled(frame, u"Print Preview..."))));
    EXPECT_TRUE(waitFor([&] { return previewClosed && !uitest::mappedToplevel("Print Preview"); }));
    platform::loop::KillTimer(frame, 77);
    DialogWatch::stop(frame);
    EXPECT_TRUE(attachmentsEnabled);
    EXPECT_TRUE(fromPreview.expected) << "not the dialog of the stored view";
    EXPECT_TRUE(fromPreview.saved);
    EXPECT_EQ(fromPreview.rows, 3);

    // A preview leaves nothing behind that would keep the selection dialog from showing the body.
    ASSERT_EQ(session.outlook->select(explorer, {paragraphs.p}), S_OK);
    DialogWatch afterPreview = selection;
    afterPreview.seen = afterPreview.expected = afterPreview.saved = false;
    afterPreview.waited = 0;
    afterPreview.picture = uitest::picturePath("addin-selection-after-preview-outlook-" + version + ".png");
    afterPreview.start(frame);
    ASSERT_TRUE(uitest::clickAt(uitest::centreOf(childTitled(frame, u"Print Selection ..."))));
    EXPECT_TRUE(waitFor([&] { return afterPreview.seen && GetActiveWindow() == frame; }))
        << "no selection dialog after a preview";
    DialogWatch::stop(frame);
    EXPECT_TRUE(afterPreview.expected);

    session.outlook->close(explorer);
  }
}

// Outlook 12 draws command bars in explorers but a ribbon in inspectors: an item opened with a
// double-click shows the add-in's tab.
class AddinInspectorGuiTest : public AddinWindowsGuiTest {};

TEST_P(AddinInspectorGuiTest, AnInspectorOpenedByDoubleClickShowsTheAddInsTab) {
  Session session;
  start(session, u"12.0.0.0");
  if (HasFatalFailure()) return;
  {

    const CComPtr<IDispatch> explorer = session.outlook->openExplorer(session.outlook->defaultFolder(olFolderInbox));
    const HWND frame = session.outlook->windowHandle(explorer);
    ASSERT_TRUE(frame);
    uitest::waitUntilShown(frame);
    const HWND list = session.windows.itemListOf(frame);
    ASSERT_TRUE(list);
    RECT where{}, row{};
    GetWindowRect(list, &where);
    ASSERT_TRUE(ListView_GetItemRect(list, 0, &row, LVIR_BOUNDS));
    const POINT first{where.left + 120, where.top + (row.top + row.bottom) / 2};
    ASSERT_TRUE(uitest::clickAt(first));
    ASSERT_TRUE(waitFor([&] { return session.windows.statusOf(frame).rfind(u"Selected: ", 0) == 0; }));
    // The pointer is on the row already (a move there with --sync would wait for a motion that never comes).
    ASSERT_TRUE(uitest::xdotool("click --repeat 2 --delay 80 1"));
    CComPtr<IDispatch> inspector;
    ASSERT_TRUE(waitFor([&] {
      CComVariant active;
      CComDispatchDriver(session.outlook->application()).GetPropertyByName(u"ActiveInspector", &active);
      if (active.vt == VT_DISPATCH && active.pdispVal) inspector = active.pdispVal;
      return inspector != nullptr;
    })) << "no inspector opened";
    const HWND shown = session.outlook->windowHandle(inspector);
    ASSERT_TRUE(shown);
    uitest::waitUntilShown(shown);
    EXPECT_FALSE(session.windows.ribbonTypeOf(shown).empty());
    ASSERT_TRUE(waitFor([&] { return childTitled(shown, u"Quillmark") != nullptr; })) << "no add-in tab";
    ASSERT_TRUE(uitest::clickAt(uitest::centreOf(childTitled(shown, u"Quillmark"))));
    EXPECT_TRUE(waitFor([&] { return childTitled(shown, u"Print Preview...") != nullptr; }));
    platform::loop::runFor(300);
    EXPECT_TRUE(platform::ui::saveWindowPicture(shown, uitest::picturePath("addin-inspector-12.png")));

    session.outlook->close(inspector);
    session.outlook->close(explorer);
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, AddinWindowsGuiTest, testing::Values("11", "12", "16"));
// Outlook 12's explorer has the command bars of 11.
INSTANTIATE_TEST_SUITE_P(Versions, AddinDialogsGuiTest, testing::Values("11", "16"));
INSTANTIATE_TEST_SUITE_P(Versions, AddinInspectorGuiTest, testing::Values("12"));

}  // namespace
