#pragma once
// The print template's layout: the job's document paginated natively in the content box inside
// the margins, and the page decorations (header and footer strings, the document's QMHeader and
// QMFooter blocks, the cover and trailer pages' blocks, QMPageNo and QMPageTotal, the body
// background) printed as a second document from the print template page and laid over the
// first. The page settings and the job's page range come from the scripting object, reached
// only through its IDispatch; the layout writes the settings back to it when the printer is done.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/Export.h"
#include "platform/WinTypes.h"
#include "platform/browser/HeaderFooter.h"
#include "platform/browser/PageSetup.h"
#include "platform/browser/PrintEngine.h"

struct IDispatch;

namespace platform::html {
class CHtmlDocument;
}

namespace platform::browser {

// From above To in a page range that is asked for: nothing is printed.
constexpr HRESULT E_PAGE_RANGE_FROM_AFTER_TO = static_cast<HRESULT>(0x80040301u);

// The blocks of the filled document that the decorations are made of: the inner HTML (UTF-8)
// of the elements QMHeader, QMFooter, QMCoverHeader, QMCoverFooter, QMTrailerHeader and
// QMTrailerFooter (their images' sources made absolute), whether QMCoverEndPage and
// QMTrailerEndPage mark a cover and a trailer page, BODY's style background, and the title.
struct PrintBlocks {
  std::string header, footer;
  std::string coverHeader, coverFooter;
  std::string trailerHeader, trailerFooter;
  bool hasCover = false;
  bool hasTrailer = false;
  std::u16string background;
  std::u16string title;
  bool numbersMarked = false;  // QMPageNo and QMPageTotal already hold the layout's marks
};

// Reads the blocks of a filled document file. E_FAIL when it cannot be read.
QM_PLATFORM_API HRESULT readPrintBlocks(const std::filesystem::path& document, PrintBlocks& blocks);
// Reads the blocks of a filled document without parsing it again; relative image sources are
// resolved against `imageFolder`. The blocks' elements are rewritten in place (absolute image
// sources, page numbers marked for the layout).
QM_PLATFORM_API HRESULT readPrintBlocks(platform::html::CHtmlDocument& document,
                                        const std::filesystem::path& imageFolder, PrintBlocks& blocks);

struct PageRange {
  bool selected = false;  // print only from..to
  int from = 1;
  int to = 1;
};

struct LayoutRequest {
  std::filesystem::path document;       // the filled document
  std::u16string address;               // the template's path or file:// address (name, &u)
  std::filesystem::path printTemplate;  // the extracted print template page
  PrintBlocks blocks;
  PageSetup setup;
  PageRange range;
  LCID locale = 1033;
  DWORD loadTimeoutMs = 20000;
  std::filesystem::path output;  // the PDF of the pages printed
  // Where the intermediate PDFs go, each under a name of its own; empty: beside the output.
  std::filesystem::path workFolder;
  SYSTEMTIME time{};             // &d &t; all zero: now
};

struct LayoutResult {
  int laidOutPages = 0;  // the document's pages
  int firstPage = 0;     // the pages printed, after clamping
  int lastPage = 0;
  // The margins the body was laid out with (grown where a block did not fit).
  PageMargins bodyMargins;
  PageMargins coverMargins;
};

// How a page's numbers read, as the print template counts them: the cover is page 0, and the
// total leaves the cover and the trailer out (never below 0).
QM_PLATFORM_API int decoratedPageNumber(int page, bool hasCover);
QM_PLATFORM_API int decoratedPageTotal(int pages, bool hasCover, bool hasTrailer);

class QM_PLATFORM_API IPrintLayout {
 public:
  virtual ~IPrintLayout();
  // As the print template starts: gives the scripting object the template name (from the
  // address) and takes its margins, header, footer, orientation and page range into the request.
  virtual HRESULT readSettings(IDispatch* handler, LayoutRequest& request) = 0;
  // Lays the document out and prints the pages of the range, decorated, to request.output.
  virtual HRESULT print(const LayoutRequest& request, LayoutResult& result) = 0;
  // As the print template goes: writes margins, header, footer and orientation back.
  virtual HRESULT writeSettings(IDispatch* handler, const PageSetup& setup) = 0;
  // Measures the blocks of a job to come with the page setup of the last print, beside a print
  // that runs (the engine's measureHeightsBeside), so that job finds them measured when its page
  // setup is the same. Whatever cannot be measured so is left to that job's print.
  virtual void measureAhead(const LayoutRequest& request);
  // The body's page style a job to come would print with, measured as measureAhead measures it,
  // so that its document can be written with it; empty where it cannot be known yet.
  virtual std::string pageStyleAhead(const LayoutRequest& request);
};

// The layout on an engine (the process's Chromium one, or a test's). Keeps the measured block
// heights and the print template page between jobs.
QM_PLATFORM_API std::unique_ptr<IPrintLayout> makePrintLayout(IPrintEngine& engine);

// Work to do while the browser prints the next layout's body: it is posted to the loop once that
// print is asked for, so it runs in the print's wait (a batch fills the next job there). A later
// call replaces it; an empty one takes it back.
QM_PLATFORM_API void duringNextBodyPrint(std::function<void()> work);
// Takes that work back, for the body print about to start (a print template of its own may run
// it where it prints).
QM_PLATFORM_API std::function<void()> takeBodyPrintWork();

}  // namespace platform::browser
