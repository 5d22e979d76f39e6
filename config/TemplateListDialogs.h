#pragma once
// The dialogs that edit the templates of one message class: CDialogQuillMarkTemplates (dialog
// 118, the ordered template list of a class, and the class itself when it is new),
// CAddOutlookItem (dialog 113, a standard Outlook item type or a typed class) and
// CDialogQuillMarkTemplate (dialog 119, one template). Each edits its own copy.

#include <vector>

#include "config/ConfigDialog.h"
#include "engine/OfferItemType.h"
#include "foundation/SettingsData.h"

class CDialogQuillMarkTemplates : public CConfigDialog {
 public:
  // A new class: chosen with "Change..."; the dialog makes an empty template list.
  CDialogQuillMarkTemplates();
  // An existing class and the list to edit (the opener's own new copy; shared with it).
  CDialogQuillMarkTemplates(const quilstring& messageClass, MessageClassSettingsPtr settings);
  ~CDialogQuillMarkTemplates() override;

  // After IDOK: the class as shown, and the edited list.
  const quilstring& getResultClass() const { return m_resultClass; }
  const MessageClassSettingsPtr& getSettings() const { return m_settings; }

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  bool OnCommand(WORD id, WORD code) override;
  bool OnNotify(const NMHDR& header, LRESULT& result) override;
  const char16_t* helpPage() const override { return NConfig::kHelpTemplateConfiguration; }

 private:
  void showClass();
  void addTemplate();
  void editTemplate();
  void removeTemplate();

  quilstring m_resultClass;
  quilstring m_class;
  MessageClassSettingsPtr m_settings;
  std::vector<TemplateDetail> m_templates;
  COrderedList<TemplateDetail> m_list;
  HICON m_icon = nullptr;
};

class CAddOutlookItem : public CConfigDialog {
 public:
  CAddOutlookItem();
  ~CAddOutlookItem() override;

  const quilstring& getClass() const { return m_class; }
  const quilstring& getDisplayText() const { return m_displayText; }

  // The standard item types, in the list's order.
  static const std::vector<quilstring>& standardClasses();

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  bool OnCommand(WORD id, WORD code) override;
  bool OnNotify(const NMHDR& header, LRESULT& result) override;

 private:
  void setMode(int mode);
  void updateOk();

  quilstring m_class;
  quilstring m_displayText;
  int m_mode = 1;
  HIMAGELIST m_images = nullptr;
};

class CDialogQuillMarkTemplate : public CConfigDialog {
 public:
  CDialogQuillMarkTemplate();
  explicit CDialogQuillMarkTemplate(const TemplateDetail& detail);

  const TemplateDetail& getDetail() const { return m_detail; }

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  bool OnCommand(WORD id, WORD code) override;
  const char16_t* helpPage() const override { return NConfig::kHelpTemplateConfiguration; }

 private:
  TemplateDetail m_detail;
};

// The template list dialog as the print job's offer to add an item type opens it.
class CTemplateListDialog : public ITemplateListDialog {
 public:
  int DoModal(HWND owner, const quilstring& messageClass, const MessageClassSettingsPtr& settings) override;
};
