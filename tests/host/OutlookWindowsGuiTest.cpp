// `quillmark outlook`'s windows on the test run's Xvfb, driven by real input (XTEST): a click
// selects a mail, Ctrl+P reaches the window as Outlook's accelerator, a double click opens an
// inspector; pictures of both windows are saved to look at.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "host/OutlookWindows.h"
#include "platform/com/Com.h"
#include "platform/loop/MessageLoop.h"
#include "platform/outlook/OutlookInterfaces.h"
#include "platform/system/Text.h"
#include "platform/ui/CommCtrl.h"
#include "platform/ui/Desktop.h"
#include "tests/platform/ui/GuiSupport.h"
#include "tests/host/OutlookWindowsFixture.h"
#include "tests/support/TestEnvironment.h"

// After the project's headers: X11's macros clash with gtest's names.
#include <gtk/gtk.h>

namespace {

namespace fs = std::filesystem;

LONG countOf(IDispatch* from, const char16_t* collection) {
  CComVariant value;
  CComDispatchDriver(from).GetPropertyByPath(std::u16string(collection) + u".Count", &value);
  return value.vt == VT_I4 ? value.lVal : -1;
}

bool waitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 100 && !done(); ++i) platform::loop::runFor(30);
  return done();
}

// The screen point in the middle of a list row.
POINT rowPoint(HWND list, int row) {
  RECT where{}, bounds{};
  GetWindowRect(list, &where);
  ListView_GetItemRect(list, row, &bounds, LVIR_BOUNDS);
  return POINT{where.left + 120, where.top + (bounds.top + bounds.bottom) / 2};
}

class OutlookWindowsGuiTest : public OutlookWindowsFixture {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    std::string why;
    if (!uitest::startGtkFace(why)) GTEST_SKIP() << why;
    openStore();
  }
  void TearDown() override {
    OutlookWindowsFixture::TearDown();
    platform::loop::runFor(50);
  }
};

TEST_F(OutlookWindowsGuiTest, ClickSelectsCtrlPReachesTheWindowAndDoubleClickOpensAnInspector) {
  const CComPtr<IDispatch> explorer = m_outlook->openExplorer(m_outlook->defaultFolder(olFolderInbox));
  const HWND frame = m_outlook->windowHandle(explorer);
  ASSERT_TRUE(frame);
  uitest::waitUntilShown(frame);
  const HWND list = m_windows->itemListOf(frame);
  ASSERT_EQ(ListView_GetItemCount(list), 3);

  ASSERT_TRUE(uitest::clickAt(rowPoint(list, 1)));
  ASSERT_TRUE(waitFor([&] { return countOf(explorer, u"Selection") == 1; }));
  const std::u16string status = m_windows->statusOf(frame);
  EXPECT_EQ(status.rfind(u"Selected: ", 0), 0u);
  const std::u16string subject = status.substr(10);

  auto* top = static_cast<GtkWidget*>(platform::ui::widgetOf(frame));
  ASSERT_TRUE(uitest::xdotool(uitest::xdotoolAt(static_cast<GtkWidget*>(platform::ui::widgetOf(list))) + " key ctrl+p"));
  EXPECT_TRUE(waitFor([&] { return m_windows->statusOf(frame) == u"Outlook prints \"" + subject + u"\" after its Print dialog"; }))
      << platform::system::utf16ToUtf8(m_windows->statusOf(frame));
  platform::loop::runFor(200);
  EXPECT_TRUE(platform::ui::saveWindowPicture(frame, uitest::picturePath("outlook-explorer.png")));
  ASSERT_TRUE(top);

  const POINT row = rowPoint(list, 1);
  ASSERT_TRUE(uitest::xdotool("mousemove --sync " + std::to_string(row.x) + " " + std::to_string(row.y) +
                              " click --repeat 2 --delay 80 1"));
  ASSERT_TRUE(waitFor([&] { return countOf(m_outlook->application(), u"Inspectors") == 1; }));
  CComVariant inspector;
  CComDispatchDriver(m_outlook->application()).GetPropertyByName(u"ActiveInspector", &inspector);
  ASSERT_EQ(inspector.vt, VT_DISPATCH);
  const HWND inspectorFrame = m_outlook->windowHandle(inspector.pdispVal);
  ASSERT_TRUE(inspectorFrame);
  uitest::waitUntilShown(inspectorFrame);
  platform::loop::runFor(300);
  EXPECT_TRUE(platform::ui::saveWindowPicture(inspectorFrame, uitest::picturePath("outlook-inspector.png")));

  m_outlook->close(inspector.pdispVal);
  m_outlook->close(explorer);
  EXPECT_FALSE(IsWindow(frame));
}

}  // namespace
