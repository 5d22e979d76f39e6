#pragma once
// COfferItemType: the offer to add support for an item type the settings do not know, made on
// the spot during one of the system's own print requests: a yes/no question, the template list
// dialog on the new class, then a save of the settings. Used on the user-interface thread.

#include "foundation/QuilString.h"
#include "foundation/SettingsData.h"
#include "platform/WinTypes.h"

// The template list dialog of the configuration interface, editing the templates of one class.
class ITemplateListDialog {
 public:
  virtual ~ITemplateListDialog() = default;
  // Modal over owner; IDOK when the user accepted the (possibly empty) list in settings.
  virtual int DoModal(HWND owner, const quilstring& messageClass, const MessageClassSettingsPtr& settings) = 0;
};

class COfferItemType {
 public:
  // templateList is not owned; null means the offer cannot be made (nothing is asked).
  explicit COfferItemType(ITemplateListDialog* templateList) : m_templateList(templateList) {}

  // One pass of the offer for the class. True when the class was added and the settings saved,
  // so the job is to be looked at again. Declining shows nothing more; an unusable class or a
  // failed save is reported in a message box.
  bool offer(const quilstring& messageClass);

 private:
  ITemplateListDialog* m_templateList;
};
