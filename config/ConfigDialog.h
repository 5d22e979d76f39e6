#pragma once
// CConfigDialog: what every configuration dialog shares. A modal dialog from the module's
// template with its dialog procedure; Cancel ends it with IDCANCEL; boxes owned by the dialog;
// help pages opened in the default browser; every handler guarded. The dialog edits a copy of
// the record it was given and the opener takes the record back only on IDOK.
// Also the list-view helpers and the ordered-list editing of the template and action lists.
// Used on the user-interface thread.

#include <functional>
#include <vector>

#include "foundation/QuilString.h"
#include "platform/ui/CommCtrl.h"

class CConfigDialog {
 public:
  virtual ~CConfigDialog() = default;
  CConfigDialog(const CConfigDialog&) = delete;
  CConfigDialog& operator=(const CConfigDialog&) = delete;

  // Modal over owner; IDOK or IDCANCEL. Without a display nobody could end the dialog: it is not
  // shown (logged) and answers IDCANCEL, unless a test drives the headless desktop.
  int DoModal(HWND owner);
  // The dialog as a child window of parent (a page: its template has WS_CHILD), shown; null when
  // it could not be made (reported). Enter and Escape do not end a page; it lives until its
  // window is destroyed.
  HWND CreateChild(HWND parent);
  // The dialog's window while it runs.
  HWND window() const { return m_dialog; }

  // Tests: the headless desktop shows the dialogs (a test acts in them through platform::ui::input).
  static void allowHeadlessForTesting(bool allow);
  // Whether a modal window can be shown: a display, or a test driving the headless desktop.
  static bool canShowModal();

 protected:
  CConfigDialog(UINT templateId, const char16_t* name) : m_templateId(templateId), m_name(name) {}

  virtual BOOL OnInitDialog() = 0;
  virtual void OnOK() = 0;
  // A command other than OK and Cancel; true when handled.
  virtual bool OnCommand(WORD /*id*/, WORD /*code*/) { return false; }
  // A notification of a control; true when handled (the answer goes into result).
  virtual bool OnNotify(const NMHDR& /*header*/, LRESULT& /*result*/) { return false; }
  // F1: the dialog's help page, empty for none.
  virtual const char16_t* helpPage() const { return nullptr; }
  // The dialog's client area got this size (a page sized by its host).
  virtual void OnSize(int /*width*/, int /*height*/) {}

  HWND item(int id) const { return GetDlgItem(m_dialog, id); }
  // The whole text of a control (no length cut).
  quilstring itemText(int id) const;
  void setItemText(int id, const quilstring& text) const;
  bool checked(int id) const;
  void setChecked(int id, bool on) const;
  void enable(int id, bool on) const;
  void limitText(int id, int characters = 0) const;  // 0: the settings' limit
  quilstring caption() const;

  // A box over the dialog with the module's text textId (formatted with argument when given);
  // captioned by the dialog's own caption, or by the product name (string 312).
  enum class Caption { kDialog, kProduct };
  int showMessage(UINT textId, UINT type, Caption caption, const char16_t* argument = nullptr) const;
  void end(int result) const { EndDialog(m_dialog, result); }
  void centre() const;
  // Opens a page of the maker's help site in the default browser.
  void openHelp(const char16_t* page) const;

 private:
  static INT_PTR dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);

  UINT m_templateId;
  const char16_t* m_name;
  HWND m_dialog = nullptr;
  bool m_child = false;
};

namespace NConfig {

// The module's text of id (formatted with argument when given).
quilstring loadText(UINT id, const char16_t* argument = nullptr);

// Help pages of the maker's site.
inline constexpr const char16_t* kHelpTemplates = u"templates.htm";
inline constexpr const char16_t* kHelpTemplateConfiguration = u"template-configuration.htm";
inline constexpr const char16_t* kHelpConfiguration = u"configuration.htm";
inline constexpr const char16_t* kHelpAction = u"autoprint-action.htm";
inline constexpr const char16_t* kHelpButtonOptions = u"button-options.htm";
inline constexpr const char16_t* kHelpQuickButtons = u"quick-buttons.htm";
quilstring helpAddress(const char16_t* page);

// List views.
void insertColumn(HWND list, int index, const quilstring& text, int width);
int insertRow(HWND list, int row, const quilstring& text);
void setRowText(HWND list, int row, int column, const quilstring& text);
quilstring rowText(HWND list, int row, int column = 0);
// The selected row, -1 for none.
int selectedRow(HWND list);
void selectRow(HWND list, int row);
// The width left for the last column: the client width less the vertical scroll bar and `used`.
int remainingWidth(HWND list, int used);

// The template file's browse of the template and action dialogs: starts at the path in the edit
// (a folder as a folder), else in the last browse folder, else in the installation's templates
// folder; a chosen file goes into the edit and its folder becomes the last browse folder.
// True when a file was chosen.
bool browseForTemplate(HWND dialog, int editId);

}  // namespace NConfig

// An ordered list of records shown one row per record in a list view, with the up-down beside
// it moving the selected record: a negative step moves it up, a positive one down, and it stays
// selected. `show` sets the texts of a row (its first column is already there).
template <class T>
class COrderedList {
 public:
  using RowWriter = std::function<void(HWND list, int row, const T& record)>;
  COrderedList(std::vector<T>& records, RowWriter show) : m_records(records), m_show(std::move(show)) {}

  void attach(HWND list) { m_list = list; }
  HWND list() const { return m_list; }
  int selected() const {
    const int row = NConfig::selectedRow(m_list);
    return row >= 0 && static_cast<std::size_t>(row) < m_records.size() ? row : -1;
  }
  void fill() {
    ListView_DeleteAllItems(m_list);
    for (std::size_t i = 0; i < m_records.size(); ++i) insert(static_cast<int>(i));
  }
  void append(const T& record) {
    m_records.push_back(record);
    insert(static_cast<int>(m_records.size() - 1));
  }
  void replace(int row, const T& record) {
    m_records[static_cast<std::size_t>(row)] = record;
    m_show(m_list, row, record);
  }
  void remove(int row) {
    m_records.erase(m_records.begin() + row);
    ListView_DeleteItem(m_list, row);
  }
  // The up-down's step on the selected row; nothing at either end or without a selection.
  void move(int delta) {
    const int row = selected();
    if (row < 0) return;
    const int count = static_cast<int>(m_records.size());
    if (delta < 0 && row > 0) {
      swapWithPrevious(row);
      NConfig::selectRow(m_list, row - 1);
    } else if (delta >= 1 && row < count - 1) {
      swapWithPrevious(row + 1);
      NConfig::selectRow(m_list, row + 1);
    }
  }

 private:
  void insert(int row) {
    NConfig::insertRow(m_list, row, quilstring());
    m_show(m_list, row, m_records[static_cast<std::size_t>(row)]);
  }
  void swapWithPrevious(int i) {
    ListView_DeleteItem(m_list, i);
    ListView_DeleteItem(m_list, i - 1);
    std::swap(m_records[static_cast<std::size_t>(i - 1)], m_records[static_cast<std::size_t>(i)]);
    insert(i - 1);
    insert(i);
  }

  std::vector<T>& m_records;
  RowWriter m_show;
  HWND m_list = nullptr;
};
