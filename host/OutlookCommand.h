#pragma once
// quillmark outlook [--store DIR] [--outlook-version 11|12|14|16] [--list] [--no-gui]: the
// stand-in of Outlook with its add-ins loaded, on a store of .msg files.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/Dispatch.h"
#include "platform/outlook/Outlook.h"

namespace host {

struct OutlookCommandLine {
  std::filesystem::path store;              // empty: $QUILLMARK_HOME/store
  std::u16string version = u"12.0.6425.1000";  // Application.Version
  bool list = false;                        // print the store's items and end
};

// The command line after "outlook" (--no-gui is taken before); nothing, with the reason in
// `error`, when it is wrong.
std::optional<OutlookCommandLine> parseOutlookCommandLine(const std::vector<std::string>& args, std::string& error);

// $QUILLMARK_HOME/store, made when missing.
std::filesystem::path defaultStore();

// Opens the store, loads and connects the add-ins, opens an explorer where the items are (the
// Inbox, or else the first folder that holds any) and, with windows on the desktop, runs until
// the explorer closes; headless it ends once the add-ins' start-up is complete. Disconnects the
// add-ins before it returns. With `list` it only prints one line per item of the store (EntryID,
// folder path and subject, tab-separated) and loads no add-in. Answers the exit status.
int runOutlook(const OutlookCommandLine& command);

// The folder an explorer opens on: the Inbox when it holds items, else the first folder of the
// tree (depth first, the store's root first) that does; the Inbox when none does.
CComPtr<IDispatch> startFolder(platform::outlook::COutlook& outlook);

}  // namespace host
