#include "host/Print.h"

#include <cstdio>
#include <map>
#include <memory>
#include <system_error>

#include "engine/Printer.h"
#include "foundation/Settings.h"
#include "host/EnginePrint.h"
#include "platform/com/DispatchDriver.h"
#include "platform/com/Variant.h"
#include "platform/mapi/MsgFile.h"
#include "platform/outlook/Outlook.h"
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
  const fs::path folder(CSettings::instance().getTemplateFolder().toUtf8());
  if (folder.empty() || name.find('/') != std::string::npos) return {};
  for (const char* extension : {"", ".htm", ".html"}) {
    const fs::path candidate = folder / (name + extension);
    if (fs::is_regular_file(candidate, ec)) return candidate;
  }
  return {};
}

// A file the store can read as an item: it opens as a .msg.
bool isValidMsg(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return false;
  CComPtr<IMessage> message;
  return SUCCEEDED(platform::mapi::openMsgFile(file, message.Receive())) && message;
}

}  // namespace

int runPrint(const PrintCommandLine& command) {
  // Printing with defaults in place of settings the user wrote would print what nobody chose.
  const quilstring& settingsFailure = CSettings::instance().getReadFailure();
  if (!settingsFailure.empty()) {
    std::fprintf(stderr, "quillmark print: the settings cannot be read; nothing printed: %s\n",
                 settingsFailure.toUtf8().c_str());
    return 1;
  }
  int exitStatus = 0;
  quilstring templatePath;
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
  std::vector<fs::path> order;
  for (const fs::path& file : command.files) {
    if (!isValidMsg(file)) {
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

  const PrintDestination previous = printDestination();
  PrintDestination destination;
  if (!command.out.empty()) {
    destination.folder = command.out;
    destination.alwaysToFolder = true;
  }
  setPrintDestination(destination);
  beginPrintRun();

  for (const auto& [folderPath, files] : byFolder) {
    std::unique_ptr<platform::outlook::COutlook> outlook = platform::outlook::COutlook::open(folderPath);
    if (!outlook) {
      std::fprintf(stderr, "quillmark print: cannot open the folder %s\n", folderPath.string().c_str());
      exitStatus = 1;
      continue;
    }
    EnginePrintRequest request;
    request.application = outlook->application();
    request.mode = command.mode;
    request.table = command.table;
    request.templatePath = templatePath;
    std::vector<CComPtr<IDispatch>> items;
    for (const fs::path& file : files) {
      CComPtr<IDispatch> item = outlook->item(file);
      if (!item) {
        std::fprintf(stderr, "quillmark print: %s is not an item of the store; not printed\n", file.string().c_str());
        exitStatus = 1;
        continue;
      }
      items.push_back(item);
      request.items.push_back(item);
      request.fileStems.push_back(utf8ToUtf16(file.stem().string()));
    }
    if (items.empty()) continue;

    CComPtr<IDispatch> folder, explorer;
    CComVariant selection;
    if (command.table) {
      folder = outlook->folder(u"");
      std::vector<IDispatch*> selected(request.items.begin(), request.items.end());
      explorer = outlook->openExplorer(folder, selected);
      if (explorer) CComDispatchDriver(explorer).GetPropertyByName(u"Selection", &selection);
      request.folder = folder;
      request.selection = selection.vt == VT_DISPATCH ? selection.pdispVal : nullptr;
      request.fileStem = utf8ToUtf16(files.front().stem().string() + "-table");
    }
    if (printThroughEngine(request) != kStatusPrinted) exitStatus = 1;
  }

  for (std::size_t i = 0; i < writtenPdfs().size(); ++i)
    std::printf("quillmark print: wrote %s\n", writtenPdfs()[i].string().c_str());
  setPrintDestination(previous);
  return exitStatus;
}

}  // namespace host
