// The selection button of a window's command bars, end to end with real display managers: only
// the clicked window's manager opens the selection dialog, and an explorer only with exactly one
// item selected.

#include <gtest/gtest.h>


#include "engine/SelectionPrint.h"
#include "integration/DisplayManager.h"
#include "platform/mapi/PropTags.h"
#include "platform/office/CommandBars.h"
#include "platform/outlook/Outlook.h"
#include "platform/ui/UserInput.h"
#include "tests/support/MsgWriter.h"
#include "tests/support/TestEnvironment.h"

namespace {

using namespace platform::office;

// The Standard bar's quick Print: a control that belongs to the window whose bars hold it.
CComPtr<IDispatch> controlOf(IDispatch* bars) {
  CComVariant standard;
  const CComVariant name(u"Standard");
  CComDispatchDriver(bars).InvokeArgs(u"Item", DISPATCH_PROPERTYGET, {static_cast<const VARIANT*>(&name), 1}, &standard);
  CComVariant control;
  const CComVariant index(LONG{1});
  if (standard.vt == VT_DISPATCH) CComDispatchDriver(standard.pdispVal).GetPropertyByName(u"Controls", control.Receive());
  CComVariant first;
  if (control.vt == VT_DISPATCH)
    CComDispatchDriver(control.pdispVal).InvokeArgs(u"Item", DISPATCH_PROPERTYGET, {static_cast<const VARIANT*>(&index), 1}, &first);
  return first.vt == VT_DISPATCH ? CComPtr<IDispatch>(first.pdispVal) : nullptr;
}

class SelectionClickTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    const auto inbox = dir() / "store" / "Inbox";
    std::filesystem::create_directories(inbox);
    for (const char* name : {"one", "two"}) {
      testsupport::MsgDescription d;
      d.messageClass = "IPM.Note";
      d.props = {testsupport::unicodeProp(PR_SUBJECT_W, quilstring::fromUtf8(name))};
      ASSERT_TRUE(testsupport::writeMsgFile(d, inbox / (std::string(name) + ".msg")));
    }
    m_outlook = platform::outlook::COutlook::open(dir() / "store");
    ASSERT_TRUE(m_outlook);
    CCDialogHTMLSelection::setDriverForTesting([this](HWND dialog) {
      noteCaption(dialog);
      platform::ui::input::click(GetDlgItem(dialog, IDCANCEL));
    });
  }
  void TearDown() override {
    CCDialogHTMLSelection::setDriverForTesting(nullptr);
    for (auto& manager : m_managers) manager->CloseDown();
    for (IDispatch* bars : m_bars) closeCommandBars(bars);
  }

  void noteCaption(HWND dialog) {
    std::u16string caption(200, u'\0');
    caption.resize(static_cast<std::size_t>(GetWindowTextW(dialog, caption.data(), 200)));
    m_dialogs.push_back(caption);
  }

  // An explorer with the items selected, its bars and its display manager; answers its control.
  CComPtr<IDispatch> explorer(const std::vector<const char*>& selected, CDisplayManager::Ptr& manager) {
    std::vector<CComPtr<IDispatch>> items;
    std::vector<IDispatch*> selection;
    for (const char* name : selected) {
      items.push_back(m_outlook->item(dir() / "store" / "Inbox" / (std::string(name) + ".msg")));
      selection.push_back(items.back());
    }
    const CComPtr<IDispatch> window = m_outlook->openExplorer(m_outlook->folder(u"Inbox"), selection);
    m_bars.push_back(m_office.create(window));
    CComObject<CDisplayManager>* made = nullptr;
    EXPECT_EQ(CComObject<CDisplayManager>::CreateInstance(&made), S_OK);
    manager = CDisplayManager::Ptr(made);
    manager->Initialise(_ExplorerPtr(window));
    m_managers.push_back(manager);
    return controlOf(m_bars.back());
  }

  std::unique_ptr<platform::outlook::COutlook> m_outlook;
  COfficeCommandBars m_office;
  std::vector<CComPtr<IDispatch>> m_bars;
  std::vector<CDisplayManager::Ptr> m_managers;
  std::vector<std::u16string> m_dialogs;
};

TEST_F(SelectionClickTest, OnlyTheClickedExplorerWithOneItemSelectedOpensTheDialog) {
  CDisplayManager::Ptr single, several, none;
  const CComPtr<IDispatch> singleControl = explorer({"two"}, single);
  const CComPtr<IDispatch> severalControl = explorer({"one", "two"}, several);
  const CComPtr<IDispatch> noneControl = explorer({}, none);
  ASSERT_TRUE(singleControl && severalControl && noneControl);

  // Another window's click is not this manager's.
  EXPECT_EQ(single->CommandBarButtonSelectionClick(severalControl, nullptr), S_OK);
  EXPECT_TRUE(m_dialogs.empty());
  // Two items, or none: nothing to choose a part of.
  EXPECT_EQ(several->CommandBarButtonSelectionClick(severalControl, nullptr), S_OK);
  EXPECT_EQ(none->CommandBarButtonSelectionClick(noneControl, nullptr), S_OK);
  EXPECT_TRUE(m_dialogs.empty());
  // Its own window with one item: the dialog on that item.
  EXPECT_EQ(single->CommandBarButtonSelectionClick(singleControl, nullptr), S_OK);
  EXPECT_EQ(m_dialogs, std::vector<std::u16string>{u"Message Selection for : two"});
}

}  // namespace
