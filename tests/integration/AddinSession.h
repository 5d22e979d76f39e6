#pragma once
// The add-in connected in-process to the stand-in Outlook on a store of shared samples: a real
// CConnect with its worker and display managers, Office's command-bar model for each window, and
// the configuration written to the machine key before the settings load.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "foundation/AddinGlobals.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "integration/Connect.h"
#include "integration/ConnectImpl.h"
#include "platform/com/Com.h"
#include "platform/system/Text.h"
#include "platform/office/CommandBars.h"
#include "platform/outlook/Outlook.h"
#include "platform/outlook/OutlookInterfaces.h"
#include "platform/registry/RegKey.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/ui/Desktop.h"
#include "tests/support/TestEnvironment.h"

namespace addintest {

class AddinSession : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    QM_REQUIRE_SHARED_DATA();
    ASSERT_TRUE(platform::ui::chooseFace(platform::ui::Face::kHeadless));
    platform::registry::resetForTesting();
    CSettings::resetForTesting();
    const std::filesystem::path inbox = dir() / "store" / "Inbox";
    std::filesystem::create_directories(inbox);
    for (const char* sample : {"bbot__HTML_mail_with_replyto_and_attachment_and_embedded_image.msg",
                               "aspose__Test_Meeting.msg"})
      std::filesystem::copy_file(testsupport::sharedDir() / "testdata" / "msg" / sample, inbox / sample,
                                 std::filesystem::copy_options::overwrite_existing);
    setting(u"Allow users to modify settings", 0);
    setting(u"Enable Logging", 1);
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, kProductKey), ERROR_SUCCESS);
    key.SetStringValue(u"Log path", quilstring::fromUtf8(logPath()).c_str(), REG_SZ);
  }
  void TearDown() override {
    if (m_connect) {
      SAFEARRAY* custom = nullptr;
      m_connect->OnDisconnection(ext_dm_HostShutdown, &custom);
      m_connect.Release();
    }
    m_outlook.reset();
    CSettings::resetForTesting();
    NGlobals::resetForTesting();
  }

  std::string logPath() const { return (dir() / "qm.log").string(); }
  std::string log() const { return testsupport::readFile(logPath()); }

  static void setting(const char16_t* name, DWORD value, const std::u16string& subKey = {}) {
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, (std::u16string(kProductKey) + subKey).c_str()), ERROR_SUCCESS);
    ASSERT_EQ(key.SetDWORDValue(name, value), ERROR_SUCCESS);
  }

  // Opens the store as Outlook of that version (windows on the headless desktop, each with
  // Office's bars, started from `layouts` by kind when given) and connects the add-in.
  void connect(const char16_t* version) {
    platform::outlook::OutlookOptions options;
    options.version = version;
    options.windows = true;
    options.windowCreated = [this](IDispatch* window, HWND, bool explorer) {
      const auto layout = m_layouts.find(explorer);
      const CComPtr<IDispatch> bars = m_office.create(
          window, layout != m_layouts.end() ? layout->second : platform::office::outlookCommandBars());
      m_bars[window] = bars;
      m_outlook->setCommandBars(window, bars);
    };
    options.windowClosed = [this](IDispatch* window, HWND) {
      m_layouts[isExplorer(window)] = platform::office::persistentLayout(m_bars[window]);
      platform::office::closeCommandBars(m_bars[window]);
      m_bars.erase(window);
    };
    m_outlook = platform::outlook::COutlook::open(dir() / "store", options);
    ASSERT_TRUE(m_outlook);
    CComObject<CConnect>* made = nullptr;
    ASSERT_EQ(CComObject<CConnect>::CreateInstance(&made), S_OK);
    m_connect = made;
    SAFEARRAY* custom = nullptr;
    ASSERT_EQ(m_connect->OnConnection(m_outlook->application(), ext_cm_Startup, nullptr, &custom), S_OK);
  }

  CComPtr<IDispatch> openExplorer(std::size_t selected = 0) {
    const CComPtr<IDispatch> inbox = m_outlook->defaultFolder(olFolderInbox);
    std::vector<IDispatch*> selection;
    CComVariant items;
    CComDispatchDriver(inbox).GetPropertyByName(u"Items", &items);
    for (LONG i = 1; i <= static_cast<LONG>(selected); ++i) {
      CComVariant index(i), item;
      CComDispatchDriver(items.pdispVal).Invoke1(u"Item", &index, &item);
      m_keep.emplace_back(item.pdispVal);
      selection.push_back(item.pdispVal);
    }
    return m_outlook->openExplorer(inbox, selection);
  }

  static bool isExplorer(IDispatch* window) {
    CComPtr<IUnknown> explorer;
    return SUCCEEDED(window->QueryInterface(IID__Explorer, reinterpret_cast<void**>(&explorer.p)));
  }

  CConnectImpl& worker() { return *m_connect->worker(); }

  platform::office::COfficeCommandBars m_office;
  std::unique_ptr<platform::outlook::COutlook> m_outlook;
  CComPtr<CComObject<CConnect>> m_connect;
  std::map<IDispatch*, CComPtr<IDispatch>> m_bars;
  std::map<bool, platform::office::CommandBarsLayout> m_layouts;
  std::vector<CComPtr<IDispatch>> m_keep;
};

}  // namespace addintest
