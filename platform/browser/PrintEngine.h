#pragma once
// What printing needs from a browser engine: load the job's document and print it to PDF in its
// own layout, measure and print trusted decoration pages, lay one PDF over another and count
// pages. The print template's layout is built on these; tests replace them with a fake.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/Export.h"
#include "platform/WinTypes.h"
#include "platform/com/HResult.h"

namespace platform::browser {

// A load that did not complete in time.
constexpr HRESULT E_LOAD_TIMEOUT = HRESULT_FROM_WIN32(1460);  // ERROR_TIMEOUT

// Lengths in inches.
struct PageMargins {
  double top = 0.0;
  double right = 0.0;
  double bottom = 0.0;
  double left = 0.0;
  friend bool operator==(const PageMargins&, const PageMargins&) = default;
};

struct PdfSettings {
  double paperWidth = 8.5;
  double paperHeight = 11.0;
  PageMargins margins;
  // The document's own @page size and margins win over the ones above (our appended rules
  // carry !important to keep the paper ours).
  bool preferCssPageSize = true;
  bool printBackground = true;
  friend bool operator==(const PdfSettings&, const PdfSettings&) = default;
};

// A trusted decoration page in the parts that change from job to job (the base address, the
// @page rule and the content of the pages' container) and the frame around them, which stays
// the same for one print template page. The frame's own relative references must not depend on
// the base address (the layout's base is the job's folder, which holds only the job's document
// and PDFs).
struct DecorationPage {
  std::string head;         // the page up to and including its <head ...> tag
  std::string baseHref;     // HTML-escaped; the <base> and the <style> come right after the head tag
  std::string pageStyle;    // the text of that <style>
  std::string beforePages;  // from there up to and including the pages' container's start tag
  std::string pagesId;      // that container's id
  std::string pages;        // its content
  std::string afterPages;   // the rest of the page
  std::string html() const {
    return head + "<base href=\"" + baseHref + "\"><style>" + pageStyle + "</style>" + beforePages + pages + afterPages;
  }
  friend bool operator==(const DecorationPage&, const DecorationPage&) = default;
};

class QM_PLATFORM_API IPrintEngine {
 public:
  virtual ~IPrintEngine();

  // file:// reads of every document are allowed only under these folders (the job's document
  // itself always loads). Replaces the earlier list.
  virtual void setAllowedFolders(std::vector<std::filesystem::path> folders) = 0;
  // The documents frames of the job's document may load (the filled frame documents); every
  // other frame gets an empty answer. Replaces the earlier list.
  virtual void setFrameDocuments(std::vector<std::filesystem::path> documents);

  // Loads the job's document (a local HTML file) into the body view, with script disabled and
  // nothing remote fetched. S_OK once loaded; E_LOAD_TIMEOUT when the load did not complete in
  // `timeoutMs`; E_INVALIDARG for a missing file; E_FAIL when the load or the browser failed.
  virtual HRESULT loadDocument(const std::filesystem::path& file, DWORD timeoutMs) = 0;
  // Starts loading the job's document into the body view and returns at once, so the load runs
  // while the caller waits for other things; the next loadDocument of the same file takes it
  // over (its time-out still counts from the load's own start). Engines that cannot load ahead
  // ignore it.
  virtual void preloadDocument(const std::filesystem::path& file);
  // As preloadDocument, with the folders and frame documents this document's load is answered by;
  // the lists set for the print under way stay as they are.
  virtual void preloadDocument(const std::filesystem::path& file, std::vector<std::filesystem::path> allowedFolders,
                               std::vector<std::filesystem::path> frameDocuments);
  // Starts the engine when it is not running, without waiting for it. Engines that need no start
  // ignore it.
  virtual void startBrowser();
  // A batch of jobs begins or ends: while it runs, the next job's document may load beside the
  // document being printed (preloadDocument during a print). Engines that hold one document at a
  // time ignore both.
  virtual void beginBatch();
  virtual void endBatch();
  // In a batch, prints a later job's document loading ahead (preloadDocument) as soon as it is
  // loaded, with the style sheet `css` appended and `settings`; that job's addStyleSheet and
  // printBody take the print when they ask for the same, and print in their turn otherwise.
  // Engines that cannot print ahead ignore it.
  virtual void printAhead(const std::filesystem::path& file, const std::string& css, const PdfSettings& settings);
  // Appends a style sheet to the loaded document (the layout's own @page rules).
  virtual HRESULT addStyleSheet(const std::string& css) = 0;
  // Prints the loaded document to `out`.
  virtual HRESULT printBody(const PdfSettings& settings, const std::filesystem::path& out) = 0;

  // Heights in inches of each trusted HTML fragment laid out `widthInches` wide.
  virtual HRESULT measureHeights(const std::vector<std::string>& fragments, double widthInches,
                                 std::vector<double>& heights) = 0;
  // As measureHeights, while another call waits (inside a print's wait): only where it touches
  // nothing that call may use (the measuring page already loaded, fragments that fetch nothing).
  // S_FALSE, with nothing done, where it cannot.
  virtual HRESULT measureHeightsBeside(const std::vector<std::string>& fragments, double widthInches,
                                       std::vector<double>& heights);
  // Prints a trusted HTML page (the decorations) to `out`.
  virtual HRESULT printDecoration(const std::string& html, const PdfSettings& settings,
                                  const std::filesystem::path& out) = 0;
  // Prints a decoration page as printDecoration prints page.html(); an engine may keep the
  // frame loaded and change only the parts.
  virtual HRESULT printDecorationPage(const DecorationPage& page, const PdfSettings& settings,
                                      const std::filesystem::path& out);
  // Starts printing a decoration page as printDecorationPage does, on a view of its own, and
  // returns while the print runs (the caller loads and prints the body meanwhile); the answer is
  // a failure to start. finishDecoration waits for that print and answers its result; it must
  // come before the next call that uses the decoration view. Engines that cannot print beside
  // the body print at once in startDecorationPage.
  virtual HRESULT startDecorationPage(const DecorationPage& page, const PdfSettings& settings,
                                      const std::filesystem::path& out);
  virtual HRESULT finishDecoration();
  // In a batch, prints the next job's one-page decoration while the decoration view is idle; a
  // later startDecorationPage of the same page and settings takes that print. Engines that
  // cannot print ahead ignore it.
  virtual void printDecorationAhead(const DecorationPage& page, const PdfSettings& settings);
  // Posts `work` to the loop once the prints started are asked of the browser, so that it runs
  // while they print rather than hold back their start (a batch fills its next job there).
  // Engines that start their prints at once post it at once.
  virtual void postBesidePrints(std::function<void()> work);

  // Lays page i of `decoration` over page i of `body`, keeping pages fromPage..toPage (1-based,
  // clamped to the body's pages; 0..0 keeps all) into `out`.
  virtual HRESULT overlay(const std::filesystem::path& body, const std::filesystem::path& decoration,
                          const std::filesystem::path& out, int fromPage, int toPage) = 0;
  virtual HRESULT pageCount(const std::filesystem::path& pdf, int& count) = 0;
  // The pages of `parts`, in order, into `out`.
  virtual HRESULT joinPdfs(const std::vector<std::filesystem::path>& parts, const std::filesystem::path& out);
  // What is printed into `file` from now on stays in memory, where pageCount and overlay read
  // it, until forget(file): a job's intermediate PDFs, which no one else reads. A join into
  // `file` writes it. Engines that cannot keep a print in memory write the file.
  virtual void holdInMemory(const std::filesystem::path& file);
  // The markup that carries the page style `css` inside the document about to be written to
  // `file` (at the end of its head, where addStyleSheet would put it): a print ahead or an
  // addStyleSheet of that style then has nothing to add. Empty where the engine adds the style
  // itself once the document is loaded, and for an empty `css` (which also forgets an earlier one).
  virtual std::string pageStyleMarkup(const std::filesystem::path& file, const std::string& css);
  virtual void forget(const std::filesystem::path& file);
};

// The process-wide engine on one long-lived headless Chromium (the binary $QUILLMARK_CHROMIUM
// names, else the installed one), started on first use and restarted when it dies. Every
// failure is reported (platform::diag) with its reason. UI thread only: its waits run nested loops of platform/loop.
QM_PLATFORM_API IPrintEngine& chromiumPrintEngine();

}  // namespace platform::browser
