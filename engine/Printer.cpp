#include "engine/Printer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <random>
#include <system_error>

#include "engine/CurrentPrintJob.h"
#include "engine/PrintDialog.h"
#include "engine/QuillMarkTemplate.h"
#include "engine/detail/DispatchHelpers.h"
#include "engine/detail/ShellOutput.h"
#include "engine/quilMarkShellHandler.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "platform/browser/PageSetup.h"
#include "platform/browser/PdfTools.h"
#include "platform/browser/PrintLayout.h"
#include "platform/browser/PrintTemplate.h"
#include "platform/loop/MessageLoop.h"
#include "platform/resources/Resources.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"
#include "platform/system/Tick.h"
#include "platform/ui/PreviewWindow.h"
#include "platform/ui/PrintDialog.h"
#include "platform/ui/Ui.h"
#include "resources/resource.h"

namespace fs = std::filesystem;
using platform::system::utf16ToUtf8;
using platform::system::utf8ToUtf16;

IPrintTemplate::~IPrintTemplate() = default;

std::optional<PrintCommand> printCommandOfMode(int mode) {
  switch (mode) {
    case 1:
    case 5: return PrintCommand::kPrint;
    case 2:
    case 6: return PrintCommand::kPrintWithDialog;
    case 3:
    case 4: return PrintCommand::kPreview;
    default: return std::nullopt;
  }
}

namespace {

constexpr std::uintptr_t kTimerId = 1;
constexpr UINT kReadyTickMs = 10;  // the loop's shortest timer period
constexpr UINT kTimerPeriodMs = 100;
// The printer's modal loop ends with this code, as EndDialog (2) does.
constexpr int kEndCode = 2;
// How many names "<stem> (n).pdf" are tried before the print fails.
constexpr int kMaxNameTries = 1000;

// Dialog 102 with a plain static control in place of its browser control: the browser itself runs
// out of process, and its control here only has to exist for the dialog to be made. Made as the
// WebBrowser control it would get a view of its own, and a class registered under that name to
// prevent it would stand in for the control in every later dialog of the module (the selection
// dialog would show no body) and outlive the module's code.
const platform::resources::DialogTemplate* printerDialog() {
  struct Copy {
    platform::resources::DialogTemplate dialog{};
    std::vector<platform::resources::DialogItem> items;
  };
  static const std::unique_ptr<Copy> copy = []() -> std::unique_ptr<Copy> {
    const platform::resources::DialogTemplate* original =
        platform::resources::findDialog(NGlobals::moduleInstance(), IDD_PRINTER);
    if (!original) return nullptr;
    auto made = std::make_unique<Copy>();
    made->dialog = *original;
    made->items.assign(original->items, original->items + original->itemCount);
    for (platform::resources::DialogItem& item : made->items)
      if (item.id == IDC_PRINTER_BROWSER) item.className = u"STATIC";
    made->dialog.items = made->items.data();
    return made;
  }();
  return copy ? &copy->dialog : nullptr;
}

PrintDestination& destination() { return platform::browser::printDestination(); }

std::vector<fs::path>& written() { return platform::browser::writtenPdfs(); }

// The only folders a print may read files from: the temporary files (the job's document,
// attachments and inline images), the extracted support files and the template's own images.
std::vector<fs::path> readableFolders(const fs::path& printTemplatePage, const quilstring& address) {
  std::vector<fs::path> folders{fs::path(utf16ToUtf8(NUtils::getTempPath())), printTemplatePage.parent_path()};
  const fs::path templateFolder = fs::path(utf16ToUtf8(address)).parent_path();
  if (!templateFolder.empty()) folders.push_back(templateFolder);
  return folders;
}

platform::browser::PrintDocument printDocument(const fs::path& file, const quilstring& address,
                                               const fs::path& page, const std::vector<fs::path>& frames) {
  return {file, address, readableFolders(page, address), frames, NGlobals::threadLocale()};
}

// The print template of the platform's browser, with the scripting object it creates for itself;
// page settings in the printer's units.
class CBrowserPrintTemplate final : public IPrintTemplate {
 public:
  explicit CBrowserPrintTemplate(fs::path page) : m_page(std::move(page)) {}

  HRESULT open(platform::html::CHtmlDocument& document, const fs::path& file, const std::vector<fs::path>& frames,
               const quilstring& address) override {
    CComPtr<IDispatch> handler = static_cast<IDispatch*>(CComObject<CquilMarkShellHandler>::Make().p);
    if (!handler) return E_OUTOFMEMORY;
    m_template = platform::browser::makePrintTemplate(m_page, handler);
    return m_template->open(document, printDocument(file, address, m_page, frames));
  }

  PrintRange defaultRange() const override {
    const platform::browser::PageRange r = m_template->defaultRange();
    return PrintRange{r.selected, r.from, r.to};
  }

  PageSettings pageSettings() const override {
    const platform::browser::PageSetup s = m_template->pageSetup();
    const auto hundredths = [](double inches) { return std::lround(inches * 100.0); };
    return PageSettings{hundredths(s.margins.top), hundredths(s.margins.bottom), hundredths(s.margins.left),
                        hundredths(s.margins.right), s.landscape, quilstring(s.header), quilstring(s.footer),
                        s.paper.width, s.paper.height};
  }

  void setPageSettings(const PageSettings& settings) override {
    platform::browser::PageSetup s = m_template->pageSetup();
    s.margins.top = settings.marginTop / 100.0;
    s.margins.bottom = settings.marginBottom / 100.0;
    s.margins.left = settings.marginLeft / 100.0;
    s.margins.right = settings.marginRight / 100.0;
    s.landscape = settings.landscape;
    s.header = settings.header;
    s.footer = settings.footer;
    m_template->setPageSetup(s);
  }

  HRESULT print(const PrintRange& range, const fs::path& pdf, const fs::path& workFolder, int& pages) override {
    return m_template->print(platform::browser::PageRange{range.selected, range.from, range.to}, pdf, workFolder,
                             pages);
  }

  bool hasAttachments() const override { return m_template && m_template->hasAttachments(); }
  HRESULT showAttachmentsDialog() override { return m_template ? m_template->showAttachmentsDialog() : E_FAIL; }
  void close() override {
    if (m_template) m_template->close();
  }

 private:
  fs::path m_page;
  std::unique_ptr<platform::browser::IPrintTemplate> m_template;
};

CPrinter::Services realServices() {
  CPrinter::Services services;
  services.fill = [](platform::html::CHtmlDocument& document, CPrintInfo& job) {
    CQuillMarkTemplate(job).processTemplateDocument(document);
  };
  services.makePrintTemplate = [](const fs::path& page) -> std::unique_ptr<IPrintTemplate> {
    return std::make_unique<CBrowserPrintTemplate>(page);
  };
  services.preload = [](const fs::path& document, const quilstring& templatePath, const fs::path& page,
                        const std::vector<fs::path>& frames) {
    platform::browser::preloadPrintDocument(printDocument(document, templatePath, page, frames));
  };
  services.measureAhead = [](const fs::path& document, const quilstring& templatePath, const fs::path& page,
                             const std::vector<fs::path>& frames, platform::html::CHtmlDocument& filled) {
    platform::browser::measureAhead(printDocument(document, templatePath, page, frames), page, filled);
  };
  services.pageStyleAhead = [](const fs::path& document, const quilstring& templatePath, const fs::path& page,
                               const std::vector<fs::path>& frames, platform::html::CHtmlDocument& filled) {
    return platform::browser::pageStyleAhead(printDocument(document, templatePath, page, frames), page, filled);
  };
  services.batch = [](bool begins) {
    if (begins)
      platform::browser::beginPrintBatch();
    else
      platform::browser::endPrintBatch();
  };
  services.hasDefaultPrinter = platform::browser::hasDefaultPrinter;
  services.printOnPrinter = NPrintShell::printPdf;
  return services;
}

CPrinter::Services& services() {
  static CPrinter::Services value = realServices();
  return value;
}

// A file name made of the text: separators, control characters and characters Windows refuses
// become '_', and a name that would hide the file or climb out of the folder gets a prefix.
std::string safeFileStem(const quilstring& text) {
  std::u16string stem;
  for (char16_t c : text) {
    if (c < 0x20 || c == 0x7F || std::u16string_view(u"/\\:*?\"<>|").find(c) != std::u16string_view::npos)
      stem += u'_';
    else
      stem += c;
  }
  if (stem.size() > 120) stem.resize(120);
  while (!stem.empty() && (stem.back() == u' ' || stem.back() == u'.')) stem.pop_back();
  if (stem.empty()) stem = u"QuillMark print";
  if (stem.front() == u'.') stem.insert(stem.begin(), u'_');
  return utf16ToUtf8(stem);
}

// A name this process holds for a job's PDF: an empty file made only when no file had the name,
// so that no other process printing into the folder at the same time takes it while the job
// prints. The PDF replaces it; the printer removes it when the job wrote nothing there.
struct ReservedPdf {
  fs::path path;
  dev_t device;
  ino_t inode;
  const CPrintInfo* job;
};

std::vector<ReservedPdf>& reservedPdfs() {
  static std::vector<ReservedPdf> reserved;
  return reserved;
}

// Whether the name is the job's: held for it before, or free and now held (`hold`; else only
// free).
bool holdPdfName(const fs::path& path, const CPrintInfo& job, bool hold) {
  for (const ReservedPdf& r : reservedPdfs())
    if (r.path == path) return r.job == &job;
  if (!hold) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    // A folder that cannot be written to: the print says why when it writes.
    return errno != EEXIST;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0) reservedPdfs().push_back({path, st.st_dev, st.st_ino, &job});
  ::close(fd);
  return true;
}

void releasePdfNames(const CPrintInfo& job) {
  auto& reserved = reservedPdfs();
  for (auto it = reserved.begin(); it != reserved.end();) {
    if (it->job != &job) {
      ++it;
      continue;
    }
    struct stat st {};
    if (::lstat(it->path.c_str(), &st) == 0 && st.st_dev == it->device && st.st_ino == it->inode && st.st_size == 0)
      ::unlink(it->path.c_str());
    it = reserved.erase(it);
  }
}

// Where the job's next PDF goes: the destination's folder (made when missing) and a name no file
// had, neither this run's nor another's. `hold`: the name is held for the job until it prints;
// a name only offered in the print dialog is not, since the user may choose another.
fs::path outputPdf(const quilstring& templatePath, const CPrintInfo& job, bool hold = true) {
  const PrintDestination& d = destination();
  const fs::path folder = d.folder.empty() ? NPrintShell::documentsFolder() : d.folder;
  std::error_code ec;
  fs::create_directories(folder, ec);
  quilstring name = d.fileStem;
  if (name.empty() && d.nameOf) {
    IDispatch* first = job.getItem() ? job.getItem()->getItem().getDispatch() : nullptr;
    CComVariant selected;
    if (!first && job.getSelection() && SUCCEEDED(engine::detail::getItemOf(job.getSelection(), CComVariant(1L), selected)))
      first = engine::detail::dispatchOf(selected);
    if (first) name = d.nameOf(first, !job.single());
  }
  if (name.empty()) name = utf8ToUtf16(fs::path(utf16ToUtf8(templatePath)).stem().string());
  const std::string stem = safeFileStem(name);
  const auto free = [&](const fs::path& path) {
    return std::find(written().begin(), written().end(), path) == written().end() && holdPdfName(path, job, hold);
  };
  fs::path candidate = folder / (stem + ".pdf");
  for (int n = 2; !free(candidate); ++n) {
    // Past so many taken names, one no other run can have chosen.
    candidate = n < kMaxNameTries ? folder / (stem + " (" + std::to_string(n) + ").pdf")
                                  : folder / (stem + " (" + std::to_string(std::random_device()()) + ").pdf");
    if (n > 2 * kMaxNameTries) break;
  }
  return candidate;
}

// The frames of a document that show a page of the template's own folder.
std::vector<platform::html::CHtmlElement> templateFrames(const platform::html::CHtmlDocument& document) {
  std::vector<platform::html::CHtmlElement> frames;
  const auto all = document.all();
  for (long i = 0; i < all.length(); ++i) {
    platform::html::CHtmlElement element = all.item(i);
    const std::u16string tag = element.tagName();
    if ((tag == u"IFRAME" || tag == u"FRAME") && !element.getAttribute(u"src").empty()) frames.push_back(element);
  }
  return frames;
}

// The file a frame's address names inside `folder`: a relative path without a scheme, query or
// fragment that stays inside the folder; none otherwise.
std::optional<fs::path> frameFile(const std::u16string& src, const fs::path& folder) {
  const std::string address = utf16ToUtf8(src);
  if (address.empty() || address.find_first_of(":?#\\") != std::string::npos || address.front() == '/')
    return std::nullopt;
  const fs::path file = (folder / address).lexically_normal();
  const fs::path relative = file.lexically_relative(folder);
  if (relative.empty() || *relative.begin() == "..") return std::nullopt;
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return std::nullopt;
  return file;
}

}  // namespace

void setPrintDestination(const PrintDestination& value) { destination() = value; }
const PrintDestination& printDestination() { return destination(); }
const std::vector<fs::path>& writtenPdfs() { return written(); }
void beginPrintRun() { written().clear(); }

void CPrinter::setServicesForTesting(const Services& replacement) {
  Services& s = services();
  if (replacement.fill) s.fill = replacement.fill;
  if (replacement.makePrintTemplate) {
    s.makePrintTemplate = replacement.makePrintTemplate;
    s.preload = nullptr;
    s.batch = nullptr;
    s.measureAhead = nullptr;
    s.pageStyleAhead = nullptr;
  }
  if (replacement.preload) s.preload = replacement.preload;
  if (replacement.batch) s.batch = replacement.batch;
  if (replacement.measureAhead) s.measureAhead = replacement.measureAhead;
  if (replacement.pageStyleAhead) s.pageStyleAhead = replacement.pageStyleAhead;
  if (replacement.hasDefaultPrinter) s.hasDefaultPrinter = replacement.hasDefaultPrinter;
  if (replacement.printOnPrinter) s.printOnPrinter = replacement.printOnPrinter;
}

void CPrinter::resetServicesForTesting() { services() = realServices(); }

void CPrinter::beginBatch() {
  if (services().batch) services().batch(true);
}

void CPrinter::endBatch() {
  if (services().batch) services().batch(false);
}

CPrinter::CPrinter(const CPrintInfo& job, const quilstring& templatePath) : m_job(job), m_templatePath(templatePath) {}

CPrinter::~CPrinter() {
  if (m_dialog && IsWindow(m_dialog)) DestroyWindow(m_dialog);  // its timer goes with it
  *m_alive = false;
  releasePdfNames(m_job);
  if (!m_folder.empty()) {
    std::error_code ec;
    fs::remove_all(m_folder, ec);
  }
}

int CPrinter::DoService(int mode) {
  if (m_prepared && mode != m_mode) {
    LOG_ERROR(u"The job of %s was prepared for mode %d, not %d; printed as it was prepared", m_templatePath.c_str(),
              m_mode, mode);
    mode = m_mode;
  }
  // The failure met while preparing ends the job; its reason is told again for this job's turn.
  if (m_prepared && m_ended) {
    LOG_ERROR(u"The job of %s could not be made ready: %s", m_templatePath.c_str(), m_prepareFailure.c_str());
    return m_status;
  }
  m_status = 0;
  m_mode = mode;
  // The scripting object sees this job's item and range (none when the job has none), and
  // nothing once the printer has ended.
  CCurrentPrintJob current(m_job.getItem(), m_job.getRange());
  const bool ran = NUtils::guarded(u"CPrinter::DoService", [&] {
    std::error_code ec;
    const fs::path file(utf16ToUtf8(m_templatePath));
    if (m_templatePath.empty() || !fs::is_regular_file(file, ec)) {
      LOG_ERROR(u"Template file does not exist: %s", m_templatePath.c_str());
      m_status = kStatusTemplateMissing;
      return;
    }
    // The dialog never shows itself; its modal loop runs the load, the timer and the print.
    if (DialogBoxIndirectParamW(NGlobals::moduleInstance(), printerDialog(), GetActiveWindow(), dialogProc,
                                reinterpret_cast<LPARAM>(this)) == -1 &&
        !m_ended) {
      LOG_ERROR(u"The printer's dialog could not be made: %s", utf8ToUtf16(platform::diag::lastFailure()).c_str());
      m_status = kStatusBrowserError;
    }
  });
  if (!ran) m_status = kStatusBrowserError;
  if (m_dialog && IsWindow(m_dialog)) DestroyWindow(m_dialog);
  m_dialog = nullptr;
  m_timerRunning = false;
  return m_status;
}

INT_PTR CPrinter::dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    auto* printer = reinterpret_cast<CPrinter*>(lParam);
    printer->m_dialog = dialog;
    printer->OnInitDialog();
    return TRUE;
  }
  auto* printer = reinterpret_cast<CPrinter*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (!printer) return FALSE;
  switch (message) {
    case WM_TIMER:
      if (wParam != kTimerId) return FALSE;
      printer->OnTimer();
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) != IDOK) return FALSE;
      EndDialog(dialog, IDOK);  // the status stays as it is
      return TRUE;
    case WM_DESTROY:
      printer->m_timerRunning = false;
      printer->m_dialog = nullptr;
      return TRUE;
    default: return FALSE;
  }
}

void CPrinter::KillWBHost() {
  if (m_timerRunning && m_dialog) KillTimer(m_dialog, kTimerId);
  m_timerRunning = false;
  m_ended = true;
  if (m_dialog) EndDialog(m_dialog, kEndCode);
}

void CPrinter::fail(int status) {
  m_status = status;
  KillWBHost();
}

void CPrinter::OnInitDialog() {
  if (NUtils::guarded(u"CPrinter::OnInitDialog", [&] {
        m_loadTimeout = CSettings::instance().getWBHostLoadTimeout();
        m_loading = !m_prepared;
        // Never visible: the browser behind it runs out of sight.
        MoveWindow(m_dialog, 0, 0, 0, 0, FALSE);
        if (!SetTimer(m_dialog, kTimerId, kTimerPeriodMs, nullptr))
          throw std::runtime_error("the printer's timer could not be set");
        m_timerRunning = true;
        m_startTick = GetTickCount();
        if (m_prepared) {
          // Filled and loading already: the first tick comes at once and starts the print.
          m_ready = true;
          tickNow();
          return;
        }
        // The load completes from the loop, as the control's DocumentComplete does.
        platform::loop::post([this, alive = m_alive] {
          if (!*alive || !m_loading) return;
          loadTemplate();
        });
      }))
    return;
  m_status = kStatusBrowserError;
  KillWBHost();
}

void CPrinter::loadTemplate() {
  if (!NUtils::guarded(u"CPrinter::OnDocumentCompleteExplorer", [&] {
        platform::html::CHtmlDocument document;
        if (FAILED(document.loadFromFile(fs::path(utf16ToUtf8(m_templatePath))))) {
          LOG_ERROR(u"Failed to load template: %s", m_templatePath.c_str());
          fail(kStatusBrowserError);
          return;
        }
        OnDocumentComplete(document);
      }))
    fail(kStatusBrowserError);
}

void CPrinter::prepare(int mode) {
  if (m_prepared || printCommandOfMode(mode) != PrintCommand::kPrint) return;
  std::error_code ec;
  // A missing template is DoService's to report.
  if (m_templatePath.empty() || !fs::is_regular_file(fs::path(utf16ToUtf8(m_templatePath)), ec)) return;
  m_mode = mode;
  m_prepared = true;
  // The scripting object sees this job while it is filled, and the printing job again after.
  CCurrentPrintJob current(m_job.getItem(), m_job.getRange());
  m_loading = true;
  loadTemplate();
  m_loading = false;
  if (m_ended) {
    m_prepareFailure = utf8ToUtf16(platform::diag::lastFailure());
    return;
  }
  // Its blocks measured now too, while the browser prints the job before.
  const quilstring page = CSettings::instance().getPrintTemplatePath();
  if (services().measureAhead && !page.empty())
    NUtils::guarded(u"CPrinter::prepare measuring ahead", [&] {
      services().measureAhead(m_document, m_templatePath, fs::path(utf16ToUtf8(page)), m_frames, m_filled);
    });
}

void CPrinter::OnDocumentComplete(platform::html::CHtmlDocument& document) {
  if (!m_loading) return;
  const fs::path templateFile(utf16ToUtf8(m_templatePath));
  // The template's frames as the template has them, before the fill brings in the mail's body,
  // whose frames stay refused.
  const std::vector<platform::html::CHtmlElement> frames = templateFrames(document);
  services().fill(document, m_job);
  platform::loop::serviceUrgent();
  if (m_ended) return;  // timed out while the fill ran
  fillFrames(frames, fs::absolute(templateFile).parent_path(), 0);
  if (m_ended) return;
  const fs::path file = jobFolder() / (safeFileStem(utf8ToUtf16(templateFile.stem().string())) + ".htm");
  // The page style it will print with goes into the document where it is known already: the
  // browser then prints it as soon as it is loaded.
  std::string pageStyle;
  const quilstring printTemplatePage = CSettings::instance().getPrintTemplatePath();
  if (services().pageStyleAhead && !printTemplatePage.empty() && printCommandOfMode(m_mode))
    NUtils::guarded(u"CPrinter::OnDocumentComplete page style", [&] {
      pageStyle = services().pageStyleAhead(file, m_templatePath, fs::path(utf16ToUtf8(printTemplatePage)), m_frames,
                                            document);
    });
  if (FAILED(platform::browser::writePrintDocument(document, file, fs::absolute(templateFile).parent_path(),
                                                   pageStyle))) {
    LOG_ERROR(u"Cannot write the filled document %s: %s", utf8ToUtf16(file.string()).c_str(),
              utf8ToUtf16(platform::diag::lastFailure()).c_str());
    fail(kStatusBrowserError);
    return;
  }
  m_document = file;
  m_filled = document;
  // The browser loads the document while the printer waits for its tick; the print takes the
  // load over. Never waits, so no tick can come in between.
  if (services().preload) {
    const quilstring page = CSettings::instance().getPrintTemplatePath();
    if (!page.empty() && printCommandOfMode(m_mode))
      services().preload(file, m_templatePath, fs::path(utf16ToUtf8(page)), m_frames);
  }
  m_loading = false;
  if (!m_ready) m_ready = true;
  // The print still starts from timer 1, after this handler has returned; its tick comes at once,
  // so a loaded job does not sit idle for the rest of the period while its document loads.
  if (m_dialog) tickNow();
}

void CPrinter::tickNow() {
  if (!PostMessageW(m_dialog, WM_TIMER, kTimerId, 0))
    m_timerRunning = SetTimer(m_dialog, kTimerId, kReadyTickMs, nullptr) != 0;
}

void CPrinter::fillFrames(const std::vector<platform::html::CHtmlElement>& frames, const fs::path& folder, int depth) {
  constexpr int kMaxFrameDepth = 4;
  for (platform::html::CHtmlElement frame : frames) {
    if (m_ended || !frame.isInDocument()) continue;
    const std::optional<fs::path> source = frameFile(frame.getAttribute(u"src"), folder);
    if (!source) continue;  // not the template's own page: the browser answers it empty
    if (depth >= kMaxFrameDepth) {
      LOG_WARNING(u"Frame %s nested too deep; not filled", utf8ToUtf16(source->string()).c_str());
      continue;
    }
    platform::html::CHtmlDocument document;
    if (FAILED(document.loadFromFile(*source))) {
      LOG_ERROR(u"Failed to load the frame %s", utf8ToUtf16(source->string()).c_str());
      continue;
    }
    const std::vector<platform::html::CHtmlElement> inner = templateFrames(document);
    services().fill(document, m_job);
    fillFrames(inner, source->parent_path(), depth + 1);
    const fs::path file = jobFolder() / ("frame-" + std::to_string(m_frames.size() + 1) + ".htm");
    if (FAILED(platform::browser::writePrintDocument(document, file, source->parent_path()))) {
      LOG_ERROR(u"Cannot write the filled frame %s: %s", utf8ToUtf16(file.string()).c_str(),
                utf8ToUtf16(platform::diag::lastFailure()).c_str());
      fail(kStatusBrowserError);
      return;
    }
    m_frames.push_back(file);
    frame.setAttribute(u"src", platform::browser::printFileAddress(file));
  }
}

void CPrinter::OnTimer() {
  if (!NUtils::guarded(u"CPrinter::OnTimer", [&] {
        if (m_ready) {
          m_ready = false;
          KillTimer(m_dialog, kTimerId);
          m_timerRunning = false;
          Print();
        } else if (m_loading) {
          const DWORD elapsed = GetTickCount() - m_startTick;  // unsigned: a wrapped count still subtracts right
          if (elapsed > m_loadTimeout) {
            LOG_ERROR(u"Loading of the template %s timed out after %lu ms", m_templatePath.c_str(),
                      static_cast<unsigned long>(elapsed));
            fail(kStatusLoadTimedOut);
          }
        }
      }))
    fail(kStatusBrowserError);
}

void CPrinter::Print() {
  if (!NUtils::guarded(u"CPrinter::Print", [&] {
        const quilstring page = CSettings::instance().getPrintTemplatePath();
        if (page.empty()) {
          LOG_ERROR(u"No print template page to print %s with", m_templatePath.c_str());
          quilstring text, caption;
          text.LoadString(NGlobals::moduleInstance(), IDS_PRINT_TEMPLATE_NOT_FOUND);
          caption.LoadString(NGlobals::moduleInstance(), IDS_LONG_PRODUCT_NAME);
          MessageBoxW(GetActiveWindow(), text.c_str(), caption.c_str(), MB_ICONERROR);
          // Nothing can print: the printer ends rather than wait for a teardown that never comes.
          fail(kStatusBrowserError);
          return;
        }
        const std::optional<PrintCommand> command = printCommandOfMode(m_mode);
        if (!command) {
          LOG_ERROR(u"Unsupported print mode %d for %s", m_mode, m_templatePath.c_str());
          fail(kStatusBrowserError);
          return;
        }
        m_page = fs::path(utf16ToUtf8(page));
        // The batch's next jobs are filled while the browser prints this one's body, and never
        // after this print has ended: one at a time, each a task of the loop of its own, so that
        // this print goes on between them.
        const auto onPrintStart = std::make_shared<std::function<bool()>>(std::exchange(m_onPrintStart, nullptr));
        if (*onPrintStart) platform::browser::duringNextBodyPrint([onPrintStart] { prepareNextJobs(onPrintStart); });
        const int status = runPrintTemplate(*command);
        platform::browser::duringNextBodyPrint(nullptr);
        *onPrintStart = nullptr;
        if (status == kStatusPrinted)
          OnPrintTemplateTeardown();
        else
          fail(status);
      }))
    fail(kStatusBrowserError);
}

void CPrinter::prepareNextJobs(const std::shared_ptr<std::function<bool()>>& onPrintStart) {
  if (!*onPrintStart) return;  // the print has ended
  bool more = false;
  NUtils::guarded(u"CPrinter::Print preparing the next job", [&] { more = (*onPrintStart)(); });
  if (more)
    platform::loop::post([onPrintStart] { prepareNextJobs(onPrintStart); });
  else
    *onPrintStart = nullptr;
}

void CPrinter::OnPrintTemplateTeardown() {
  m_status = kStatusPrinted;
  KillWBHost();
}

int CPrinter::failedPrint(const char16_t* what) {
  LOG_ERROR(u"%s %s: %s", what, m_templatePath.c_str(), utf8ToUtf16(platform::diag::lastFailure()).c_str());
  return kStatusBrowserError;
}

int CPrinter::runPrintTemplate(PrintCommand command) {
  std::unique_ptr<IPrintTemplate> printTemplate = services().makePrintTemplate(m_page);
  if (!printTemplate) {
    LOG_ERROR(u"No print template for %s", m_templatePath.c_str());
    return kStatusBrowserError;
  }
  struct Closer {
    IPrintTemplate& t;
    ~Closer() { t.close(); }
  } closer{*printTemplate};
  if (FAILED(printTemplate->open(m_filled, m_document, m_frames, m_templatePath)))
    return failedPrint(u"The print template could not take");

  if (command != PrintCommand::kPreview) {
    const int status = printOnce(*printTemplate, command == PrintCommand::kPrintWithDialog, false, 0);
    return status == kCancelled ? kStatusPrinted : status;  // a cancelled print dialog closes the print template
  }

  // The preview shows exactly the pages that print: the same layout, written as the PDF shown.
  // It lives with the job unless the pages are asked for in a folder (the host's --out).
  if (printWindowsShown()) return runPreviewWindow(*printTemplate);
  const bool keep = destination().alwaysToFolder;
  for (;;) {
    const fs::path pdf = keep ? outputPdf(m_templatePath, m_job) : jobFolder() / "preview.pdf";
    int pages = 0;
    // The preview shows the whole document; the job's range applies when it prints.
    if (FAILED(printTemplate->print(PrintRange{}, pdf, jobFolder(), pages)))
      return failedPrint(u"Cannot preview");
    if (keep) written().push_back(pdf);
    switch (askPreviewAction(pdf, pages, printTemplate->hasAttachments())) {
      case PreviewAction::kPrint: {
        const int status = printOnce(*printTemplate, true, true, pages);
        if (status != kCancelled) return status;
        break;
      }
      case PreviewAction::kAttachments:
        printTemplate->showAttachmentsDialog();
        break;
      case PreviewAction::kPageSetup: {
        PageSettings settings = printTemplate->pageSettings();
        if (askPageSetup(settings)) printTemplate->setPageSettings(settings);
        break;
      }
      case PreviewAction::kClose:
        return kStatusPrinted;
    }
  }
}

int CPrinter::runPreviewWindow(IPrintTemplate& printTemplate) {
  const bool keep = destination().alwaysToFolder;
  int layouts = 0;
  // Each layout is a PDF of its own: the window may still be drawing the one before.
  const auto layOut = [&](int& pages) -> std::optional<fs::path> {
    const fs::path pdf =
        keep ? outputPdf(m_templatePath, m_job) : jobFolder() / ("preview-" + std::to_string(++layouts) + ".pdf");
    if (FAILED(printTemplate.print(PrintRange{}, pdf, jobFolder(), pages))) return std::nullopt;
    if (keep) written().push_back(pdf);
    return pdf;
  };
  int pages = 0;
  const std::optional<fs::path> first = layOut(pages);
  if (!first) return failedPrint(u"Cannot preview");

  int status = kStatusPrinted;
  platform::ui::CPreviewWindow* shown = nullptr;
  platform::ui::PreviewCallbacks callbacks;
  callbacks.onPrint = [&] {
    const int printed = printOnce(printTemplate, true, true, pages);
    if (printed == kCancelled) return;  // back to the preview
    status = printed;
    shown->close();  // a print ends the print template
  };
  callbacks.onAttachments = [&] { printTemplate.showAttachmentsDialog(); };
  callbacks.onPageSetup = [&] {
    PageSettings settings = printTemplate.pageSettings();
    if (!askPageSetup(settings)) return;
    printTemplate.setPageSettings(settings);
    const std::optional<fs::path> pdf = layOut(pages);
    if (!pdf) {
      status = failedPrint(u"Cannot preview");
      shown->close();
      return;
    }
    shown->reload(pdf->string());
  };
  callbacks.onFrameLayout = [](int layout) { LOG_INFO(u"Frameset layout %d chosen in the preview", layout); };
  platform::ui::PreviewOptions options;
  options.resources = NGlobals::moduleInstance();
  options.hasAttachments = printTemplate.hasAttachments();
  options.frameset = m_filled.all().tags(u"FRAMESET").length() > 0;
  platform::ui::CPreviewWindow preview(options, callbacks);
  shown = &preview;
  if (!preview.load(first->string())) {
    // Pages nobody saw are not the print asked for.
    if (keep) {
      written().erase(std::remove(written().begin(), written().end(), *first), written().end());
      std::error_code ec;
      fs::remove(*first, ec);
    }
    return failedPrint(u"Cannot show the preview of");
  }
  preview.runModal();
  return status;
}

int CPrinter::printOnce(IPrintTemplate& printTemplate, bool withDialog, bool inPreview, int pages) {
  PrintDialogAnswer answer;
  answer.range = printTemplate.defaultRange();
  const PageSettings laidOutOn = printTemplate.pageSettings();
  answer.paperWidth = laidOutOn.paperWidth;
  answer.paperHeight = laidOutOn.paperHeight;
  answer.landscape = laidOutOn.landscape;
  const bool printerWanted = !destination().alwaysToFolder;
  answer.toFile = !printerWanted;
  // Without a printer the display's dialog starts on "Print to File", so it can print at all.
  if (!printerWanted || (withDialog && printWindowsShown() && services().hasDefaultPrinter &&
                         !services().hasDefaultPrinter()))
    answer.fileOffered = outputPdf(m_templatePath, m_job, false);
  if (withDialog) {
    if (!askPrintDialog(printerWanted, pages, !inPreview, answer)) return kCancelled;
  } else if (answer.range.selected && answer.range.from > answer.range.to) {
    quilstring caption;
    caption.LoadString(NGlobals::moduleInstance(), IDS_LONG_PRODUCT_NAME);
    MessageBoxW(GetActiveWindow(), fromAfterToText().c_str(), caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
    LOG_ERROR(u"The page range of %s asks for From %d above To %d; nothing printed", m_templatePath.c_str(),
              answer.range.from, answer.range.to);
    return kStatusPrinted;  // the print template closes, as after any print
  }

  if (answer.chosenOnDisplay) return printAsChosen(printTemplate, answer);
  const fs::path pdf = answer.toFile ? outputPdf(m_templatePath, m_job) : jobFolder() / "print.pdf";
  int laidOut = 0;
  if (FAILED(printTemplate.print(answer.range, pdf, jobFolder(), laidOut))) return failedPrint(u"Cannot print");
  if (answer.toFile) {
    written().push_back(pdf);
    return kStatusPrinted;
  }
  if (SUCCEEDED(services().printOnPrinter(pdf, answer.copies))) return kStatusPrinted;
  // No default printer (or no lp): the pages go to a file instead of being lost.
  const fs::path file = outputPdf(m_templatePath, m_job);
  if (FAILED(platform::browser::copyPdf(pdf, file))) return failedPrint(u"Cannot keep the print of");
  LOG_WARNING(u"No printer took the print; written to %s", utf8ToUtf16(file.string()).c_str());
  written().push_back(file);
  return kStatusPrinted;
}

int CPrinter::printAsChosen(IPrintTemplate& printTemplate, const PrintDialogAnswer& answer) {
  const fs::path pdf = jobFolder() / "print.pdf";
  int laidOut = 0;
  if (FAILED(printTemplate.print(answer.range, pdf, jobFolder(), laidOut))) return failedPrint(u"Cannot print");
  platform::ui::PrintAnswer chosen;
  chosen.cancelled = false;
  chosen.printer = answer.printer;
  chosen.copies = answer.copies;
  chosen.collate = answer.collate;
  chosen.duplex = static_cast<platform::ui::Duplex>(answer.duplex);
  chosen.printToFile = answer.toFile ? answer.file.string() : std::string();
  // A file holds every copy, as the printer would print them.
  fs::path pages = pdf;
  if (answer.toFile && answer.copies > 1) {
    pages = jobFolder() / "copies.pdf";
    if (FAILED(platform::browser::copiesOfPdf(pdf, pages, answer.copies, answer.collate)))
      return failedPrint(u"Cannot make the copies of");
  }
  if (platform::ui::sendPdfToPrinter(pages.string(), chosen)) {
    if (answer.toFile) written().push_back(answer.file);
    return kStatusPrinted;
  }
  if (answer.toFile) return failedPrint(u"Cannot write the print of");
  // The printer refused the job: the pages go to a file instead of being lost.
  const fs::path file = outputPdf(m_templatePath, m_job);
  if (FAILED(platform::browser::copyPdf(pdf, file))) return failedPrint(u"Cannot keep the print of");
  LOG_WARNING(u"The printer %s did not take the print (%s); written to %s",
              utf8ToUtf16(answer.printer).c_str(), utf8ToUtf16(platform::diag::lastFailure()).c_str(),
              utf8ToUtf16(file.string()).c_str());
  written().push_back(file);
  return kStatusPrinted;
}

fs::path CPrinter::jobFolder() {
  if (!m_folder.empty()) return m_folder;
  const fs::path temp(utf16ToUtf8(NUtils::getTempPath()));
  std::random_device random;
  for (int i = 0; i < kMaxNameTries; ++i) {
    const fs::path candidate = temp / ("job-" + std::to_string(random()));
    std::error_code ec;
    if (fs::create_directories(candidate, ec)) {
      m_folder = candidate;
      return m_folder;
    }
  }
  throw std::runtime_error("cannot make the job's folder in " + temp.string());
}
