#pragma once
// CQuillmarkerImpl: the automation object's one worker in the process. Print finds the item by
// its entry id and the autoprint action by its name and queues one job that prints the item with
// the action's template and one job per selected attachment, which prints the attachment's file
// through the shell. The pulse runs the jobs one per tick, front first; a job queued right behind
// an attachment job holds the queue for the autoprint delay ("NumSeconds" x 10 pulses) after it
// has run. While jobs are queued the worker holds the thread's reference (SHGetThreadRef), so a
// host that published one keeps its loop running until the queue is empty. UI thread only.

#include <functional>
#include <memory>
#include <vector>

#include "engine/PrintInfo.h"
#include "foundation/QuilString.h"
#include "foundation/Timer.h"
#include "platform/com/Com.h"

// One queued job; attachment jobs share their item job's CPrintInfo, so the item's CMessage
// (and the attachment files it wrote) lives until the last job of the item has gone.
struct AutoprintJob {
  std::shared_ptr<CPrintInfo> printInfo;
  bool isItem = true;
  quilstring path;  // the template of an item job, the attachment's file of an attachment job
  bool done = false;
  DWORD countdown = 0;  // pulses the job stays at the front after it has run
};
using AutoprintJobPtr = std::shared_ptr<AutoprintJob>;

class CQuillmarkerImpl : public ITimerCallback,
                         public CComObjectRootEx<CComSingleThreadModel>,
                         public CComCoClass<CQuillmarkerImpl, &CLSID_NULL> {
 public:
  BEGIN_COM_MAP(CQuillmarkerImpl)
    COM_INTERFACE_ENTRY(ITimerCallback)
  END_COM_MAP()

  // The process's worker, made (and registered with the pulse) on the first call; it lives until
  // the process ends. Null only when it cannot be made.
  static CQuillmarkerImpl* instance();
  // Lets every queued job go (and with them Outlook's items) and the thread's reference; the
  // worker stays. For the add-in's disconnection; does nothing when no worker was made.
  static void releaseQueue();

  // Registers with the pulse; the queue starts as after an attachment-free job.
  void init();

  // Queues the jobs of the item and action (an empty name means "print with quillmark"). S_OK
  // when queued (also when the action selects nothing to print); E_INVALIDARG, nothing queued,
  // when no item has the entry id (with or without the store id) or no action the name; E_FAIL,
  // nothing queued, when Outlook cannot be asked (logged as Errors).
  HRESULT Print(const quilstring& entryId, const quilstring& storeId, const quilstring& actionName);
  // Shows the action selection dialog over the active window: S_OK with the chosen name;
  // E_FAIL (bstrAction untouched) when cancelled or failed.
  HRESULT GetAction(BSTR* bstrAction);

  // One pulse: drops the front job once it has run and its countdown is out, runs the next one,
  // counts the front job's countdown down. Always S_OK: the worker stays on the pulse.
  STDMETHOD(onTimerCallback)() override;

  const std::vector<AutoprintJobPtr>& queue() const { return m_queue; }

  // Runs one job (the item's print or the attachment's shell print); tests replace it. An
  // exception drops the job. An empty function restores the real one.
  using JobRunner = std::function<void(AutoprintJob& job)>;
  static void setJobRunnerForTesting(JobRunner runner);

  // The most "NumSeconds" the queue waits after an attachment (that of the settings dialog), so
  // the count of pulses stays within 32 bits.
  static DWORD delayPulses(DWORD numSeconds);

 private:
  HRESULT queueJobs(const quilstring& entryId, const quilstring& storeId, const quilstring& actionName);
  void queueJob(const AutoprintJobPtr& job);
  void runFrontJob();
  // Holds the thread's reference while jobs are queued and lets it go when the queue is empty.
  void updateThreadRef();

  std::vector<AutoprintJobPtr> m_queue;
  bool m_afterAttachment = false;
  CComPtr<IUnknown> m_threadRef;
};
