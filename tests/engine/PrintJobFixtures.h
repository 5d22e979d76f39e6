#pragma once
// Shared pieces of the print job tests: a fresh settings store and registry per test, scripted
// answers, template files, fake items and folders, and printers that record what they print.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include <boost/make_shared.hpp>

#include "engine/PrintItem.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Settings.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/ui/Ui.h"
#include "platform/ui/WinUser.h"
#include "tests/engine/FakeOutlook.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TestEnvironment.h"

namespace enginetest {

// What a recording printer was asked to print.
struct PrintCall {
  CPrintInfo job;
  quilstring templatePath;
  int mode;
};

// Printers that record each job and answer the queued statuses (1 once the queue is empty).
class RecordingPrinters {
 public:
  std::vector<int> statuses;
  std::vector<PrintCall> calls;

  PrinterFactory factory() {
    return [this](const CPrintInfo& job, const quilstring& path) -> std::unique_ptr<IPrinter> {
      return std::make_unique<Printer>(*this, job, path);
    };
  }

 private:
  class Printer : public IPrinter {
   public:
    Printer(RecordingPrinters& owner, const CPrintInfo& job, const quilstring& path)
        : m_owner(owner), m_job(job), m_path(path) {}
    int DoService(int mode) override {
      m_owner.calls.push_back({m_job, m_path, mode});
      const std::size_t n = m_owner.calls.size() - 1;
      return n < m_owner.statuses.size() ? m_owner.statuses[n] : kStatusPrinted;
    }

   private:
    RecordingPrinters& m_owner;
    CPrintInfo m_job;
    quilstring m_path;
  };
};

class PrintJobTest : public testsupport::IsolatedTest {
 public:
  // The window the user works in: boxes and dialogs of the job are owned by it.
  HWND m_activeWindow = nullptr;

  void SetUp() override {
    IsolatedTest::SetUp();
    platform::registry::setStorageForTesting(nullptr);
    platform::registry::resetForTesting();
    CSettings::resetForTesting();
    NUtils::resetTempPathForTesting();
    m_activeWindow = CreateWindowExW(0, WC_DIALOG, u"Explorer", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
    SetActiveWindow(m_activeWindow);
  }
  void TearDown() override {
    DestroyWindow(m_activeWindow);
    CSettings::resetForTesting();
    platform::registry::setStorageForTesting(nullptr);
    platform::registry::resetForTesting();
    NGlobals::resetForTesting();
  }

  static SettingsData& data() { return CSettings::instance().getSettingsData(); }

  // A template file in the test folder; size 0 writes an empty file, a negative size none.
  quilstring templateFile(const std::string& name, int size = 20) {
    const std::filesystem::path path = dir() / "templates" / name;
    std::filesystem::create_directories(path.parent_path());
    if (size >= 0) std::ofstream(path) << std::string(static_cast<std::size_t>(size), 'x');
    return quilstring::fromUtf8(path.string());
  }
  TemplateDetail memo(const std::string& name, int size = 20) {
    return {quilstring::fromUtf8(name), templateFile(name + ".htm", size), 0, {}};
  }
  TemplateDetail table(const std::string& name, int size = 20) {
    return {quilstring::fromUtf8(name), templateFile(name + ".htm", size), 1, {}};
  }
  // Sets the in-memory templates of a class (replacing its entry).
  static void setClass(const quilstring& messageClass, std::vector<TemplateDetail> templates) {
    auto entry = boost::make_shared<MessageClassSettings>();
    entry->templates = std::move(templates);
    data().messageClasses[messageClass] = entry;
  }

  static FakePtr fakeItem(std::u16string_view messageClass) {
    FakePtr item = makeFake();
    item->text(0x1A, u"MessageClass", messageClass);
    return item;
  }
  static FakePtr fakeFolder(std::u16string_view defaultClass) {
    FakePtr folder = makeFake();
    folder->text(0x3107, u"DefaultMessageClass", defaultClass);
    return folder;
  }
  static FakePtr fakeSelection(const std::vector<FakePtr>& items) {
    std::vector<CComPtr<IDispatch>> members;
    for (const FakePtr& item : items) members.emplace_back(item.p);
    FakePtr selection = makeFake();
    selection->collection(std::move(members));
    return selection;
  }

  static quilstring text(UINT id, const char16_t* argument = nullptr) {
    quilstring s;
    if (argument) s.FormatResource(NGlobals::moduleInstance(), id, argument);
    else s.LoadString(NGlobals::moduleInstance(), id);
    return s;
  }

  testsupport::ScriptedUi m_ui;
  RecordingPrinters m_printers;
};

}  // namespace enginetest
