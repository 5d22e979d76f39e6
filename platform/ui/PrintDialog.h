#pragma once
// The print dialog (printer, copies, collation, duplex, page range, print to file), the one page
// range the printer takes from it, and handing a job's PDF to the printer or the file chosen.

#include <string>
#include <string_view>

#include "platform/Export.h"

namespace platform::ui {

enum class RangeStatus { kAll, kRange, kRefused };

// The pages asked for. A range open at its end runs to kLastPage; the caller clamps it to the
// pages there are.
struct RangeChoice {
  static constexpr int kLastPage = 0x7FFFFFFF;
  RangeStatus status = RangeStatus::kAll;
  int from = 1;
  int to = kLastPage;
};

// Reads a range text as the print dialog takes it: empty for all pages; "N", "A-B", "A-" or "-B"
// for one range. Several ranges, From above To, page 0 or anything else is refused.
QM_PLATFORM_API RangeChoice readPageRange(std::string_view text);

enum class Duplex { kNone, kLongEdge, kShortEdge };

struct PrintRequest {
  std::string title = "Print";
  int pageCount = 0;        // 0: not known
  int currentPage = 0;      // from 1; 0: none
  std::string printer;      // chosen at first; empty: the dialog's default
  std::string outputPath;   // the file "Print to File" offers at first; empty: the dialog's default
  // The pages offered at first, from 1 (From above To is offered as typed); 0: all pages.
  int rangeFrom = 0;
  int rangeTo = 0;
  // The paper the pages are laid out on (inches, portrait) and its orientation, shown as they
  // are: the dialog cannot change them. 0: not shown.
  double paperWidth = 0;
  double paperHeight = 0;
  bool landscape = false;
};

struct PrintAnswer {
  bool cancelled = true;    // also when the dialog could not be shown
  std::string printer;
  int copies = 1;
  bool collate = false;
  Duplex duplex = Duplex::kNone;
  std::string printToFile;  // not empty: the PDF is written to this path and not printed
  std::string rangeText;    // as the user typed it; empty for all pages
  RangeChoice range;        // readPageRange(rangeText), or the current page when that was asked
};

// Shows GTK's print dialog modally; answers cancelled without a display (reported).
QM_PLATFORM_API PrintAnswer showPrintDialog(const PrintRequest& request);

// Hands a PDF to where the answer says: written whole to printToFile (a file of the same folder
// renamed over it, so a reader never sees half a file), or given to CUPS' `lp` (looked up in
// PATH) with the printer, copies, collation and duplex. The pages are printed as the PDF holds
// them: cutting a range is the caller's. false (reported) when it fails.
QM_PLATFORM_API bool sendPdfToPrinter(const std::string& pdfPath, const PrintAnswer& answer);

}  // namespace platform::ui
