#pragma once
// The options window: a control given by ProgID (the options page) in a modal window of its own,
// over its owner (what the ribbon's options button opens). OK applies the page and closes the
// window unless the page stays dirty after applying (its save failed and it said so); Cancel
// applies nothing. UI thread only.

#include "foundation/QuilString.h"
#include "platform/ui/WinUser.h"

class CPropertPageHost {
 public:
  explicit CPropertPageHost(const quilstring& progId) : m_progId(progId) {}
  CPropertPageHost(const CPropertPageHost&) = delete;
  CPropertPageHost& operator=(const CPropertPageHost&) = delete;

  // Dialog 137, modal over owner; IDOK or IDCANCEL. Without a display it is not shown (logged)
  // and answers IDCANCEL, unless a test drives the headless desktop.
  int DoModal(HWND owner);
  // The container window while the dialog runs (tests).
  HWND container() const { return m_container; }

 private:
  static INT_PTR dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  BOOL OnInitDialog();
  void OnOK();

  quilstring m_progId;
  HWND m_dialog = nullptr;
  HWND m_container = nullptr;
};

// The options page in the options window, modal over owner.
void showOptionsWindow(HWND owner);
