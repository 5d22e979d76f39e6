#include "host/OutlookCommand.h"

#include <cstdio>
#include <functional>
#include <system_error>
#include <vector>

#include "host/AddIns.h"
#include "host/OutlookWindows.h"
#include "platform/com/DispatchDriver.h"
#include "platform/com/Variant.h"
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
    } else if (args[i] == "--list") {
      command.list = true;
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

namespace {

CComPtr<IDispatch> objectOf(IDispatch* object, const char16_t* name) {
  CComVariant value;
  if (!object || FAILED(CComDispatchDriver(object).GetPropertyByName(name, &value)) || value.vt != VT_DISPATCH)
    return nullptr;
  return CComPtr<IDispatch>(value.pdispVal);
}

std::u16string textOf(IDispatch* object, const char16_t* name) {
  CComVariant value;
  if (!object || FAILED(CComDispatchDriver(object).GetPropertyByName(name, &value)) || value.vt != VT_BSTR ||
      !value.bstrVal)
    return {};
  return value.bstrVal;
}

// Depth first, the folder before its sub-folders; fn answers false to stop.
bool forEachFolder(IDispatch* folder, const std::function<bool(IDispatch*)>& fn) {
  if (!folder || !fn(folder)) return false;
  const CComPtr<IDispatch> children = objectOf(folder, u"Folders");
  for (LONG i = 1, n = countOf(children); i <= n; ++i)
    if (!forEachFolder(itemOf(children, i), fn)) return false;
  return true;
}

// One line of the list: a subject's tabs and line breaks would split its fields or its line.
std::string field(const std::u16string& text) {
  std::u16string flat = text;
  for (char16_t& c : flat)
    if (c < u' ' || c == 0x7F) c = u' ';
  return platform::system::utf16ToUtf8(flat);
}

int listItems(platform::outlook::COutlook& outlook) {
  forEachFolder(outlook.folder(u""), [](IDispatch* folder) {
    const std::string path = field(textOf(folder, u"FolderPath"));
    const CComPtr<IDispatch> items = objectOf(folder, u"Items");
    for (LONG i = 1, n = countOf(items); i <= n; ++i) {
      const CComPtr<IDispatch> item = itemOf(items, i);
      const std::u16string entryId = textOf(item, u"EntryID");
      if (entryId.empty()) {
        std::fprintf(stderr, "quillmark outlook: item %ld of %s could not be read\n", static_cast<long>(i), path.c_str());
        continue;
      }
      std::printf("%s\t%s\t%s\n", field(entryId).c_str(), path.c_str(), field(textOf(item, u"Subject")).c_str());
    }
    return true;
  });
  if (outlook.storeTruncated())
    std::fprintf(stderr, "quillmark outlook: the store is larger than what is read of it; the list is not complete\n");
  return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

}  // namespace

CComPtr<IDispatch> startFolder(platform::outlook::COutlook& outlook) {
  const CComPtr<IDispatch> inbox = outlook.defaultFolder(olFolderInbox);
  if (countOf(objectOf(inbox, u"Items")) > 0) return inbox;
  CComPtr<IDispatch> found;
  forEachFolder(outlook.folder(u""), [&found](IDispatch* folder) {
    if (countOf(objectOf(folder, u"Items")) == 0) return true;
    found = folder;
    return false;
  });
  return found ? found : inbox;
}

int runOutlook(const OutlookCommandLine& command) {
  const fs::path store = command.store.empty() ? defaultStore() : command.store;
  if (command.list) {
    const std::unique_ptr<platform::outlook::COutlook> outlook = platform::outlook::COutlook::open(store);
    if (!outlook) {
      std::fprintf(stderr, "quillmark outlook: cannot open the store %s\n", store.string().c_str());
      return 1;
    }
    return listItems(*outlook);
  }
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

  CComPtr<IDispatch> folder = startFolder(*outlook);
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
