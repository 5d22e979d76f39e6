#pragma once
// The stand-in's explorer and inspector windows: each gets its command bars from Office's model,
// and a shown one draws them (menu bar, toolbar, the item list's context menu) or, where that
// Outlook version has a ribbon (inspectors from 12, explorers from 14), the ribbon instead of the
// menu bar and toolbars: a File tab with Outlook's print commands and the add-ins' tabs. With it
// the windows show what Outlook shows: the folders and the current folder's items in an explorer, an item's header and body in
// an inspector (an HTML body in the inert HTML view), and a status line. Esc closes an inspector;
// File > Exit closes every window; an item's Properties, from the item list's context menu,
// show its EntryID. A click goes to the model; Outlook's own command, when no
// add-in cancels it, only says in the status line what Outlook would do. Ctrl+P is Outlook's
// accelerator (WM_COMMAND 0x410 sent to the window).

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "host/Ribbon.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Dispatch.h"
#include "platform/office/CommandBars.h"
#include "platform/outlook/Outlook.h"
#include "platform/ui/WinUser.h"

namespace host {

// A collection's Count (0 when it cannot be read) and its Item(index) (null when there is none),
// late bound as Outlook's collections are asked.
LONG countOf(IDispatch* collection);
CComPtr<IDispatch> itemOf(IDispatch* collection, LONG index);

class COptionsDialog;

// Outlook's accelerator command for Ctrl+P.
inline constexpr WORD kPrintAccelerator = 0x410;

class COutlookWindows {
 public:
  struct Frame;

  // Office's bars of the windows and Outlook's own commands; both must outlive the windows.
  explicit COutlookWindows(platform::office::COfficeCommandBars& office);
  COutlookWindows(const COutlookWindows&) = delete;
  COutlookWindows& operator=(const COutlookWindows&) = delete;
  ~COutlookWindows();

  // Fills the options COutlook::open takes so that its windows are dressed here; shown: top-level
  // windows on the desktop, else message-only ones with their command bars only.
  void prepare(platform::outlook::OutlookOptions& options, bool shown);
  // The Outlook the windows belong to, once opened; it must be destroyed before this object.
  void attach(platform::outlook::COutlook* outlook) { m_outlook = outlook; }
  // A connected add-in, whose ribbon the windows show; releaseAddIns before disconnecting it.
  void addAddIn(IUnknown* addIn) { m_ribbon.addAddIn(addIn); }
  void releaseAddIns() { m_ribbon.clear(); }

  // Runs with each line the status line shows (Outlook's own commands), besides the log.
  void setStatusListener(std::function<void(const std::u16string&)> listener) { m_listener = std::move(listener); }
  // Runs when the last explorer closed.
  void setLastExplorerClosed(std::function<void()> closed) { m_lastExplorerClosed = std::move(closed); }

  // What tests and the command look at: a window's status line, its item list (explorer), its
  // folder list (explorer) and body (inspector); null when not shown or not of that kind.
  std::u16string statusOf(HWND frame) const;
  HWND itemListOf(HWND frame) const;
  HWND folderListOf(HWND frame) const;
  HWND bodyOf(HWND frame) const;
  // The ribbon type a window shows ("Microsoft.Outlook.Explorer", ...); empty for command bars.
  std::u16string ribbonTypeOf(HWND frame) const;
  int openExplorers() const { return m_explorers; }

  // Tools > Options: Outlook's Options dialog with the pages the add-ins add, modal over frame.
  void showOptions(HWND frame);
  // File > Options of Outlook 14 and later: Outlook Options, whose Add-ins page opens Add-in
  // Options, the pages the add-ins add (a message when none does); modal over frame.
  void showOutlookOptions(HWND frame);
  void showAddInOptions(HWND owner);
  // File > Exit: closes every window, the inspectors first.
  void exitOutlook();
  // Runs with the Options dialog each time it is about to open (tests look into it).
  void setOptionsOpened(std::function<void(COptionsDialog&)> opened) { m_optionsOpened = std::move(opened); }

 private:
  void created(IDispatch* window, HWND handle, bool explorer);
  void closed(IDispatch* window, HWND handle);
  void defaultCommand(IDispatch* control, LONG id);
  // Outlook's own command (a control's built-in id, or the accelerator): its status line says it.
  void outlookCommand(Frame& frame, LONG id);

  platform::office::COfficeCommandBars& m_office;
  CRibbonHost m_ribbon;
  std::u16string m_version;  // Application.Version when no Outlook is attached
  platform::outlook::COutlook* m_outlook = nullptr;
  bool m_shown = false;
  HACCEL m_accelerators = nullptr;
  HACCEL m_inspectorAccelerators = nullptr;
  // What the next explorer and the next inspector start their bars from.
  platform::office::CommandBarsLayout m_layouts[2] = {platform::office::outlookCommandBars(),
                                                      platform::office::outlookCommandBars()};
  std::map<HWND, std::unique_ptr<Frame>> m_frames;
  Frame* m_clicking = nullptr;  // the window whose control is being clicked
  int m_explorers = 0;
  std::function<void(const std::u16string&)> m_listener;
  std::function<void()> m_lastExplorerClosed;
  std::function<void(COptionsDialog&)> m_optionsOpened;

  friend struct FrameAccess;
};

}  // namespace host
