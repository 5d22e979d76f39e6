#include "platform/ui/Ui.h"
#include "platform/ui/WinUser.h"

#include <gtest/gtest.h>

#include "tests/support/ScriptedUi.h"
#include "tests/support/TestEnvironment.h"

namespace {

class UiTest : public testsupport::IsolatedTest {
 protected:
  void TearDown() override { SetActiveWindow(nullptr); }
};

HWND window(std::uintptr_t value) { return reinterpret_cast<HWND>(value); }

TEST_F(UiTest, MessageBoxAnswersOnlyItsOwnButtons) {
  testsupport::ScriptedUi ui;
  ui.queueMessageBoxAnswer(IDYES);
  ui.queueMessageBoxAnswer(IDRETRY);  // not a button of MB_YESNOCANCEL
  EXPECT_EQ(MessageBoxW(window(7), u"Add support?", u"Quillmark", MB_YESNO | MB_ICONQUESTION), IDYES);
  EXPECT_EQ(MessageBoxW(nullptr, u"Text", nullptr, MB_YESNOCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxW(nullptr, u"Text", u"C", 0x000F), 0);  // invalid type, nothing shown
  ASSERT_EQ(ui.messageBoxes().size(), 2u);
  EXPECT_EQ(ui.messageBoxes()[0].owner, window(7));
  EXPECT_EQ(ui.messageBoxes()[0].type, 0x24u);
  EXPECT_EQ(ui.messageBoxes()[1].caption, u"Error");
}

TEST_F(UiTest, OpenFileNameFillsTheBufferOrReportsWhyNot) {
  testsupport::ScriptedUi ui;
  char16_t file[MAX_PATH] = u"start.htm";
  const char16_t filter[] = u"HTML Files (*.htm,*.html)\0*.htm;*.html\0Logs\0*.log\0";
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.lpstrFilter = filter;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrInitialDir = u"/home/u/t/";
  dialog.lpstrTitle = u"Select";
  dialog.Flags = OFN_FILEMUSTEXIST;

  ui.queueFile(u"/home/u/t/page.v2.htm");
  ASSERT_TRUE(GetOpenFileNameW(&dialog));
  EXPECT_EQ(std::u16string(file), u"/home/u/t/page.v2.htm");
  EXPECT_EQ(dialog.nFileOffset, 10);
  EXPECT_EQ(dialog.nFileExtension, 18);
  const platform::ui::OpenFileRequest& asked = ui.fileRequests().at(0);
  ASSERT_EQ(asked.filters.size(), 2u);
  EXPECT_EQ(asked.filters[0].patterns, u"*.htm;*.html");
  EXPECT_EQ(asked.filters[1].description, u"Logs");
  EXPECT_EQ(asked.fileName, u"start.htm");
  EXPECT_EQ(asked.initialDir, u"/home/u/t/");
  EXPECT_EQ(asked.flags, OFN_FILEMUSTEXIST);

  ui.queueFile(std::nullopt);
  EXPECT_FALSE(GetOpenFileNameW(&dialog));
  EXPECT_EQ(CommDlgExtendedError(), 0u);
  EXPECT_EQ(std::u16string(file), u"/home/u/t/page.v2.htm");

  ui.queueFile(u"/" + std::u16string(300, u'a'));
  EXPECT_FALSE(GetOpenFileNameW(&dialog));
  EXPECT_EQ(CommDlgExtendedError(), FNERR_BUFFERTOOSMALL);

  dialog.lStructSize = sizeof dialog - 8;
  EXPECT_FALSE(GetOpenFileNameW(&dialog));
  EXPECT_EQ(CommDlgExtendedError(), CDERR_STRUCTSIZE);
}

TEST_F(UiTest, ActiveWindowIsARealTopLevelWindow) {
  EXPECT_EQ(GetActiveWindow(), nullptr);
  EXPECT_EQ(SetActiveWindow(window(5)), nullptr);  // not a window: nothing changes
  EXPECT_EQ(GetActiveWindow(), nullptr);
  const HWND top = CreateWindowExW(0, WC_DIALOG, u"Explorer", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
  const HWND child = CreateWindowExW(0, u"Button", u"OK", WS_CHILD, 0, 0, 10, 10, top, nullptr, nullptr, nullptr);
  EXPECT_EQ(SetActiveWindow(child), nullptr);
  EXPECT_EQ(GetActiveWindow(), top);
  DestroyWindow(top);
  EXPECT_EQ(GetActiveWindow(), nullptr);
}

}  // namespace
