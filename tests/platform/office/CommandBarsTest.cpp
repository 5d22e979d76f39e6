// The command-bar model as the add-in drives it: by name through IDispatch, with Click sinks
// advised on its buttons, across two windows.

#include "platform/office/CommandBars.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "platform/com/Com.h"
#include "platform/office/OfficeInterfaces.h"
#include "platform/system/Diagnostics.h"

#define EXPECT_OK(expr) EXPECT_TRUE(SUCCEEDED(expr))
#define ASSERT_OK(expr) ASSERT_TRUE(SUCCEEDED(expr))

namespace {

using platform::com::CDispArgs;
using platform::com::CEventConnection;
using namespace platform::office;

// An explorer or inspector: only its identity matters to the bars.
class CFakeWindow : public CComObjectRootEx<CComSingleThreadModel>, public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CFakeWindow)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()
};

// A _CommandBarButtonEvents sink that notes each click and may cancel Outlook's command.
class CClickSink : public CComObjectRootEx<CComSingleThreadModel>, public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CClickSink)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(DIID__CommandBarButtonEvents, IDispatch)
  END_COM_MAP()

  CClickSink() {
    dispatchTable().method(kDispidClick, u"Click", [this](const CDispArgs& a, VARIANT*) {
      const VARIANT& cancel = a[1];
      if (a[0].vt != VT_DISPATCH || cancel.vt != (VT_BOOL | VT_BYREF)) return E_INVALIDARG;
      clicked.push_back(a[0].pdispVal);
      sawCancelled = *cancel.pboolVal != VARIANT_FALSE;
      if (cancels) *cancel.pboolVal = VARIANT_TRUE;
      return S_OK;
    }, 2, 2);
  }

  std::vector<CComPtr<IDispatch>> clicked;
  bool cancels = false;
  bool sawCancelled = false;
};

VARIANT missing() {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ERROR;
  v.scode = DISP_E_PARAMNOTFOUND;
  return v;
}

CComVariant get(IDispatch* object, const char16_t* name) {
  CComVariant value;
  EXPECT_OK(CComDispatchDriver(object).GetPropertyByName(name, &value));
  return value;
}

CComPtr<IDispatch> object(IDispatch* from, const char16_t* name) {
  CComVariant value = get(from, name);
  return value.vt == VT_DISPATCH ? CComPtr<IDispatch>(value.pdispVal) : nullptr;
}

LONG number(IDispatch* from, const char16_t* name) { return get(from, name).lVal; }

void put(IDispatch* object, const char16_t* name, const CComVariant& value) {
  EXPECT_OK(CComDispatchDriver(object).PutPropertyByName(name, &value));
}

// A method or indexed property called by name; the result's object, or null.
HRESULT call(IDispatch* object, const char16_t* name, std::initializer_list<VARIANT> args, CComPtr<IDispatch>& out,
             WORD flags = DISPATCH_METHOD) {
  CComVariant result;
  const std::vector<VARIANT> list(args);
  const HRESULT hr = CComDispatchDriver(object).InvokeArgs(name, flags, list, &result);
  out = result.vt == VT_DISPATCH ? CComPtr<IDispatch>(result.pdispVal) : nullptr;
  return hr;
}

HRESULT call(IDispatch* object, const char16_t* name, std::initializer_list<VARIANT> args) {
  CComPtr<IDispatch> ignored;
  return call(object, name, args, ignored);
}

CComPtr<IDispatch> bar(IDispatch* bars, const char16_t* name) {
  CComPtr<IDispatch> found;
  EXPECT_OK(call(bars, u"Item", {CComVariant(name)}, found, DISPATCH_PROPERTYGET)) << "bar";
  return found;
}

CComPtr<IDispatch> control(IDispatch* bar, LONG index) {
  CComPtr<IDispatch> found;
  EXPECT_OK(call(object(bar, u"Controls"), u"Item", {CComVariant(index)}, found, DISPATCH_PROPERTYGET));
  return found;
}

// Controls.Add(Type, Id missing, Parameter missing, Before, Temporary) with a Tag.
CComPtr<IDispatch> addControl(IDispatch* bar, LONG type, const char16_t* tag, VARIANT before, bool temporary) {
  CComPtr<IDispatch> added;
  EXPECT_OK(call(object(bar, u"Controls"), u"Add",
                                {CComVariant(type), missing(), missing(), before, CComVariant(temporary)}, added));
  if (added) put(added, u"Tag", CComVariant(tag));
  return added;
}

CComPtr<IDispatch> findControl(IDispatch* in, VARIANT id, VARIANT tag, VARIANT visible, VARIANT recursive) {
  CComPtr<IDispatch> found;
  EXPECT_OK(call(in, u"FindControl", {missing(), id, tag, visible, recursive}, found));
  return found;
}

bool same(IUnknown* a, IUnknown* b) {
  CComPtr<IUnknown> ua, ub;
  a->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(ua.Receive()));
  b->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(ub.Receive()));
  return ua == ub;
}

class CommandBarsTest : public ::testing::Test {
 protected:
  // One explorer's or inspector's window and its CommandBars.
  struct Window {
    CComPtr<CComObject<CFakeWindow>> window = CComObject<CFakeWindow>::Make();
    CComPtr<IDispatch> bars;
  };

  Window open(const CommandBarsLayout& layout = outlookCommandBars()) {
    Window w;
    w.bars = m_office.create(w.window, layout);
    m_opened.push_back(w.bars);
    return w;
  }
  void TearDown() override {
    for (IDispatch* bars : m_opened) closeCommandBars(bars);
  }

  COfficeCommandBars m_office;
  std::vector<CComPtr<IDispatch>> m_opened;
};

TEST_F(CommandBarsTest, OutlookBarsAreFoundByNameAndCustomControlsAddedFoundAndDeleted) {
  Window w = open();
  EXPECT_EQ(number(w.bars, u"Count"), 3);
  // Asking for a bar that is not there is how callers learn it is not: a miss, not an Error.
  std::vector<platform::diag::Level> logged;
  platform::diag::setSink([&](platform::diag::Level level, std::string_view, std::string_view, int) { logged.push_back(level); });
  CComPtr<IDispatch> missingBar;
  EXPECT_TRUE(FAILED(call(w.bars, u"Item", {CComVariant(u"Quillmark")}, missingBar, DISPATCH_PROPERTYGET)));
  platform::diag::setSink({});
  EXPECT_EQ(logged, std::vector<platform::diag::Level>{platform::diag::Level::kDebug});

  // The File menu's Print leads up through its popup and the "Menu Bar" to the window.
  CComPtr<IDispatch> menuBar = bar(w.bars, u"menu bar");
  CComPtr<IDispatch> file = control(menuBar, 1);
  EXPECT_EQ(number(file, u"Id"), kIdFileMenu);
  CComPtr<IDispatch> print = control(object(file, u"CommandBar"), 1);
  EXPECT_EQ(number(print, u"Id"), kIdPrint);
  EXPECT_EQ(number(control(object(file, u"CommandBar"), 2), u"Id"), kIdPrintPreview);
  CComQIPtr<CommandBarPopup> popup(object(object(print, u"Parent"), u"Parent").p);
  ASSERT_TRUE(popup);
  EXPECT_TRUE(same(object(popup, u"Parent"), menuBar));
  EXPECT_TRUE(same(object(menuBar, u"Parent"), w.window->GetUnknown()));
  EXPECT_EQ(number(control(bar(w.bars, u"STANDARD"), 1), u"Id"), kIdQuickPrint);
  EXPECT_EQ(number(control(bar(w.bars, u"Context Menu"), 1), u"Id"), kIdQuickPrint);
  // Office's own search reaches into the menus; a bar's reaches them only when asked to.
  EXPECT_TRUE(same(findControl(w.bars, CComVariant(kIdPrint), missing(), missing(), missing()), print));
  EXPECT_FALSE(findControl(menuBar, CComVariant(kIdPrint), missing(), missing(), missing()));
  EXPECT_TRUE(same(findControl(menuBar, CComVariant(kIdPrint), missing(), missing(), CComVariant(true)), print));

  // The add-in's toolbar, once only, with a temporary popup holding a button.
  CComPtr<IDispatch> toolbar;
  ASSERT_OK(call(w.bars, u"Add", {CComVariant(u"Quillmark"), CComVariant(LONG(msoBarTop)), missing(), missing()}, toolbar));
  EXPECT_TRUE(FAILED(call(w.bars, u"Add", {CComVariant(u"QUILLMARK")})));
  EXPECT_FALSE(get(toolbar, u"Visible").boolVal);
  CComPtr<IDispatch> menu = addControl(toolbar, msoControlPopup, u"QUILLMARK_MENU", CComVariant(LONG(1)), true);
  put(menu, u"Caption", CComVariant(u"Quillmark Menu"));
  CComPtr<IDispatch> preview = addControl(object(menu, u"CommandBar"), msoControlButton, u"QUILLMARK_PREVIEW", missing(), true);
  put(preview, u"Style", CComVariant(LONG(msoButtonIconAndCaption)));
  put(preview, u"FaceId", CComVariant(LONG(4)));
  EXPECT_EQ(number(preview, u"Id"), kIdCustom);
  EXPECT_EQ(number(preview, u"FaceId"), 4);
  EXPECT_TRUE(FAILED(call(object(toolbar, u"Controls"), u"Add", {CComVariant(LONG(msoControlButton)), missing(), missing(), CComVariant(LONG(5))})));

  EXPECT_TRUE(same(findControl(toolbar, missing(), CComVariant(u"QUILLMARK_MENU"), missing(), missing()), menu));
  EXPECT_FALSE(findControl(toolbar, missing(), CComVariant(u"QUILLMARK_PREVIEW"), missing(), missing()));
  EXPECT_TRUE(same(findControl(toolbar, missing(), CComVariant(u"QUILLMARK_PREVIEW"), missing(), CComVariant(true)), preview));
  // A hidden popup hides its buttons from a search for visible controls.
  put(menu, u"Visible", CComVariant(false));
  EXPECT_FALSE(findControl(toolbar, missing(), CComVariant(u"QUILLMARK_PREVIEW"), CComVariant(true), CComVariant(true)));
  CComPtr<IDispatch> byCaption;
  EXPECT_OK(call(object(toolbar, u"Controls"), u"Item", {CComVariant(u"quillmark menu")}, byCaption, DISPATCH_PROPERTYGET));
  EXPECT_TRUE(same(byCaption, menu));

  // Deleting the popup takes its button with it; both refuse further calls.
  EXPECT_OK(call(menu, u"Delete", {}));
  EXPECT_FALSE(findControl(w.bars, missing(), CComVariant(u"QUILLMARK_PREVIEW"), missing(), missing()));
  EXPECT_EQ(number(object(toolbar, u"Controls"), u"Count"), 0);
  CComVariant caption;
  EXPECT_TRUE(FAILED(CComDispatchDriver(preview).GetPropertyByName(u"Caption", &caption)));
  EXPECT_TRUE(FAILED(call(bar(w.bars, u"Standard"), u"Delete", {})));
  EXPECT_OK(call(toolbar, u"Delete", {}));
  EXPECT_EQ(number(w.bars, u"Count"), 3);
}

TEST_F(CommandBarsTest, ClickReachesEverySinkOfItsIdOrTagAndReportsCancelDefault) {
  Window a = open();
  Window b = open();
  std::vector<LONG> defaultCommands;
  m_office.setDefaultCommand([&](IDispatch*, LONG id) { defaultCommands.push_back(id); });

  // Built-in quick Print: A's Standard bar and B's context menu; B's File-menu Print stays apart.
  CComPtr<IDispatch> quickA = control(bar(a.bars, u"Standard"), 1);
  CComPtr<IDispatch> quickB = control(bar(b.bars, u"Context Menu"), 1);
  CComPtr<IDispatch> printB = findControl(b.bars, CComVariant(kIdPrint), missing(), missing(), missing());
  auto sinkA = CComObject<CClickSink>::Make();
  auto sinkB = CComObject<CClickSink>::Make();
  auto sinkPrint = CComObject<CClickSink>::Make();
  CEventConnection onA(quickA, sinkA->GetUnknown(), DIID__CommandBarButtonEvents);
  CEventConnection onB(quickB, sinkB->GetUnknown(), DIID__CommandBarButtonEvents);
  CEventConnection onPrint(printB, sinkPrint->GetUnknown(), DIID__CommandBarButtonEvents);
  ASSERT_TRUE(onA.connected() && onB.connected() && onPrint.connected());

  bool cancelled = true;
  ASSERT_OK(clickControl(quickA, cancelled));
  EXPECT_FALSE(cancelled);
  ASSERT_EQ(sinkA->clicked.size(), 1u);
  ASSERT_EQ(sinkB->clicked.size(), 1u);
  EXPECT_TRUE(same(sinkB->clicked[0], quickA));  // every sink is told which control was clicked
  EXPECT_TRUE(sinkPrint->clicked.empty());
  EXPECT_EQ(defaultCommands, std::vector<LONG>{kIdQuickPrint});

  // A's sink cancels Outlook's command; B's sink, called after it, sees the shared flag.
  sinkA->cancels = true;
  ASSERT_OK(clickControl(quickA, cancelled));
  EXPECT_TRUE(cancelled);
  EXPECT_TRUE(sinkB->sawCancelled);
  EXPECT_EQ(defaultCommands.size(), 1u);

  // Custom controls meet by Tag, whichever window or bar holds them; Execute clicks too.
  CComPtr<IDispatch> ownA = addControl(bar(a.bars, u"Standard"), msoControlButton, u"QUILLMARK_PREVIEW", CComVariant(LONG(2)), true);
  CComPtr<IDispatch> ownB = addControl(bar(b.bars, u"Menu Bar"), msoControlButton, u"QUILLMARK_PREVIEW", missing(), true);
  CComPtr<IDispatch> otherB = addControl(bar(b.bars, u"Standard"), msoControlButton, u"QUILLMARK_SELECTION", missing(), true);
  auto sinkOwnA = CComObject<CClickSink>::Make();
  auto sinkOwnB = CComObject<CClickSink>::Make();
  auto sinkOther = CComObject<CClickSink>::Make();
  CEventConnection ownOnA(ownA, sinkOwnA->GetUnknown(), DIID__CommandBarButtonEvents);
  CEventConnection ownOnB(ownB, sinkOwnB->GetUnknown(), DIID__CommandBarButtonEvents);
  CEventConnection otherOnB(otherB, sinkOther->GetUnknown(), DIID__CommandBarButtonEvents);
  EXPECT_OK(call(ownB, u"Execute", {}));
  EXPECT_EQ(sinkOwnA->clicked.size(), 1u);
  EXPECT_EQ(sinkOwnB->clicked.size(), 1u);
  EXPECT_TRUE(sinkOther->clicked.empty());
  EXPECT_EQ(defaultCommands.size(), 1u);  // a custom control has no command of Outlook's

  // A disabled control cannot be clicked; a closed window's sinks hear nothing more.
  put(ownA, u"Enabled", CComVariant(false));
  EXPECT_TRUE(FAILED(clickControl(ownA, cancelled)));
  closeCommandBars(b.bars);
  sinkA->cancels = false;
  ASSERT_OK(clickControl(quickA, cancelled));
  EXPECT_EQ(sinkA->clicked.size(), 3u);
  EXPECT_EQ(sinkB->clicked.size(), 2u);
  EXPECT_TRUE(FAILED(clickControl(quickB, cancelled)));
  EXPECT_FALSE(object(bar(b.bars, u"Standard"), u"Parent"));
}

TEST_F(CommandBarsTest, PersistentControlsOutliveTheWindowAndTemporaryOnesGo) {
  Window first = open();
  CComPtr<IDispatch> toolbar;
  ASSERT_OK(call(first.bars, u"Add", {CComVariant(u"Quillmark"), CComVariant(LONG(msoBarTop))}, toolbar));
  put(toolbar, u"Visible", CComVariant(true));
  CComPtr<IDispatch> kept = addControl(toolbar, msoControlButton, u"QUILLMARK_PREVIEW", missing(), false);
  put(kept, u"Caption", CComVariant(u"Print Preview..."));
  put(kept, u"FaceId", CComVariant(LONG(4)));
  addControl(toolbar, msoControlButton, u"QUILLMARK_SELECTION", missing(), true);
  addControl(bar(first.bars, u"Standard"), msoControlButton, u"QUILLMARK_ATTACHMENTS", missing(), true);
  call(first.bars, u"Add", {CComVariant(u"Scratch"), missing(), missing(), CComVariant(true)});
  ASSERT_EQ(number(first.bars, u"Count"), 5);

  const CommandBarsLayout keptLayout = persistentLayout(first.bars);
  closeCommandBars(first.bars);
  Window next = open(keptLayout);
  EXPECT_EQ(number(next.bars, u"Count"), 4);
  CComPtr<IDispatch> found = findControl(next.bars, missing(), CComVariant(u"QUILLMARK_PREVIEW"), missing(), missing());
  ASSERT_TRUE(found);
  EXPECT_EQ(std::u16string(get(found, u"Caption").bstrVal), u"Print Preview...");
  EXPECT_EQ(number(found, u"FaceId"), 4);
  EXPECT_TRUE(get(bar(next.bars, u"Quillmark"), u"Visible").boolVal);
  EXPECT_FALSE(findControl(next.bars, missing(), CComVariant(u"QUILLMARK_SELECTION"), missing(), missing()));
  EXPECT_FALSE(findControl(next.bars, missing(), CComVariant(u"QUILLMARK_ATTACHMENTS"), missing(), missing()));
  EXPECT_EQ(number(object(bar(next.bars, u"Standard"), u"Controls"), u"Count"), 1);
}

}  // namespace
