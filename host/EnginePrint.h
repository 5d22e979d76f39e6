#pragma once
// The one call by which the host prints through the engine, as the add-in's print service will
// once the module sits between them: a request on items of the store, the final print status.

#include <string>
#include <vector>

#include "engine/PrintInfo.h"
#include "platform/com/Dispatch.h"

namespace host {

struct EnginePrintRequest {
  IDispatch* application = nullptr;   // Outlook's Application
  std::vector<IDispatch*> items;      // the items, in order
  IDispatch* folder = nullptr;        // their folder (table style)
  IDispatch* selection = nullptr;     // the explorer's Selection of the items (table style)
  int mode = kModePrint;
  bool table = false;                 // one table-style job over the selection; else one memo job per item
  std::u16string templatePath;        // empty: the template the settings give the item's class
  std::u16string fileStem;                // the table job's PDF name
  std::vector<std::u16string> fileStems;  // each memo job's PDF name, by item
};

// Runs the jobs, each whatever the others gave; answers kStatusPrinted when all printed, else the
// first failure's status. A failed job's reason (the last Error it logged) goes to stderr.
int printThroughEngine(const EnginePrintRequest& request);

}  // namespace host
