// The add-in's ribbon as Office meets it, through CConnect in-process: the description read back
// as XML, the callbacks called by name through IDispatch, the taken-over commands' Cancelled, and
// the ribbons the settings keep.

#include <gtest/gtest.h>

#include "host/Ribbon.h"
#include "platform/com/DispatchDriver.h"
#include "platform/office/Ribbon.h"
#include "tests/integration/AddinSession.h"

namespace {

using addintest::AddinSession;

class ConnectRibbonTest : public AddinSession {
 protected:
  // A callback by name with the control as its argument (and Cancelled by reference when given).
  CComVariant callback(const char16_t* name, IDispatch* control, VARIANT* cancelled = nullptr) {
    CComPtr<IDispatch> face;
    EXPECT_EQ(m_connect->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&face.p)), S_OK);
    VARIANT args[2] = {};
    args[0].vt = VT_DISPATCH;
    args[0].pdispVal = control;
    args[1].vt = VT_BYREF | VT_VARIANT;
    args[1].pvarVal = cancelled;
    CComVariant result;
    EXPECT_EQ(CComDispatchDriver(face).InvokeArgs(name, DISPATCH_METHOD, {args, cancelled ? 2u : 1u}, &result), S_OK)
        << platform::system::utf16ToUtf8(name);
    return result;
  }
  host::CustomUI customUI() {
    CComPtr<IRibbonExtensibility> ribbon;
    EXPECT_EQ(m_connect->QueryInterface(IID_IRibbonExtensibility, reinterpret_cast<void**>(&ribbon.p)), S_OK);
    BSTR xml = nullptr;
    EXPECT_EQ(ribbon->GetCustomUI(CComBSTR(u"Microsoft.Outlook.Explorer"), &xml), S_OK);
    m_xml = xml ? std::u16string(xml) : std::u16string();
    SysFreeString(xml);
    host::CustomUI ui;
    std::string why;
    EXPECT_TRUE(host::parseCustomUI(m_xml, ui, why)) << why;
    return ui;
  }
  static const host::RibbonButtonUI* button(const host::CustomUI& ui, std::u16string_view id) {
    for (const auto& tab : ui.tabs)
      for (const auto& group : tab.groups)
        for (const auto& b : group.buttons)
          if (b.id == id) return &b;
    return nullptr;
  }
  std::u16string m_xml;
};

TEST_F(ConnectRibbonTest, DescriptionStaysWellFormedAndGettersAnswerTheStoredRecords) {
  for (const char16_t* flag : {u"Display QuillMark preview button", u"Display QuillMark attachments button",
                               u"Display QuillMark selection button"})
    setting(flag, 0);
  connect(u"16.0.5095.1000");
  // Custom button 1: no image; 2: an image name that tries to break out of its attribute.
  auto& records = CSettings::instance().getSettingsData().buttons.buttons;
  ASSERT_GE(records.size(), 3u);
  records[0].imageMso.clear();
  records[1].imageMso = u"Print\"/><button id=\"evil\" onAction=\"x\"/><x a=\"<&";
  records[1].displayName = u"Mine & \"yours\"";

  const host::CustomUI ui = customUI();
  EXPECT_EQ(ui.onLoad, u"ribbonLoaded");
  EXPECT_EQ(ui.commands.at(u"FilePrint"), u"ButtonPrintClicked");
  EXPECT_EQ(ui.commands.at(u"FilePrintQuick"), u"ButtonQuickPrintClicked");
  EXPECT_EQ(ui.commands.at(u"FilePrintPreview"), u"ButtonPrintPreviewClicked");
  ASSERT_TRUE(button(ui, u"QuillmarkCustom1"));
  EXPECT_EQ(button(ui, u"QuillmarkCustom1")->imageMso, u"FilePrint");
  ASSERT_TRUE(button(ui, u"QuillmarkCustom2"));
  EXPECT_EQ(button(ui, u"QuillmarkCustom2")->imageMso, u"Print\"/><button id=\"evil\" onAction=\"x\"/><x a=\"<&");
  EXPECT_FALSE(button(ui, u"evil"));
  EXPECT_EQ(button(ui, u"QuillmarkPreview")->label, u"Print Preview...");

  const CComPtr<IRibbonControl> control = platform::office::makeRibbonControl(u"QuillmarkCustom1", {}, nullptr);
  // The getter answers the record as stored: empty stays empty.
  EXPECT_EQ(std::u16string(callback(u"CustomButton1GetImageMso", control).bstrVal), u"");
  EXPECT_EQ(std::u16string(callback(u"CustomButton2GetLabel", control).bstrVal), u"Mine & \"yours\"");
  // All three display flags off hide the tab (the options group with it); options stay on.
  const CComVariant tab = callback(u"QuillmarkTabVisible", control);
  ASSERT_EQ(tab.vt, VT_BOOL);
  EXPECT_EQ(tab.boolVal, VARIANT_FALSE);
  EXPECT_EQ(callback(u"QuillmarkOptionsVisible", control).boolVal, VARIANT_TRUE);
  EXPECT_EQ(callback(u"QuillmarkButtonVisible", control).boolVal, VARIANT_FALSE);

  // _IDTExtensibility2 is still reached through its own vtable, and GetCustomUI refuses no out.
  CComPtr<IRibbonExtensibility> ribbon;
  ASSERT_EQ(m_connect->QueryInterface(IID_IRibbonExtensibility, reinterpret_cast<void**>(&ribbon.p)), S_OK);
  EXPECT_EQ(ribbon->GetCustomUI(nullptr, nullptr), E_POINTER);
}

TEST_F(ConnectRibbonTest, WithoutOutlookButtonsOwnPreviewStillServesAndTakenOverCommandsGoBackToOutlook) {
  setting(u"Use Outlook buttons", 0);
  setting(u"Display QuillMark preview button", 1);
  connect(u"16.0.5095.1000");
  const CComPtr<IDispatch> explorer = openExplorer(0);
  ASSERT_TRUE(explorer);
  ASSERT_EQ(worker().explorerManagers().size(), 1u);
  const CComPtr<IRibbonControl> control = platform::office::makeRibbonControl(u"QuillmarkPreview", {}, explorer);

  for (const char16_t* command : {u"ButtonQuickPrintClicked", u"ButtonPrintClicked", u"ButtonPrintPreviewClicked"}) {
    CComVariant cancelled(true);
    callback(command, control, &cancelled);
    EXPECT_EQ(cancelled.vt, VT_BOOL);
    EXPECT_EQ(cancelled.boolVal, VARIANT_FALSE) << platform::system::utf16ToUtf8(command);
  }
  EXPECT_NE(log().find("Quillmark Not using Outlook buttons "), std::string::npos);
  EXPECT_EQ(log().find("Doing print service from explorer"), std::string::npos);

  // The own preview goes to the window's manager all the same (nothing selected: nothing printed).
  callback(u"QuillmarkButtonClicked", control);
  EXPECT_NE(log().find("Doing print service from explorer - nothing selected"), std::string::npos);

  // A window without a manager: the request finds none, and Outlook's command runs.
  setting(u"Use Outlook buttons", 1);
  CSettings::instance().read();
  const CComPtr<IRibbonControl> stranger = platform::office::makeRibbonControl(u"FilePrint", {}, nullptr);
  CComVariant cancelled(true);
  callback(u"ButtonPrintClicked", stranger, &cancelled);
  EXPECT_EQ(cancelled.boolVal, VARIANT_FALSE);
}

TEST_F(ConnectRibbonTest, SelectionButtonActsOnExactlyOneSelectedItem) {
  connect(u"16.0.5095.1000");
  const CComPtr<IDispatch> two = openExplorer(2);
  const CComPtr<IRibbonControl> control = platform::office::makeRibbonControl(u"QuillmarkSelection", {}, two);
  EXPECT_FALSE(worker().HandleSelectionRequest(IRibbonControlPtr(control.p)));
  m_outlook->close(two);
  const CComPtr<IDispatch> one = openExplorer(1);
  const CComPtr<IRibbonControl> single = platform::office::makeRibbonControl(u"QuillmarkSelection", {}, one);
  EXPECT_TRUE(worker().HandleSelectionRequest(IRibbonControlPtr(single.p)));
  // Nothing selected: no attachment request.
  EXPECT_FALSE(worker().HandleAttachmentRequest(IRibbonControlPtr(nullptr)));
  EXPECT_NE(log().find("Exception caught in HandleAttachmentRequest"), std::string::npos);
}

TEST_F(ConnectRibbonTest, EveryRibbonLoadedIsKeptOnceInvalidatedOnSaveAndReleasedAtDisconnection) {
  connect(u"16.0.5095.1000");
  int explorerAsks = 0, mailAsks = 0;
  CComPtr<IRibbonUI> explorer = platform::office::makeRibbonUI([&] { ++explorerAsks; }, {});
  CComPtr<IRibbonUI> mail = platform::office::makeRibbonUI([&] { ++mailAsks; }, {});
  callback(u"ribbonLoaded", explorer);
  callback(u"ribbonLoaded", mail);
  callback(u"ribbonLoaded", explorer);
  EXPECT_EQ(CSettings::instance().ribbonUIs().size(), 2u);
  SettingsData data = CSettings::instance().getSettingsData();
  EXPECT_TRUE(CSettings::instance().save(data));
  EXPECT_EQ(explorerAsks, 1);
  EXPECT_EQ(mailAsks, 1);

  SAFEARRAY* custom = nullptr;
  EXPECT_EQ(m_connect->OnDisconnection(ext_dm_UserClosed, &custom), S_OK);
  EXPECT_TRUE(CSettings::instance().ribbonUIs().empty());
  // Only this test's references are left.
  IRibbonUI* raw = explorer.Detach();
  EXPECT_EQ(raw->Release(), 0u);
  m_connect.Release();
}

}  // namespace
