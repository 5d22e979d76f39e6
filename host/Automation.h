#pragma once
// quillmark automation print --entry-id ID [--store-id ID] [--action NAME] [--store DIR]
// [--out DIR] [--timeout SECONDS]: a script's automation call on Outlook's add-in. Outlook (the
// store) runs with its add-ins connected; the automation object "quilMark.Quillmarker" is created
// through its ProgID and its Print called by name through IDispatch; Outlook then runs until the
// add-in's print queue is empty.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace host {

struct AutomationCommandLine {
  std::u16string entryId;
  std::u16string storeId;
  std::u16string action;           // empty: the add-in's default action
  std::filesystem::path store;     // empty: the store `quillmark outlook` opens
  std::filesystem::path out;       // empty: the default printer, else the documents folder
  unsigned timeoutSeconds = 600;   // how long the queue may take before the command gives up
};

// The command line after "automation"; nothing, with the reason in `error`, when it is wrong.
std::optional<AutomationCommandLine> parseAutomationCommandLine(const std::vector<std::string>& args,
                                                                std::string& error);

// Answers the exit status: 0 once the queue is empty and everything queued printed; 1 when the
// add-in refused the call (no such item or action, an item Outlook cannot open, no Outlook; the
// reasons on stderr), an attachment did not print (named on stderr with why) or the queue did
// not empty in time; 2 for a setup the call cannot run in (no add-in connected, the object not
// registered). Each PDF is named after the item's file.
//
// The wait: the command publishes a thread reference (SHSetThreadRef) before the call, the
// add-in's worker holds it while jobs are queued, and the loop runs until only the command's own
// reference is left.
int runAutomation(const AutomationCommandLine& command);

}  // namespace host
