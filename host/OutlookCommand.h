#pragma once
// quillmark outlook [--store DIR] [--outlook-version 11|12|14|16] [--no-gui]: the stand-in of
// Outlook with its add-ins loaded, on a store of .msg files.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace host {

struct OutlookCommandLine {
  std::filesystem::path store;              // empty: $QUILLMARK_HOME/store
  std::u16string version = u"12.0.6425.1000";  // Application.Version
};

// The command line after "outlook" (--no-gui is taken before); nothing, with the reason in
// `error`, when it is wrong.
std::optional<OutlookCommandLine> parseOutlookCommandLine(const std::vector<std::string>& args, std::string& error);

// $QUILLMARK_HOME/store, made when missing.
std::filesystem::path defaultStore();

// Opens the store, loads and connects the add-ins, opens an explorer on the Inbox and, with
// windows on the desktop, runs until the explorer closes; headless it ends once the add-ins'
// start-up is complete. Disconnects the add-ins before it returns. Answers the exit status.
int runOutlook(const OutlookCommandLine& command);

}  // namespace host
