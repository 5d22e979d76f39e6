#pragma once
// CDialogTemplateSelection: the template choice of a print job (dialog 120) over the user
// interface's prompts: first the template among the usable candidates (the first one offered),
// then, for a Multi Item template, whether the selected rows or all rows print (selected rows
// offered). Used on the user-interface thread.

#include <vector>

#include "foundation/QuilString.h"
#include "foundation/SettingsData.h"
#include "platform/WinTypes.h"

class CDialogTemplateSelection {
 public:
  // Shows the records of candidates (not owned; must outlive the dialog).
  explicit CDialogTemplateSelection(const std::vector<TemplateDetail>* candidates);

  // Modal over owner. IDOK with the chosen record and allRows set; IDCANCEL when the user
  // cancels either prompt or there is nothing to choose.
  int DoModal(HWND owner);

  const TemplateDetail& getChosen() const { return m_chosen; }
  // "Print All Rows" was chosen (only ever for a Multi Item record).
  bool allRows() const { return m_allRows; }

  // The text of one row: the display name and the view type ("Memo", "Multi Item").
  static quilstring rowText(const TemplateDetail& record);

  static constexpr const char16_t* kCaption = u"Template Selection";
  static constexpr const char16_t* kPrompt = u"Select the template and click OK:";
  static constexpr const char16_t* kMultiItemOptions = u"Multi Item Options";
  static constexpr const char16_t* kPrintSelectedRows = u"Print Selected Rows";
  static constexpr const char16_t* kPrintAllRows = u"Print All Rows";

 private:
  const std::vector<TemplateDetail>* m_candidates;
  TemplateDetail m_chosen;
  bool m_allRows = false;
};
