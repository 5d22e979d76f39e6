#include "platform/browser/PrintTemplate.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <utility>

#include "platform/browser/OutputFile.h"
#include "platform/browser/PageSetup.h"
#include "platform/browser/PrintDestination.h"
#include "platform/browser/PrintEngine.h"
#include "platform/browser/RequestRules.h"
#include "platform/com/DispatchDriver.h"
#include "platform/com/Variant.h"
#include "platform/html/HtmlDocument.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"
#include "platform/ui/Ui.h"

namespace platform::browser {

IPrintTemplate::~IPrintTemplate() = default;

namespace {

namespace fs = std::filesystem;

// Pages sent to a folder never reach a printer: its paper is not asked for (lpstat costs 10 to
// 30 ms of a one-file run).
bool printerMayBeUsed() { return !printDestination().alwaysToFolder; }

// The blocks of the last filled documents, by document file, as read from their trees. Reading
// marks a tree, and a marked tree read again gives its blocks in another form (the numbers marked
// in their text rather than in the tree), which the heights measured and the pages printed ahead
// would not match: each tree is read once, and the print opening it takes its blocks from here.
struct BlocksRead {
  fs::path document;
  PrintBlocks blocks;
};
constexpr std::size_t kBlocksKept = 8;

std::deque<BlocksRead>& blocksRead() {
  static std::deque<BlocksRead> kept;
  return kept;
}

HRESULT readBlocksOnce(html::CHtmlDocument& tree, const PrintDocument& file, PrintBlocks& blocks) {
  auto& kept = blocksRead();
  const auto known = std::find_if(kept.begin(), kept.end(), [&](const BlocksRead& b) { return b.document == file.file; });
  if (known != kept.end()) {
    blocks = known->blocks;
    return S_OK;
  }
  const fs::path templateFolder = fs::path(system::utf16ToUtf8(file.address)).parent_path();
  if (HRESULT hr = readPrintBlocks(tree, templateFolder, blocks); FAILED(hr)) return hr;
  kept.push_back({file.file, blocks});
  if (kept.size() > kBlocksKept) kept.pop_front();
  return S_OK;
}

constexpr const char* kWhere = "print template";

std::string hresultText(HRESULT hr) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

// One layout for the process's browser: it keeps measured blocks and the template page between jobs.
IPrintLayout& processLayout() {
  static std::unique_ptr<IPrintLayout> layout = makePrintLayout(chromiumPrintEngine());
  return *layout;
}

class CPrintTemplate final : public IPrintTemplate {
 public:
  CPrintTemplate(fs::path page, IDispatch* handler, IPrintEngine* engine)
      : m_page(std::move(page)), m_handler(handler), m_engine(engine ? *engine : chromiumPrintEngine()) {
    if (engine) m_ownLayout = makePrintLayout(*engine);
  }

  HRESULT open(html::CHtmlDocument& document, const PrintDocument& file) override {
    const std::string before = diag::lastFailure();
    HRESULT hr = E_POINTER;
    if (m_handler) {
      hr = readBlocksOnce(document, file, m_request.blocks);
      if (SUCCEEDED(hr)) {
        m_request.document = file.file;
        m_request.address = file.address;
        m_request.printTemplate = m_page;
        m_request.locale = file.locale;
        m_request.loadTimeoutMs = kLayoutTimeoutMs;
        m_request.setup.paper = defaultPaperSize(file.locale, printerMayBeUsed());
        m_engine.setAllowedFolders(file.readableFolders);
        m_engine.setFrameDocuments(file.frames);
        hr = layout().readSettings(m_handler, m_request);
        // A print of other pages (the preview's, all of them) leaves the job's range as it is.
        m_defaultRange = m_request.range;
      }
    }
    if (FAILED(hr)) failed("cannot take " + file.file.string(), hr, before);
    return hr;
  }

  PageRange defaultRange() const override { return m_defaultRange; }
  PageSetup pageSetup() const override { return m_request.setup; }
  void setPageSetup(const PageSetup& setup) override { m_request.setup = setup; }

  HRESULT print(const PageRange& range, const fs::path& pdf, const fs::path& workFolder, int& pages) override {
    const std::string before = diag::lastFailure();
    m_request.range = range;
    m_request.output = pdf;
    m_request.workFolder = workFolder;
    LayoutResult result;
    HRESULT hr = layout().print(m_request, result);
    pages = result.laidOutPages;
    if (hr == E_LOAD_TIMEOUT) {
      diag::error(kWhere, "the layout of " + m_request.document.string() + " ran past " +
                              std::to_string(kLayoutTimeoutMs) + " ms");
      hr = E_FAIL;
    }
    if (FAILED(hr)) failed("cannot print " + m_request.document.string(), hr, before);
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
  IPrintLayout& layout() { return m_ownLayout ? *m_ownLayout : processLayout(); }

  // A failure of the template's own work: reported with the reason a layer below gave (or the
  // result), and shown as the template's script shows it.
  void failed(const std::string& what, HRESULT hr, const std::string& before) {
    const std::string inner = diag::lastFailure();
    if (inner.empty() || inner == before) diag::error(kWhere, what + " (" + hresultText(hr) + ")");
    MessageBoxW(GetActiveWindow(), kInternalErrorText, u"Internet Explorer", MB_OK | MB_ICONERROR);
  }

  fs::path m_page;
  CComPtr<IDispatch> m_handler;
  IPrintEngine& m_engine;
  std::unique_ptr<IPrintLayout> m_ownLayout;
  LayoutRequest m_request;
  PageRange m_defaultRange;
};

}  // namespace

std::unique_ptr<IPrintTemplate> makePrintTemplate(const fs::path& page, IDispatch* scriptingObject) {
  return std::make_unique<CPrintTemplate>(page, scriptingObject, nullptr);
}

std::unique_ptr<IPrintTemplate> makePrintTemplate(const fs::path& page, IDispatch* scriptingObject,
                                                  IPrintEngine& engine) {
  return std::make_unique<CPrintTemplate>(page, scriptingObject, &engine);
}

HRESULT writePrintDocument(const html::CHtmlDocument& document, const fs::path& file, const fs::path& baseFolder,
                           const std::string& pageStyle) {
  // UTF-8 declared first, the base for relative addresses, and named pages switched off (a mail
  // from Word brings "page: WordSection1" with its styles, and a named page starts a new sheet,
  // pushing the body off the header's page).
  std::string html = system::utf16ToUtf8(document.documentHTML());
  std::error_code ec;
  std::string base = detail::fileUrlOf(fs::absolute(baseFolder, ec));
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
  // The page style last in the head, where the browser would append it once loaded.
  const std::size_t headEnd = close == std::string::npos ? std::string::npos : lower.find("</head>", close);
  const std::string style =
      chromiumPrintEngine().pageStyleMarkup(file, headEnd == std::string::npos ? std::string() : pageStyle);
  if (!style.empty()) html.insert(headEnd, style);
  if (close == std::string::npos)
    html.insert(0, head);
  else
    html.insert(close + 1, head);
  detail::COutputFile out(file, false);
  return out.write(html) && out.commit() ? S_OK : E_FAIL;
}

std::u16string printFileAddress(const fs::path& file) {
  std::error_code ec;
  return system::utf8ToUtf16(detail::fileUrlOf(fs::absolute(file, ec)));
}

void startPrinting() {
  diag::guarded("startPrinting", [] {
    if (printerMayBeUsed()) detail::startCupsQuery();
    chromiumPrintEngine().startBrowser();
  });
}

namespace {

// The layout request of a job to come, from its filled tree; false when its blocks cannot be read.
bool requestAhead(const PrintDocument& document, const fs::path& printTemplatePage, html::CHtmlDocument& filled,
                  LayoutRequest& request) {
  if (FAILED(readBlocksOnce(filled, document, request.blocks))) return false;
  request.document = document.file;
  request.address = document.address;
  request.printTemplate = printTemplatePage;
  request.locale = document.locale;
  return true;
}

}  // namespace

void measureAhead(const PrintDocument& document, const fs::path& printTemplatePage, html::CHtmlDocument& filled) {
  diag::guarded("measureAhead", [&] {
    LayoutRequest request;
    if (requestAhead(document, printTemplatePage, filled, request)) processLayout().measureAhead(request);
  });
}

std::string pageStyleAhead(const PrintDocument& document, const fs::path& printTemplatePage,
                           html::CHtmlDocument& filled) {
  std::string css;
  diag::guarded("pageStyleAhead", [&] {
    LayoutRequest request;
    if (requestAhead(document, printTemplatePage, filled, request)) css = processLayout().pageStyleAhead(request);
  });
  return css;
}

void beginPrintBatch() {
  diag::guarded("beginPrintBatch", [] { chromiumPrintEngine().beginBatch(); });
}

void endPrintBatch() {
  diag::guarded("endPrintBatch", [] { chromiumPrintEngine().endBatch(); });
}

void preloadPrintDocument(const PrintDocument& document) {
  diag::guarded("preloadPrintDocument", [&] {
    if (printerMayBeUsed()) detail::startCupsQuery();
    chromiumPrintEngine().preloadDocument(document.file, document.readableFolders, document.frames);
  });
}

}  // namespace platform::browser
