// The display manager's print services: a user's request in its window becomes a print job.
#include "config/TemplateListDialogs.h"
#include "engine/AttachmentPrint.h"
#include "engine/BatchPrint.h"
#include "engine/PrintItem.h"
#include "engine/Printer.h"
#include "engine/SelectionPrint.h"
#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "integration/DisplayManager.h"
#include "integration/EventProperties.h"
#include "integration/detail/Automation.h"

using namespace integration::detail;

namespace {

// What the offer to add an item type opens: the template list of the new class.
ITemplateListDialog* templateList() {
  static CTemplateListDialog dialog;
  return &dialog;
}

PrinterFactory printerFactory() {
  return [](const CPrintInfo& job, const quilstring& templatePath) -> std::unique_ptr<IPrinter> {
    return std::make_unique<CPrinter>(job, templatePath);
  };
}

}  // namespace

bool CDisplayManager::DoPrintService(int mode, const quilstring& templatePath) {
  return printService(mode, templatePath) == kStatusPrinted;
}

int CDisplayManager::printService(int mode, const quilstring& templatePath) {
  const CComPtr<ITimerCallback> hold(this);
  int outcome = kStatusEligible;
  NUtils::guardedAs(u"Exception caught trying print service", [&] {
    if (m_inspector) {
      LOG_DEBUG(u"Doing print service from inspector");
      CPrintInfo job(getObject(m_inspector, u"CurrentItem"));
      outcome = CPrintItem(job, templateList()).printJob(mode, templatePath, printerFactory());
      return;
    }
    if (!m_explorer) return;
    LOG_DEBUG(u"Doing print service from explorer");
    const CComPtr<IDispatch> selection = getObject(m_explorer, u"Selection");
    const LONG count = getLong(selection, u"Count");
    if (count == 0) {
      // Nothing selected is nothing to print: the request is not served.
      LOG_DEBUG(u"Doing print service from explorer - nothing selected");
      return;
    }
    if (count == 1) {
      LOG_DEBUG(u"Doing print service from explorer - single item selected. using memo style");
      CPrintInfo job(itemOf(selection, 1));
      outcome = CPrintItem(job, templateList()).printJob(mode, templatePath, printerFactory());
      return;
    }
    LOG_DEBUG(u"Doing print service from explorer - multiple items selected. allowing multi style");
    const CComPtr<IDispatch> folder = getObjectOrNull(m_explorer, u"CurrentFolder");
    CPrintInfo job(kFolderJob, folder);
    job.setSelection(selection);
    if (folder) job.setItems(getObject(folder, u"Items"));
    outcome = CPrintItem(job, templateList()).printJob(mode, templatePath, printerFactory());
  });
  return outcome;
}

int CDisplayManager::printTable(int mode, const quilstring& templatePath) {
  const CComPtr<ITimerCallback> hold(this);
  int outcome = kStatusEligible;
  bool table = false;
  NUtils::guardedAs(u"Exception caught trying print service", [&] {
    if (m_inspector || !m_explorer || templatePath.empty()) return;
    const CComPtr<IDispatch> selection = getObject(m_explorer, u"Selection");
    if (getLong(selection, u"Count") < 2) return;
    table = true;
    LOG_DEBUG(u"Doing print service from explorer - the selection as one table");
    CPrintInfo job(kFolderJob, getObjectOrNull(m_explorer, u"CurrentFolder"));
    job.setSelection(selection);
    CPrintItem item(job, templateList());
    outcome = CPrinter(job, templatePath).DoService(mode);
    if (isOwnPrintRequest(mode)) item.reportToUser(outcome);
  });
  return table ? outcome : printService(mode, templatePath);
}

int CDisplayManager::printEachSelected(int mode, const quilstring& templatePath,
                                       const std::function<void(IDispatch*, int)>& onItem) {
  const CComPtr<ITimerCallback> hold(this);
  int outcome = kStatusEligible;
  NUtils::guardedAs(u"Exception caught trying print service", [&] {
    std::vector<CComPtr<IDispatch>> items;
    if (m_inspector) {
      items.push_back(getObject(m_inspector, u"CurrentItem"));
    } else if (m_explorer) {
      const CComPtr<IDispatch> selection = getObject(m_explorer, u"Selection");
      const LONG count = getLong(selection, u"Count");
      for (LONG i = 1; i <= count; ++i) items.push_back(itemOf(selection, i));
    }
    LOG_DEBUG(u"Doing print service for %d items in turn", static_cast<int>(items.size()));
    outcome = printInTurn(items, mode, templatePath, templateList(), onItem);
  });
  return outcome;
}

bool CDisplayManager::PrintItem(CPrintInfo& job, int mode, const quilstring& templatePath) {
  return CPrintItem(job, templateList()).printJob(mode, templatePath, printerFactory()) == kStatusPrinted;
}

HRESULT CDisplayManager::CommandBarButtonPrintServiceClick(IDispatch* control, VARIANT_BOOL* cancelDefault) {
  const CComPtr<ITimerCallback> hold(this);
  LOG_DEBUG(u"CDisplayManager::CommandBarButtonPrintServiceClick");
  const CEventProperties origin{CommandBarControlPtr(control)};
  const int mode = origin.m_mode;
  if (mode != kModePreview && !CSettings::instance().getUseOutlookButtons()) {
    LOG_DEBUG(u"Outlook command passing through unhandled");
  } else if (!(m_inspector ? origin.emanatesFrom(m_inspector) : origin.emanatesFrom(m_explorer))) {
    LOG_ERROR(u"Unknown command event");
  } else {
    LOG_DEBUG(u"Attempting to service command");
    if (DoPrintService(mode, {})) {
      LOG_DEBUG(u"Successfully serviced command");
      if (cancelDefault) *cancelDefault = VARIANT_TRUE;
      return S_OK;
    }
  }
  if (mode == kModeOutlookPreview) {
    LOG_DEBUG(u"Outlook about to print preview -- switching status to sDEACTIVATED");
    if (m_status != kClosed) m_status = sDEACTIVATED;
  } else if (mode != kModePreview) {
    LOG_DEBUG(u"Failed to serice command -- passing on to Outlook");
  }
  return S_OK;
}

HRESULT CDisplayManager::CommandBarButtonAttachmentClick(IDispatch* control, VARIANT_BOOL*) {
  const CComPtr<ITimerCallback> hold(this);
  bool serviced = false;
  NUtils::guardedAs(u"Exception caught CDisplayManager::CommandBarButtonAttachmentClick", [&] {
    LOG_DEBUG(u"CDisplayManager::CommandBarButtonAttachmentClick");
    const CEventProperties origin{CommandBarControlPtr(control)};
    std::vector<std::shared_ptr<COutlookItem>> items;
    if (m_inspector) {
      if (origin.emanatesFrom(m_inspector))
        items.push_back(std::make_shared<COutlookItem>(getObject(m_inspector, u"CurrentItem")));
    } else if (m_explorer && origin.emanatesFrom(m_explorer)) {
      const CComPtr<IDispatch> selection = getObject(m_explorer, u"Selection");
      const LONG count = getLong(selection, u"Count");
      for (LONG i = 1; i <= count; ++i) items.push_back(std::make_shared<COutlookItem>(itemOf(selection, i)));
    }
    if (!items.empty()) serviced = handleAttachmentService(items);
  });
  if (!serviced) LOG_DEBUG(u"Failed to service attachment click");
  return S_OK;
}

HRESULT CDisplayManager::CommandBarButtonSelectionClick(IDispatch* control, VARIANT_BOOL*) {
  const CComPtr<ITimerCallback> hold(this);
  bool serviced = false;
  NUtils::guarded(u"CDisplayManager::CommandBarButtonSelectionClick", [&] {
    LOG_DEBUG(u"CDisplayManager::CommandBarButtonSelectionClick");
    const CEventProperties origin{CommandBarControlPtr(control)};
    if (m_inspector) {
      if (origin.emanatesFrom(m_inspector)) serviced = HandleSelectionService(getObject(m_inspector, u"CurrentItem"));
      return;
    }
    if (!m_explorer || !origin.emanatesFrom(m_explorer)) return;
    // A part of one body: with several items (or none) selected there is nothing to choose from.
    const CComPtr<IDispatch> selection = getObject(m_explorer, u"Selection");
    if (getLong(selection, u"Count") == 1) serviced = HandleSelectionService(itemOf(selection, 1));
  });
  if (!serviced) LOG_DEBUG(u"Failed to service selection click");
  return S_OK;
}

HRESULT CDisplayManager::CommandBarButtonCustomButtonClick(int index, IDispatch* control, VARIANT_BOOL*) {
  const CComPtr<ITimerCallback> hold(this);
  static constexpr const char16_t* kLines[] = {u"CDisplayManager::CommandBarButtonCustomButton1Click",
                                               u"CDisplayManager::CommandBarButtonCustomButton2Click",
                                               u"CDisplayManager::CommandBarButtonCustomButton3Click"};
  LOG_DEBUG(kLines[index]);
  const CEventProperties origin{CommandBarControlPtr(control)};
  if (m_inspector ? origin.emanatesFrom(m_inspector) : origin.emanatesFrom(m_explorer)) {
    const auto& buttons = CSettings::instance().getSettingsData().buttons.buttons;
    if (index >= static_cast<int>(buttons.size())) return S_OK;
    // A copy: a save during the print (an item type added, the options applied) rebuilds the list.
    const CustomButton record = buttons[static_cast<std::size_t>(index)];
    DoCustomPrintService(record);
  }
  return S_OK;
}

bool CDisplayManager::handleAttachmentService(const std::vector<std::shared_ptr<COutlookItem>>& items) {
  const CComPtr<ITimerCallback> hold(this);
  return NAttachmentPrint::printAttachmentsOfItems(items, m_hwnd);
}

bool CDisplayManager::HandleSelectionService(IDispatch* item) {
  const CComPtr<ITimerCallback> hold(this);
  return NUtils::guarded(u"CDisplayManager::HandleSelectionService", false, [&] {
    CPrintInfo job(item);
    return runSelectionService(job, m_hwnd, [this](CPrintInfo& selected, int mode) {
      return PrintItem(selected, mode, quilstring());
    });
  });
}

void CDisplayManager::DoCustomPrintService(const CustomButton& record) {
  const CComPtr<ITimerCallback> hold(this);
  const auto printItem = [this](CPrintInfo& job, int mode, const quilstring& templatePath) {
    return PrintItem(job, mode, templatePath);
  };
  NUtils::guarded(u"CDisplayManager::DoCustomPrintService", [&] {
    if (m_inspector) {
      LOG_DEBUG(u"Doing custom print service from inspector");
      NAttachmentPrint::printWithCustomButton(record, getObject(m_inspector, u"CurrentItem"), printItem, m_hwnd);
      return;
    }
    if (!m_explorer) return;
    LOG_DEBUG(u"Doing custom print service from explorer");
    const CComPtr<IDispatch> selection = getObject(m_explorer, u"Selection");
    const LONG count = getLong(selection, u"Count");
    for (LONG i = 1; i <= count; ++i) {
      if (!NAttachmentPrint::printWithCustomButton(record, itemOf(selection, i), printItem, m_hwnd)) {
        LOG_ERROR(u"Error occured. Stop printing selection");
        break;
      }
    }
  });
}

STDMETHODIMP CDisplayManager::onAcceleratorCallback(unsigned long commandId) {
  const CComPtr<ITimerCallback> hold(this);
  return NUtils::guarded(u"CDisplayManager::onAcceleratorCallback", S_OK, [&]() -> HRESULT {
    LOG_DEBUG(u"CDisplayManager::onAcceleratorCallback");
    if (commandId != kPrintAcceleratorId) return S_OK;
    if (!CSettings::instance().getUseOutlookButtons()) return S_OK;
    if (DoPrintService(kModePrintWithDialog, {})) {
      LOG_DEBUG(u"Handling accelerator. Printing with prompt");
      return E_FAIL;
    }
    return S_OK;
  });
}
