#pragma once
// CPrintInfo: one print job, what is printed (one item, or the rows of a folder) and how (memo or
// table style, an optional page and thread range); also the print modes and print status codes
// every part of the print road shares. Copied by value into each printer, so every member is
// copyable; used on Outlook's user-interface thread only.

#include <optional>
#include <vector>

#include "engine/Message.h"
#include "foundation/QuilString.h"
#include "foundation/SettingsData.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Dispatch.h"

// Print modes, passed from the request down to the printer.
inline constexpr int kModeQuickPrint = 1;         // Outlook's quick print, taken over
inline constexpr int kModePrintWithDialog = 2;    // Outlook's print with the printer dialog, taken over
inline constexpr int kModeOutlookPreview = 3;     // Outlook's print preview, taken over
inline constexpr int kModePreview = 4;            // the system's own preview
inline constexpr int kModePrint = 5;              // the system's own print at once
inline constexpr int kModePrintWithPrompt = 6;    // the system's own print with the printer dialog

// The system's own requests (modes 4 to 6): only they report failures and offer to add an item
// type; the others stand in for Outlook's commands and hand a failure back to Outlook silently.
inline bool isOwnPrintRequest(int mode) { return mode >= kModePreview && mode <= kModePrintWithPrompt; }

// Print status codes: the eligibility outcome, the printer's status and what is reported are one set.
inline constexpr int kStatusEligible = 0;          // a template file exists; as a final status: no outcome
inline constexpr int kStatusPrinted = 1;           // printed, or nothing to do (template choice cancelled)
inline constexpr int kStatusClassNotConfigured = 2;
inline constexpr int kStatusNoTemplate = 4;        // no usable template and no default one
inline constexpr int kStatusTemplateMissing = 5;   // none of the template files exists
inline constexpr int kStatusLoadTimedOut = 6;
inline constexpr int kStatusBrowserError = 7;
inline constexpr int kStatusDeclined = 8;          // the user declined an item with embedded objects
inline constexpr int kStatusNoMessageClass = 9;

// Picks the folder constructor.
struct FolderJobTag {};
inline constexpr FolderJobTag kFolderJob{};

class CPrintInfo {
 public:
  // Memo style: one item (null gives a job without a message).
  explicit CPrintInfo(IDispatch* item);
  // Table style on the explorer's current folder; the print service then sets the selection and
  // the folder's items.
  CPrintInfo(FolderJobTag, IDispatch* folder);

  // The message of a memo-style job; empty for a table-style one.
  CMessagePtr getItem() const { return m_item; }
  IDispatch* getSelection() const { return m_selection; }
  IDispatch* getItems() const { return m_items; }
  IDispatch* getFolder() const { return m_folder; }
  // Null clears.
  void setSelection(IDispatch* selection) { m_selection = selection; }
  void setItems(IDispatch* items) { m_items = items; }

  // 1 memo style (one item), 0 table style (several items).
  bool single() const { return m_single; }

  // The page and thread range asked for with this job; null when none. The job keeps its own copy,
  // so the range stays valid for the job's life whatever happens to the settings it came from.
  const PrintOptions* getRange() const { return m_range ? &*m_range : nullptr; }
  void setRange(const PrintOptions& range) { m_range = range; }
  void clearRange() { m_range.reset(); }

  // Messages made for the rows of a list; they live as long as the job.
  const std::vector<CMessagePtr>& getSources() const { return m_sources; }
  void addSource(CMessagePtr source) { m_sources.push_back(std::move(source)); }

  // The message class that decides the templates: the folder's default class for a folder job,
  // else the item's; empty when it cannot be read.
  quilstring getMessageClass() const;

 private:
  std::optional<PrintOptions> m_range;
  CMessagePtr m_item;
  CComPtr<IDispatch> m_selection;
  CComPtr<IDispatch> m_items;
  CComPtr<IDispatch> m_folder;
  bool m_single = true;
  std::vector<CMessagePtr> m_sources;
};
