#pragma once
// The configuration dialogs' tests: the headless desktop with a person acting in each dialog
// (platform::ui::input), a fresh registry in the test's QUILLMARK_HOME with a settings store on it,
// scripted boxes and pickers, and the window the dialogs open over.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "config/ConfigDialog.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Settings.h"
#include "platform/loop/MessageLoop.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/UserInput.h"
#include "resources/resource.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TestEnvironment.h"

namespace configtest {

namespace input = platform::ui::input;

class ConfigDialogTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    ASSERT_TRUE(platform::ui::chooseFace(platform::ui::Face::kHeadless));
    platform::registry::setStorageForTesting(nullptr);
    platform::registry::resetForTesting();
    CSettings::resetForTesting();
    NUtils::resetTempPathForTesting();
    CConfigDialog::allowHeadlessForTesting(true);
    m_owner = CreateWindowExW(0, WC_DIALOG, u"Options", WS_POPUP, 0, 0, 600, 500, nullptr, nullptr, nullptr, nullptr);
    SetActiveWindow(m_owner);
  }
  void TearDown() override {
    DestroyWindow(m_owner);
    CConfigDialog::allowHeadlessForTesting(false);
    CSettings::resetForTesting();
    platform::registry::setStorageForTesting(nullptr);
    platform::registry::resetForTesting();
    NGlobals::resetForTesting();
  }

  // Runs the dialog modally while `act` works in it as a person would. A dialog that `act` leaves
  // open is cancelled (and the test fails), so no test hangs.
  template <class Dialog>
  int run(Dialog& dialog, std::function<void(HWND)> act) {
    actInNext(std::move(act));
    return dialog.DoModal(m_owner);
  }
  // `act` works in the next dialog that opens (a nested one, opened by the click that follows).
  static void actInNext(std::function<void(HWND)> act) {
    platform::loop::post([act = std::move(act)] {
      const HWND dialog = GetActiveWindow();
      act(dialog);
      if (IsWindow(dialog) && IsWindowVisible(dialog)) {
        ADD_FAILURE() << "the dialog was left open";
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      }
    });
  }

  static HWND at(HWND dialog, int id) { return GetDlgItem(dialog, id); }
  static std::u16string textOf(HWND dialog, int id) {
    char16_t buffer[1024] = {};
    GetDlgItemTextW(dialog, id, buffer, 1024);
    return buffer;
  }
  static std::u16string captionOf(HWND window) {
    char16_t buffer[512] = {};
    GetWindowTextW(window, buffer, 512);
    return buffer;
  }
  static bool enabled(HWND dialog, int id) { return IsWindowEnabled(at(dialog, id)) != FALSE; }
  static bool isChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
  static void retype(HWND dialog, int id, std::u16string_view text) {
    input::clearText(at(dialog, id));
    input::typeText(at(dialog, id), text);
  }
  static std::u16string rowOf(HWND list, int row, int column = 0) {
    char16_t buffer[520] = {};
    ListView_GetItemText(list, row, column, buffer, 520);
    return buffer;
  }
  static quilstring text(UINT id, const char16_t* argument = nullptr) { return NConfig::loadText(id, argument); }
  // The texts of the boxes shown so far, and forgets them.
  std::vector<std::u16string> boxTexts() const {
    std::vector<std::u16string> texts;
    for (const auto& box : m_ui.messageBoxes()) texts.push_back(box.text);
    return texts;
  }

  HWND m_owner = nullptr;
  testsupport::ScriptedUi m_ui;
};

}  // namespace configtest
