#include "host/Print.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <system_error>
#include <thread>

#include "host/AddIns.h"
#include "host/Destination.h"
#include "host/Install.h"
#include "platform/browser/PrintDestination.h"
#include "platform/browser/PrintTemplate.h"
#include "platform/com/Activation.h"
#include "platform/com/Com.h"
#include "platform/mapi/MsgFile.h"
#include "platform/office/OfficeInterfaces.h"
#include "platform/outlook/Outlook.h"
#include "platform/outlook/OwnPrintRequests.h"
#include "platform/registry/RegKey.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"

namespace host {

namespace fs = std::filesystem;
using platform::system::utf16ToUtf8;
using platform::system::utf8ToUtf16;

std::optional<PrintCommandLine> parsePrintCommandLine(const std::vector<std::string>& args, std::string& error) {
  PrintCommandLine command;
  bool preview = false, dialog = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--preview") {
      preview = true;
    } else if (a == "--dialog") {
      dialog = true;
    } else if (a == "--table") {
      command.table = true;
    } else if (a == "--template" && hasValue) {
      command.templateName = args[++i];
    } else if (a == "--out" && hasValue) {
      command.out = args[++i];
      // An empty folder would silently mean "no folder": the printer, or files in the home folder.
      if (command.out.empty()) {
        error = "--out needs a folder; an empty name was given";
        return std::nullopt;
      }
    } else if (a.starts_with("--")) {
      error = "unknown or incomplete option " + a;
      return std::nullopt;
    } else {
      command.files.emplace_back(a);
    }
  }
  if (preview && dialog) {
    error = "--preview and --dialog exclude each other";
    return std::nullopt;
  }
  if (command.files.empty()) {
    error = "no .msg file given";
    return std::nullopt;
  }
  command.mode = preview ? kModePreview : dialog ? kModePrintWithPrompt : kModePrint;
  return command;
}

namespace {

// The template a --template NAME means: a file as given, else one of the installed templates.
fs::path findTemplate(const std::string& name) {
  std::error_code ec;
  if (fs::is_regular_file(name, ec)) return fs::absolute(name);
  const fs::path folder = installedTemplateFolder();
  if (folder.empty() || name.find('/') != std::string::npos) return {};
  for (const char* extension : {"", ".htm", ".html"}) {
    const fs::path candidate = folder / (name + extension);
    if (fs::is_regular_file(candidate, ec)) return candidate;
  }
  return {};
}

// A file the store can read as an item: it opens as a .msg. What was read is kept for the store's
// own opening of the item.
bool isValidMsg(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return false;
  return SUCCEEDED(platform::mapi::readMsgFileAhead(file));
}

// Whether each file opens as a .msg, in the files' order. The files are read side by side, each
// on a thread of its own: one after the other, a batch's files would hold back its first print,
// and the loop that prints them would read them again.
std::vector<char> validMsgs(const std::vector<fs::path>& files) {
  std::vector<char> valid(files.size(), 0);
  // Unreadable, whatever the reason; the reason is told.
  const auto check = [&](std::size_t i) {
    valid[i] = platform::diag::guarded("reading " + files[i].string(), char{0}, [&] { return char{isValidMsg(files[i])}; });
  };
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i = next++; i < files.size(); i = next++) check(i);
  };
  const std::size_t workers = std::min<std::size_t>(files.size(), std::max(1U, std::thread::hardware_concurrency()));
  if (workers <= 1) {
    work();
    return valid;
  }
  std::vector<std::thread> threads;
  for (std::size_t w = 0; w < workers; ++w) threads.emplace_back(work);
  for (std::thread& thread : threads) thread.join();
  return valid;
}

// Settings files the add-in could not read: printing with defaults in place of what the user
// wrote would print what nobody chose.
std::string unreadableSettings() {
  std::string reasons;
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    const platform::registry::RegFileStatus status = platform::registry::hiveStatus(root);
    if (status.ok()) continue;
    if (!reasons.empty()) reasons += "; ";
    reasons += utf16ToUtf8(status.message);
  }
  return reasons;
}

// Why a job failed, beside the message the add-in showed: the last failure it reported.
void reportReason(int status, const fs::path& file) {
  if (status == kStatusPrinted || status == kStatusDeclined) return;
  const std::string reason = platform::diag::lastFailure();
  std::fprintf(stderr, "quillmark print: %s not printed (status %d): %s\n", file.stem().string().c_str(), status,
               reason.empty() ? "no reason was logged" : reason.c_str());
}


}  // namespace

int runPrint(const PrintCommandLine& command) {
  int exitStatus = 0;
  std::u16string templatePath;
  if (!command.templateName.empty()) {
    const fs::path found = findTemplate(command.templateName);
    if (found.empty()) {
      std::fprintf(stderr, "quillmark print: no template %s\n", command.templateName.c_str());
      return 2;
    }
    templatePath = utf8ToUtf16(found.string());
  }

  // The items by their folder, as the store opens them; files that are no .msg are refused.
  std::map<fs::path, std::vector<fs::path>> byFolder;
  const std::vector<char> valid = validMsgs(command.files);
  for (std::size_t i = 0; i < command.files.size(); ++i) {
    const fs::path& file = command.files[i];
    if (!valid[i]) {
      std::fprintf(stderr, "quillmark print: %s is not a valid .msg file; not printed\n", file.string().c_str());
      exitStatus = 1;
      continue;
    }
    const fs::path absolute = fs::absolute(file).lexically_normal();
    byFolder[absolute.parent_path()].push_back(absolute);
  }
  if (byFolder.empty()) return 1;
  if (command.table && byFolder.size() > 1) {
    std::fprintf(stderr, "quillmark print: --table prints the items of one folder\n");
    return 2;
  }
  // Every PDF is named after the file of the item it prints; a table after its first item.
  std::vector<std::pair<CComPtr<IDispatch>, std::u16string>> names;
  CCommandDestination destination(command.out);
  // The browser starts beside the add-in's loading, the settings and the items; where the pages
  // go is known first, so a run to a folder never asks for the printer.
  platform::browser::startPrinting();
  destination.get().nameOf = [&names](IDispatch* item, bool table) -> std::u16string {
    for (const auto& [known, stem] : names)
      if (known.IsEqualObject(item)) return table ? stem + u"-table" : stem;
    return {};
  };

  for (const auto& [folderPath, files] : byFolder) {
    std::unique_ptr<platform::outlook::COutlook> outlook = platform::outlook::COutlook::open(folderPath);
    if (!outlook) {
      std::fprintf(stderr, "quillmark print: cannot open the folder %s\n", folderPath.string().c_str());
      exitStatus = 1;
      continue;
    }
    CAddInHost addIns;
    std::string error;
    const bool connected = addIns.connect(outlook->application(), error);
    const std::string unreadable = unreadableSettings();
    if (!connected && unreadable.empty()) {
      std::fprintf(stderr, "quillmark print: %s; nothing printed\n", error.c_str());
      exitStatus = 1;
      break;
    }
    if (!unreadable.empty()) {
      std::fprintf(stderr, "quillmark print: the settings cannot be read; nothing printed: %s\n", unreadable.c_str());
      exitStatus = 1;
      break;
    }

    std::vector<CComPtr<IDispatch>> items;
    std::vector<fs::path> itemFiles;
    for (const fs::path& file : files) {
      CComPtr<IDispatch> item = outlook->item(file);
      if (!item) {
        std::fprintf(stderr, "quillmark print: %s is not an item of the store; not printed\n", file.string().c_str());
        exitStatus = 1;
        continue;
      }
      names.emplace_back(item, utf8ToUtf16(file.stem().string()));
      items.push_back(item);
      itemFiles.push_back(file);
    }
    if (items.empty()) continue;

    // The items are selected in an explorer of their folder, and the add-in's own print command
    // of that window prints them.
    const CComPtr<IDispatch> explorer = outlook->openExplorer(outlook->folder(u""), {});
    const HWND window = explorer ? outlook->windowHandle(explorer) : nullptr;
    using Kind = platform::outlook::OwnPrintRequest::Kind;
    const auto request = [&](const std::vector<IDispatch*>& selection, const fs::path& first, Kind kind,
                             std::function<void(IDispatch*, int)> onItem) {
      platform::diag::clearLastFailure();
      std::optional<int> status;
      if (window && SUCCEEDED(outlook->select(explorer, selection)))
        status = platform::outlook::requestOwnPrint(window, {command.mode, templatePath, kind, std::move(onItem)});
      if (!status) {
        std::fprintf(stderr, "quillmark print: the add-in serves no explorer window; %s not printed\n",
                     first.string().c_str());
        exitStatus = 1;
        return;
      }
      if (*status != kStatusPrinted) exitStatus = 1;
      // Each item of a batch has had its own report.
      if (kind != Kind::kInTurn) reportReason(*status, first);
    };
    if (command.table) {
      request(std::vector<IDispatch*>(items.begin(), items.end()), itemFiles.front(), Kind::kTable, {});
    } else {
      // The items in turn, each a request of its own; the add-in makes the next one ready while
      // one prints.
      std::vector<bool> reported(items.size(), false);
      request(std::vector<IDispatch*>(items.begin(), items.end()), itemFiles.front(), Kind::kInTurn,
              [&](IDispatch* item, int status) {
        for (std::size_t i = 0; i < items.size(); ++i)
          if (!reported[i] && items[i].IsEqualObject(item)) {
            reported[i] = true;
            reportReason(status, itemFiles[i]);
            break;
          }
        if (status != kStatusPrinted) exitStatus = 1;
        platform::diag::clearLastFailure();
      });
      // Items the add-in never reached (it failed before their turn) are not printed either.
      for (std::size_t i = 0; i < items.size(); ++i)
        if (!reported[i]) {
          const std::string reason = platform::diag::lastFailure();
          std::fprintf(stderr, "quillmark print: %s not printed: %s\n", itemFiles[i].stem().string().c_str(),
                       reason.empty() ? "the add-in did not reach it" : reason.c_str());
          exitStatus = 1;
        }
    }
    if (explorer) outlook->close(explorer);
  }

  destination.reportWritten("quillmark print");
  return exitStatus;
}

}  // namespace host
