#include "engine/Printer.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <fstream>
#include <random>
#include <system_error>

#include "engine/CurrentPrintJob.h"
#include "engine/PrintDialog.h"
#include "engine/QuillMarkTemplate.h"
#include "engine/detail/ShellOutput.h"
#include "engine/quilMarkShellHandler.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "platform/browser/PrintEngine.h"
#include "platform/browser/PrintLayout.h"
#include "platform/browser/RequestRules.h"
#include "platform/com/DispatchDriver.h"
#include "platform/com/Variant.h"
#include "platform/system/Text.h"
#include "platform/system/Tick.h"
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

PrintDestination& destination() {
  static PrintDestination value;
  return value;
}

std::vector<fs::path>& written() {
  static std::vector<fs::path> value;
  return value;
}

// The only folders a print may read files from: the temporary files (the job's document,
// attachments and inline images), the extracted support files and the template's own images.
std::vector<fs::path> readableFolders(const fs::path& printTemplatePage, const quilstring& address) {
  std::vector<fs::path> folders{fs::path(utf16ToUtf8(NUtils::getTempPath())), printTemplatePage.parent_path()};
  const fs::path templateFolder = fs::path(utf16ToUtf8(address)).parent_path();
  if (!templateFolder.empty()) folders.push_back(templateFolder);
  return folders;
}

// The print template on the process's browser: the print layout, driven through the scripting
// object the template creates for itself.
class CBrowserPrintTemplate final : public IPrintTemplate {
 public:
  explicit CBrowserPrintTemplate(fs::path page) : m_page(std::move(page)) {}

  HRESULT open(const fs::path& document, const quilstring& address) override {
    using namespace platform::browser;
    m_handler = static_cast<IDispatch*>(CComObject<CquilMarkShellHandler>::Make().p);
    if (!m_handler) return E_OUTOFMEMORY;
    if (HRESULT hr = readPrintBlocks(document, m_request.blocks); FAILED(hr)) return hr;
    m_request.document = document;
    m_request.address = address;
    m_request.printTemplate = m_page;
    m_request.locale = NGlobals::threadLocale();
    m_request.setup.paper = defaultPaperSize(m_request.locale);
    chromiumPrintEngine().setAllowedFolders(readableFolders(m_page, address));
    return layout().readSettings(m_handler, m_request);
  }

  PrintRange defaultRange() const override {
    return PrintRange{m_request.range.selected, m_request.range.from, m_request.range.to};
  }

  PageSettings pageSettings() const override {
    const auto& s = m_request.setup;
    const auto hundredths = [](double inches) { return std::lround(inches * 100.0); };
    return PageSettings{hundredths(s.margins.top), hundredths(s.margins.bottom), hundredths(s.margins.left),
                        hundredths(s.margins.right), s.landscape, quilstring(s.header), quilstring(s.footer)};
  }

  void setPageSettings(const PageSettings& settings) override {
    auto& s = m_request.setup;
    s.margins.top = settings.marginTop / 100.0;
    s.margins.bottom = settings.marginBottom / 100.0;
    s.margins.left = settings.marginLeft / 100.0;
    s.margins.right = settings.marginRight / 100.0;
    s.landscape = settings.landscape;
    s.header = settings.header;
    s.footer = settings.footer;
  }

  HRESULT print(const PrintRange& range, DWORD loadTimeoutMs, const fs::path& pdf, int& pages) override {
    m_request.range = platform::browser::PageRange{range.selected, range.from, range.to};
    m_request.loadTimeoutMs = loadTimeoutMs;
    m_request.output = pdf;
    platform::browser::LayoutResult result;
    const HRESULT hr = layout().print(m_request, result);
    pages = result.laidOutPages;
    return hr;
  }

  bool hasAttachments() const override {
    CComVariant value;
    if (!m_handler || FAILED(CComDispatchDriver(m_handler).GetPropertyByName(u"hasAttachments", &value))) return false;
    return value.vt == VT_I1 && value.cVal != 0;
  }

  HRESULT showAttachmentsDialog() override {
    if (!m_handler) return E_FAIL;
    return CComDispatchDriver(m_handler).Invoke0(u"showAttachmentsDialog");
  }

  void close() override {
    if (!m_handler) return;
    layout().writeSettings(m_handler, m_request.setup);
    m_handler.Release();  // the scripting object saves the settings as it goes
  }

 private:
  // One layout for the process: it keeps measured blocks and the template page between jobs.
  static platform::browser::IPrintLayout& layout() {
    static std::unique_ptr<platform::browser::IPrintLayout> layout =
        platform::browser::makePrintLayout(platform::browser::chromiumPrintEngine());
    return *layout;
  }

  fs::path m_page;
  CComPtr<IDispatch> m_handler;
  platform::browser::LayoutRequest m_request;
};

CPrinter::Services realServices() {
  CPrinter::Services services;
  services.fill = [](platform::html::CHtmlDocument& document, CPrintInfo& job) {
    CQuillMarkTemplate(job).processTemplateDocument(document);
  };
  services.makePrintTemplate = [](const fs::path& page) -> std::unique_ptr<IPrintTemplate> {
    return std::make_unique<CBrowserPrintTemplate>(page);
  };
  services.preload = [](const fs::path& document, const quilstring& templatePath, const fs::path& page) {
    platform::browser::IPrintEngine& engine = platform::browser::chromiumPrintEngine();
    engine.setAllowedFolders(readableFolders(page, templatePath));
    engine.preloadDocument(document);
  };
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

// Where the next PDF goes: the destination's folder (made when missing) and name; an existing
// file is kept unless the destination asks for its folder always, as the host's --out does.
fs::path outputPdf(const quilstring& templatePath) {
  const PrintDestination& d = destination();
  const fs::path folder = d.folder.empty() ? NPrintShell::documentsFolder() : d.folder;
  std::error_code ec;
  fs::create_directories(folder, ec);
  const std::string stem =
      safeFileStem(d.fileStem.empty() ? quilstring(utf8ToUtf16(fs::path(utf16ToUtf8(templatePath)).stem().string()))
                                      : d.fileStem);
  // In the folder asked for, a file of an earlier run is replaced, one of this run is not.
  const auto taken = [&](const fs::path& path) {
    if (!d.alwaysToFolder) return fs::exists(path, ec);
    return std::find(written().begin(), written().end(), path) != written().end();
  };
  fs::path candidate = folder / (stem + ".pdf");
  for (int n = 2; taken(candidate) && n < kMaxNameTries; ++n)
    candidate = folder / (stem + " (" + std::to_string(n) + ").pdf");
  return candidate;
}

// The filled document as the browser loads it from the job's folder: UTF-8 declared first, the
// template's folder as its base so the template's relative images still resolve, and named pages
// switched off (a mail from Word brings "page: WordSection1" with its styles, and a named page
// starts a new sheet, pushing the body off the header's page).
std::string documentForBrowser(const platform::html::CHtmlDocument& document, const quilstring& templatePath) {
  std::string html = utf16ToUtf8(document.documentHTML());
  const fs::path folder = fs::absolute(fs::path(utf16ToUtf8(templatePath))).parent_path();
  std::string base = platform::browser::detail::fileUrlOf(folder);
  if (base.empty() || base.back() != '/') base += '/';
  const std::string head =
      "<meta charset=\"utf-8\"><base href=\"" + base + "\"><style>*{page:auto !important}</style>";
  std::string lower(html.size(), '\0');
  std::transform(html.begin(), html.end(), lower.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
  std::size_t at = lower.find("<head");
  while (at != std::string::npos && at + 5 < lower.size() && lower[at + 5] != '>' && lower[at + 5] != ' ' &&
         lower[at + 5] != '\t' && lower[at + 5] != '\n')
    at = lower.find("<head", at + 5);
  const std::size_t close = at == std::string::npos ? std::string::npos : html.find('>', at);
  if (close == std::string::npos) return head + html;
  html.insert(close + 1, head);
  return html;
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
  }
  if (replacement.preload) s.preload = replacement.preload;
  if (replacement.printOnPrinter) s.printOnPrinter = replacement.printOnPrinter;
}

void CPrinter::resetServicesForTesting() { services() = realServices(); }

CPrinter::CPrinter(const CPrintInfo& job, const quilstring& templatePath) : m_job(job), m_templatePath(templatePath) {}

CPrinter::~CPrinter() {
  if (m_timerRunning) platform::loop::KillTimer(reinterpret_cast<HWND>(this), kTimerId);
  *m_alive = false;
  if (!m_folder.empty()) {
    std::error_code ec;
    fs::remove_all(m_folder, ec);
  }
}

int CPrinter::DoService(int mode) {
  m_status = 0;
  m_mode = mode;
  // The scripting object sees this job's item and range, and nothing once the printer has ended.
  const PrintOptions* range = m_job.getRange();
  CCurrentPrintJob current(m_job.getItem(), range ? *range : PrintOptions{});
  try {
    std::error_code ec;
    const fs::path file(utf16ToUtf8(m_templatePath));
    if (m_templatePath.empty() || !fs::is_regular_file(file, ec)) {
      LOG_ERROR(u"Template file does not exist: %s", m_templatePath.c_str());
      return kStatusTemplateMissing;
    }
    OnInitDialog();
    if (!m_ended) m_loop.run();
  } catch (const std::exception& e) {
    LOG_ERROR(u"Exception caught in CPrinter::DoService: %s", utf8ToUtf16(e.what()).c_str());
    m_status = kStatusBrowserError;
  } catch (...) {
    LOG_ERROR(u"Exception caught in CPrinter::DoService");
    m_status = kStatusBrowserError;
  }
  if (m_timerRunning) {
    platform::loop::KillTimer(reinterpret_cast<HWND>(this), kTimerId);
    m_timerRunning = false;
  }
  return m_status;
}

void CPrinter::KillWBHost() {
  if (m_timerRunning) {
    platform::loop::KillTimer(reinterpret_cast<HWND>(this), kTimerId);
    m_timerRunning = false;
  }
  m_ended = true;
  m_loop.end(kEndCode);
}

void CPrinter::fail(int status) {
  m_status = status;
  KillWBHost();
}

void CPrinter::OnInitDialog() {
  try {
    m_loadTimeout = CSettings::instance().getWBHostLoadTimeout();
    m_loading = true;
    platform::loop::SetTimer(reinterpret_cast<HWND>(this), kTimerId, kTimerPeriodMs, [this](std::uintptr_t) { OnTimer(); });
    m_timerRunning = true;
    m_startTick = GetTickCount();
    // The load completes from the loop, as the control's DocumentComplete does.
    platform::loop::post([this, alive = m_alive] {
      if (!*alive || !m_loading) return;
      try {
        platform::html::CHtmlDocument document;
        if (FAILED(document.loadFromFile(fs::path(utf16ToUtf8(m_templatePath))))) {
          LOG_ERROR(u"Failed to load template: %s", m_templatePath.c_str());
          fail(kStatusBrowserError);
          return;
        }
        OnDocumentComplete(document);
      } catch (...) {
        LOG_ERROR(u"Exception caught in CPrinter while loading the template");
        fail(kStatusBrowserError);
      }
    });
  } catch (...) {
    LOG_ERROR(u"Exception caught in CPrinter::OnInitDialog");
    m_status = kStatusBrowserError;
    KillWBHost();
  }
}

void CPrinter::OnDocumentComplete(platform::html::CHtmlDocument& document) {
  if (!m_loading) return;
  try {
    services().fill(document, m_job);
    if (m_ended) return;  // timed out while the fill ran
    const std::string html = documentForBrowser(document, m_templatePath);
    const fs::path file = jobFolder() / (safeFileStem(utf8ToUtf16(fs::path(utf16ToUtf8(m_templatePath)).stem().string())) + ".htm");
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(html.data(), static_cast<std::streamsize>(html.size()));
    out.close();
    if (!out) {
      LOG_ERROR(u"Cannot write the filled document: %s", utf8ToUtf16(file.string()).c_str());
      fail(kStatusBrowserError);
      return;
    }
    m_document = file;
    // The browser loads the document while the printer waits for its tick; the print takes the
    // load over. Never waits, so no tick can come in between.
    if (services().preload) {
      const quilstring page = CSettings::instance().getPrintTemplatePath();
      if (!page.empty() && printCommandOfMode(m_mode))
        services().preload(file, m_templatePath, fs::path(utf16ToUtf8(page)));
    }
    m_loading = false;
    if (!m_ready) m_ready = true;
    // The print still starts from timer 1, after this handler has returned; its next tick is
    // brought forward so a loaded job does not sit idle for the rest of the period.
    platform::loop::SetTimer(reinterpret_cast<HWND>(this), kTimerId, kReadyTickMs, [this](std::uintptr_t) { OnTimer(); });
    m_timerRunning = true;
  } catch (const std::exception& e) {
    LOG_ERROR(u"Exception caught in CPrinter::OnDocumentCompleteExplorer: %s", utf8ToUtf16(e.what()).c_str());
    fail(kStatusBrowserError);
  } catch (...) {
    LOG_ERROR(u"Exception caught in CPrinter::OnDocumentCompleteExplorer");
    fail(kStatusBrowserError);
  }
}

void CPrinter::OnTimer() {
  try {
    if (m_ready) {
      m_ready = false;
      platform::loop::KillTimer(reinterpret_cast<HWND>(this), kTimerId);
      m_timerRunning = false;
      Print();
    } else if (m_loading) {
      const DWORD elapsed = GetTickCount() - m_startTick;  // unsigned: a wrapped count still subtracts right
      if (elapsed > m_loadTimeout) {
        LOG_ERROR(u"Loading of the template timed out after %lu ms", static_cast<unsigned long>(elapsed));
        fail(kStatusLoadTimedOut);
      }
    }
  } catch (...) {
    LOG_ERROR(u"Exception caught in CPrinter::OnTimer");
    fail(kStatusBrowserError);
  }
}

void CPrinter::Print() {
  try {
    const quilstring page = CSettings::instance().getPrintTemplatePath();
    if (page.empty()) {
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
      LOG_ERROR(u"Unsupported print mode %d", m_mode);
      fail(kStatusBrowserError);
      return;
    }
    m_page = fs::path(utf16ToUtf8(page));
    const int status = runPrintTemplate(*command);
    if (status == kStatusPrinted)
      OnPrintTemplateTeardown();
    else
      fail(status);
  } catch (const std::exception& e) {
    LOG_ERROR(u"Exception caught in CPrinter::Print: %s", utf8ToUtf16(e.what()).c_str());
    fail(kStatusBrowserError);
  } catch (...) {
    LOG_ERROR(u"Exception caught in CPrinter::Print");
    fail(kStatusBrowserError);
  }
}

void CPrinter::OnPrintTemplateTeardown() {
  m_status = kStatusPrinted;
  KillWBHost();
}

int CPrinter::statusOf(HRESULT hr) {
  if (SUCCEEDED(hr)) return kStatusPrinted;
  return hr == platform::browser::E_LOAD_TIMEOUT ? kStatusLoadTimedOut : kStatusBrowserError;
}

int CPrinter::runPrintTemplate(PrintCommand command) {
  std::unique_ptr<IPrintTemplate> printTemplate = services().makePrintTemplate(m_page);
  if (!printTemplate) return kStatusBrowserError;
  struct Closer {
    IPrintTemplate& t;
    ~Closer() { t.close(); }
  } closer{*printTemplate};
  if (HRESULT hr = printTemplate->open(m_document, m_templatePath); FAILED(hr)) {
    LOG_ERROR(u"The print template could not take the document (0x%08lX)", static_cast<unsigned long>(hr));
    return kStatusBrowserError;
  }

  if (command != PrintCommand::kPreview) {
    const int status = printOnce(*printTemplate, command == PrintCommand::kPrintWithDialog, false, 0);
    return status == kCancelled ? kStatusPrinted : status;  // a cancelled print dialog closes the print template
  }

  // The preview shows exactly the pages that print: the same layout, written as the PDF shown.
  // It lives with the job unless the pages are asked for in a folder (the host's --out).
  const bool keep = destination().alwaysToFolder;
  for (;;) {
    const fs::path pdf = keep ? outputPdf(m_templatePath) : jobFolder() / "preview.pdf";
    int pages = 0;
    if (HRESULT hr = printTemplate->print(printTemplate->defaultRange(), m_loadTimeout, pdf, pages); FAILED(hr))
      return statusOf(hr);
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

int CPrinter::printOnce(IPrintTemplate& printTemplate, bool withDialog, bool inPreview, int pages) {
  PrintDialogAnswer answer;
  answer.range = printTemplate.defaultRange();
  const bool printerWanted = !destination().alwaysToFolder;
  answer.toFile = !printerWanted;
  if (withDialog) {
    if (!askPrintDialog(printerWanted, pages, !inPreview, answer)) return kCancelled;
  } else if (answer.range.selected && answer.range.from > answer.range.to) {
    quilstring caption;
    caption.LoadString(NGlobals::moduleInstance(), IDS_LONG_PRODUCT_NAME);
    MessageBoxW(GetActiveWindow(), fromAfterToText(), caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
    return kStatusBrowserError;  // nothing was printed
  }

  const fs::path pdf = answer.toFile ? outputPdf(m_templatePath) : jobFolder() / "print.pdf";
  int laidOut = 0;
  if (HRESULT hr = printTemplate.print(answer.range, m_loadTimeout, pdf, laidOut); FAILED(hr)) return statusOf(hr);
  if (answer.toFile) {
    written().push_back(pdf);
    return kStatusPrinted;
  }
  if (SUCCEEDED(services().printOnPrinter(pdf, answer.copies))) return kStatusPrinted;
  // No default printer (or no lp): the pages go to a file instead of being lost.
  const fs::path file = outputPdf(m_templatePath);
  std::error_code ec;
  fs::copy_file(pdf, file, fs::copy_options::overwrite_existing, ec);
  if (ec) return kStatusBrowserError;
  LOG_WARNING(u"No printer took the print; written to %s", utf8ToUtf16(file.string()).c_str());
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
  throw std::runtime_error("cannot make the job's folder");
}
