#pragma once
// Two of Outlook's own dialogs that the stand-in's windows open: an item's Properties, where its
// EntryID can be selected and copied, and Outlook Options of the versions with a ribbon (File >
// Options), whose Add-ins page leads to the add-ins' own pages. Both are modal, UI thread only.

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/WinUser.h"

namespace host {

struct PropertyLine {
  std::u16string label;  // "Subject:"
  std::u16string value;
};

// An item's Properties modal over owner: each line's value in a read-only field a person can
// select and copy from (the last one, the EntryID, has the focus with its text selected).
void showItemProperties(HWND owner, const std::u16string& caption, const std::vector<PropertyLine>& lines);

// Outlook Options: the categories in a list, the chosen one's page beside it. The Add-ins page
// has "Add-in Options...", which runs addInOptions with the dialog as the owner.
class COutlookOptionsDialog {
 public:
  explicit COutlookOptionsDialog(std::function<void(HWND owner)> addInOptions);
  COutlookOptionsDialog(const COutlookOptionsDialog&) = delete;
  COutlookOptionsDialog& operator=(const COutlookOptionsDialog&) = delete;

  // IDOK or IDCANCEL (also when it could not be shown, reported).
  int DoModal(HWND owner);

  static constexpr int kCategoriesId = 100;
  static constexpr int kPageId = 101;
  static constexpr int kAddInOptionsId = 102;
  // The row of the Add-ins category in the list.
  static constexpr int kAddInsCategory = 12;

 private:
  static INT_PTR dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  void showCategory(int row);

  std::function<void(HWND)> m_addInOptions;
  HWND m_dialog = nullptr;
};

}  // namespace host
