#pragma once
// The print template: what Internet Explorer's print template page does for a printed
// document. It takes the filled document, reads its page settings and range from the system's
// scripting object (reached only through IDispatch), lays the document out on the process's
// browser, prints ranges of it to PDF and writes the page settings back as it goes. A failure of
// its layout shows Internet Explorer's internal-error message and is reported.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/Export.h"
#include "platform/WinTypes.h"
#include "platform/browser/PageSetup.h"
#include "platform/browser/PrintLayout.h"

struct IDispatch;

namespace platform::html {
class CHtmlDocument;
}

namespace platform::browser {

class IPrintEngine;

// The message of a layout or script failure.
inline constexpr const char16_t* kInternalErrorText =
    u"There was an internal error, and Internet Explorer is unable to print this document.";

// How long the browser may take to load and lay out one document; past it the print fails.
inline constexpr DWORD kLayoutTimeoutMs = 30000;

// The filled document as the print template takes it.
struct PrintDocument {
  std::filesystem::path file;  // as the browser loads it
  std::u16string address;      // the template's path: names its page settings, resolves its images
  // file:// reads of the load stay inside these folders.
  std::vector<std::filesystem::path> readableFolders;
  // The filled frame documents the load may show; every other frame is refused.
  std::vector<std::filesystem::path> frames;
  LCID locale = 1033;
};

class QM_PLATFORM_API IPrintTemplate {
 public:
  virtual ~IPrintTemplate();
  // Takes the filled document and its blocks (the document's header and footer blocks are
  // rewritten in place: absolute image sources, marked page numbers), gives the scripting object
  // the template's name and reads the page settings and the range from it.
  virtual HRESULT open(html::CHtmlDocument& document, const PrintDocument& file) = 0;
  virtual PageRange defaultRange() const = 0;
  virtual PageSetup pageSetup() const = 0;
  virtual void setPageSetup(const PageSetup& setup) = 0;
  // Lays the document out and prints the range's pages, decorated, to `pdf`; `pages` answers the
  // laid-out pages. A failure has been reported (the thread's last failure says why) and shown.
  virtual HRESULT print(const PageRange& range, const std::filesystem::path& pdf,
                        const std::filesystem::path& workFolder, int& pages) = 0;
  // The scripting object's hasAttachments and showAttachmentsDialog.
  virtual bool hasAttachments() const = 0;
  virtual HRESULT showAttachmentsDialog() = 0;
  // Writes the page settings back to the scripting object and lets it go.
  virtual void close() = 0;
};

// The print template page `page` over the process's browser (or `engine`, for tests).
QM_PLATFORM_API std::unique_ptr<IPrintTemplate> makePrintTemplate(const std::filesystem::path& page,
                                                                  IDispatch* scriptingObject);
QM_PLATFORM_API std::unique_ptr<IPrintTemplate> makePrintTemplate(const std::filesystem::path& page,
                                                                  IDispatch* scriptingObject, IPrintEngine& engine);

// Writes a filled document as the browser loads it (UTF-8, relative addresses resolved against
// `baseFolder`); the file appears whole or not at all. E_FAIL (reported) when it cannot be written.
// `pageStyle`, where given, is the page style the document is expected to print with; it is
// written into the document when the engine can take it so.
QM_PLATFORM_API HRESULT writePrintDocument(const html::CHtmlDocument& document, const std::filesystem::path& file,
                                           const std::filesystem::path& baseFolder, const std::string& pageStyle = {});

// The address the browser loads a local file by.
QM_PLATFORM_API std::u16string printFileAddress(const std::filesystem::path& file);

// Starts the browser's load of the filled document and returns at once; the print takes it over.
// Starts the browser first when it is not running.
QM_PLATFORM_API void preloadPrintDocument(const PrintDocument& document);
// Measures ahead the blocks of a filled document written for a job to come (its page and
// template), as its print would with the page setup of the last print; runs beside a print that
// waits (a batch does it while the job before prints). Whatever it cannot do is left to the job.
// `filled` is the tree the document was written from, the one the job's print will open: its
// blocks are read from it now (marking it) and kept for that print.
QM_PLATFORM_API void measureAhead(const PrintDocument& document, const std::filesystem::path& printTemplatePage,
                                  html::CHtmlDocument& filled);
// The page style a job to come will print with if the page setup stays, measured as measureAhead
// measures; empty where it cannot be known yet.
QM_PLATFORM_API std::string pageStyleAhead(const PrintDocument& document, const std::filesystem::path& printTemplatePage,
                                           html::CHtmlDocument& filled);
// A batch of prints begins (the browser makes ready to load one job's document while another
// prints) or ends.
QM_PLATFORM_API void beginPrintBatch();
QM_PLATFORM_API void endPrintBatch();
// Starts the browser and the question for the default printer's paper, and returns at once, so
// both run beside the caller's reading of settings and items (a process that will print calls it
// at its start).
QM_PLATFORM_API void startPrinting();

}  // namespace platform::browser
