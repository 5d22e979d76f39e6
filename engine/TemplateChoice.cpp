#include "engine/TemplateChoice.h"

#include "foundation/AddinGlobals.h"
#include "platform/ui/Ui.h"
#include "resources/resource.h"

CDialogTemplateSelection::CDialogTemplateSelection(const std::vector<TemplateDetail>* candidates)
    : m_candidates(candidates) {}

quilstring CDialogTemplateSelection::rowText(const TemplateDetail& record) {
  quilstring viewType;
  viewType.LoadString(NGlobals::moduleInstance(), record.isFolder ? IDS_VIEW_TYPE_MULTI_ITEM : IDS_VIEW_TYPE_MEMO);
  return record.displayName + u" (" + viewType + u")";
}

int CDialogTemplateSelection::DoModal(HWND owner) {
  m_allRows = false;
  if (!m_candidates || m_candidates->empty()) return IDCANCEL;

  platform::ui::ChoiceRequest request;
  request.owner = owner;
  request.title = kCaption;
  request.prompt = kPrompt;
  for (const TemplateDetail& record : *m_candidates) request.options.push_back(rowText(record));
  request.defaultIndex = 0;
  const int row = platform::ui::defaultUi().choose(request);
  if (row < 0 || static_cast<std::size_t>(row) >= m_candidates->size()) return IDCANCEL;
  const TemplateDetail& record = (*m_candidates)[static_cast<std::size_t>(row)];

  // The row options only mean something for a template that lists several items.
  bool allRows = false;
  if (record.isFolder) {
    platform::ui::ChoiceRequest rows;
    rows.owner = owner;
    rows.title = kCaption;
    rows.prompt = kMultiItemOptions;
    rows.options = {kPrintSelectedRows, kPrintAllRows};
    rows.defaultIndex = 0;
    const int answer = platform::ui::defaultUi().choose(rows);
    if (answer != 0 && answer != 1) return IDCANCEL;
    allRows = answer == 1;
  }
  m_chosen = record;
  m_allRows = allRows;
  return IDOK;
}
