#pragma once
// CPrintItem: decides whether a print job can be printed (the templates of its message class
// whose files exist), offers to add an unknown item type, lets the user choose among templates,
// runs the printer, and turns a failed job's status into a message box. One per print request,
// on the user-interface thread.

#include <functional>
#include <memory>
#include <vector>

#include "engine/PrintInfo.h"
#include "foundation/QuilString.h"
#include "foundation/SettingsData.h"

class ITemplateListDialog;

// One render of a job with one template; the printer dialog is the real one.
class IPrinter {
 public:
  virtual ~IPrinter() = default;
  // Prints or previews in the mode; answers the final print status.
  virtual int DoService(int mode) = 0;
};

// Makes the printer of a job (copied by the printer) and a template file.
using PrinterFactory = std::function<std::unique_ptr<IPrinter>(const CPrintInfo& job, const quilstring& templatePath)>;

class CPrintItem {
 public:
  // The job is not owned and must outlive this object; templateList (not owned, may be null)
  // is what the offer to add an item type opens.
  explicit CPrintItem(CPrintInfo& job, ITemplateListDialog* templateList = nullptr);

  // Runs updateServiceOutcome; true when the outcome is 0 (eligible).
  bool canPrint(int& outcome);
  // The eligibility status of the job (0, 2, 4, 5 or 9), rebuilding the candidates.
  void updateServiceOutcome(int& outcome);
  // The offer to add an item type, then the eligibility test again after every accepted change;
  // outcome follows. Answers the last pass's result, so callers look at the outcome.
  bool conferWithUser(int mode, int& outcome);
  // One pass of the offer: only for status 2 in modes 4 to 6. True when the settings changed.
  bool correctServiceOutcome(int mode, int outcome);
  // The template to print with: silently the one Memo candidate, else the user's choice.
  // False when nothing is usable or the user cancelled; allRows is set only by the choice.
  bool chooseTemplate(quilstring& templatePath, bool& memo, bool& allRows);
  // The template the job prints with when nothing is asked of the user: the given one, or the one
  // Memo candidate of its class, and no question about embedded objects. False otherwise.
  bool silentTemplate(const quilstring& templatePath, quilstring& chosen);
  // The message box of a final status; none for 1 and 8.
  void reportToUser(int outcome);

  // The whole request in the mode: eligibility (with the offer when the settings may be
  // changed), template choice (skipped when templatePath is given: it prints memo style), the
  // embedded-object question, one printer per job or per selected item, the report for modes
  // 4 to 6. Answers the final status; the request is served exactly when it is 1.
  int printJob(int mode, const quilstring& templatePath, const PrinterFactory& makePrinter);

  // Template records of the job's class whose files exist, in the settings' order.
  const std::vector<TemplateDetail>& getCandidates() const { return m_candidates; }
  // The candidates this job can use: Memo records, and Multi Item records for a table-style job.
  std::vector<TemplateDetail> usableCandidates() const;

 private:
  CPrintInfo& m_job;
  ITemplateListDialog* m_templateList;
  std::vector<TemplateDetail> m_candidates;
};
