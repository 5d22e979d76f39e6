// Outlook's Options dialog on the test run's Xvfb with the add-in loaded through its registration:
// real clicks (XTEST) switch the tabs, and a picture of the add-in's tab is saved to look at.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include <sys/wait.h>

#include "host/AddIns.h"
#include "host/OptionsDialog.h"
#include "host/OutlookWindows.h"
#include "platform/com/Com.h"
#include "platform/loop/MessageLoop.h"
#include "platform/outlook/OutlookInterfaces.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/ui/CommCtrl.h"
#include "platform/ui/Desktop.h"
#include "tests/platform/ui/GuiSupport.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;

bool waitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 100 && !done(); ++i) platform::loop::runFor(30);
  return done();
}

class OptionsGuiTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    std::string why;
    if (!uitest::startGtkFace(why)) GTEST_SKIP() << why;
    ASSERT_EQ(testsupport::runCommand(std::string(QM_QUILLMARK_BINARY) + " --no-gui install", dir()), 0);
    fs::create_directories(dir() / "store" / "Inbox");
    m_windows = std::make_unique<host::COutlookWindows>(m_office);
    platform::outlook::OutlookOptions options;
    m_windows->prepare(options, true);
    m_outlook = platform::outlook::COutlook::open(dir() / "store", options);
    ASSERT_TRUE(m_outlook);
    m_windows->attach(m_outlook.get());
    ASSERT_TRUE(m_addIns.connect(m_outlook->application(), why)) << why;
  }
  void TearDown() override {
    m_addIns.disconnect();
    m_outlook.reset();
    m_windows.reset();
    platform::loop::runFor(50);
  }

  platform::office::COfficeCommandBars m_office;
  std::unique_ptr<host::COutlookWindows> m_windows;
  std::unique_ptr<platform::outlook::COutlook> m_outlook;
  host::CAddInHost m_addIns;
};

TEST_F(OptionsGuiTest, AddInsTabShowsItsPageAndTabsSwitchByClicks) {
  const CComPtr<IDispatch> explorer = m_outlook->openExplorer(m_outlook->defaultFolder(olFolderInbox));
  const HWND frame = m_outlook->windowHandle(explorer);
  ASSERT_TRUE(frame);
  uitest::waitUntilShown(frame);
  bool looked = false;
  m_windows->setOptionsOpened([&](host::COptionsDialog& dialog) {
    platform::loop::post([&] {
      const HWND d = dialog.window();
      uitest::waitUntilShown(d);
      looked = true;
      EXPECT_EQ(dialog.currentPage(), 1u);
      ASSERT_TRUE(uitest::clickAt(uitest::centreOf(dialog.tabButton(0))));
      EXPECT_TRUE(waitFor([&] { return dialog.currentPage() == 0; }));
      ASSERT_TRUE(uitest::clickAt(uitest::centreOf(dialog.tabButton(1))));
      EXPECT_TRUE(waitFor([&] { return dialog.currentPage() == 1; }));
      const HWND page = GetWindow(dialog.container(1), GW_CHILD);
      ASSERT_TRUE(page);
      EXPECT_TRUE(IsWindowVisible(page));
      EXPECT_GE(ListView_GetItemCount(GetDlgItem(page, 204)), 1);
      platform::loop::runFor(300);
      EXPECT_TRUE(platform::ui::saveWindowPicture(d, uitest::picturePath("outlook-options-quillmark-tab.png")));
      ASSERT_TRUE(uitest::clickAt(uitest::centreOf(GetDlgItem(d, IDCANCEL))));
      if (!waitFor([&] { return !IsWindow(d) || !IsWindowVisible(d); }))
        SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
  });
  m_windows->showOptions(frame);
  EXPECT_TRUE(looked);
}

}  // namespace
