// The editor dialog under the GTK face on the test run's Xvfb, driven with real input (XTEST
// clicks and keys at the widgets' screen positions), ending as it does headless.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <vector>

#include "platform/loop/MessageLoop.h"
#include "platform/ui/Desktop.h"
#include "tests/platform/ui/EditorDialog.h"
#include "tests/platform/ui/GuiSupport.h"
#include "tests/support/TestEnvironment.h"

namespace {

using namespace uitest;

class GtkDialogTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    testsupport::IsolatedTest::SetUp();
    std::string why;
    if (!startGtkFace(why)) GTEST_SKIP() << "GUI test skipped: " << why;
  }
  HWND item(int id) const { return GetDlgItem(m_state.dialog, id); }
  POINT rowPoint(int row) const {
    RECT list{};
    GetWindowRect(item(kList), &list);
    RECT r{};
    ListView_GetItemRect(item(kList), row, &r, LVIR_LABEL);
    return POINT{list.left + r.left + 30, list.top + (r.top + r.bottom) / 2};
  }
  void focusDialog() { xdotool("search --name '^Templates$' windowfocus --sync"); }
  void type(HWND edit, const std::string& text) {
    clickAt(centreOf(edit));
    xdotool("type --delay 30 '" + text + "'");
  }

  EditorState m_state;
};

TEST_F(GtkDialogTest, EditorDrivenWithRealInputEndsAsItDoesHeadless) {
  m_state.rows = {u"Memo", u"Letter"};
  std::vector<std::function<void()>> steps = {
      [&] {
        platform::ui::saveWindowPicture(m_state.dialog, picturePath("editor-start.png"));
        focusDialog();
        type(item(kName), "Invoice");
      },
      [&] { clickAt(centreOf(item(kAdd))); },
      [&] { clickAt(rowPoint(0)); },
      [&] { type(item(kName), "Note"); },
      [&] { clickAt(centreOf(item(kRename))); },
      [&] {
        clickAt(rowPoint(1));
        xdotool("key Delete");
      },
      [&] {
        clickAt(rowPoint(1));
        RECT arrows{};
        GetWindowRect(item(kUpDown), &arrows);
        clickAt(POINT{(arrows.left + arrows.right) / 2, arrows.top + (arrows.bottom - arrows.top) / 4});
      },
      [&] { type(item(kName), "Draft"); },
      [&] { xdotool("key Return"); },  // OK refused: a message box comes up
      [&] { xdotool("search --name '^Template list$' windowfocus --sync key Return"); },
      [&] {
        focusDialog();
        clickAt(centreOf(item(kAdd)));
      },
      [&] { clickAt(rowPoint(1), 3); },  // the context menu
      [&] { xdotool("key Down Down Return"); },
      [&] { clickAt(centreOf(item(kAtOnce))); },
      [&] {
        platform::ui::saveWindowPicture(m_state.dialog, picturePath("editor-end.png"));
        focusDialog();
        xdotool("key Return");
      },
  };
  std::size_t next = 0;
  const HWND driver = CreateWindowExW(0, u"Static", u"driver", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  // One step per tick; the ticks go on inside the message box's and the menu's nested loops.
  platform::loop::SetTimer(driver, 1, 400, [&](std::uintptr_t) {
    if (next < steps.size() && m_state.dialog) steps[next++]();
  });
  const INT_PTR result = DialogBoxIndirectParamW(nullptr, &editorTemplate(), nullptr, editorProc, reinterpret_cast<LPARAM>(&m_state));
  platform::loop::KillTimer(driver, 1);
  DestroyWindow(driver);

  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(next, steps.size());
  EXPECT_EQ(m_state.rows, (std::vector<std::u16string>{u"Invoice", u"Draft"}));
  EXPECT_TRUE(m_state.atOnce);
  EXPECT_EQ(m_state.refusals, 1);
  EXPECT_EQ(m_state.menusShown, 1);
}

TEST_F(GtkDialogTest, DialogPictureIsSaved) {
  const std::string path = picturePath("editor-template.png");
  ASSERT_TRUE(saveDialogPicture(nullptr, editorTemplate(), path));
  EXPECT_GT(std::filesystem::file_size(path), 1000u);
}

}  // namespace
