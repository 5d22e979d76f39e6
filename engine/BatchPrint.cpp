#include "engine/BatchPrint.h"

#include <algorithm>
#include <deque>
#include <memory>

#include "engine/OutlookItem.h"
#include "engine/PrintItem.h"
#include "engine/Printer.h"

int printInTurn(const std::vector<CComPtr<IDispatch>>& items, int mode, const quilstring& templatePath,
                ITemplateListDialog* templateList, const std::function<void(IDispatch* item, int status)>& onItem) {
  // The next items' printers, made ready while the current one prints: three ahead, one for each
  // spare tab of the browser, so the ones after next load while the next one waits for its turn.
  constexpr std::size_t kAhead = 3;
  struct Ahead {
    std::size_t index = 0;
    quilstring templatePath;
    std::unique_ptr<CPrinter> printer;
  };
  std::deque<Ahead> ahead;
  const bool printsAtOnce = printCommandOfMode(mode) == PrintCommand::kPrint && items.size() > 1;
  std::size_t current = 0;
  // Only an item that prints without a question is made ready: any question comes in its turn.
  // Each print's wait makes ready the items not yet ready up to three ahead, in order, one a call;
  // the answer is whether one is left to make ready.
  std::size_t tried = 0;  // items after this one were never tried
  const auto prepareNext = [&] {
    const auto last = std::min(current + kAhead, items.size() - 1);
    for (std::size_t next = std::max(tried, current) + 1; next <= last; ++next) {
      tried = next;
      // The body of the item after it is cleaned meanwhile, beside the loop.
      if (next + 1 < items.size()) COutlookItem(items[next + 1]).cleanHTMLBodyAhead();
      CPrintInfo job(items[next]);
      quilstring chosen;
      if (!CPrintItem(job, templateList).silentTemplate(templatePath, chosen)) continue;
      auto printer = std::make_unique<CPrinter>(job, chosen);
      printer->prepare(mode);
      ahead.push_back(Ahead{next, chosen, std::move(printer)});
      break;
    }
    return tried < last;
  };
  struct Batch {
    bool on;
    explicit Batch(bool on) : on(on) {
      if (on) CPrinter::beginBatch();
    }
    ~Batch() {
      if (on) CPrinter::endBatch();
    }
  } batch(printsAtOnce);

  if (printsAtOnce) COutlookItem(items[1]).cleanHTMLBodyAhead();

  int outcome = kStatusEligible;
  for (current = 0; current < items.size(); ++current) {
    const PrinterFactory makePrinter = [&](const CPrintInfo& job,
                                           const quilstring& chosen) -> std::unique_ptr<IPrinter> {
      std::unique_ptr<CPrinter> printer;
      if (!ahead.empty() && ahead.front().index == current && ahead.front().templatePath == chosen)
        printer = std::move(ahead.front().printer);
      else
        printer = std::make_unique<CPrinter>(job, chosen);
      while (!ahead.empty() && ahead.front().index <= current) ahead.pop_front();
      if (printsAtOnce) printer->setOnPrintStart(prepareNext);
      return printer;
    };
    CPrintInfo job(items[current]);
    const int status = CPrintItem(job, templateList).printJob(mode, templatePath, makePrinter);
    // Made ready for an item that then went another way (its template was not the one expected).
    while (!ahead.empty() && ahead.front().index <= current) ahead.pop_front();
    if (onItem) onItem(items[current], status);
    // The first failure is the one answered; a later item's success must not hide it.
    if (outcome == kStatusEligible || outcome == kStatusPrinted) outcome = status;
  }
  return outcome;
}
