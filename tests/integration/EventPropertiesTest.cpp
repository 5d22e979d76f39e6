// The origin of a command-bar click, end to end: Outlook's command bars in two explorers and two
// inspectors, a Click sink per window acting as its display manager, every click reaching them all.

#include "integration/EventProperties.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "platform/com/Com.h"
#include "platform/mapi/PropTags.h"
#include "platform/office/CommandBars.h"
#include "platform/outlook/Outlook.h"
#include "tests/integration/CommandBarsSupport.h"
#include "tests/support/MsgWriter.h"
#include "tests/support/TestEnvironment.h"

namespace {

using namespace platform::office;
using testsupport::findControl;

// A window's display manager as far as clicks go: it notes each click's mode and whether the
// click is its window's, and takes its own window's clicks over.
class CManagerSink : public CComObjectRootEx<CComSingleThreadModel>,
                     public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CManagerSink)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(DIID__CommandBarButtonEvents, IDispatch)
  END_COM_MAP()

  CManagerSink() {
    dispatchTable().method(kDispidClick, u"Click", [this](const platform::com::CDispArgs& a, VARIANT*) {
      if (a[0].vt != VT_DISPATCH || a[1].vt != (VT_BOOL | VT_BYREF)) return E_INVALIDARG;
      const CEventProperties origin(CommandBarControlPtr(a[0].pdispVal));
      const bool mine = origin.emanatesFrom(_ExplorerPtr(window)) || origin.emanatesFrom(_InspectorPtr(window));
      seen.emplace_back(origin.m_mode, mine);
      if (mine) *a[1].pboolVal = VARIANT_TRUE;
      return S_OK;
    }, 2, 2);
  }

  CComPtr<IDispatch> window;
  std::vector<std::pair<int, bool>> seen;
};


class EventPropertiesTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    const auto inbox = dir() / "store" / "Inbox";
    std::filesystem::create_directories(inbox);
    testsupport::MsgDescription d;
    d.messageClass = "IPM.Note";
    d.props = {testsupport::unicodeProp(PR_SUBJECT_W, u"Hi")};
    ASSERT_TRUE(testsupport::writeMsgFile(d, inbox / "one.msg") && testsupport::writeMsgFile(d, inbox / "two.msg"));
    m_outlook = platform::outlook::COutlook::open(dir() / "store");
    ASSERT_TRUE(m_outlook);
    const CComPtr<IDispatch> items[] = {m_outlook->item(inbox / "one.msg"), m_outlook->item(inbox / "two.msg")};
    ASSERT_TRUE(items[0] && items[1]);
    // Two explorers and two inspectors: each manager must tell its window from one of its kind.
    for (int i : {0, 1}) m_windows.push_back(m_outlook->openExplorer(m_outlook->folder(u"Inbox"), {items[i].p}));
    for (int i : {0, 1}) m_windows.push_back(m_outlook->openInspector(items[i]));
  }
  void TearDown() override {
    m_connections.clear();
    for (IDispatch* bars : m_bars) closeCommandBars(bars);
  }

  // Outlook's bars with the add-in's button on the Standard bar (named as given), in the File menu
  // and on its own toolbar; the manager advised on one Print, Print Preview, quick Print and
  // own button, as a display manager advises.
  CComPtr<CComObject<CManagerSink>> attach(IDispatch* window, const char16_t* standardName) {
    CommandBarsLayout layout = outlookCommandBars();
    ControlLayout own;
    own.caption = u"Print Pre&view";
    own.tag = u"QuillMark.Preview";
    layout.bars[0].controls[0].controls.push_back(own);  // File > own
    layout.bars[1].name = standardName;
    layout.bars[1].controls.push_back(own);
    layout.bars.push_back(layout.bars[1]);
    layout.bars.back().name = u"Quillmark";
    layout.bars.back().builtIn = false;
    layout.bars.back().controls = {own};
    m_bars.push_back(m_office.create(window, layout));
    auto sink = CComObject<CManagerSink>::Make();
    sink->window = window;
    for (LONG id : {kIdPrint, kIdPrintPreview, kIdQuickPrint, kIdCustom}) {
      CComPtr<IDispatch> control = findControl(m_bars.back(), standardName, id);
      if (!control) control = findControl(m_bars.back(), u"Menu Bar", id);
      m_connections.emplace_back(control, sink->GetUnknown(), DIID__CommandBarButtonEvents);
    }
    return sink;
  }

  std::unique_ptr<platform::outlook::COutlook> m_outlook;
  std::vector<CComPtr<IDispatch>> m_windows, m_bars;
  COfficeCommandBars m_office;
  std::vector<platform::com::CEventConnection> m_connections;
};

TEST_F(EventPropertiesTest, OnlyTheClickedWindowTakesItsClickOverInTheModeOfItsPlace) {
  const CComPtr<CComObject<CManagerSink>> managers[] = {
      attach(m_windows[0], u"Standard"), attach(m_windows[1], u"STANDARD"), attach(m_windows[2], u"Standard"),
      attach(m_windows[3], u"STANDARD")};
  int outlookCommands = 0;
  m_office.setDefaultCommand([&](IDispatch*, LONG) { ++outlookCommands; });
  const struct {
    int window;  // explorers 0 and 1, inspectors 2 and 3
    const char16_t* bar;
    LONG id;
    int mode;
  } cases[] = {
      {0, u"Menu Bar", kIdPrint, 2},          {0, u"Menu Bar", kIdPrintPreview, 3},
      {0, u"Standard", kIdQuickPrint, 1},     {1, u"Context Menu", kIdQuickPrint, 1},
      {1, u"STANDARD", kIdQuickPrint, 1},     {0, u"Standard", kIdCustom, 4},
      {1, u"Menu Bar", kIdCustom, 4},         {0, u"Quillmark", kIdCustom, 4},
      {2, u"Menu Bar", kIdPrint, 2},          {2, u"Menu Bar", kIdPrintPreview, 3},
      {3, u"STANDARD", kIdQuickPrint, 1},     {3, u"Context Menu", kIdQuickPrint, 1},
      {3, u"Quillmark", kIdCustom, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "window " << c.window << ", control " << c.id << ", mode " << c.mode);
    for (auto& manager : managers) manager->seen.clear();
    bool cancelled = false;
    ASSERT_EQ(clickControl(findControl(m_bars[c.window], c.bar, c.id), cancelled), S_OK);
    EXPECT_TRUE(cancelled);
    // Every manager hears the click and reads its mode; only the clicked window's claims it.
    for (int w = 0; w < 4; ++w)
      EXPECT_EQ(managers[w]->seen, (std::vector<std::pair<int, bool>>{{c.mode, w == c.window}})) << "manager " << w;
  }
  EXPECT_EQ(outlookCommands, 0);

  // The origin climbs one popup: a control in a sub-menu of a menu reaches no window, and so no
  // manager takes it.
  CommandBarsLayout nested = outlookCommandBars();
  ControlLayout own, more;
  own.caption = u"Deep";
  own.tag = u"QuillMark.Deep";
  more.type = msoControlPopup;
  more.controls = {own};
  nested.bars[0].controls[0].controls.push_back(more);  // File > More > own
  m_bars.push_back(m_office.create(m_windows[0], nested));
  const CEventProperties deep{CommandBarControlPtr(findControl(m_bars.back(), u"Menu Bar", kIdCustom))};
  EXPECT_EQ(deep.m_mode, 4);
  EXPECT_FALSE(deep.emanatesFrom(_ExplorerPtr(m_windows[0])));

  // A control that cannot be traced to a window belongs to no manager.
  CComPtr<IDispatch> print = findControl(m_bars[0], u"Menu Bar", kIdPrint);
  closeCommandBars(m_bars[0]);
  const CEventProperties orphan{CommandBarControlPtr(print)}, none{nullptr};
  EXPECT_FALSE(orphan.emanatesFrom(_ExplorerPtr(m_windows[0])) || none.emanatesFrom(_ExplorerPtr(m_windows[0])));
  EXPECT_EQ(none.m_mode, 0);
}

}  // namespace
