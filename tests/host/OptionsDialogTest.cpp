// Settings exported from Windows' registry editor merged with `quillmark regedit`, then Outlook's
// Options dialog (Tools > Options) with the add-in loaded through its registration: its page is a
// tab showing what was merged, a change enables Apply through the page's site, OK saves it. A
// malformed file is refused with its line and changes nothing. Headless desktop, real module.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <sys/wait.h>

#include "host/AddIns.h"
#include "host/Install.h"
#include "host/OptionsDialog.h"
#include "host/OutlookDialogs.h"
#include "host/OutlookWindows.h"
#include "platform/com/Activation.h"
#include "platform/com/Com.h"
#include "platform/loop/MessageLoop.h"
#include "platform/outlook/OutlookInterfaces.h"
#include "platform/registry/RegKey.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/system/Locale.h"
#include "platform/system/Text.h"
#include "platform/ui/AxHost.h"
#include "platform/ui/CommCtrl.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/UserInput.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;
namespace input = platform::ui::input;

constexpr const char16_t* kProduct = u"SOFTWARE\\Corvessa\\QuillMark For Outlook";

// The UTF-16 bytes of "text" as hex(7) writes them: each string, its terminator, one more.
std::u16string multiString(const std::vector<std::u16string>& strings) {
  std::u16string hex;
  const auto add = [&](char16_t c) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02x,%02x,", c & 0xFF, c >> 8);
    hex += platform::system::utf8ToUtf16(buffer);
  };
  for (const auto& s : strings) {
    for (char16_t c : s) add(c);
    add(0);
  }
  add(0);
  hex.pop_back();
  return hex;
}

class OptionsDialogTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    ASSERT_TRUE(platform::ui::chooseFace(platform::ui::Face::kHeadless));
    ASSERT_EQ(quillmark("install"), 0) << err();
    fs::create_directories(dir() / "store" / "Inbox");
    m_locale = platform::system::utf8ToUtf16(std::to_string(GetThreadLocale()));
  }
  void TearDown() override {
    // As Outlook ends: the add-in goes first, then the windows, and the module with its last
    // object, so that a later test of this process loads it afresh with its own settings.
    if (m_windows) m_windows->releaseAddIns();
    m_addIns.disconnect();
    m_explorer.Release();
    m_outlook.reset();
    m_windows.reset();
    // The managers closed at disconnection are released by the pulse's next tick.
    const std::u16string module = platform::system::utf8ToUtf16(host::addinModulePath().string());
    EXPECT_TRUE(platform::loop::runUntil(
        [&] {
          CoFreeUnusedLibraries();
          return !platform::com::isServerLoaded(module);
        },
        20000))
        << "the add-in module stays loaded";
    platform::registry::resetForTesting();
  }

  int quillmark(const std::string& args) {
    return testsupport::runCommand(std::string(QM_QUILLMARK_BINARY) + " --no-gui " + args, dir());
  }
  std::string err() const { return testsupport::readFile(dir() / "err.txt"); }

  // A .reg file as regedit exports it: UTF-16LE with its byte-order mark, CRLF line ends.
  fs::path writeReg(const std::u16string& lines) {
    std::u16string text = u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n" + lines;
    const fs::path file = dir() / "settings.reg";
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(text.data()), static_cast<std::streamsize>(text.size() * 2));
    return file;
  }
  std::u16string settingsReg() const {
    const std::u16string user = u"HKEY_CURRENT_USER\\" + std::u16string(kProduct);
    const std::u16string classKey = user + u"\\Templates\\" + m_locale + u"\\IPM.Note.Survey";
    return u"[HKEY_LOCAL_MACHINE\\" + std::u16string(kProduct) + u"]\r\n"
           u"\"Allow users to modify settings\"=dword:00000001\r\n\r\n"
           u"[" + user + u"]\r\n\"Enable Logging\"=dword:00000000\r\n\r\n"
           u"[" + classKey + u"]\r\n\r\n"
           u"[" + classKey + u"\\Template1]\r\n\"DisplayName\"=\"Survey\"\r\n"
           u"\"Printing template\"=hex(7):" + multiString({u"/srv/templates/Survey.htm"}) + u"\r\n"
           u"\"IsFolder\"=dword:00000000\r\n\r\n"
           u"[" + classKey + u"\\Template2]\r\n\"DisplayName\"=\"Survey list\"\r\n"
           u"\"Printing template\"=\"/srv/templates/SurveyList.htm\"\r\n\"IsFolder\"=dword:00000001\r\n\r\n";
  }
  bool classStored(const std::u16string& messageClass) {
    platform::registry::resetForTesting();
    CRegKey key;
    return key.Open(HKEY_CURRENT_USER, (std::u16string(kProduct) + u"\\Templates\\" + m_locale + u"\\" + messageClass).c_str(),
                    KEY_READ) == ERROR_SUCCESS;
  }

  // Outlook with the add-in connected and an explorer shown on the headless desktop.
  HWND openOutlook(const std::u16string& version = u"12.0.6425.1000") {
    m_windows = std::make_unique<host::COutlookWindows>(m_office);
    platform::outlook::OutlookOptions options;
    options.version = version;
    m_windows->prepare(options, true);
    m_outlook = platform::outlook::COutlook::open(dir() / "store", options);
    EXPECT_TRUE(m_outlook);
    if (!m_outlook) return nullptr;
    m_windows->attach(m_outlook.get());
    std::string why;
    EXPECT_TRUE(m_addIns.connect(m_outlook->application(), why)) << why;
    m_explorer = m_outlook->openExplorer(m_outlook->defaultFolder(olFolderInbox));
    return m_outlook->windowHandle(m_explorer);
  }
  // Tools > Options from the frame's menu bar, with `act` working in the dialog.
  void toolsOptions(HWND frame, std::function<void(host::COptionsDialog&)> act) {
    bool acted = false;
    m_windows->setOptionsOpened([&](host::COptionsDialog& dialog) {
      platform::loop::post([&] {
        acted = true;
        act(dialog);
        if (IsWindow(dialog.window()) && IsWindowVisible(dialog.window())) {
          ADD_FAILURE() << "the Options dialog was left open";
          SendMessageW(dialog.window(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
      });
    });
    const HMENU bar = GetMenu(frame);
    const HMENU tools = GetSubMenu(bar, GetMenuItemCount(bar) - 1);
    ASSERT_TRUE(tools);
    ASSERT_TRUE(input::pickMenuBarItem(frame, GetMenuItemID(tools, 0)));
    EXPECT_TRUE(acted);
  }
  static std::u16string textOf(HWND window) {
    char16_t buffer[512] = {};
    GetWindowTextW(window, buffer, 512);
    return buffer;
  }
  static std::u16string rowOf(HWND list, int row, int column) {
    char16_t buffer[520] = {};
    ListView_GetItemText(list, row, column, buffer, 520);
    return buffer;
  }

  std::u16string m_locale;
  platform::office::COfficeCommandBars m_office;
  std::unique_ptr<host::COutlookWindows> m_windows;
  std::unique_ptr<platform::outlook::COutlook> m_outlook;
  CComPtr<IDispatch> m_explorer;
  host::CAddInHost m_addIns;
  testsupport::ScriptedUi m_ui;
};

TEST_F(OptionsDialogTest, MalformedRegFileIsRefusedWithItsLineAndChangesNothing) {
  const std::string before = testsupport::readFile(testsupport::quillmarkHome() / "user.reg");
  writeReg(settingsReg() + u"[HKEY_CURRENT_USER\\Software\\Other]\r\n\"Broken\"=dword:zz\r\n");
  EXPECT_EQ(quillmark("regedit " + (dir() / "settings.reg").string()), 1);
  EXPECT_NE(err().find("line 2"), std::string::npos) << err();
  EXPECT_EQ(testsupport::readFile(testsupport::quillmarkHome() / "user.reg"), before);
  EXPECT_FALSE(classStored(u"IPM.Note.Survey"));
}

TEST_F(OptionsDialogTest, AFileNamingAnyKeyButTheProductsIsRefusedWhole) {
  // A class registration merged here would have the next print load whatever module it names.
  const fs::path home = testsupport::quillmarkHome();
  const std::string machine = testsupport::readFile(home / "machine.reg");
  const std::string user = testsupport::readFile(home / "user.reg");
  const std::u16string settings = settingsReg();
  const unsigned firstLine = 3 + static_cast<unsigned>(std::count(settings.begin(), settings.end(), u'\n'));
  const std::u16string keys[] = {
      u"HKEY_CLASSES_ROOT\\CLSID\\{6B1E42D5-3C0A-4F7B-9E25-8D41C7A2F310}\\InprocServer32",
      u"HKEY_CLASSES_ROOT\\TypeLib\\{6B1E42D7-3C0A-4F7B-9E25-8D41C7A2F310}",
      u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Interface\\{6B1E42D6-3C0A-4F7B-9E25-8D41C7A2F310}",
      u"HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\Outlook\\Addins\\quillMark.Connect",
      u"-HKEY_CURRENT_USER\\SOFTWARE\\Corvessa",
      u"HKEY_CURRENT_USER\\SOFTWARE\\Corvessa\\QuillMark For Outlook Extra",
  };
  for (const std::u16string& key : keys) {
    const std::string name = platform::system::utf16ToUtf8(key[0] == u'-' ? key.substr(1) : key);
    SCOPED_TRACE(name);
    writeReg(settings + u"[" + key + u"]\r\n@=\"/tmp/planted.so\"\r\n");
    EXPECT_EQ(quillmark("regedit " + (dir() / "settings.reg").string()), 1);
    EXPECT_NE(err().find("line " + std::to_string(firstLine) + ": the key " + name), std::string::npos) << err();
    EXPECT_EQ(testsupport::readFile(home / "machine.reg"), machine);
    EXPECT_EQ(testsupport::readFile(home / "user.reg"), user);
  }
  // The product's keys in any case still merge.
  writeReg(u"[hkey_current_user\\software\\corvessa\\quillmark for outlook\\Template Settings\\Memo\\1033]\r\n"
           u"\"marginTop\"=dword:00000064\r\n");
  EXPECT_EQ(quillmark("regedit " + (dir() / "settings.reg").string()), 0) << err();
  EXPECT_NE(testsupport::readFile(home / "user.reg"), user);
}

TEST_F(OptionsDialogTest, MergedSettingsShowInTheAddInsTabAndAChangeIsSavedWithOk) {
  writeReg(settingsReg());
  ASSERT_EQ(quillmark("regedit " + (dir() / "settings.reg").string()), 0) << err();
  ASSERT_TRUE(classStored(u"IPM.Note.Survey"));

  const HWND frame = openOutlook();
  ASSERT_TRUE(frame);
  m_ui.queueMessageBoxAnswer(IDOK);  // remove IPM.Note.Survey: yes
  toolsOptions(frame, [&](host::COptionsDialog& dialog) {
    const HWND d = dialog.window();
    EXPECT_EQ(textOf(d), u"Options");
    EXPECT_EQ(textOf(dialog.tabButton(0)), u"Preferences");
    EXPECT_EQ(textOf(dialog.tabButton(1)), u"Quillmark");
    EXPECT_EQ(dialog.currentPage(), 1u);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, host::COptionsDialog::kApplyId)));

    // The container is named by the page's ProgID and holds the page's window.
    const HWND container = dialog.container(1);
    EXPECT_EQ(textOf(container), u"quillMarkLib.quillMarkPP");
    const HWND page = GetWindow(container, GW_CHILD);
    ASSERT_TRUE(page);
    const HWND list = GetDlgItem(page, 204);
    // The install's "<Default>" entry, then the merged class.
    ASSERT_EQ(ListView_GetItemCount(list), 2);
    EXPECT_EQ(rowOf(list, 0, 0), u"<Default>");
    EXPECT_EQ(rowOf(list, 1, 0), u"IPM.Note.Survey");
    EXPECT_EQ(rowOf(list, 1, 1), u"2 Templates ...");

    input::clickListRow(list, 1);
    input::click(GetDlgItem(page, 207));
    EXPECT_EQ(ListView_GetItemCount(list), 1);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, host::COptionsDialog::kApplyId))) << "the page told its site";
    EXPECT_TRUE(classStored(u"IPM.Note.Survey")) << "nothing saved before OK or Apply";
    input::click(GetDlgItem(d, IDOK));
  });
  EXPECT_FALSE(classStored(u"IPM.Note.Survey"));
  ASSERT_FALSE(m_ui.messageBoxes().empty());
  EXPECT_EQ(m_ui.messageBoxes()[0].text, u"Are you sure you want to remove Quillmark support for IPM.Note.Survey?");
}

TEST_F(OptionsDialogTest, PagesCollectionTakesProgIdsWithTitlesOnly) {
  std::vector<host::OptionsPage> pages;
  const CComPtr<IDispatch> collection = host::makePropertyPages(pages);
  CComDispatchDriver driver(collection);
  CComVariant progId(u"quillMarkLib.quillMarkPP"), title(u"Quillmark");
  EXPECT_EQ(driver.Invoke2(u"Add", &progId, &title), S_OK);
  CComVariant object(static_cast<IDispatch*>(collection));
  EXPECT_EQ(driver.Invoke2(u"Add", &object, &title), E_INVALIDARG);
  EXPECT_EQ(driver.Invoke1(u"Add", &progId), E_INVALIDARG);
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].progId, u"quillMarkLib.quillMarkPP");
  EXPECT_EQ(pages[0].title, u"Quillmark");
}

// Outlook 14 and later have no Tools menu: File > Options > Add-ins > Add-in Options is the road.
TEST_F(OptionsDialogTest, FileOptionsOfOutlook14LeadToTheAddInsPage) {
  const HWND frame = openOutlook(u"14.0.7268.5000");
  ASSERT_TRUE(frame);
  EXPECT_FALSE(GetMenu(frame));
  HWND options = nullptr;
  for (HWND at = GetWindow(frame, GW_CHILD); at && !options; at = GetWindow(at, GW_HWNDNEXT))
    if (textOf(at) == u"Options") options = at;
  ASSERT_TRUE(options) << "the File tab's Options";

  bool sawPage = false;
  m_windows->setOptionsOpened([&](host::COptionsDialog& dialog) {
    platform::loop::post([&] {
      EXPECT_EQ(textOf(dialog.window()), u"Add-in Options");
      EXPECT_EQ(textOf(dialog.tabButton(0)), u"Quillmark");
      EXPECT_EQ(textOf(dialog.container(0)), u"quillMarkLib.quillMarkPP");
      sawPage = GetWindow(dialog.container(0), GW_CHILD) != nullptr;
      input::click(GetDlgItem(dialog.window(), IDCANCEL));
    });
  });
  bool walked = false;
  platform::loop::post([&] {
    const HWND outlookOptions = GetActiveWindow();
    EXPECT_EQ(textOf(outlookOptions), u"Outlook Options");
    const HWND button = GetDlgItem(outlookOptions, host::COutlookOptionsDialog::kAddInOptionsId);
    EXPECT_FALSE(IsWindowVisible(button)) << "only the Add-ins page has it";
    input::clickListBoxRow(GetDlgItem(outlookOptions, host::COutlookOptionsDialog::kCategoriesId),
                           host::COutlookOptionsDialog::kAddInsCategory);
    EXPECT_TRUE(IsWindowVisible(button));
    input::click(button);
    walked = true;
    input::click(GetDlgItem(outlookOptions, IDOK));
  });
  ASSERT_TRUE(input::click(options));
  EXPECT_TRUE(walked);
  EXPECT_TRUE(sawPage);
  EXPECT_FALSE(IsWindow(GetActiveWindow()) && textOf(GetActiveWindow()) == u"Outlook Options");
}

}  // namespace
