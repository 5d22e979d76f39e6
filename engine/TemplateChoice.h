#pragma once
// CDialogTemplateSelection: the template choice of a print job, dialog 120. Its list shows the
// usable candidates with their view types; "Multi Item Options" say whether the selected rows or
// all rows of a Multi Item template print. On a display, and on the headless desktop when a test
// drives it, the dialog runs from its template; otherwise (no display, nobody at the desktop) the
// same choice is asked through the user interface's prompts. Used on the user-interface thread.

#include <functional>
#include <vector>

#include "foundation/QuilString.h"
#include "foundation/SettingsData.h"
#include "platform/ui/CommCtrl.h"

class CDialogTemplateSelection {
 public:
  // Shows the records of candidates (not owned; must outlive the dialog).
  explicit CDialogTemplateSelection(const std::vector<TemplateDetail>* candidates);

  // Modal over owner. IDOK with the chosen record and allRows set; IDCANCEL when the user
  // cancels or there is nothing to choose.
  int DoModal(HWND owner);

  const TemplateDetail& getChosen() const { return m_chosen; }
  // "Print All Rows" was chosen (only ever for a Multi Item record).
  bool allRows() const { return m_allRows; }

  // The text of one prompt row: the display name and the view type ("Memo", "Multi Item").
  static quilstring rowText(const TemplateDetail& record);

  // Tests: the headless desktop runs the dialog, and `driver` acts in it (through
  // platform::ui::input) once it is initialised; null restores the prompts.
  static void setHeadlessDriverForTesting(std::function<void(HWND dialog)> driver);

  static constexpr const char16_t* kCaption = u"Template Selection";
  static constexpr const char16_t* kPrompt = u"Select the template and click OK:";
  static constexpr const char16_t* kMultiItemOptions = u"Multi Item Options";
  static constexpr const char16_t* kPrintSelectedRows = u"Print Selected Rows";
  static constexpr const char16_t* kPrintAllRows = u"Print All Rows";

 private:
  static INT_PTR dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  BOOL OnInitDialog();
  void updateControls();
  // Takes the selected row (none: nothing happens) and ends the dialog with IDOK.
  void accept();
  int askThroughPrompts(HWND owner);

  const std::vector<TemplateDetail>* m_candidates;
  TemplateDetail m_chosen;
  bool m_allRows = false;
  HWND m_dialog = nullptr;
  HIMAGELIST m_images = nullptr;
};
