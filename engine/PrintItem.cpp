#include "engine/PrintItem.h"

#include "engine/OfferItemType.h"
#include "engine/TemplateChoice.h"
#include "engine/detail/DispatchHelpers.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "foundation/Utils.h"
#include "platform/ui/Ui.h"
#include "resources/resource.h"

CPrintItem::CPrintItem(CPrintInfo& job, ITemplateListDialog* templateList)
    : m_job(job), m_templateList(templateList) {}

bool CPrintItem::canPrint(int& outcome) {
  updateServiceOutcome(outcome);
  return outcome == kStatusEligible;
}

void CPrintItem::updateServiceOutcome(int& outcome) {
  m_candidates.clear();
  outcome = kStatusEligible;
  const quilstring messageClass = m_job.getMessageClass();
  CSettings& settings = CSettings::instance();
  settings.ensureSupportFiles();
  if (messageClass.empty()) {
    outcome = kStatusNoMessageClass;
    return;
  }

  // A class without an entry is never served by the default entry; only an empty list falls back.
  const auto& classes = settings.getSettingsData().messageClasses;
  const auto entry = classes.find(messageClass);
  if (entry == classes.end()) {
    outcome = kStatusClassNotConfigured;
    return;
  }
  std::vector<TemplateDetail> templates;
  if (entry->second) templates = entry->second->templates;
  if (templates.empty()) {
    const auto fallback = classes.find(kDefaultMessageClass);
    if (fallback != classes.end() && fallback->second) templates = fallback->second->templates;
  }
  if (templates.empty()) {
    outcome = kStatusNoTemplate;
    return;
  }

  outcome = kStatusTemplateMissing;
  for (const TemplateDetail& record : templates) {
    const quilstring& path = record.printingTemplate;
    bool exists = NUtils::getFileSize(path) > 0;
    // The built-in template lives in the temporary folder, which may have been cleaned meanwhile.
    if (!exists && !path.empty() && path == settings.getDefaultTemplatePath()) {
      settings.extractResources();
      exists = NUtils::getFileSize(path) > 0;
    }
    if (exists) {
      m_candidates.push_back(record);
      outcome = kStatusEligible;
    } else {
      LOG_WARNING(u"Template file does not exist: %s", path.c_str());
    }
  }

  // Templates that exist but that this job cannot use (table style for one item) print nothing.
  if (outcome == kStatusEligible && usableCandidates().empty()) {
    LOG_DEBUG(u"No template of %s can print this job", messageClass.c_str());
    outcome = kStatusNoTemplate;
  }
}

std::vector<TemplateDetail> CPrintItem::usableCandidates() const {
  std::vector<TemplateDetail> usable;
  for (const TemplateDetail& record : m_candidates)
    if (record.isFolder == 0 || (record.isFolder == 1 && !m_job.single())) usable.push_back(record);
  return usable;
}

bool CPrintItem::conferWithUser(int mode, int& outcome) {
  bool retry = correctServiceOutcome(mode, outcome);
  while (retry) {
    updateServiceOutcome(outcome);
    retry = correctServiceOutcome(mode, outcome);
  }
  return retry;
}

bool CPrintItem::correctServiceOutcome(int mode, int outcome) {
  if (outcome != kStatusClassNotConfigured || !isOwnPrintRequest(mode)) return false;
  return COfferItemType(m_templateList).offer(m_job.getMessageClass());
}

bool CPrintItem::chooseTemplate(quilstring& templatePath, bool& memo, bool& allRows) {
  const std::vector<TemplateDetail> usable = usableCandidates();
  if (usable.empty()) return false;
  if (usable.size() == 1 && !usable.front().isFolder) {
    templatePath = usable.front().printingTemplate;
    memo = true;
    return true;
  }
  CDialogTemplateSelection dialog(&usable);
  if (dialog.DoModal(GetActiveWindow()) != IDOK) return false;
  templatePath = dialog.getChosen().printingTemplate;
  memo = !dialog.getChosen().isFolder;
  allRows = dialog.allRows();
  return true;
}

bool CPrintItem::silentTemplate(const quilstring& templatePath, quilstring& chosen) {
  if (m_job.getItem() && m_job.getItem()->getItem().hasOLEAttachment()) return false;
  if (!templatePath.empty()) {
    chosen = templatePath;
    return true;
  }
  int outcome = kStatusEligible;
  if (!canPrint(outcome)) return false;
  const std::vector<TemplateDetail> usable = usableCandidates();
  if (usable.size() != 1 || usable.front().isFolder) return false;
  chosen = usable.front().printingTemplate;
  return true;
}

void CPrintItem::reportToUser(int outcome) {
  UINT id = IDS_UNKNOWN_ERROR;
  switch (outcome) {
    case kStatusPrinted:
    case kStatusDeclined:
      return;
    case kStatusClassNotConfigured:
      id = IDS_ITEM_TYPE_NOT_CONFIGURED;
      break;
    case kStatusNoTemplate:
      id = IDS_NO_TEMPLATE;
      break;
    case kStatusTemplateMissing:
      id = IDS_TEMPLATE_MISSING;
      break;
    case kStatusLoadTimedOut:
      id = IDS_LOADING_TIMED_OUT;
      break;
    case kStatusBrowserError:
      id = IDS_BROWSER_ERROR;
      break;
    default:
      break;
  }
  const HINSTANCE module = NGlobals::moduleInstance();
  quilstring text;
  if (id == IDS_ITEM_TYPE_NOT_CONFIGURED)
    text.FormatResource(module, id, m_job.getMessageClass().c_str());
  else
    text.LoadString(module, id);
  quilstring caption;
  caption.LoadString(module, IDS_LONG_PRODUCT_NAME);
  MessageBoxW(GetActiveWindow(), text.c_str(), caption.c_str(), MB_ICONERROR);
}

int CPrintItem::printJob(int mode, const quilstring& templatePath, const PrinterFactory& makePrinter) {
  quilstring chosen;
  bool memo = false;
  bool allRows = false;
  int outcome = kStatusEligible;
  bool ok = true;

  if (!templatePath.empty()) {
    chosen = templatePath;
    memo = true;
    outcome = kStatusPrinted;
  } else {
    ok = canPrint(outcome);
    if (!ok) {
      LOG_DEBUG(u"printItem reported cannot print");
      if (CSettings::instance().canModifySettings()) {
        LOG_DEBUG(u"User is configurable");
        conferWithUser(mode, outcome);
        ok = canPrint(outcome);
      }
    }
    if (ok) {
      // A cancelled choice prints nothing and counts as served.
      ok = chooseTemplate(chosen, memo, allRows);
      outcome = kStatusPrinted;
      if (ok && !memo) {
        if (allRows)
          m_job.setSelection(nullptr);
        else
          m_job.setItems(nullptr);
      }
    }
  }

  if (ok && memo && m_job.getItem() && m_job.getItem()->getItem().hasOLEAttachment()) {
    const HINSTANCE module = NGlobals::moduleInstance();
    quilstring text;
    text.LoadString(module, isOwnPrintRequest(mode) ? IDS_EMBEDDED_OBJECTS : IDS_EMBEDDED_OBJECTS_OUTLOOK_FALLBACK);
    quilstring caption;
    caption.LoadString(module, IDS_LONG_PRODUCT_NAME);
    if (MessageBoxW(GetActiveWindow(), text.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION) == IDNO) {
      ok = false;
      outcome = kStatusDeclined;
    }
  }

  if (ok && memo && m_job.getSelection()) {
    // A memo template for several items: each selected item is its own job. Nothing printed
    // leaves the status without an outcome, so an empty selection never counts as served.
    outcome = kStatusEligible;
    LONG count = 0;
    if (FAILED(engine::detail::countOf(m_job.getSelection(), count))) LOG_ERROR(u"Cannot read the selection's Count");
    for (LONG i = 1; i <= count; ++i) {
      CComVariant value;
      if (FAILED(engine::detail::getItemOf(m_job.getSelection(), CComVariant(i), value))) continue;
      const CComPtr<IDispatch> item = engine::detail::dispatchOf(value);
      if (!item) continue;
      const CPrintInfo itemJob(item);
      const std::unique_ptr<IPrinter> printer = makePrinter(itemJob, chosen);
      const int itemOutcome = printer ? printer->DoService(mode) : kStatusBrowserError;
      // The first failure is the one reported; a later item's success must not hide it.
      if (outcome == kStatusEligible || outcome == kStatusPrinted) outcome = itemOutcome;
    }
  } else if (ok) {
    const std::unique_ptr<IPrinter> printer = makePrinter(m_job, chosen);
    outcome = printer ? printer->DoService(mode) : kStatusBrowserError;
  }

  if (isOwnPrintRequest(mode)) reportToUser(outcome);
  return outcome;
}
