#pragma once
// CPrinter: renders one print job with one template. It loads the template into an off-screen
// document, fills it from the job, writes the filled document into the job's own folder and
// hands it to the print template (the layout on the browser), which prints or previews it. The
// printer is the hidden modal dialog 102: the states loading, ready, printing and ended run in
// the dialog's modal loop, driven by its window's timer 1 (100 ms); DoService answers the job's
// print status.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/PrintInfo.h"
#include "engine/PrintItem.h"
#include "foundation/QuilString.h"
#include "platform/WinTypes.h"
#include "platform/browser/PrintDestination.h"
#include "platform/html/HtmlDocument.h"
#include "platform/ui/WinUser.h"

struct PrintDialogAnswer;

// What the printer's modes ask of the print template.
enum class PrintCommand { kPrint, kPrintWithDialog, kPreview };

// The mode table: 1 and 5 print at once, 2 and 6 print after the print dialog, 3 and 4 preview;
// any other mode has no command.
std::optional<PrintCommand> printCommandOfMode(int mode);

// A page range as the print template takes it.
struct PrintRange {
  bool selected = false;  // print only from..to
  int from = 1;
  int to = 1;
};

// The page settings the page setup changes; margins in hundredths of an inch.
struct PageSettings {
  long marginTop = 60;
  long marginBottom = 60;
  long marginLeft = 60;
  long marginRight = 60;
  bool landscape = false;
  quilstring header;
  quilstring footer;
  // The paper the pages are laid out on, in inches, portrait; 0 when not known. The page setup
  // does not change it.
  double paperWidth = 0.0;
  double paperHeight = 0.0;
};

// One print template over one filled document: its layout, its page settings and the job's
// page range from the scripting object, and the scripting object's attachments.
class IPrintTemplate {
 public:
  virtual ~IPrintTemplate();
  // Takes the filled document (its tree, the file the browser loads, the filled frame documents
  // it shows, and the template's address that names the template's page settings) and reads the
  // page settings and the job's range.
  virtual HRESULT open(platform::html::CHtmlDocument& document, const std::filesystem::path& file,
                       const std::vector<std::filesystem::path>& frames, const quilstring& address) = 0;
  virtual PrintRange defaultRange() const = 0;
  virtual PageSettings pageSettings() const = 0;
  virtual void setPageSettings(const PageSettings& settings) = 0;
  // Lays the document out and prints the range's pages, decorated, to pdf (intermediate files go
  // into workFolder); `pages` answers the laid-out pages. A failure has been reported.
  virtual HRESULT print(const PrintRange& range, const std::filesystem::path& pdf,
                        const std::filesystem::path& workFolder, int& pages) = 0;
  virtual bool hasAttachments() const = 0;
  virtual HRESULT showAttachmentsDialog() = 0;
  // Writes the page settings back for the template; the print template goes.
  virtual void close() = 0;
};

// Where printed pages go (the process's destination, which the host sets).
using PrintDestination = platform::browser::PrintDestination;
void setPrintDestination(const PrintDestination& destination);
const PrintDestination& printDestination();
// The PDFs written since the run began, in order (the host reports them). In a folder asked for
// always, a run replaces the files of earlier runs but never its own.
const std::vector<std::filesystem::path>& writtenPdfs();
void beginPrintRun();

class CPrinter : public IPrinter {
 public:
  CPrinter(const CPrintInfo& job, const quilstring& templatePath);
  ~CPrinter() override;
  CPrinter(const CPrinter&) = delete;
  CPrinter& operator=(const CPrinter&) = delete;

  int DoService(int mode) override;
  // Stops the timer and ends the printer's dialog.
  void KillWBHost();

  // Fills and writes the job's document and starts the browser's load before DoService, in a
  // mode that prints at once, so a batch makes one job ready while the one before it prints;
  // DoService in that mode then goes straight to the print (or answers the failure met here).
  void prepare(int mode);
  // Called when this printer's print starts (its document ready), and again from the loop while it
  // answers true and the print runs: the batch prepares the next jobs there, one a call.
  void setOnPrintStart(std::function<bool()> onPrintStart) { m_onPrintStart = std::move(onPrintStart); }

  // What the printer is built on; tests replace each part.
  struct Services {
    // Fills one loaded document from the job (the template filler).
    std::function<void(platform::html::CHtmlDocument&, CPrintInfo&)> fill;
    // Makes the print template on the extracted print template page.
    std::function<std::unique_ptr<IPrintTemplate>(const std::filesystem::path& printTemplatePage)> makePrintTemplate;
    // Starts the browser's load of the filled document while the printer waits for its tick (the
    // filled document, the template's path, the print template page). A test's own print
    // template gets none unless it gives one.
    std::function<void(const std::filesystem::path& document, const quilstring& templatePath,
                       const std::filesystem::path& printTemplatePage,
                       const std::vector<std::filesystem::path>& frames)>
        preload;
    // Whether a default printer exists, and the print of a PDF on it.
    // A batch of jobs begins (true) or ends (false) in the browser.
    std::function<void(bool)> batch;
    // Measures a prepared job's blocks beside the print that runs (arguments as preload's, and
    // the filled tree the document was written from).
    std::function<void(const std::filesystem::path& document, const quilstring& templatePath,
                       const std::filesystem::path& printTemplatePage,
                       const std::vector<std::filesystem::path>& frames, platform::html::CHtmlDocument& filled)>
        measureAhead;
    // The page style the filled tree of a job to come will print with, where it can be known
    // before its document is written (arguments as measureAhead's); empty otherwise.
    std::function<std::string(const std::filesystem::path& document, const quilstring& templatePath,
                              const std::filesystem::path& printTemplatePage,
                              const std::vector<std::filesystem::path>& frames, platform::html::CHtmlDocument& filled)>
        pageStyleAhead;
    std::function<bool()> hasDefaultPrinter;
    std::function<HRESULT(const std::filesystem::path& pdf, int copies)> printOnPrinter;
  };
  // Replaces the services whose functions are set; an empty argument restores the real ones.
  static void setServicesForTesting(const Services& services);
  static void resetServicesForTesting();
  // The batch service of the browser: a batch tells it when it begins and ends.
  static void beginBatch();
  static void endBatch();

 private:
  static INT_PTR dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  void OnDocumentComplete(platform::html::CHtmlDocument& document);
  // Loads the template and hands it to OnDocumentComplete; a failure ends the printer.
  void loadTemplate();
  // Fills the template's own frame documents (in its folder), writes each into the job's folder
  // and points its frame there; `depth` bounds frames within frames.
  void fillFrames(const std::vector<platform::html::CHtmlElement>& frames, const std::filesystem::path& folder,
                  int depth);
  void OnTimer();
  // The timer's next tick, now rather than at the end of its period.
  void tickNow();
  void Print();
  // Prepares the batch's next job, and posts the one after while any is left and the print runs
  // (the print clears `onPrintStart` as it ends).
  static void prepareNextJobs(const std::shared_ptr<std::function<bool()>>& onPrintStart);
  void OnPrintTemplateTeardown();
  void fail(int status);

  // The print template's run in a command; answers the status the printer ends with.
  int runPrintTemplate(PrintCommand command);
  // The preview as the window of the desktop's face (a display is there); the status it ends with.
  int runPreviewWindow(IPrintTemplate& printTemplate);
  // One print of the pages, after the print dialog when asked; kCancelled when it was cancelled.
  int printOnce(IPrintTemplate& printTemplate, bool withDialog, bool inPreview, int pages);
  // The print as the display's print dialog chose it: to its printer with its options, or to its file.
  int printAsChosen(IPrintTemplate& printTemplate, const PrintDialogAnswer& answer);
  // The status of a failed print template call, logged with the reason the layers gave.
  int failedPrint(const char16_t* what);
  std::filesystem::path jobFolder();

  static constexpr int kCancelled = -1;

  CPrintInfo m_job;
  quilstring m_templatePath;
  int m_mode = 0;
  int m_status = 0;
  bool m_loading = false;
  bool m_ready = false;
  DWORD m_startTick = 0;
  DWORD m_loadTimeout = 0;  // "WBHost load timeout": bounds the template document's load and fill
  std::filesystem::path m_document;  // the filled document
  platform::html::CHtmlDocument m_filled;
  std::vector<std::filesystem::path> m_frames;  // the filled frame documents
  std::filesystem::path m_folder;    // the job's own folder
  std::filesystem::path m_page;      // the extracted print template page
  HWND m_dialog = nullptr;  // dialog 102 while it is there
  bool m_timerRunning = false;
  bool m_ended = false;
  bool m_prepared = false;  // prepare ran: filled and loading, or failed with m_status
  std::function<bool()> m_onPrintStart;
  quilstring m_prepareFailure;  // why prepare failed
  // Work the loop still holds for this printer checks it before touching the object.
  std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
