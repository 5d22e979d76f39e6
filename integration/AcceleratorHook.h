#pragma once
// CAcceleratorHandler: lets a display manager take Outlook's keyboard accelerator commands over
// for its own window. A thread hook watches every sent WM_COMMAND with notification code 1; the
// target window is subclassed for that one command, the handler registered on it or its nearest
// registered ancestor is asked, and its answer decides whether the window still sees the command.

#include <map>

#include "integration/Guids.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Unknown.h"
#include "platform/ui/WinUser.h"


// The accelerator callback of a display manager. A failure answer means the handler dealt with
// the command and the window must not receive it; any success code lets the window receive it.
struct IAcceleratorCallback : IUnknown {
  STDMETHOD(onAcceleratorCallback)(unsigned long acceleratorId) = 0;

 protected:
  ~IAcceleratorCallback() = default;
};
QM_DECLARE_INTERFACE_IID(IAcceleratorCallback, IID_IAcceleratorCallback);

// The accelerator command id of a print with the printer dialog.
inline constexpr unsigned int kPrintAcceleratorId = 0x410;

// One per process; UI thread only. The hook lives from the first Instance() to process exit.
class CAcceleratorHandler {
 public:
  static CAcceleratorHandler& Instance();
  ~CAcceleratorHandler();
  CAcceleratorHandler(const CAcceleratorHandler&) = delete;
  CAcceleratorHandler& operator=(const CAcceleratorHandler&) = delete;

  // Holds a reference on the handler; registering a (window, id) again replaces and releases
  // the earlier handler. A null handler is refused.
  void Register(HWND window, unsigned int commandId, IAcceleratorCallback* handler);
  // Releases the handler; the id stays watched while another window has it.
  void Unregister(HWND window, unsigned int commandId);

  // The hook procedure: always passes the call on to the next hook.
  static LRESULT CallWndProc(int code, WPARAM wParam, LPARAM lParam);

 private:
  using Handlers = std::map<unsigned int, CComPtr<IAcceleratorCallback>>;
  // A window subclassed for accelerator commands in progress: its own procedure, and how many
  // of those commands are running in it (a modal print may let another arrive).
  struct Subclass {
    WNDPROC original = nullptr;
    int active = 0;
  };

  CAcceleratorHandler();

  void watch(const CWPSTRUCT& sent);
  static LRESULT SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam, WNDPROC original);
  CComPtr<IAcceleratorCallback> findHandler(HWND window, unsigned int commandId) const;
  void endCommand(HWND window);

  std::map<unsigned int, int> m_watched;  // command id -> windows registered for it
  std::map<HWND, Handlers> m_registrations;
  std::map<HWND, Subclass> m_subclassed;
  HHOOK m_hook = nullptr;
};
