// The attachment dialogs 112 and 135 on the test run's Xvfb, filled from real samples with
// attachments by the window's attachment service, saved as pictures for a person to look at.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "engine/AttachmentPrint.h"
#include "foundation/Settings.h"
#include "platform/loop/MessageLoop.h"
#include "platform/mapi/MsgFile.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/ui/Desktop.h"
#include "resources/resource.h"
#include "tests/engine/MessageFixtures.h"
#include "tests/platform/ui/GuiSupport.h"
#include "tests/support/FakeShell.h"
#include "tests/support/TestEnvironment.h"

namespace {

class AttachmentDialogsGuiTest : public testsupport::IsolatedTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    std::string why;
    if (!uitest::startGtkFace(why)) GTEST_SKIP() << "GUI test skipped: " << why;
    platform::registry::resetForTesting();
    CSettings::resetForTesting();
    NUtils::resetTempPathForTesting();
  }
  void TearDown() override {
    CSettings::resetForTesting();
    platform::registry::resetForTesting();
  }
};

TEST_P(AttachmentDialogsGuiTest, ShowsTheAttachmentsOfRealSamples) {
  QM_REQUIRE_SHARED_DATA();
  const bool selectionView = GetParam();
  CSettings::instance().setAttachmentsSelectionView(selectionView);
  std::vector<std::shared_ptr<COutlookItem>> items;
  std::vector<enginetest::FakePtr> fakes;
  for (const char* sample : {"hht__attachmentFiles.msg", "tika__testMSG_att_doc.msg"}) {
    CComPtr<IMessage> message;
    ASSERT_EQ(platform::mapi::openMsgFile(testsupport::sharedDir() / "testdata" / "msg" / sample, message.Receive()), S_OK);
    fakes.push_back(enginetest::itemOf(message));
    items.push_back(std::make_shared<COutlookItem>(fakes.back()));
  }
  const int listId = selectionView ? IDC_ATTACHMENTS_LIST : IDC_COMPLEX_LIST;
  const std::string picture =
      uitest::picturePath(selectionView ? "attachments-112-selection-view.png" : "attachments-135-list-view.png");
  testsupport::FakeShell shell;
  int rows = 0;
  bool saved = false;
  platform::loop::post([&] {
    const HWND shown = GetActiveWindow();
    uitest::waitUntilShown(shown);
    const HWND list = GetDlgItem(shown, listId);
    rows = ListView_GetItemCount(list);
    // Two rows chosen, as a user would before printing.
    for (int row : {0, 3}) {
      if (selectionView) ListView_SetItemState(list, row, LVIS_SELECTED, LVIS_SELECTED);
      else ListView_SetCheckState(list, row, TRUE);
    }
    uitest::waitUntilShown(shown);
    saved = platform::ui::saveWindowPicture(shown, picture);
    SendMessageW(shown, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  });
  EXPECT_TRUE(NAttachmentPrint::printAttachmentsOfItems(items, nullptr));
  EXPECT_EQ(rows, 5);  // jpg.jpg, png.png, tif.tif, test-unicode.doc, pj1.txt
  EXPECT_TRUE(saved);
  EXPECT_GT(std::filesystem::file_size(picture), 1000u);
  EXPECT_TRUE(shell.requests().empty());
}

INSTANTIATE_TEST_SUITE_P(Views, AttachmentDialogsGuiTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Dialog112" : "Dialog135"; });

}  // namespace
