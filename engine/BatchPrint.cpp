#include "engine/BatchPrint.h"

#include <memory>
#include <optional>

#include "engine/PrintItem.h"
#include "engine/Printer.h"

int printInTurn(const std::vector<CComPtr<IDispatch>>& items, int mode, const quilstring& templatePath,
                ITemplateListDialog* templateList, const std::function<void(IDispatch* item, int status)>& onItem) {
  // The next item's printer, made ready while the current one prints.
  struct Ahead {
    std::size_t index = 0;
    quilstring templatePath;
    std::unique_ptr<CPrinter> printer;
  };
  std::optional<Ahead> ahead;
  const bool printsAtOnce = printCommandOfMode(mode) == PrintCommand::kPrint && items.size() > 1;
  std::size_t current = 0;
  // Only an item that prints without a question is made ready: any question comes in its turn.
  const auto prepareNext = [&] {
    const std::size_t next = current + 1;
    if (next >= items.size() || ahead) return;
    CPrintInfo job(items[next]);
    quilstring chosen;
    if (!CPrintItem(job, templateList).silentTemplate(templatePath, chosen)) return;
    auto printer = std::make_unique<CPrinter>(job, chosen);
    printer->prepare(mode);
    ahead = Ahead{next, chosen, std::move(printer)};
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

  int outcome = kStatusEligible;
  for (current = 0; current < items.size(); ++current) {
    const PrinterFactory makePrinter = [&](const CPrintInfo& job,
                                           const quilstring& chosen) -> std::unique_ptr<IPrinter> {
      std::unique_ptr<CPrinter> printer;
      if (ahead && ahead->index == current && ahead->templatePath == chosen)
        printer = std::move(ahead->printer);
      else
        printer = std::make_unique<CPrinter>(job, chosen);
      ahead.reset();
      if (printsAtOnce) printer->setOnPrintStart(prepareNext);
      return printer;
    };
    CPrintInfo job(items[current]);
    const int status = CPrintItem(job, templateList).printJob(mode, templatePath, makePrinter);
    // Made ready for an item that then went another way (its template was not the one expected).
    if (ahead && ahead->index <= current) ahead.reset();
    if (onItem) onItem(items[current], status);
    // The first failure is the one answered; a later item's success must not hide it.
    if (outcome == kStatusEligible || outcome == kStatusPrinted) outcome = status;
  }
  return outcome;
}
