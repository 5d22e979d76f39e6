#pragma once
// Outlook's Options dialog as the stand-in shows it: a modal window with a row of tabs, each tab
// a page, and OK, Cancel and Apply. Outlook's own page ("Preferences") comes first; add-ins add
// theirs when OptionsPagesAdd hands them the PropertyPages collection (Add(page ProgID, title)).
// Each add-in page is a control created by its ProgID in a control container, whose site offers
// PropertyPageSite: a page that changes enables Apply. Apply and OK call every page's Apply; OK
// then closes unless a page stays dirty (its save failed). UI thread only.

#include <string>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/Dispatch.h"
#include "platform/ui/WinUser.h"

namespace host {

struct OptionsPage {
  std::u16string progId;  // empty: Outlook's own page
  std::u16string title;
};

// The PropertyPages collection of one opening of the dialog: Add(VARIANT page, BSTR title) with
// a ProgID appends to pages (which must outlive the collection's use); a page object, a missing
// title or anything else answers E_INVALIDARG. Count answers how many were added.
CComPtr<IDispatch> makePropertyPages(std::vector<OptionsPage>& pages);

class COptionsDialog {
 public:
  COptionsDialog(std::u16string caption, std::vector<OptionsPage> pages);
  COptionsDialog(const COptionsDialog&) = delete;
  COptionsDialog& operator=(const COptionsDialog&) = delete;
  ~COptionsDialog();

  // Modal over owner; IDOK or IDCANCEL (also when it could not be shown, reported).
  int DoModal(HWND owner);

  // While it runs (tests): the dialog, a tab's button and a page's container window.
  HWND window() const { return m_dialog; }
  HWND tabButton(std::size_t page) const;
  HWND container(std::size_t page) const;
  std::size_t currentPage() const { return m_current; }

  static constexpr int kApplyId = 0x3021;

 private:
  struct Site;
  static INT_PTR dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  void init();
  void showPage(std::size_t page);
  // Every page's Apply; true when none stays dirty.
  bool applyAll();
  void statusChanged();

  std::u16string m_caption;
  std::vector<OptionsPage> m_pages;
  std::vector<HWND> m_tabs;
  std::vector<HWND> m_containers;
  std::size_t m_current = 0;
  HWND m_dialog = nullptr;
  CComPtr<IUnknown> m_site;
  Site* m_siteObject = nullptr;  // the object m_site holds
};

}  // namespace host
