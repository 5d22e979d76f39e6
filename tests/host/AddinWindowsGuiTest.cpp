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
#include "platform/ui/Desktop.h"
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
                               "aspose__Test_Meeting.msg"})
      fs::copy_file(testsupport::sharedDir() / "testdata" / "msg" / sample, inbox / sample);
  }
  void TearDown() override {
    platform::loop::runFor(50);
    platform::registry::resetForTesting();
  }
};

TEST_P(AddinWindowsGuiTest, ExplorerShowsTheAddInsControlsAndItsPreviewButtonOpensThePreview) {
  const std::string version = GetParam();
  platform::office::COfficeCommandBars office;
  host::COutlookWindows windows(office);
  platform::outlook::OutlookOptions options;
  options.version = platform::system::utf8ToUtf16(version + ".0.0.0");
  windows.prepare(options, true);
  std::unique_ptr<platform::outlook::COutlook> outlook = platform::outlook::COutlook::open(dir() / "store", options);
  ASSERT_TRUE(outlook);
  windows.attach(outlook.get());
  {
    host::CAddInHost addIns;
    std::string error;
    ASSERT_TRUE(addIns.connect(outlook->application(), error)) << error;
    for (const CComPtr<IUnknown>& addIn : addIns.objects()) windows.addAddIn(addIn);

    const CComPtr<IDispatch> inbox = outlook->defaultFolder(olFolderInbox);
    const CComPtr<IDispatch> mail = outlook->item(dir() / "store" / "Inbox" /
                                                  "bbot__HTML_mail_with_replyto_and_attachment_and_embedded_image.msg");
    ASSERT_TRUE(mail);
    const CComPtr<IDispatch> explorer = outlook->openExplorer(inbox, {mail.p});
    const HWND frame = outlook->windowHandle(explorer);
    ASSERT_TRUE(frame);
    uitest::waitUntilShown(frame);

    if (version == "16") {
      EXPECT_EQ(windows.ribbonTypeOf(frame), u"Microsoft.Outlook.Explorer");
      ASSERT_TRUE(waitFor([&] { return childTitled(frame, u"Quillmark") != nullptr; }));
      ASSERT_TRUE(uitest::clickAt(uitest::centreOf(childTitled(frame, u"Quillmark"))));
    } else {
      EXPECT_TRUE(windows.ribbonTypeOf(frame).empty());
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

    outlook->close(explorer);
    windows.releaseAddIns();
    addIns.disconnect();
  }
  outlook.reset();
}

INSTANTIATE_TEST_SUITE_P(Versions, AddinWindowsGuiTest, testing::Values("11", "12", "16"));

}  // namespace
