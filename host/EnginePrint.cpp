#include "host/EnginePrint.h"

#include <memory>

#include "engine/CurrentPrintJob.h"
#include "engine/Message.h"
#include "engine/PrintInfo.h"
#include "engine/PrintItem.h"
#include "engine/Printer.h"
#include "foundation/Settings.h"

namespace host {

int printThroughEngine(const EnginePrintRequest& request) {
  CSettings& settings = CSettings::instance();
  settings.outlookApplication() = request.application;
  NCurrentJob::setItemActions({[](CMessage& message) { return !message.getAttachments().empty(); }, {}});

  const PrinterFactory makePrinter = [](const CPrintInfo& job, const quilstring& templatePath) -> std::unique_ptr<IPrinter> {
    return std::make_unique<CPrinter>(job, templatePath);
  };
  const PrintDestination base = printDestination();
  int status = kStatusPrinted;
  if (request.table) {
    CPrintInfo job(kFolderJob, request.folder);
    job.setSelection(request.selection);
    PrintDestination destination = base;
    destination.fileStem = request.fileStem;
    setPrintDestination(destination);
    if (request.templatePath.empty()) {
      status = CPrintItem(job).printJob(request.mode, request.templatePath, makePrinter);
    } else {
      // A template given for a table prints the table with it; the print service would take a
      // given template as a memo one and print the rows one by one.
      CPrintItem item(job);
      status = CPrinter(job, request.templatePath).DoService(request.mode);
      if (isOwnPrintRequest(request.mode)) item.reportToUser(status);
    }
  } else {
    for (std::size_t i = 0; i < request.items.size(); ++i) {
      CPrintInfo job(request.items[i]);
      PrintDestination destination = base;
      if (i < request.fileStems.size()) destination.fileStem = request.fileStems[i];
      setPrintDestination(destination);
      const int itemStatus = CPrintItem(job).printJob(request.mode, request.templatePath, makePrinter);
      if (status == kStatusPrinted) status = itemStatus;
    }
  }
  setPrintDestination(base);
  settings.outlookApplication() = nullptr;
  return status;
}

}  // namespace host
