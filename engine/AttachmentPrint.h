#pragma once
// Printing attachments through the application that owns their file type (the shell's "Print"
// verb): dialog 112 (CquilMarkAttachmentsDialog, a selection of large icons) and dialog 135
// (CDialogComplexAttachments, a list with check boxes), each able to switch to the other, the
// attachments of a window's items, and the per-item print of a custom button. UI thread only.

#include <functional>
#include <memory>
#include <vector>

#include "engine/Attachments.h"
#include "engine/OutlookItem.h"
#include "engine/PrintInfo.h"
#include "foundation/QuilString.h"
#include "foundation/SettingsData.h"
#include "platform/ui/CommCtrl.h"

using AttachmentList = std::vector<AttachmentDataPtr>;

// What the two dialogs share: the attachments (not owned: the caller keeps their messages, and
// so their files, alive while the dialog is open), printing, the view they save when they were
// opened by the other's switch button, and the switch itself.
class CAttachmentsDialog {
 public:
  // DoModal's answer when the user switched to the other dialog.
  static constexpr int kSwitched = 100;

  virtual ~CAttachmentsDialog();
  CAttachmentsDialog(const CAttachmentsDialog&) = delete;
  CAttachmentsDialog& operator=(const CAttachmentsDialog&) = delete;

  // Modal over owner: 0 after "Print and Close", IDCANCEL after "Close" (or when it cannot be
  // shown), kSwitched when the other dialog is to open in its place.
  int DoModal(HWND owner);
  // The dialog was opened by the other dialog's switch button.
  void setSwitched(bool switched) { m_switched = switched; }

  // Tests: the headless desktop shows the dialogs (a test acts in them through platform::ui::input).
  static void allowHeadlessForTesting(bool allow);

 protected:
  CAttachmentsDialog(AttachmentList& attachments, bool selectAll, UINT templateId, int listId);

  // Fills the list; the dialog is centred already.
  virtual void OnInitDialog() = 0;
  // The rows to print, in row order.
  virtual std::vector<int> rowsToPrint() const = 0;
  // Handles a notification of the list; answers whether it did.
  virtual bool OnListNotify(const NMHDR& header) = 0;
  // A command of the dialog other than the shared ones; answers whether it was handled.
  virtual bool OnCommand(WORD id) = 0;
  // The value of "Attachments Selection View" that names this dialog.
  virtual bool selectionView() const = 0;

  // One row per attachment in vector order: its name and the shell's icon for that name, selected
  // and focused when selectAll.
  void addRows(HIMAGELIST images, int iconSize);
  // Prints the rows to print; the files whose print failed are named to the user.
  void printRows();
  // "Print", "Print and Close", "Close" and the switch button.
  void print();
  void printAndClose();
  void close();
  void switchView();

  HWND list() const;

  AttachmentList& m_attachments;
  bool m_selectAll;
  bool m_switched = false;
  HWND m_dialog = nullptr;
  HIMAGELIST m_images = nullptr;

 private:
  static INT_PTR dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
  // Stores this dialog's view when it was opened by a switch.
  void saveView();

  UINT m_templateId;
  int m_listId;
};

// Dialog 112: large icons, several selectable; "Print" needs a selection.
class CquilMarkAttachmentsDialog : public CAttachmentsDialog {
 public:
  CquilMarkAttachmentsDialog(AttachmentList& attachments, bool selectAll);

 private:
  void OnInitDialog() override;
  std::vector<int> rowsToPrint() const override;
  bool OnListNotify(const NMHDR& header) override;
  bool OnCommand(WORD id) override;
  bool selectionView() const override { return true; }
  void updatePrintButtons();
};

// Dialog 135: a report list with check boxes; the checked rows print.
class CDialogComplexAttachments : public CAttachmentsDialog {
 public:
  CDialogComplexAttachments(AttachmentList& attachments, bool selectAll);

 private:
  void OnInitDialog() override;
  std::vector<int> rowsToPrint() const override;
  bool OnListNotify(const NMHDR& header) override;
  bool OnCommand(WORD id) override;
  bool selectionView() const override { return false; }
};

namespace NAttachmentPrint {

// Prints one attachment's file through the shell after making it outlive its message (its
// `temporary` is cleared); false when the shell could not print it (logged with the file).
bool printAttachment(AttachmentData& attachment);
// Tells the user which attachments did not print (nothing when the list is empty).
void reportNotPrinted(const std::vector<quilstring>& names);

// Stores "Attachments Selection View", and only that value, where the settings are kept.
bool saveSelectionView(bool selectionView);

// The dialog the view names (true: dialog 112, false: dialog 135) on the attachments, then the
// other one for as long as the user switches; answers the last dialog's answer.
int showAttachmentsDialog(AttachmentList& attachments, bool selectAll, bool selectionView, HWND owner);
// The same with the view the settings name.
int showAttachmentsDialog(AttachmentList& attachments, bool selectAll, HWND owner);

// The attachments button of a window: the printable attachments of every item in one dialog, the
// messages (and so the files) kept until it closes. True when the dialog ran; an exception is
// logged and answers false.
bool printAttachmentsOfItems(const std::vector<std::shared_ptr<COutlookItem>>& items, HWND owner);

// Prints a job in a mode with a template (empty: the normal template choice); true when printed.
using ItemPrinter = std::function<bool(CPrintInfo& job, int mode, const quilstring& templatePath)>;

// A custom button's print of one item: the item in the button's mode and template (when its
// action prints a template), then the attachments its action keeps, in the dialog or at once.
// False when the item did not print (then no attachment prints) or the button's print
// operation is not one of 0 to 2 (reported).
bool printWithCustomButton(const CustomButton& button, IDispatch* item, const ItemPrinter& printItem, HWND owner);

// The print mode of a custom button's print operation (0 -> 6, 1 -> 4, 2 -> 5); 0 for any other.
int modeOfPrintOperation(DWORD printOperation);

}  // namespace NAttachmentPrint
