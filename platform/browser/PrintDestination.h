#pragma once
// Where printed pages go, for the whole process: the default printer when there is one, else a
// PDF file in the output folder. The host's --out sends every print to a folder, and names each
// PDF after the item printed; the printer keeps the list of PDFs it wrote for the host to report.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/Export.h"
#include "platform/com/Dispatch.h"

namespace platform::browser {

struct PrintDestination {
  std::filesystem::path folder;  // empty: the user's documents folder
  bool alwaysToFolder = false;
  std::u16string fileStem;       // the next PDF's name without ".pdf"; empty: as nameOf says
  // The PDF's name for a job on `item` (its first item; `table` for a table of several);
  // unset or empty: the template's name.
  std::function<std::u16string(IDispatch* item, bool table)> nameOf;
};

QM_PLATFORM_API PrintDestination& printDestination();
// The PDFs written since the run began, in order.
QM_PLATFORM_API std::vector<std::filesystem::path>& writtenPdfs();

}  // namespace platform::browser
