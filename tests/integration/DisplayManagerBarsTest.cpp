// An explorer's display manager on Outlook 11 building its controls in Office's command-bar model:
// the four placements of "Create Toolbar" x "Buttons in Menu", another add-in's controls (Id 1
// too) left alone, Print as the last control of Standard, a custom button's FaceId going to 0,
// buttons found again by tag in the next window, and every control it placed traced back to its
// own window wherever it was placed.

#include <gtest/gtest.h>

#include "integration/EventProperties.h"
#include "platform/office/OfficeDispids.h"
#include "tests/integration/AddinSession.h"

namespace {

namespace office = platform::office;
using addintest::AddinSession;

CComVariant get(IDispatch* object, const char16_t* name) {
  CComVariant value;
  EXPECT_EQ(CComDispatchDriver(object).GetPropertyByName(name, &value), S_OK);
  return value;
}

CComPtr<IDispatch> call(IDispatch* on, const char16_t* name, std::initializer_list<VARIANT> args,
                        WORD flags = DISPATCH_METHOD) {
  CComVariant result;
  const std::vector<VARIANT> list(args);
  EXPECT_EQ(CComDispatchDriver(on).InvokeArgs(name, flags, list, &result), S_OK);
  return result.vt == VT_DISPATCH ? CComPtr<IDispatch>(result.pdispVal) : nullptr;
}

// The tags (or "#id" for untagged controls) of a list of controls, a popup's in brackets.
std::u16string tags(const std::vector<office::ControlView>& controls) {
  std::u16string out;
  for (const office::ControlView& c : controls) {
    if (!out.empty()) out += u' ';
    out += c.state.tag.empty() ? u"#" + std::u16string(platform::system::utf8ToUtf16(std::to_string(c.state.id))) : c.state.tag;
    if (!c.controls.empty()) out += u"[" + tags(c.controls) + u"]";
  }
  return out;
}

VARIANT missing() {
  VARIANT v;
  v.vt = VT_ERROR;
  v.scode = DISP_E_PARAMNOTFOUND;
  return v;
}

const office::BarView* bar(const std::vector<office::BarView>& bars, std::u16string_view name) {
  for (const office::BarView& b : bars)
    if (b.name == name) return &b;
  return nullptr;
}

constexpr const char16_t* kButtons =
    u"QUILLMARK_PREVIEW QUILLMARK_SELECTION QUILLMARK_ATTACHMENTS QUILLMARK_CUSTOMBUTTON1 QUILLMARK_CUSTOMBUTTON2 "
    u"QUILLMARK_CUSTOMBUTTON3";

class DisplayManagerBarsTest : public AddinSession {
 protected:
  // Opens an explorer and ticks its manager until it has set up its controls.
  CComPtr<IDispatch> startExplorer() {
    const CComPtr<IDispatch> explorer = openExplorer();
    EXPECT_TRUE(explorer);
    tick();
    tick();
    return explorer;
  }
  void tick() {
    for (const CDisplayManager::Ptr& manager : worker().explorerManagers())
      if (manager) manager->onTimerCallback();
  }
  std::vector<office::BarView> bars(IDispatch* explorer) { return office::commandBarsView(m_bars[explorer]); }
};

TEST_F(DisplayManagerBarsTest, ToolbarAndMenuSettingsPlaceTheButtonsWhereTheySay) {
  struct Case {
    DWORD toolbar, menu;
    const char16_t* standard;  // Outlook's quick Print, then what follows it
    std::u16string quillmark;  // the own toolbar's controls; "-" when there is no toolbar
  };
  const Case cases[] = {
      {1, 0, u"#2521", kButtons},
      {1, 1, u"#2521", u"QUILLMARK_MENU[" + std::u16string(kButtons) + u"]"},
      {0, 1, nullptr, u"-"},
      {0, 0, nullptr, u"-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "Create Toolbar " << c.toolbar << ", Buttons in Menu " << c.menu);
    setting(u"Create Toolbar", c.toolbar);
    setting(u"Buttons in Menu", c.menu);
    CSettings::resetForTesting();
    connect(u"11.0.8169.0");
    const CComPtr<IDispatch> explorer = startExplorer();
    const auto all = bars(explorer);
    const office::BarView* standard = bar(all, office::kBarStandard);
    ASSERT_TRUE(standard);
    const office::BarView* own = bar(all, u"Quillmark");
    if (c.quillmark == u"-") {
      EXPECT_FALSE(own);
      EXPECT_EQ(tags(standard->controls), c.menu ? u"#2521 QUILLMARK_MENU[" + std::u16string(kButtons) + u"]"
                                                 : u"#2521 " + std::u16string(kButtons));
    } else {
      ASSERT_TRUE(own);
      EXPECT_TRUE(own->visible);
      EXPECT_EQ(tags(own->controls), c.quillmark);
      EXPECT_EQ(tags(standard->controls), c.standard);
    }
    // The preview button shows its caption; the replacement Print Preview follows Outlook's.
    const office::BarView* menu = bar(all, office::kBarMenuBar);
    ASSERT_TRUE(menu);
    EXPECT_EQ(tags(menu->controls), u"#30002[#4 #109 QUILLMARK_PRINTPREVIEW]");
    m_outlook->close(explorer);
    SAFEARRAY* custom = nullptr;
    m_connect->OnDisconnection(ext_dm_HostShutdown, &custom);
    m_connect.Release();
    m_outlook.reset();
    m_layouts.clear();
  }
}

TEST_F(DisplayManagerBarsTest, ForeignControlsSurviveAndOwnButtonsAreFoundAgainByTag) {
  setting(u"Create Toolbar", 1);
  setting(u"Buttons in Menu", 0);
  // Another add-in's controls (custom, so Id 1 as well) right after Print and Print Preview.
  office::CommandBarsLayout layout = office::outlookCommandBars();
  for (office::BarLayout& b : layout.bars) {
    office::ControlLayout foreign;
    foreign.caption = u"Other add-in";
    foreign.tag = u"other.addin";
    if (b.name == office::kBarStandard) b.controls.push_back(foreign);
    if (b.name == office::kBarMenuBar) b.controls[0].controls.push_back(foreign);
  }
  m_layouts[true] = layout;
  connect(u"11.0.8169.0");
  CComPtr<IDispatch> explorer = startExplorer();
  auto all = bars(explorer);
  EXPECT_EQ(tags(bar(all, office::kBarStandard)->controls), u"#2521 other.addin");
  EXPECT_EQ(tags(bar(all, office::kBarMenuBar)->controls), u"#30002[#4 #109 QUILLMARK_PRINTPREVIEW other.addin]");
  EXPECT_EQ(tags(bar(all, u"Quillmark")->controls), kButtons);

  // A custom button's FaceId going to 0 makes it a caption button.
  auto& records = CSettings::instance().getSettingsData().buttons.buttons;
  records[0].faceId = 0;
  const CComPtr<IDispatch> toolbar = call(m_bars[explorer], u"Item", {CComVariant(u"Quillmark")}, DISPATCH_PROPERTYGET);
  const CComPtr<IDispatch> custom1 = call(toolbar, u"FindControl",
                                          {missing(), missing(), CComVariant(u"QUILLMARK_CUSTOMBUTTON1")});
  ASSERT_TRUE(custom1);
  CComVariant faceId(LONG{59});
  CComDispatchDriver(custom1).PutPropertyByName(u"FaceId", &faceId);
  tick();
  EXPECT_EQ(get(custom1, u"Style").lVal, office::msoButtonCaption);
  EXPECT_EQ(get(custom1, u"FaceId").lVal, 0);

  // The next window starts from what the toolbar kept: its buttons are reused, not doubled.
  m_outlook->close(explorer);
  explorer = startExplorer();
  all = bars(explorer);
  ASSERT_TRUE(bar(all, u"Quillmark"));
  EXPECT_EQ(tags(bar(all, u"Quillmark")->controls), kButtons);
  EXPECT_EQ(tags(bar(all, office::kBarStandard)->controls), u"#2521 other.addin");
}

// Every control the add-in placed, in whichever bar or menu it sits, with the bar's name.
void ownControls(const std::vector<office::ControlView>& controls, const std::u16string& barName,
                 std::vector<std::pair<std::u16string, CComPtr<IDispatch>>>& out) {
  for (const office::ControlView& c : controls) {
    if (c.state.tag.rfind(u"QUILLMARK", 0) == 0 && c.controls.empty() && c.state.type != office::msoControlPopup)
      out.emplace_back(barName + u" " + c.state.tag, c.control);
    ownControls(c.controls, barName, out);
  }
}

TEST_F(DisplayManagerBarsTest, EveryOwnControlIsTracedToItsOwnWindowWhereverItIsPlaced) {
  for (const char16_t* version : {u"11.0.8169.0", u"12.0.6423.1000"}) {
    for (const DWORD menu : {0u, 1u}) {
      for (const DWORD toolbar : {0u, 1u}) {
        SCOPED_TRACE(testing::Message() << "Outlook " << platform::system::utf16ToUtf8(version) << ", Create Toolbar "
                                        << toolbar << ", Buttons in Menu " << menu);
        setting(u"Create Toolbar", toolbar);
        setting(u"Buttons in Menu", menu);
        CSettings::resetForTesting();
        connect(version);
        // Two windows of one kind: each control must name its own and not the other.
        const CComPtr<IDispatch> windows[] = {startExplorer(), startExplorer()};
        for (int w : {0, 1}) {
          std::vector<std::pair<std::u16string, CComPtr<IDispatch>>> controls;
          for (const office::BarView& b : bars(windows[w])) ownControls(b.controls, b.name, controls);
          // Preview, Selection, Attachments, three custom buttons and the File menu's Print Preview.
          EXPECT_EQ(controls.size(), 7u);
          for (const auto& [where, control] : controls) {
            SCOPED_TRACE(platform::system::utf16ToUtf8(where));
            const CEventProperties origin{CommandBarControlPtr(control)};
            EXPECT_EQ(origin.m_mode, 4);
            EXPECT_TRUE(origin.emanatesFrom(_ExplorerPtr(windows[w])));
            EXPECT_FALSE(origin.emanatesFrom(_ExplorerPtr(windows[1 - w])));
          }
        }
        for (IDispatch* window : windows) m_outlook->close(window);
        SAFEARRAY* custom = nullptr;
        m_connect->OnDisconnection(ext_dm_HostShutdown, &custom);
        m_connect.Release();
        m_outlook.reset();
        m_layouts.clear();
      }
    }
  }
}

}  // namespace
