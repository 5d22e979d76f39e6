#pragma once
// Printing a highlighted part of an item's body: dialog 127 (CCDialogHTMLSelection) shows the
// body, inert, in its HTML view; the user highlights a part and picks a print command; the
// highlighted HTML then replaces the body of the item's body document, and the item prints
// through the normal print road with the selection-print flag set, so the filler keeps that body.
// Everything here runs on the user-interface thread.

#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "engine/PrintInfo.h"
#include "foundation/QuilString.h"
#include "platform/ui/WinUser.h"

namespace platform::ui {
class IHtmlView;
}

// Sets the process-wide selection-print flag for its life; the flag goes back to what it was
// however the scope ends, an exception included.
class CSelectionPrintScope {
 public:
  CSelectionPrintScope();
  ~CSelectionPrintScope();
  CSelectionPrintScope(const CSelectionPrintScope&) = delete;
  CSelectionPrintScope& operator=(const CSelectionPrintScope&) = delete;

 private:
  bool m_previous;
};

class CCDialogHTMLSelection {
 public:
  // The job (not owned, must outlive the dialog) is a one-item job; its message's body document
  // receives the selection.
  explicit CCDialogHTMLSelection(CPrintInfo& job);

  // Modal over owner: 1 when a print command was chosen (mode() says which), 2 otherwise. Without
  // a display nobody could highlight anything: 2 at once (logged), unless a test drives it.
  int DoModal(HWND owner);

  // The print mode chosen: 5 Quick Print, 6 Print ..., 4 Print Preview ...; 0 before a choice.
  int mode() const { return m_mode; }
  // The text size last set: 0 smallest to 4 largest; the dialog opens at 2.
  int zoomLevel() const { return m_zoomLevel; }
  void setTextZoom(int level);

  // Tests: the headless face runs the dialog, and `driver` acts in it once its body is shown
  // (on both faces); null restores the default.
  static void setDriverForTesting(std::function<void(HWND dialog)> driver);

 private:
  static INT_PTR dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
  BOOL OnInitDialog();
  void OnDocumentComplete();
  void showContextMenu(int screenX, int screenY);
  // Reads the highlighted HTML (later, on a screen) and then ends the dialog in the mode.
  void requestPrint(int mode);
  // Puts the highlighted HTML into the body document.
  void collectSelection(const std::string& utf8Html);
  // The body as the view shows it, inert, with the item's inline pictures as files of one folder.
  std::string composeBody(std::filesystem::path& pictureFolder);
  bool isPlainText() const;

  CPrintInfo& m_job;
  HWND m_dialog = nullptr;
  platform::ui::IHtmlView* m_view = nullptr;  // owned by its control
  int m_mode = 0;
  bool m_bodyLoaded = false;
  bool m_collecting = false;
  int m_zoomLevel = 2;
  // The view names inline pictures relative to their folder; what each name stands for.
  std::map<quilstring, quilstring> m_pictureFiles;
};

// The selection service of a window: dialog 127 on the job over owner; when the user chose a
// print command, print(job, mode) runs with the selection-print flag set (and cleared after,
// whatever happens). True once the service ran; an exception from print passes to the caller.
using SelectionPrinter = std::function<bool(CPrintInfo& job, int mode)>;
bool runSelectionService(CPrintInfo& job, HWND owner, const SelectionPrinter& print);
