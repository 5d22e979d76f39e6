#include "host/EnginePrint.h"

#include <cstdio>
#include <memory>

#include "engine/CurrentPrintJob.h"
#include "engine/Message.h"
#include "engine/PrintInfo.h"
#include "engine/PrintItem.h"
#include "engine/Printer.h"
#include "foundation/Settings.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"

namespace host {

namespace {

// Why a job failed, beside the message the job showed: the last Error logged while it ran.
void reportReason(int status, const std::u16string& name) {
  if (status == kStatusPrinted || status == kStatusDeclined) return;
  const std::string reason = platform::diag::lastFailure();
  std::fprintf(stderr, "quillmark print: %s not printed (status %d): %s\n",
               platform::system::utf16ToUtf8(name).c_str(), status,
               reason.empty() ? "no reason was logged" : reason.c_str());
}

}  // namespace

int printThroughEngine(const EnginePrintRequest& request) {
  CSettings& settings = CSettings::instance();
  settings.outlookApplication() = request.application;

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
    platform::diag::clearLastFailure();
    if (request.templatePath.empty()) {
      status = CPrintItem(job).printJob(request.mode, request.templatePath, makePrinter);
    } else {
      // A template given for a table prints the table with it; the print service would take a
      // given template as a memo one and print the rows one by one.
      CPrintItem item(job);
      status = CPrinter(job, request.templatePath).DoService(request.mode);
      if (isOwnPrintRequest(request.mode)) item.reportToUser(status);
    }
    reportReason(status, request.fileStem);
  } else {
    for (std::size_t i = 0; i < request.items.size(); ++i) {
      CPrintInfo job(request.items[i]);
      PrintDestination destination = base;
      if (i < request.fileStems.size()) destination.fileStem = request.fileStems[i];
      setPrintDestination(destination);
      platform::diag::clearLastFailure();
      const int itemStatus = CPrintItem(job).printJob(request.mode, request.templatePath, makePrinter);
      reportReason(itemStatus, i < request.fileStems.size() ? request.fileStems[i] : std::u16string(u"item"));
      if (status == kStatusPrinted) status = itemStatus;
    }
  }
  setPrintDestination(base);
  settings.outlookApplication() = nullptr;
  return status;
}

}  // namespace host
