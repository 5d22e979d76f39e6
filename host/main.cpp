// quillmark: plays Outlook for the add-in on Linux, and does what its installer does on Windows.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "host/Automation.h"
#include "host/Install.h"
#include "host/OptionsCommand.h"
#include "host/OutlookCommand.h"
#include "host/Print.h"
#include "platform/ui/Desktop.h"

namespace {

int usage(std::FILE* out) {
  std::fputs(
      "usage: quillmark install [--program-dir DIR]\n"
      "       quillmark uninstall\n"
      "       quillmark print FILE.msg... [--preview | --dialog] [--table] [--template NAME] [--out DIR]\n"
      "       quillmark outlook [--store DIR] [--outlook-version 11|12|14|16] [--list]\n"
      "       quillmark automation print --entry-id ID [--store-id ID] [--action NAME] [--store DIR]\n"
      "                                  [--out DIR] [--timeout SECONDS]\n"
      "       quillmark options\n"
      "       quillmark regedit FILE.reg\n"
      "  --no-gui  (with any command) no windows even with a display: prompts on the terminal\n"
      "  install   registers the product key, its install defaults and the shipped templates\n"
      "            (the registry and the files live under $QUILLMARK_HOME, default ~/.config/quillmark),\n"
      "            the add-in module and Outlook's add-in key\n"
      "  uninstall removes the add-in module's registration and Outlook's add-in key\n"
      "  outlook   plays Outlook on a store of .msg files (default $QUILLMARK_HOME/store) with the\n"
      "            installed add-ins loaded; with --no-gui it connects them and ends; with --list it\n"
      "            prints each item's EntryID, folder and subject (tab-separated) and ends\n"
      "  automation print  prints an item of the store (by its EntryID) with an autoprint action\n"
      "            through the add-in's automation object, as a script would, and runs until its\n"
      "            print queue is empty (at most --timeout seconds, default 600)\n"
      "  options   the add-ins' options pages in a window of their own (needs a display)\n"
      "  regedit   merges a .reg file of the product's settings (keys under HKCU or HKLM\n"
      "            \\SOFTWARE\\Corvessa\\QuillMark For Outlook) as regedit /s does; a malformed\n"
      "            file, or one naming any other key, is refused with its line and changes nothing\n",
      out);
  return out == stdout ? 0 : 2;
}

int runInstall(int argc, char** argv) {
  host::InstallOptions options;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--program-dir") == 0 && i + 1 < argc) {
      options.programDir = argv[++i];
    } else {
      std::fprintf(stderr, "quillmark install: unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  const host::InstallResult result = host::install(options);
  std::fprintf(result.ok ? stdout : stderr, "quillmark install: %s\n", result.message.c_str());
  return result.ok ? 0 : 1;
}

int runUninstall(int argc, char** argv) {
  if (argc > 2) {
    std::fprintf(stderr, "quillmark uninstall: unknown argument %s\n", argv[2]);
    return 2;
  }
  const host::InstallResult result = host::uninstall({});
  std::fprintf(result.ok ? stdout : stderr, "quillmark uninstall: %s\n", result.message.c_str());
  return result.ok ? 0 : 1;
}

int runOutlookCommand(int argc, char** argv) {
  std::string error;
  const auto command = host::parseOutlookCommandLine(std::vector<std::string>(argv + 2, argv + argc), error);
  if (!command) {
    std::fprintf(stderr, "quillmark outlook: %s\n", error.c_str());
    return 2;
  }
  return host::runOutlook(*command);
}

int runPrintCommand(int argc, char** argv) {
  std::string error;
  const auto command = host::parsePrintCommandLine(std::vector<std::string>(argv + 2, argv + argc), error);
  if (!command) {
    std::fprintf(stderr, "quillmark print: %s\n", error.c_str());
    return 2;
  }
  return host::runPrint(*command);
}

int runAutomationCommand(int argc, char** argv) {
  std::string error;
  const auto command = host::parseAutomationCommandLine(std::vector<std::string>(argv + 2, argv + argc), error);
  if (!command) {
    std::fprintf(stderr, "quillmark automation: %s\n", error.c_str());
    return 2;
  }
  return host::runAutomation(*command);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    // --no-gui, anywhere on the line, chooses the headless desktop before anything shows; without
    // it a display (DISPLAY or WAYLAND_DISPLAY) gives windows.
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
      if (std::strcmp(argv[i], "--no-gui") == 0) {
        platform::ui::setNoGui(true);
      } else {
        args.push_back(argv[i]);
      }
    }
    argc = static_cast<int>(args.size());
    argv = args.data();
    if (argc < 2) return usage(stderr);
    const std::string command = argv[1];
    if (command == "install") return runInstall(argc, argv);
    if (command == "uninstall") return runUninstall(argc, argv);
    if (command == "print") return runPrintCommand(argc, argv);
    if (command == "outlook") return runOutlookCommand(argc, argv);
    if (command == "automation") return runAutomationCommand(argc, argv);
    if (command == "options") {
      if (argc > 2) {
        std::fprintf(stderr, "quillmark options: unknown argument %s\n", argv[2]);
        return 2;
      }
      return host::runOptions();
    }
    if (command == "regedit") {
      if (argc != 3) {
        std::fprintf(stderr, "usage: quillmark regedit FILE.reg\n");
        return 2;
      }
      return host::runRegedit(argv[2]);
    }
    if (command == "help" || command == "--help" || command == "-h") return usage(stdout);
    std::fprintf(stderr, "quillmark: unknown command %s\n", command.c_str());
    return usage(stderr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quillmark: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "quillmark: unexpected failure\n");
  }
  return 1;
}
