#include "host/OutlookCommand.h"

#include <cstdio>
#include <system_error>
#include <vector>

#include "host/AddIns.h"
#include "host/OutlookWindows.h"
#include "platform/loop/MessageLoop.h"
#include "platform/office/CommandBars.h"
#include "platform/outlook/Outlook.h"
#include "platform/outlook/OutlookInterfaces.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/shell/Shell.h"
#include "platform/system/Text.h"
#include "platform/ui/Desktop.h"

namespace host {

namespace fs = std::filesystem;

std::optional<OutlookCommandLine> parseOutlookCommandLine(const std::vector<std::string>& args, std::string& error) {
  OutlookCommandLine command;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--store" && i + 1 < args.size()) {
      command.store = args[++i];
    } else if (args[i] == "--outlook-version" && i + 1 < args.size()) {
      const std::string& version = args[++i];
      // The builds Outlook's own versions report.
      if (version == "11") command.version = u"11.0.8169.0";
      else if (version == "12") command.version = u"12.0.6425.1000";
      else if (version == "14") command.version = u"14.0.7268.5000";
      else if (version == "16") command.version = u"16.0.5095.1000";
      else {
        error = "unknown Outlook version " + version + " (11, 12, 14 or 16)";
        return std::nullopt;
      }
    } else {
      error = "unknown argument " + args[i];
      return std::nullopt;
    }
  }
  return command;
}

fs::path defaultStore() {
  const fs::path store = platform::registry::registryHome() / "store";
  std::error_code ec;
  fs::create_directories(store / "Inbox", ec);
  return store;
}

int runOutlook(const OutlookCommandLine& command) {
  const fs::path store = command.store.empty() ? defaultStore() : command.store;
  const bool shown = platform::ui::currentFace() == platform::ui::Face::kGtk;

  // Declared in this order so that the windows go before what draws them.
  platform::office::COfficeCommandBars office;
  COutlookWindows windows(office);
  platform::outlook::OutlookOptions options;
  options.version = command.version;
  windows.prepare(options, shown);
  std::unique_ptr<platform::outlook::COutlook> outlook = platform::outlook::COutlook::open(store, options);
  if (!outlook) {
    std::fprintf(stderr, "quillmark outlook: cannot open the store %s\n", store.string().c_str());
    return 1;
  }
  windows.attach(outlook.get());
  windows.setStatusListener([](const std::u16string& text) {
    std::printf("quillmark outlook: %s\n", platform::system::utf16ToUtf8(text).c_str());
    std::fflush(stdout);
  });

  CAddInHost addIns;
  std::string error;
  if (addIns.connect(outlook->application(), error)) {
    std::string names;
    for (const std::string& name : addIns.connected()) names += (names.empty() ? "" : ", ") + name;
    std::printf("quillmark outlook: connected the add-ins %s\n", names.c_str());
    for (const CComPtr<IUnknown>& addIn : addIns.objects()) windows.addAddIn(addIn);
  } else {
    std::printf("quillmark outlook: no add-in connected: %s\n", error.c_str());
  }
  std::fflush(stdout);

  CComPtr<IDispatch> folder = outlook->defaultFolder(olFolderInbox);
  if (!folder) folder = outlook->folder(u"");
  const CComPtr<IDispatch> explorer = outlook->openExplorer(folder);
  if (!explorer) {
    std::fprintf(stderr, "quillmark outlook: cannot open an explorer on the store\n");
  } else if (shown) {
    bool done = false;
    windows.setLastExplorerClosed([&done] { done = true; });
    platform::loop::runUntil([&done] { return done; });
  } else {
    // Headless: what the add-ins queued at start-up runs, then Outlook goes.
    platform::loop::runUntilIdle();
    outlook->close(explorer);
  }
  windows.releaseAddIns();
  addIns.disconnect();
  // The attachments dialog says nothing of a file that did not print; the session does.
  const std::vector<platform::shell::FailedPrint> notPrinted = platform::shell::takeFailedPrints();
  for (const platform::shell::FailedPrint& print : notPrinted)
    std::fprintf(stderr, "quillmark outlook: %s was not printed: %s\n",
                 platform::system::utf16ToUtf8(print.file).c_str(), print.reason.c_str());
  return addIns.failures().empty() && notPrinted.empty() ? 0 : 1;
}

}  // namespace host
