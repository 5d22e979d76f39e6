#include "integration/AcceleratorHook.h"

#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "integration/Module.h"

CAcceleratorHandler& CAcceleratorHandler::Instance() {
  static CAcceleratorHandler instance;
  return instance;
}

CAcceleratorHandler::CAcceleratorHandler() {
  // A hook on this thread only: the one on which Outlook's windows live.
  m_hook = SetWindowsHookExW(WH_CALLWNDPROC, CallWndProc, _AtlModule.GetResourceInstance(), GetCurrentThreadId());
  if (!m_hook) LOG_ERROR(u"The accelerator hook could not be installed (error %u)", GetLastError());
}

CAcceleratorHandler::~CAcceleratorHandler() {
  if (m_hook) UnhookWindowsHookEx(m_hook);
  for (const auto& [window, subclass] : m_subclassed) {
    if (IsWindow(window) && GetWindowLongPtrW(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(SubclassProc))
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(subclass.original));
  }
}

void CAcceleratorHandler::Register(HWND window, unsigned int commandId, IAcceleratorCallback* handler) {
  if (!handler) {
    LOG_ERROR(u"No accelerator handler given for command %u", commandId);
    return;
  }
  CComPtr<IAcceleratorCallback>& slot = m_registrations[window][commandId];
  if (!slot) ++m_watched[commandId];
  slot = handler;  // a handler registered before is released here
}

void CAcceleratorHandler::Unregister(HWND window, unsigned int commandId) {
  const auto found = m_registrations.find(window);
  if (found == m_registrations.end() || found->second.erase(commandId) == 0) return;
  if (found->second.empty()) m_registrations.erase(found);
  if (--m_watched[commandId] <= 0) m_watched.erase(commandId);
}

LRESULT CAcceleratorHandler::CallWndProc(int code, WPARAM wParam, LPARAM lParam) {
  CAcceleratorHandler& self = Instance();
  if (code == HC_ACTION && lParam) {
    NUtils::guarded(u"CAcceleratorHandler::CallWndProc", [&] { self.watch(*reinterpret_cast<const CWPSTRUCT*>(lParam)); });
  }
  return CallNextHookEx(self.m_hook, code, wParam, lParam);
}

void CAcceleratorHandler::watch(const CWPSTRUCT& sent) {
  if (sent.message != WM_COMMAND || HIWORD(sent.wParam) != 1 || !m_watched.contains(LOWORD(sent.wParam))) return;
  // A window with a command in progress is subclassed already; this message reaches us too.
  if (m_subclassed.contains(sent.hwnd)) return;
  const LONG_PTR original = SetWindowLongPtrW(sent.hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc));
  if (!original) {
    LOG_ERROR(u"The window of accelerator command %u could not be subclassed (error %u)", LOWORD(sent.wParam),
              GetLastError());
    return;
  }
  m_subclassed[sent.hwnd] = Subclass{reinterpret_cast<WNDPROC>(original), 0};
}

LRESULT CAcceleratorHandler::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return NUtils::guarded(u"CAcceleratorHandler::OnCommand", LRESULT{0},
                         [&] { return Instance().windowProc(window, message, wParam, lParam); });
}

LRESULT CAcceleratorHandler::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto found = m_subclassed.find(window);
  if (found == m_subclassed.end()) {
    LOG_ERROR(u"A message reached the accelerator subclass of a window it does not know");
    return DefWindowProcW(window, message, wParam, lParam);
  }
  const WNDPROC original = found->second.original;
  if (message == WM_NCDESTROY) {
    // The window's last message: its subclass goes with it.
    m_subclassed.erase(found);
    return CallWindowProcW(original, window, message, wParam, lParam);
  }
  if (message != WM_COMMAND || HIWORD(wParam) != 1 || !m_watched.contains(LOWORD(wParam)))
    return CallWindowProcW(original, window, message, wParam, lParam);

  ++found->second.active;
  struct EndCommand {
    CAcceleratorHandler* self;
    HWND window;
    ~EndCommand() { self->endCommand(window); }
  } endCommand{this, window};
  return OnCommand(window, wParam, lParam, original);
}

LRESULT CAcceleratorHandler::OnCommand(HWND window, WPARAM wParam, LPARAM lParam, WNDPROC original) {
  const unsigned int commandId = LOWORD(wParam);
  const CComPtr<IAcceleratorCallback> handler = findHandler(window, commandId);
  if (!handler) return CallWindowProcW(original, window, WM_COMMAND, wParam, lParam);

  const HRESULT answer = handler->onAcceleratorCallback(commandId);
  // The handler may have closed the window (its print ran a modal loop).
  if (!IsWindow(window)) return 0;
  if (FAILED(answer)) return 0;  // dealt with: the window never sees the command
  return CallWindowProcW(original, window, WM_COMMAND, wParam, lParam);
}

CComPtr<IAcceleratorCallback> CAcceleratorHandler::findHandler(HWND window, unsigned int commandId) const {
  for (HWND at = window; at; at = GetParent(at)) {
    const auto found = m_registrations.find(at);
    if (found == m_registrations.end()) continue;
    const auto handler = found->second.find(commandId);
    return handler == found->second.end() ? nullptr : handler->second;
  }
  return nullptr;
}

void CAcceleratorHandler::endCommand(HWND window) {
  const auto found = m_subclassed.find(window);
  if (found == m_subclassed.end() || --found->second.active > 0) return;
  if (!IsWindow(window)) {
    m_subclassed.erase(found);
    return;
  }
  // Undone only while the subclass is on top; under another window's subclass it stays, passing
  // every message on, until a later command ends with it on top again.
  if (GetWindowLongPtrW(window, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(SubclassProc)) return;
  SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(found->second.original));
  m_subclassed.erase(found);
}
