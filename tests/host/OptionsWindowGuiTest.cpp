// `quillmark options` on the test run's Xvfb with the add-in loaded through its registration: the
// ribbon's options button opens the add-in's options window (a picture is saved to look at), and a
// person adds an item type and its template with real clicks and keys (XTEST): options page Add,
// the template list's Change, the item type chooser with a typed class, the template dialog with
// a typed path, then OK in each. The hive file then holds the class and its template.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "host/OptionsCommand.h"
#include "platform/loop/MessageLoop.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/system/Text.h"
#include "platform/ui/CommCtrl.h"
#include "platform/ui/Desktop.h"
#include "resources/resource.h"
#include "tests/platform/ui/GuiSupport.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;

std::u16string textOf(HWND window) {
  char16_t buffer[1024] = {};
  GetWindowTextW(window, buffer, 1024);
  return buffer;
}

// The options page inside the options window: the grandchild that has the page's Add button.
HWND pageIn(HWND dialog) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const HWND page = GetWindow(child, GW_CHILD);
    if (page && GetDlgItem(page, IDC_PP_ADD)) return page;
  }
  return nullptr;
}

// The active dialog when it has the control `id` and is on the screen.
HWND activeWith(int id) {
  const HWND active = GetActiveWindow();
  return active && IsWindowVisible(active) && GetDlgItem(active, id) && uitest::settled(active) ? active : nullptr;
}

bool click(HWND control) { return control && uitest::clickAt(uitest::centreOf(control)); }

// Keys for a text as xdotool names them.
std::string keysFor(const std::string& text) {
  std::string keys = " key --delay 20 ctrl+a";
  for (const char c : text) {
    switch (c) {
      case '.': keys += " period"; break;
      case '-': keys += " minus"; break;
      case '/': keys += " slash"; break;
      case '_': keys += " underscore"; break;
      default: keys += std::string(" ") + c;
    }
  }
  return keys;
}

// Clicks into the edit and types the text.
bool typeInto(HWND edit, const std::string& text) {
  return click(edit) && uitest::xdotool(keysFor(text));
}

// The person at the screen: one step a 100 ms tick (the project's timers tick inside every modal
// loop), each answering true when done. One that waits too long fails the test and cancels the
// windows up, so the command always ends.
class Person {
 public:
  using Step = std::function<bool()>;
  explicit Person(std::vector<std::pair<std::string, Step>> steps) : m_steps(std::move(steps)) {
    platform::loop::SetTimer(owner(), 1, 100, [this](std::uintptr_t) { tick(); });
  }
  ~Person() { platform::loop::KillTimer(owner(), 1); }
  std::string waitingFor() const { return m_next < m_steps.size() ? m_steps[m_next].first : ""; }

 private:
  HWND owner() { return reinterpret_cast<HWND>(this); }
  void tick() {
    if (m_inTick || m_next >= m_steps.size()) return;
    m_inTick = true;
    if (m_steps[m_next].second()) {
      ++m_next;
      m_ticks = 0;
    } else if (++m_ticks > 150) {
      ADD_FAILURE() << "gave up waiting: " << m_steps[m_next].first;
      m_next = m_steps.size();
      for (int i = 0; i < 5; ++i)
        if (const HWND active = GetActiveWindow()) PostMessageW(active, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    m_inTick = false;
  }

  std::vector<std::pair<std::string, Step>> m_steps;
  std::size_t m_next = 0;
  int m_ticks = 0;
  bool m_inTick = false;
};

// The hive files' text (UTF-16 with a byte-order mark) as UTF-8.
std::string hiveText(const fs::path& file) {
  const std::string bytes = testsupport::readFile(file);
  std::u16string text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
    text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
  return platform::system::utf16ToUtf8(text);
}

class OptionsWindowGuiTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    std::string why;
    if (!uitest::startGtkFace(why)) GTEST_SKIP() << why;
    ASSERT_EQ(testsupport::runCommand(std::string(QM_QUILLMARK_BINARY) + " --no-gui install", dir()), 0);
  }
  void TearDown() override { platform::registry::resetForTesting(); }
};

TEST_F(OptionsWindowGuiTest, RibbonButtonOpensTheOptionsWindowWhereClicksAddAnItemTypeAndItsTemplate) {
  const std::string templatePath = (dir() / "Ledger.htm").string();
  HWND window = nullptr;
  int classesBefore = -1;
  bool pictured = false;
  Person person({
      {"the options window",
       [&] {
         const HWND active = GetActiveWindow();
         const HWND page = active && IsWindowVisible(active) ? pageIn(active) : nullptr;
         if (!page || !IsWindowVisible(page)) return false;
         window = active;
         uitest::waitUntilShown(window);
         platform::loop::runFor(300);
         EXPECT_EQ(textOf(window), u"Quillmark for Outlook Options");
         classesBefore = ListView_GetItemCount(GetDlgItem(page, IDC_PP_LIST));
         EXPECT_GE(classesBefore, 1);
         pictured = platform::ui::saveWindowPicture(window, uitest::picturePath("options-window-137.png"));
         return click(GetDlgItem(page, IDC_PP_ADD));
       }},
      {"the template list (118)", [] { return click(GetDlgItem(activeWith(IDC_CHANGE_CLASS), IDC_CHANGE_CLASS)); }},
      {"the item type chooser (113)",
       [] {
         const HWND chooser = activeWith(IDC_CUSTOM_CLASS_EDIT);
         if (!chooser) return false;
         return click(GetDlgItem(chooser, IDC_CUSTOM_CLASS)) &&
                typeInto(GetDlgItem(chooser, IDC_CUSTOM_CLASS_EDIT), "IPM.Note.Ledger");
       }},
      {"the typed class",
       [] {
         const HWND chooser = activeWith(IDC_CUSTOM_CLASS_EDIT);
         return chooser && textOf(GetDlgItem(chooser, IDC_CUSTOM_CLASS_EDIT)) == u"IPM.Note.Ledger" &&
                click(GetDlgItem(chooser, IDOK));
       }},
      {"the class in the template list",
       [] {
         const HWND list = activeWith(IDC_CLASS_EDIT);
         return list && textOf(GetDlgItem(list, IDC_CLASS_EDIT)) == u"IPM.Note.Ledger" &&
                click(GetDlgItem(list, IDC_TEMPLATE_ADD));
       }},
      {"the template dialog (119)",
       [&] {
         const HWND t = activeWith(IDC_TEMPLATE_PATH);
         return t && typeInto(GetDlgItem(t, IDC_TEMPLATE_NAME), "Ledger") &&
                typeInto(GetDlgItem(t, IDC_TEMPLATE_PATH), templatePath);
       }},
      {"the typed template",
       [&] {
         const HWND t = activeWith(IDC_TEMPLATE_PATH);
         return t && textOf(GetDlgItem(t, IDC_TEMPLATE_NAME)) == u"Ledger" &&
                textOf(GetDlgItem(t, IDC_TEMPLATE_PATH)) == platform::system::utf8ToUtf16(templatePath) &&
                click(GetDlgItem(t, IDOK));
       }},
      {"the template listed",
       [] {
         const HWND list = activeWith(IDC_TEMPLATE_LIST);
         return list && ListView_GetItemCount(GetDlgItem(list, IDC_TEMPLATE_LIST)) == 1 && click(GetDlgItem(list, IDOK));
       }},
      {"the class on the options page",
       [&] {
         const HWND page = window && GetActiveWindow() == window ? pageIn(window) : nullptr;
         return page && ListView_GetItemCount(GetDlgItem(page, IDC_PP_LIST)) == classesBefore + 1 &&
                click(GetDlgItem(window, IDOK));
       }},
  });
  EXPECT_EQ(host::runOptions(), 0);
  EXPECT_EQ(person.waitingFor(), "");
  EXPECT_TRUE(pictured);

  // Saved by OK, in the hive the settings go to.
  const std::string hives = hiveText(testsupport::quillmarkHome() / "user.reg") +
                            hiveText(testsupport::quillmarkHome() / "machine.reg");
  EXPECT_NE(hives.find("\\IPM.Note.Ledger]"), std::string::npos);
  EXPECT_NE(hives.find("\"" + templatePath + "\""), std::string::npos);
}

}  // namespace
