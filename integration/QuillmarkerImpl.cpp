#include "integration/QuillmarkerImpl.h"

#include <algorithm>
#include <utility>

#include "config/AutoprintDialogs.h"
#include "engine/Printer.h"
#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "foundation/Utils.h"
#include "integration/detail/Automation.h"
#include "platform/shell/ThreadRef.h"
#include "platform/ui/Ui.h"

namespace {

using namespace integration::detail;

// The process-wide worker; its reference is never given back.
CQuillmarkerImpl* g_worker = nullptr;

void runJob(AutoprintJob& job) {
  if (job.isItem) {
    CPrinter printer(*job.printInfo, job.path);
    const int status = printer.DoService(kModeQuickPrint);
    // Quick print reports nothing to the user; the log says why an automated print failed.
    if (status != kStatusPrinted && status != kStatusDeclined)
      LOG_ERROR(u"Autoprint of the item with %s ended with print status %d", job.path.c_str(), status);
    return;
  }
  LOG_DEBUG(u"Autoprinting Attachment: %s", job.path.c_str());
  NUtils::printFile(job.path);  // a failure is logged with the file's name
}

CQuillmarkerImpl::JobRunner& jobRunner() {
  static CQuillmarkerImpl::JobRunner runner = runJob;
  return runner;
}

// NameSpace.GetItemFromID(entryId, storeId), then without the store id; null when neither finds it.
CComPtr<IDispatch> findItem(IDispatch* nameSpace, const quilstring& entryId, const quilstring& storeId) {
  const CComVariant id(entryId.c_str());
  try {
    const CComVariant store(storeId.c_str());
    const CComVariant found = call(nameSpace, u"GetItemFromID", {id, store});
    if ((found.vt == VT_DISPATCH || found.vt == VT_UNKNOWN) && found.pdispVal) return objectOf(found);
  } catch (const _com_error& e) {
    // Outlook refuses an unknown or empty store id; the item may still be found without it.
    LOG_DEBUG(u"GetItemFromID with the store id failed (0x%08lx)", static_cast<unsigned long>(e.Error()));
  }
  try {
    const CComVariant found = call(nameSpace, u"GetItemFromID", {id, missing()});
    if ((found.vt == VT_DISPATCH || found.vt == VT_UNKNOWN) && found.pdispVal) return objectOf(found);
  } catch (const _com_error& e) {
    LOG_DEBUG(u"GetItemFromID failed (0x%08lx)", static_cast<unsigned long>(e.Error()));
  }
  return nullptr;
}

}  // namespace

CQuillmarkerImpl* CQuillmarkerImpl::instance() {
  if (!g_worker) {
    CComObject<CQuillmarkerImpl>* worker = nullptr;
    if (FAILED(CComObject<CQuillmarkerImpl>::CreateInstance(&worker)) || !worker) {
      LOG_ERROR(u"Cannot create the automation worker");
      return nullptr;
    }
    worker->AddRef();
    g_worker = worker;
    g_worker->init();
  }
  return g_worker;
}

void CQuillmarkerImpl::releaseQueue() {
  if (!g_worker) return;
  // Moved out first: releasing an item may reach back into the worker.
  std::vector<AutoprintJobPtr> jobs = std::exchange(g_worker->m_queue, {});
  g_worker->m_afterAttachment = false;
  g_worker->updateThreadRef();
  jobs.clear();
}

void CQuillmarkerImpl::init() {
  registerTimerCallback(this);
  m_afterAttachment = false;
}

void CQuillmarkerImpl::setJobRunnerForTesting(JobRunner runner) { jobRunner() = runner ? std::move(runner) : runJob; }

DWORD CQuillmarkerImpl::delayPulses(DWORD numSeconds) {
  return std::min(numSeconds, CDialogAutoprintSettings::kMaxSeconds) * 10;
}

HRESULT CQuillmarkerImpl::Print(const quilstring& entryId, const quilstring& storeId, const quilstring& actionName) {
  LOG_DEBUG(u">> CQuillmarkerImpl::Print");
  HRESULT result = E_FAIL;
  NUtils::guardedAs(u"Unknown Exception caught in CQuillmarkerImpl::Print",
                    [&] { result = queueJobs(entryId, storeId, actionName); });
  LOG_DEBUG(u"<< CQuillmarkerImpl::Print");
  return result;
}

HRESULT CQuillmarkerImpl::queueJobs(const quilstring& entryId, const quilstring& storeId, const quilstring& actionName) {
  CSettings& settings = CSettings::instance();
  const CComPtr<IDispatch> nameSpace = objectOf(call(settings.outlookApplication(), u"GetNamespace", {CComVariant(u"MAPI")}));
  const CComPtr<IDispatch> item = findItem(nameSpace, entryId, storeId);
  if (!item) {
    LOG_ERROR(u"Failed to find matching item for entryid");
    return E_INVALIDARG;
  }

  const quilstring name = actionName.empty() ? quilstring(u"print with quillmark") : actionName;
  const std::vector<ActionDetail>& actions = settings.getAutoprintSettings().actions;
  const auto found = std::find_if(actions.begin(), actions.end(),
                                  [&](const ActionDetail& action) { return action.displayName == name; });
  if (found == actions.end()) {
    LOG_ERROR(u"No autoprint action is named %s", name.c_str());
    return E_INVALIDARG;
  }
  // A copy: the settings may be saved again while the jobs wait.
  const ActionDetail action = *found;
  const DWORD delay = delayPulses(settings.getAutoprintSettings().numSeconds);

  // Builds the item's CMessage.
  const auto printInfo = std::make_shared<CPrintInfo>(item.p);
  if (action.templateEnabled && (!action.printingTemplate.empty() || action.useOutlookTemplate)) {
    printInfo->setRange(action.printOptions);
    const quilstring& templatePath = action.useOutlookTemplate ? settings.getDefaultTemplatePath() : action.printingTemplate;
    queueJob(std::make_shared<AutoprintJob>(AutoprintJob{printInfo, true, templatePath, false, 0}));
    if (m_queue.size() > 1 && m_afterAttachment) m_queue.back()->countdown = delay;
    m_afterAttachment = false;
  }
  const CMessagePtr message = printInfo->getItem();
  if (action.attachmentEnabled && message) {
    for (const AttachmentDataPtr& attachment : message->getAttachments()) {
      LOG_DEBUG(u"Considering Autoprint Attachment element: %s", attachment->name.c_str());
      if (!NUtils::printAttachment(attachment->name, action.attachmentState, action.attachmentString)) continue;
      // The shell may still read the file when the message goes.
      attachment->temporary = false;
      queueJob(std::make_shared<AutoprintJob>(AutoprintJob{printInfo, false, attachment->filePath, false, 0}));
      if (m_queue.size() > 1 && m_afterAttachment) m_queue.back()->countdown = delay;
      m_afterAttachment = true;
    }
  }
  return S_OK;
}

void CQuillmarkerImpl::queueJob(const AutoprintJobPtr& job) {
  m_queue.push_back(job);
  updateThreadRef();
}

void CQuillmarkerImpl::updateThreadRef() {
  if (m_queue.empty()) {
    m_threadRef.Release();
  } else if (!m_threadRef) {
    // No reference published (Outlook's own thread): nothing waits for the queue.
    SHGetThreadRef(m_threadRef.Receive());
  }
}

STDMETHODIMP CQuillmarkerImpl::onTimerCallback() {
  const CComPtr<ITimerCallback> hold(this);
  NUtils::guarded(u"CQuillmarkerImpl::onTimerCallback", [&] {
    if (!m_queue.empty() && m_queue.front()->countdown == 0) {
      if (m_queue.front()->done) m_queue.erase(m_queue.begin());
      if (!m_queue.empty() && !m_queue.front()->done) runFrontJob();
    }
    if (!m_queue.empty() && m_queue.front()->countdown > 0) --m_queue.front()->countdown;
    updateThreadRef();
  });
  return S_OK;
}

void CQuillmarkerImpl::runFrontJob() {
  if (m_queue.empty() || m_queue.front()->done) return;
  // Held: the print runs a modal loop, and a disconnection inside it may let the queue go.
  const AutoprintJobPtr job = m_queue.front();
  const bool ran = NUtils::guardedAs(u"Exception caught running an autoprint job; the job is dropped",
                                     [&] { jobRunner()(*job); });
  job->done = true;
  // A job that raised is not run again, nor does it hold the queue: the next tick drops it.
  if (!ran) job->countdown = 0;
}

HRESULT CQuillmarkerImpl::GetAction(BSTR* bstrAction) {
  LOG_DEBUG(u"CQuillmarkerImpl -- retrieving Action");
  if (!bstrAction) return E_POINTER;
  HRESULT result = E_FAIL;
  NUtils::guardedAs(u"Unknown Exception caught in CQuillmarkerImpl::GetAction", [&] {
    CDialogActionSelection dialog;
    if (dialog.DoModal(GetActiveWindow()) != IDOK) return;
    *bstrAction = SysAllocString(dialog.getChosenName().c_str());
    result = *bstrAction ? S_OK : E_OUTOFMEMORY;
  });
  return result;
}
