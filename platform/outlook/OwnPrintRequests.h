#pragma once
// The stand-in host's own print requests: `quillmark print` presses the add-in's print commands
// of a window it does not draw. Whoever serves a window for the add-in (its display manager)
// answers for that window's handle; the host asks by the window's handle.

#include <functional>
#include <optional>
#include <string>

#include "platform/Export.h"
#include "platform/WinTypes.h"

struct IDispatch;

namespace platform::outlook {

struct OwnPrintRequest {
  enum class Kind {
    kCommand,  // the add-in's own print command on the window's selection, as a click gives it
    kTable,    // with a template: a selection of several items prints as one table
    kInTurn,   // each selected item a request of its own, in the selection's order (a batch)
  };
  int mode = 5;                 // the add-in's own modes: 4 preview, 5 print, 6 print with the dialog
  std::u16string templatePath;  // empty: the template the settings give the item's class
  Kind kind = Kind::kCommand;
  // In turn: hears each item's status as the item ends. The answer is the first failure.
  std::function<void(IDispatch* item, int status)> onItem;
};

// Answers the print status of the request (1 printed).
using OwnPrintHandler = std::function<int(const OwnPrintRequest& request)>;

// An empty handler removes the window's.
QM_PLATFORM_API void setOwnPrintHandler(HWND window, OwnPrintHandler handler);
// Nothing when no one serves the window.
QM_PLATFORM_API std::optional<int> requestOwnPrint(HWND window, const OwnPrintRequest& request);

}  // namespace platform::outlook
