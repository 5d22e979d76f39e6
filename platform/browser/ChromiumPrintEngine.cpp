#include "platform/browser/ChromiumPrintEngine.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <memory>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include <nlohmann/json.hpp>

#include "platform/browser/ChromiumProcess.h"
#include "platform/browser/DevToolsClient.h"
#include "platform/browser/OutputFile.h"
#include "platform/browser/PdfTools.h"
#include "platform/browser/PrintEngine.h"
#include "platform/browser/RequestRules.h"
#include "platform/loop/MessageLoop.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/ProcessFolder.h"

namespace platform::browser {

IPrintEngine::~IPrintEngine() = default;

void IPrintEngine::preloadDocument(const std::filesystem::path&) {}

void IPrintEngine::preloadDocument(const std::filesystem::path& file, std::vector<std::filesystem::path>,
                                   std::vector<std::filesystem::path>) {
  preloadDocument(file);
}

void IPrintEngine::startBrowser() {}

void IPrintEngine::printAhead(const std::filesystem::path&, const std::string&, const PdfSettings&) {}

void IPrintEngine::beginBatch() {}

void IPrintEngine::endBatch() {}

void IPrintEngine::setFrameDocuments(std::vector<std::filesystem::path>) {}

HRESULT IPrintEngine::printDecorationPage(const DecorationPage& page, const PdfSettings& settings,
                                          const std::filesystem::path& out) {
  return printDecoration(page.html(), settings, out);
}

HRESULT IPrintEngine::startDecorationPage(const DecorationPage& page, const PdfSettings& settings,
                                          const std::filesystem::path& out) {
  return printDecorationPage(page, settings, out);
}

HRESULT IPrintEngine::finishDecoration() { return S_OK; }

void IPrintEngine::printDecorationAhead(const DecorationPage&, const PdfSettings&) {}

void IPrintEngine::postBesidePrints(std::function<void()> work) { platform::loop::post(std::move(work)); }

HRESULT IPrintEngine::measureHeightsBeside(const std::vector<std::string>&, double, std::vector<double>& heights) {
  heights.clear();
  return S_FALSE;
}

HRESULT IPrintEngine::joinPdfs(const std::vector<std::filesystem::path>& parts, const std::filesystem::path& out) {
  return platform::browser::joinPdfs(parts, out);
}

void IPrintEngine::holdInMemory(const std::filesystem::path&) {}

std::string IPrintEngine::pageStyleMarkup(const std::filesystem::path&, const std::string&) { return {}; }

void IPrintEngine::forget(const std::filesystem::path&) {}

namespace detail {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr DWORD kStartTimeoutMs = 15000;
constexpr DWORD kCallTimeoutMs = 10000;
constexpr DWORD kPrintTimeoutMs = 60000;
constexpr DWORD kDecorationLoadTimeoutMs = 10000;
// A load not done after this long gets a frame drawn (the tabs draw none of their own), and
// again after twice as long each time.
constexpr long long kFrameAfterMs = 50;
constexpr int kReadChunk = 1 << 20;
// Documents up to this size print to PDFs small enough to come back in the print's own answer;
// longer ones stream theirs in chunks, so memory stays flat.
constexpr std::uintmax_t kStreamAbove = 1 << 20;
// A renderer keeps some memory of every document it has shown (decoded images, the pages of kept
// frames): after this many uses a tab is closed and a fresh one (a fresh renderer) takes its place,
// so memory stays flat over a long run.
constexpr int kUsesPerTab = 40;
// Spare tabs of a batch: the next jobs load three prints ahead, so a job whose fill or print is
// long does not leave the ones after it loading. A fourth costs a renderer's memory and gains
// nothing on eight cores.
constexpr std::size_t kSpareTabs = 3;
constexpr const char* kWhere = "browser";

void reportError(const std::string& what) { diag::error(kWhere, what); }

std::string decodeBase64(std::string_view in) {
  static const std::array<int, 256> table = [] {
    std::array<int, 256> t{};
    t.fill(-1);
    const char* chars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(chars[i])] = i;
    return t;
  }();
  std::string out(in.size() / 4 * 3 + 3, '\0');
  std::size_t length = 0;
  unsigned value = 0;
  int bits = 0;
  for (unsigned char c : in) {
    const int v = table[c];
    if (v < 0) continue;  // padding and line breaks
    value = (value << 6) | static_cast<unsigned>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out[length++] = static_cast<char>((value >> bits) & 0xFF);
    }
  }
  out.resize(length);
  return out;
}

json parseObject(const std::string& text) {
  json j = json::parse(text, nullptr, false);
  return j.is_object() ? j : json::object();
}

// A load of the job's document started ahead of its loadDocument; filled in from the loop.
struct Preload {
  fs::path file;
  std::string sessionId;
  Clock::time_point start;
  bool replied = false;
  bool refused = false;  // the navigation answered an error text
  std::string loader;    // empty once replied: refused, or the call failed
};

struct AheadPrint;

struct Tab {
  std::string targetId;
  std::string sessionId;
  fs::path mainDocument;
  std::map<std::string, Clock::time_point> loadedLoaders;  // main-frame loads seen, by loader id
  bool gone = false;                                        // crashed or detached while in use
  int uses = 0;                                             // documents loaded or printed in it
  // A job's document tab: the load started ahead in it, whether its document is loaded for a
  // print that has not ended, and what its document may read (the job's own lists, kept with the
  // tab, so a load beside it for the next job cannot change them).
  std::shared_ptr<Preload> preload;
  bool busy = false;
  std::vector<fs::path> allowed;
  std::vector<fs::path> frames;
  std::unique_ptr<AheadPrint> ahead;
  std::string pageStyle;  // the page style the loaded (or loading) document has
};

// A print to PDF: its data comes in the answer or is read chunk by chunk from the loop, so other
// calls may run beside it.
struct AsyncPrint {
  std::string session;
  std::string about;  // what failures name: the tab's document, else the output
  // Where the PDF goes: its file, or memory (`data`) for a print ahead, whose job is not known
  // yet, and for a PDF held in memory.
  std::unique_ptr<COutputFile> file;
  std::string data;
  std::string handle;
  bool sent = false;
  bool done = false;
  HRESULT result = E_FAIL;
  // A decoration page whose parts the loaded frame did not take: it is loaded whole and printed
  // when the print is finished.
  std::optional<DecorationPage> reload;
  PdfSettings settings;
  fs::path out;
  // A page loaded whole before it prints (a batch's next decoration in another frame): the page's
  // file, its frame and its load, until loaded.
  fs::path page;
  std::string frame;
  std::string loader;
  bool loading = false;
  ~AsyncPrint() {
    std::error_code ec;
    if (!page.empty()) fs::remove(page, ec);
  }
};

// A batch's next document printed as soon as it is loaded, with the rules and settings its job is
// expected to ask for; a print not taken leaves no file.
struct AheadPrint {
  std::string css;
  PdfSettings settings;
  std::shared_ptr<AsyncPrint> print;  // started once the document is loaded
  ~AheadPrint() {
    if (print) print->done = true;  // its late answers go nowhere
  }
};

// A batch's next one-page decoration printed while the job before is finished; the job whose
// page and settings are the same takes it.
struct DecorationAhead {
  DecorationPage page;
  PdfSettings settings;
  std::shared_ptr<AsyncPrint> print;  // none while queued; moved out by the job that takes it
};

// The test's listener of the browser's events.
std::function<void(const std::string&)>& eventListener();

class CChromiumPrintEngine final : public IPrintEngine {
 public:
  // The process's temporary folder, which holds the browser's profile and pages, is made first so
  // that it outlives the engine: the browser stops before its folder goes.
  CChromiumPrintEngine() { system::processTempFolder(); }
  ~CChromiumPrintEngine() override {
    teardown();
    if (!m_workDir.empty()) {
      std::error_code ec;
      fs::remove_all(m_workDir, ec);
    }
  }

  void setAllowedFolders(std::vector<fs::path> folders) override { m_allowed = std::move(folders); }
  void setFrameDocuments(std::vector<fs::path> documents) override { m_frames = std::move(documents); }

  HRESULT loadDocument(const fs::path& file, DWORD timeoutMs) override {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
      reportError("no document to load at " + file.string());
      return E_INVALIDARG;
    }
    const fs::path path = fs::absolute(file, ec);
    // The document loading ahead in a spare tab makes that tab the body tab; the body tab becomes
    // that spare, free for a later job's load.
    Tab* loading = nullptr;
    for (Tab& spare : m_spares)
      if (spare.preload && spare.preload->file == path) loading = &spare;
    // Nowhere loading ahead (its load was never asked for, or had to make way): in a batch the
    // body tab may hold a later job's load ahead, which goes on in a spare while this one loads in
    // the tab that had the least to lose.
    if (!loading && m_batch && m_body.preload && m_body.preload->file != path) loading = &spareToGive();
    if (loading) {
      std::swap(m_body, *loading);
      loading->busy = false;
    }
    // Busy from now on: a later job's load, asked for while this one waits, goes to a spare.
    m_body.busy = true;
    const std::shared_ptr<Preload> preload = std::exchange(m_body.preload, nullptr);
    if (preload && preload->file == path) {
      const HRESULT hr = finishPreload(*preload, timeoutMs);
      if (hr != S_FALSE) {
        m_body.busy = SUCCEEDED(hr);
        return hr;
      }
    }
    renewIfWorn(m_body);
    const HRESULT hr = withRestart([&] {
      if (HRESULT hr = ensureTab(m_body); FAILED(hr)) return hr;
      m_body.busy = true;  // a tab made anew starts idle
      m_body.allowed = m_allowed;
      m_body.frames = m_frames;
      return navigate(m_body, path, timeoutMs);
    });
    m_body.busy = SUCCEEDED(hr);
    return hr;
  }

  // The spare tabs are made by the batch's loads ahead, inside the prints' waits, so a browser
  // still starting goes on starting beside the first job's fill; their blank tabs are asked for
  // now, so that their renderers have started by then.
  void beginBatch() override {
    m_batch = true;
    makeStandbyTabs(sparesToMake());
  }

  void endBatch() override {
    m_batch = false;
    m_decorationQueued.reset();
    if (m_decorationAhead) {
      freeDecorationView();
      m_decorationAhead.reset();
    }
    // Their renderers go once the batch is over, and blank tabs made for spares never made.
    for (Tab& spare : m_spares) discardTab(spare);
    while (m_standby.size() > 1) {
      discardTarget(m_standby.back());
      m_standby.pop_back();
    }
  }

  void preloadDocument(const fs::path& file) override { preloadDocument(file, m_allowed, m_frames); }

  void preloadDocument(const fs::path& file, std::vector<fs::path> allowed, std::vector<fs::path> frames) override {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return;
    const fs::path path = fs::absolute(file, ec);
    // A browser that is not running starts now, beside the caller's own work; the load waits for it.
    // Not in a batch: there the next job's load starts from inside the running print's wait, which
    // must not see its browser replaced under it; the next load starts the browser again.
    if (!m_client || m_client->broken() || !chromiumAlive(m_process)) {
      if (!m_batch) startBrowser();
      return;
    }
    // The body tab, unless a print still uses its document or another job's load runs there: in
    // a batch, the next jobs load in the spare tabs while this one prints.
    // A worn body tab is not: renewed here, its load ahead would be lost; a spare renews itself in
    // time.
    const bool bodyFree =
        !m_body.busy && (!m_body.preload || m_body.preload->file == path) && !(m_batch && worn(m_body));
    Tab& tab = bodyFree || !m_batch ? m_body : spareFor(path);
    tab.preload.reset();
    tab.ahead.reset();
    // A worn tab is renewed by the load itself: starting a tab waits, and the caller must not.
    renewIfWorn(tab);
    // Except the spare tab of a batch: its load ahead runs inside the wait of a print, and a spare
    // missing there (the batch's first, one just renewed, one lost with its renderer) would leave
    // the next job to load, and the tab to be made, after that print.
    if (m_batch && &tab != &m_body && (tab.sessionId.empty() || tab.gone) && !m_started) ensureTab(tab);
    // Only on a warm tab.
    if (m_started || !m_client || m_client->broken() || !chromiumAlive(m_process) || tab.sessionId.empty() || tab.gone)
      return;
    auto preload = std::make_shared<Preload>();
    preload->file = path;
    preload->sessionId = tab.sessionId;
    preload->start = Clock::now();
    tab.mainDocument = path;
    tab.pageStyle = writtenPageStyle(path);
    tab.loadedLoaders.clear();
    tab.allowed = std::move(allowed);
    tab.frames = std::move(frames);
    ++tab.uses;
    const long id = m_client->send(
        "Page.navigate", json{{"url", fileUrlOf(path)}}.dump(-1, ' ', false, json::error_handler_t::replace),
        tab.sessionId, [this, preload](const CdpReply& r) {
          preload->replied = true;
          if (!r.ok) return;
          const json result = parseObject(r.result);
          if (!result.value("errorText", "").empty())
            preload->refused = true;
          else
            preload->loader = result.value("loaderId", "");
          if (Tab* loading = tabOf(preload->sessionId)) startAhead(*loading);
        });
    if (id != 0) tab.preload = std::move(preload);
  }

  void printAhead(const fs::path& file, const std::string& css, const PdfSettings& settings) override {
    std::error_code ec;
    const fs::path path = fs::absolute(file, ec);
    // Only what prints in the answer: a long document's PDF streams in its own turn.
    const std::uintmax_t size = fs::file_size(path, ec);
    if (!m_batch || ec || size > kStreamAbove) return;
    // A spare tab, or the body tab once the job before has printed and given it to the next load.
    Tab* tab = &m_body;
    for (Tab& spare : m_spares)
      if (spare.preload && spare.preload->file == path) tab = &spare;
    if (!tab->preload || tab->preload->file != path || tab->gone || tab->busy) return;
    tab->ahead = std::make_unique<AheadPrint>();
    tab->ahead->css = css;
    tab->ahead->settings = settings;
    startAhead(*tab);
  }

  HRESULT addStyleSheet(const std::string& css) override {
    if (HRESULT hr = bodyLoaded("Style sheet"); FAILED(hr)) return hr;
    // The sheet the document was printed ahead with: that print is taken.
    if (m_body.ahead && m_body.ahead->print && m_body.ahead->css == css) return S_OK;
    if (std::unique_ptr<AheadPrint> ahead = std::move(m_body.ahead); ahead && ahead->print) {
      // Other rules: the print ahead ends before the document gets them in place of its sheet.
      waitPrint(m_body, *ahead->print);
      if (HRESULT hr = bodyLoaded("Style sheet"); FAILED(hr)) return hr;
    }
    return setPageStyle(css);
  }

  HRESULT printBody(const PdfSettings& settings, const fs::path& out) override {
    HRESULT hr = bodyLoaded("Print of " + out.string());
    if (SUCCEEDED(hr)) hr = takeAhead(settings, out);
    if (hr == S_FALSE) {
      std::error_code ec;
      const std::uintmax_t size = fs::file_size(m_body.mainDocument, ec);
      hr = printToPdf(m_body, settings, out, !ec && size > kStreamAbove);
    }
    m_body.busy = false;  // the tab is free for the next job's load
    return hr;
  }

  HRESULT measureHeights(const std::vector<std::string>& fragments, double widthInches,
                         std::vector<double>& heights) override {
    heights.clear();
    const std::string boxes = measuringBoxes(fragments, widthInches);
    json value;
    // Fragments that fetch nothing lay out at once in the body of the measuring page, which
    // stays loaded; the others get a page of their own, loaded with everything they refer to.
    Tab* measuring = fetchesNothing(fragments) ? measuringTab() : nullptr;
    if (measuring && SUCCEEDED(evaluate(*measuring, measuringScript(boxes), value)) &&
        readHeights(value, fragments.size(), heights))
      return S_OK;
    const DecorationViewUse use(*this);
    if (HRESULT hr = freeDecorationView(); FAILED(hr)) return hr;
    if (HRESULT hr = loadTrustedPage(m_deco, std::string(kMeasuringPage) + boxes + "</body></html>"); FAILED(hr))
      return hr;
    if (HRESULT hr = evaluate(m_deco, kHeights, value); FAILED(hr)) return hr;
    return readHeights(value, fragments.size(), heights) ? S_OK : E_FAIL;
  }

  HRESULT measureHeightsBeside(const std::vector<std::string>& fragments, double widthInches,
                               std::vector<double>& heights) override {
    heights.clear();
    // Only the measuring tab of its own, loaded and not due for renewal: no decoration print to
    // finish, no tab to make or close.
    Tab& tab = m_measure;
    if (!m_client || m_client->broken() || tab.sessionId.empty() || tab.gone ||
        m_measuringSession != tab.sessionId || tab.uses + 1 >= kUsesPerTab || !fetchesNothing(fragments))
      return S_FALSE;
    ++tab.uses;
    json value;
    if (SUCCEEDED(evaluate(tab, measuringScript(measuringBoxes(fragments, widthInches)), value)) &&
        readHeights(value, fragments.size(), heights))
      return S_OK;
    heights.clear();
    return S_FALSE;
  }

  HRESULT printDecoration(const std::string& html, const PdfSettings& settings, const fs::path& out) override {
    const DecorationViewUse use(*this);
    if (HRESULT hr = freeDecorationView(); FAILED(hr)) return hr;
    if (HRESULT hr = loadTrustedPage(m_deco, html); FAILED(hr)) return hr;
    return printToPdf(m_deco, settings, out, html.size() > kStreamAbove);
  }

  HRESULT printDecorationPage(const DecorationPage& page, const PdfSettings& settings, const fs::path& out) override {
    const DecorationViewUse use(*this);
    if (HRESULT hr = freeDecorationView(); FAILED(hr)) return hr;
    if (HRESULT hr = prepareDecorationPage(page); FAILED(hr)) return hr;
    return printToPdf(m_deco, settings, out, page.pages.size() > kStreamAbove);
  }

  HRESULT startDecorationPage(const DecorationPage& page, const PdfSettings& settings, const fs::path& out) override {
    // The page printed ahead is taken: its print, under way or done, is this one, moved to `out`.
    if (m_decorationAhead && m_decorationAhead->page == page && m_decorationAhead->settings == settings) {
      ++m_takenAhead;
      m_decorationPrint = std::move(m_decorationAhead->print);
      m_decorationMoveTo = out;
      m_decorationAhead.reset();
      return S_OK;
    }
    const DecorationViewUse use(*this);
    if (HRESULT hr = freeDecorationView(); FAILED(hr)) return hr;
    m_decorationAhead.reset();
    // The parts go into the loaded frame without waiting: the print follows their answer.
    if (std::optional<std::string> parts = decorationParts(page)) {
      std::shared_ptr<AsyncPrint> print = startPartsPrint(*parts, page, settings, out);
      if (!print) return E_FAIL;
      m_decorationPrint = std::move(print);
      return S_OK;
    }
    if (HRESULT hr = loadDecorationPage(page); FAILED(hr)) return hr;
    m_decorationPrint = startPrint(m_deco, settings, out, false);
    return S_OK;
  }

  void printDecorationAhead(const DecorationPage& page, const PdfSettings& settings) override {
    if (!m_batch || m_decorationAhead) return;
    // It waits its turn while the job's own decoration holds the view.
    m_decorationQueued = std::make_unique<DecorationAhead>(DecorationAhead{page, settings, nullptr});
    startQueuedDecoration();
  }

  // The job's decoration: waits for its print, and answers its result. A page printed ahead for a
  // later job goes on printing.
  HRESULT finishDecoration() override {
    const DecorationViewUse use(*this);
    const std::shared_ptr<AsyncPrint> print = std::exchange(m_decorationPrint, nullptr);
    const fs::path moveTo = std::exchange(m_decorationMoveTo, fs::path());
    if (!print) {
      postHeldWork();
      return S_OK;
    }
    const HRESULT hr = waitPrint(m_deco, *print);
    postHeldWork();  // a print that ended without being asked for
    const fs::path to = moveTo.empty() ? print->out : moveTo;
    if (const std::optional<DecorationPage> page = std::exchange(print->reload, std::nullopt)) {
      print->file.reset();
      if (HRESULT loaded = loadDecorationPage(*page); FAILED(loaded)) return loaded;
      return printToPdf(m_deco, print->settings, to, page->pages.size() > kStreamAbove);
    }
    return SUCCEEDED(hr) && !deliver(*print, to) ? E_FAIL : hr;
  }

 private:
  // The decoration view used by a caller that waits: a page printed ahead neither starts in it
  // meanwhile nor waits longer than the use; it starts once the view is left.
  struct DecorationViewUse {
    CChromiumPrintEngine& engine;
    explicit DecorationViewUse(CChromiumPrintEngine& e) : engine(e) { ++engine.m_decorationUsers; }
    ~DecorationViewUse() {
      if (--engine.m_decorationUsers == 0 && engine.m_decorationQueued) engine.postQueuedDecoration();
    }
    DecorationViewUse(const DecorationViewUse&) = delete;
    DecorationViewUse& operator=(const DecorationViewUse&) = delete;
  };

  void postQueuedDecoration() {
    platform::loop::post([this] { diag::guarded("a decoration ahead", [&] { startQueuedDecoration(); }); });
  }

  // The decoration page queued for the next job, printed into the view once nothing holds it:
  // not the job's own print, not a caller's use. Nothing here may wait.
  void startQueuedDecoration() {
    if (!m_decorationQueued || m_decorationUsers > 0 || m_decorationAhead) return;
    if (m_decorationPrint && (!m_decorationPrint->done || m_decorationPrint->reload)) return;
    std::unique_ptr<DecorationAhead> queued = std::move(m_decorationQueued);
    if (!m_batch) return;
    const std::optional<std::string> parts = decorationParts(queued->page);
    // A page of another frame (the next job's template is another) is loaded whole, without
    // waiting, and prints once loaded. Either way into memory, until its job takes it.
    queued->print = parts ? startPartsPrint(*parts, queued->page, queued->settings, {})
                          : startLoadedPrint(queued->page, queued->settings, {});
    if (queued->print) m_decorationAhead = std::move(queued);
  }

  // Loads the whole page into the decoration view and prints it once loaded, without waiting.
  // Null when that cannot start.
  std::shared_ptr<AsyncPrint> startLoadedPrint(const DecorationPage& page, const PdfSettings& settings,
                                               const fs::path& out) {
    Tab& tab = m_deco;
    if (tab.sessionId.empty() || tab.gone || !m_client || m_client->broken()) return nullptr;
    const fs::path file = writeTrustedPage(page.html());
    if (file.empty()) return nullptr;
    m_frame.clear();
    if (tab.sessionId == m_measuringSession) m_measuringSession.clear();
    tab.mainDocument = file;
    tab.pageStyle.clear();
    tab.loadedLoaders.clear();
    std::shared_ptr<AsyncPrint> print = preparePrint(tab, settings, out);
    print->page = file;
    if (!writable(*print)) return nullptr;
    print->frame = frameOf(page);
    print->loading = true;
    const long id = m_client->send(
        "Page.navigate", json{{"url", fileUrlOf(file)}}.dump(), tab.sessionId, [this, print](const CdpReply& r) {
          diag::guarded("a decoration ahead", [&] {
            if (print->done) return;
            const json result = r.ok ? parseObject(r.result) : json::object();
            const std::string error = r.ok ? result.value("errorText", "") : r.error;
            print->loader = result.value("loaderId", "");
            if (!error.empty() || print->loader.empty()) {
              finishAsync(*print, print->session, false,
                          "the browser cannot load " + print->page.string() + ": " + (error.empty() ? "no load" : error));
              return postHeldWork();
            }
            printLoadedDecoration();
          });
        });
    if (id == 0) return nullptr;
    m_decorationLoad = print;
    return print;
  }

  // The decoration page loading whole, printed once its load has ended.
  void printLoadedDecoration() {
    const std::shared_ptr<AsyncPrint> print = m_decorationLoad;
    if (!print || print->done || !print->loading) return m_decorationLoad.reset();
    if (print->loader.empty() || print->session != m_deco.sessionId || !m_deco.loadedLoaders.count(print->loader))
      return;
    m_decorationLoad.reset();
    print->loading = false;
    m_frame = print->frame;
    m_frameSession = m_deco.sessionId;
    std::error_code ec;
    fs::remove(std::exchange(print->page, fs::path()), ec);
    sendPrint(print, false);
    postHeldWork();
  }

  // The decoration view free for a caller to load and print in: the job's decoration finished,
  // a page printed ahead ended (and kept for its job, unless it failed).
  HRESULT freeDecorationView() {
    m_decorationQueued.reset();
    const HRESULT hr = finishDecoration();
    if (m_decorationAhead && m_decorationAhead->print) {
      AsyncPrint& ahead = *m_decorationAhead->print;
      const HRESULT aheadResult = waitPrint(m_deco, ahead);
      postHeldWork();
      if (FAILED(aheadResult) || ahead.reload) m_decorationAhead.reset();
    }
    return hr;
  }

  // Puts the page's parts into the kept frame and prints once they are in, without waiting; a
  // frame that does not take them leaves the page to be loaded whole (reload). Null when the
  // print cannot start.
  std::shared_ptr<AsyncPrint> startPartsPrint(const std::string& parts, const DecorationPage& page,
                                              const PdfSettings& settings, const fs::path& out) {
    std::shared_ptr<AsyncPrint> print = preparePrint(m_deco, settings, out);
    if (!writable(*print)) return nullptr;
    if (printAfter(parts, {}, print, [page](AsyncPrint& refused) { refused.reload = page; })) return print;
    reportError("the browser's pipe broke before the print of " + print->about);
    return nullptr;
  }

  // Runs `script` in the print's tab (on `document`; empty: a trusted page) and sends the print
  // once it has answered true, without waiting; any other answer ends the print there, `refused`
  // told first. False when the pipe broke.
  bool printAfter(const std::string& script, const fs::path& document, const std::shared_ptr<AsyncPrint>& print,
                  std::function<void(AsyncPrint&)> refused = nullptr) {
    return m_client->send("Runtime.evaluate", evaluation(script), print->session,
                          [this, print, document, refused](const CdpReply& r) {
                            diag::guarded("a print", [&] {
                              if (print->done) return;
                              json answer;
                              if (SUCCEEDED(evaluated(r, document, answer)) && answer == json(true))
                                return sendPrint(print, false);
                              if (refused) refused(*print);
                              print->done = true;
                            });
                            postHeldWork();
                          }) != 0;
  }

  // The decoration page made ready in the decoration view.
  HRESULT prepareDecorationPage(const DecorationPage& page) {
    if (std::optional<std::string> parts = decorationParts(page)) {
      json done;
      if (SUCCEEDED(evaluate(m_deco, *parts, done)) && done == json(true)) return S_OK;
    }
    return loadDecorationPage(page);
  }

  // The script that puts the page's parts into the frame of the last decoration page, where that
  // frame is still loaded and the parts load nothing that a load would wait for; it answers true
  // once they are in. Counts a use of the decoration view either way.
  std::optional<std::string> decorationParts(const DecorationPage& page) {
    renewIfWorn(m_deco);
    ++m_deco.uses;
    if (m_frame.empty() || m_frame != frameOf(page) || m_frameSession != m_deco.sessionId || m_deco.gone ||
        !m_client || m_client->broken() || !fetchesNothing({page.pages, page.pageStyle}))
      return std::nullopt;
    const auto text = [](const std::string& value) {
      return json(value).dump(-1, ' ', false, json::error_handler_t::replace);
    };
    return "(function(base,css,pages,id){var b=document.head&&document.head.querySelector('base');"
           "var s=b&&b.nextElementSibling;var c=document.getElementById(id);"
           "if(!b||!s||s.tagName!=='STYLE'||!c)return false;"
           "var a=document.createElement('div');a.innerHTML='<a href=\"'+base+'\"></a>';"
           "b.setAttribute('href',a.firstChild.getAttribute('href'));s.textContent=css;c.innerHTML=pages;"
           "return true;})(" +
           text(page.baseHref) + "," + text(page.pageStyle) + "," + text(page.pages) + "," + text(page.pagesId) + ")";
  }

  static std::string frameOf(const DecorationPage& page) {
    return page.head + '\0' + page.beforePages + '\0' + page.pagesId + '\0' + page.afterPages;
  }

  // The whole decoration page loaded into the decoration view.
  HRESULT loadDecorationPage(const DecorationPage& page) {
    if (HRESULT hr = loadTrustedPage(m_deco, page.html()); FAILED(hr)) return hr;
    m_frame = frameOf(page);
    m_frameSession = m_deco.sessionId;
    return S_OK;
  }

  // The body's print ahead moved to `out`: S_OK; S_FALSE where the body is to print in its turn
  // (none was made, or it failed or was made with other settings), with its rules in place again.
  HRESULT takeAhead(const PdfSettings& settings, const fs::path& out) {
    const std::unique_ptr<AheadPrint> ahead = std::move(m_body.ahead);
    if (!ahead) return S_FALSE;
    if (SUCCEEDED(waitPrint(m_body, *ahead->print)) && ahead->settings == settings && deliver(*ahead->print, out)) {
      ++m_takenAhead;
      return S_OK;
    }
    if (HRESULT hr = bodyLoaded("Print of " + out.string()); FAILED(hr)) return hr;
    if (HRESULT hr = setPageStyle(ahead->css); FAILED(hr)) return hr;
    return S_FALSE;
  }

  // The body's document given `css` as its page style, in place of the one it has; nothing to do
  // where it has it already (written with it, or given it before).
  HRESULT setPageStyle(const std::string& css) {
    if (m_body.pageStyle == css) return S_OK;
    json value;
    const HRESULT hr = evaluate(m_body, styleScript(css, false), value);
    if (SUCCEEDED(hr)) m_body.pageStyle = css;
    return hr;
  }

  // Starts the print ahead of a spare tab's document once that document is loaded.
  void startAhead(Tab& tab) {
    AheadPrint* ahead = tab.ahead.get();
    if (!ahead || ahead->print || !tab.preload || tab.preload->loader.empty() ||
        tab.loadedLoaders.count(tab.preload->loader) == 0 || tab.gone || !m_client || m_client->broken())
      return;
    // Into memory, until its job takes it; at once where the document was written with its style.
    std::shared_ptr<AsyncPrint> print = preparePrint(tab, ahead->settings, {});
    if (tab.pageStyle == ahead->css) {
      sendPrint(print, false);
    } else {
      if (!printAfter(styleScript(ahead->css, true), tab.mainDocument, print)) return tab.ahead.reset();
      tab.pageStyle = ahead->css;
    }
    ahead->print = std::move(print);
  }

  // Appends a style sheet to the loaded document, in place of the one a print ahead appended or
  // the document was written with; `ahead` marks it as that one. The mark is a symbol, which no
  // element's name can stand for; the written one has an id no mail can know.
  static std::string styleScript(const std::string& css, bool ahead) {
    return std::string("(function(c){var k=Symbol.for('quillmark.printAhead');"
                       "[document[k],document.getElementById('") +
           pageStyleId() +
           "')].forEach(function(o){if(o&&o.parentNode)o.parentNode.removeChild(o);});"
           "var s=document.createElement('style');s.textContent=c;"
           "(document.head||document.documentElement).appendChild(s);document[k]=" +
           (ahead ? "s" : "null") + ";return true;})(" +
           json(css).dump(-1, ' ', false, json::error_handler_t::replace) + ")";
  }

  // A finished print's PDF put where `to` says: kept in memory under that name, written to that
  // file, or left in the file it was printed into; failures are reported.
  bool deliver(AsyncPrint& print, const fs::path& to) {
    if (print.file) {
      if (to == print.out) return true;
      std::error_code ec;
      fs::rename(print.out, to, ec);
      if (!ec) return true;
      if (ec == std::errc::cross_device_link) return copyFileWhole(print.out, to);
      reportError("cannot move " + print.out.string() + " to " + to.string() + ": " + ec.message());
      return false;
    }
    if (to.empty()) return true;
    if (m_holding.count(to)) {
      m_held[to] = std::make_shared<const std::string>(std::move(print.data));
      return true;
    }
    COutputFile file(to, false);
    return file.write(print.data) && file.commit();
  }

  // A print of the tab's page into `out`, not sent yet: into memory for no file or one held in
  // memory (its file cannot be made: not writable).
  std::shared_ptr<AsyncPrint> preparePrint(const Tab& tab, const PdfSettings& settings, const fs::path& out) {
    auto print = std::make_shared<AsyncPrint>();
    print->session = tab.sessionId;
    print->about = tab.mainDocument.empty() ? (out.empty() ? std::string("a decoration") : out.string())
                                            : tab.mainDocument.string();
    print->settings = settings;
    print->out = out;
    if (!out.empty() && !m_holding.count(out)) print->file = std::make_unique<COutputFile>(out, false);
    return print;
  }

  static bool writable(const AsyncPrint& print) { return !print.file || print.file->ok(); }

  // The print's bytes as they come; false when they cannot be written (the file reports it).
  static bool take(AsyncPrint& print, std::string_view bytes) {
    if (print.file) return print.file->write(bytes);
    print.data.append(bytes);
    return true;
  }

  static bool commit(AsyncPrint& print) { return !print.file || print.file->commit(); }

  // Starts printing the tab's page into `out` and returns at once; `stream` has the PDF read in
  // chunks (a long document).
  std::shared_ptr<AsyncPrint> startPrint(const Tab& tab, const PdfSettings& settings, const fs::path& out,
                                         bool stream) {
    std::shared_ptr<AsyncPrint> print = preparePrint(tab, settings, out);
    if (writable(*print))
      sendPrint(print, stream);
    else
      print->done = true;
    return print;
  }

  // Waits for a print of the tab's page; a tab lost or a print past its time is given up, and its
  // late answers go nowhere.
  HRESULT waitPrint(Tab& tab, AsyncPrint& print) {
    const auto lost = [&] { return !m_client || m_client->broken() || tab.gone || tab.sessionId != print.session; };
    // A page still loading gets its frames as a load waited for does.
    if (print.loading && !waitLoad(tab, [&] { return !print.loading || print.done || lost(); }, kDecorationLoadTimeoutMs)) {
      finishAsync(print, print.session, false,
                  "the load of " + print.page.string() + " ran past " + std::to_string(kDecorationLoadTimeoutMs) + " ms");
      m_decorationLoad.reset();
      discardTab(tab);
      return E_FAIL;
    }
    platform::loop::runUntil([&] { return print.done || lost(); }, kPrintTimeoutMs);
    if (print.done) return print.result;
    finishAsync(print, print.session, false,
                lost() ? "the browser or its tab went away while printing " + print.about
                       : "the print of " + print.about + " ran past " + std::to_string(kPrintTimeoutMs) + " ms");
    discardTab(tab);
    return E_FAIL;
  }

  HRESULT printToPdf(Tab& tab, const PdfSettings& settings, const fs::path& out, bool stream = false) {
    const std::shared_ptr<AsyncPrint> print = startPrint(tab, settings, out, stream);
    const HRESULT hr = waitPrint(tab, *print);
    return SUCCEEDED(hr) && !deliver(*print, out) ? E_FAIL : hr;
  }

  void postBesidePrints(std::function<void()> work) override {
    if (m_decorationPrint && !m_decorationPrint->sent && !m_decorationPrint->done)
      m_heldWork = std::move(work);
    else
      platform::loop::post(std::move(work));
  }

  // The work held until the decoration's print is asked for.
  void postHeldWork() {
    if (std::function<void()> work = std::exchange(m_heldWork, nullptr)) platform::loop::post(std::move(work));
  }

  void sendPrint(const std::shared_ptr<AsyncPrint>& print, bool stream) {
    print->sent = true;
    const std::string session = print->session;
    const long id = m_client->send(
        "Page.printToPDF", printParams(print->settings, stream).dump(-1, ' ', false, json::error_handler_t::replace),
        session, [this, print, session](const CdpReply& r) {
          diag::guarded("a print", [&] {
            if (print->done) return;
            if (!r.ok)
              return finishAsync(*print, session, false, "Page.printToPDF for " + print->about + " failed: " + r.error);
            print->handle = jsonString(jsonMemberText(r.result, "stream")).value_or(std::string());
            if (!writeAnswer(r.result, *print)) return finishAsync(*print, session, false);
            if (!print->handle.empty()) return readAsync(print, session);
            if (!jsonMemberText(r.result, "data"))
              return finishAsync(*print, session, false, "Page.printToPDF answered no PDF for " + print->about);
            finishAsync(*print, session, commit(*print));
          });
        });
    if (id == 0) finishAsync(*print, session, false, "the browser's pipe broke before the print of " + print->about);
  }

  void readAsync(const std::shared_ptr<AsyncPrint>& print, const std::string& session) {
    const long id = m_client->send(
        "IO.read", json{{"handle", print->handle}, {"size", kReadChunk}}.dump(), session,
        [this, print, session](const CdpReply& r) {
          diag::guarded("a print", [&] {
            if (print->done) return;
            if (!r.ok)
              return finishAsync(*print, session, false, "IO.read for " + print->about + " failed: " + r.error);
            const std::string data = jsonString(jsonMemberText(r.result, "data")).value_or(std::string());
            const auto flag = [&](const char* name, bool otherwise) {
              const std::optional<std::string_view> value = jsonMemberText(r.result, name);
              return value == "true" ? true : value == "false" ? false : otherwise;
            };
            // The output file reports its own failures.
            if (!take(*print, flag("base64Encoded", false) ? decodeBase64(data) : data))
              return finishAsync(*print, session, false);
            if (!flag("eof", true)) return readAsync(print, session);
            finishAsync(*print, session, commit(*print));
          });
        });
    if (id == 0) finishAsync(*print, session, false, "the browser's pipe broke while printing " + print->about);
  }

  // `failure` is reported when given.
  void finishAsync(AsyncPrint& print, const std::string& session, bool ok, const std::string& failure = {}) {
    if (print.done) return;
    if (!print.handle.empty() && m_client && !m_client->broken())
      m_client->send("IO.close", json{{"handle", print.handle}}.dump(), session, nullptr);
    if (!failure.empty()) reportError(failure);
    print.result = ok ? S_OK : E_FAIL;
    print.done = true;
    if (m_decorationQueued && session == m_deco.sessionId) postQueuedDecoration();
  }

 public:

  // In a batch the pages are laid over on a thread of their own while the loop goes on answering
  // the browser: the next jobs' loads and prints ahead wait for no one meanwhile.
  HRESULT overlay(const fs::path& bodyFile, const fs::path& decorationFile, const fs::path& out, int fromPage,
                  int toPage) override {
    const PdfInput body = input(bodyFile);
    const PdfInput decoration = input(decorationFile);
    if (!m_batch) return overlayPdf(body, decoration, out, fromPage, toPage);
    struct Outcome {
      std::atomic<bool> done{false};
      HRESULT result = E_FAIL;
      std::string failure;  // the worker's last failure, the caller's to know
    };
    const auto outcome = std::make_shared<Outcome>();
    std::thread worker([=] {
      outcome->result = diag::guarded("laying the decorations over", HRESULT(E_FAIL),
                                      [&] { return overlayPdf(body, decoration, out, fromPage, toPage); });
      if (FAILED(outcome->result)) outcome->failure = diag::lastFailure();
      outcome->done = true;
      platform::loop::post([] {});  // wakes the wait
    });
    platform::loop::runUntil([&] { return outcome->done.load(); });
    worker.join();
    if (!outcome->failure.empty()) diag::noteFailure(outcome->failure);
    return outcome->result;
  }

  HRESULT pageCount(const fs::path& pdf, int& count) override { return pdfPageCount(input(pdf), count); }

  void holdInMemory(const fs::path& file) override { m_holding.insert(file); }

  std::string pageStyleMarkup(const fs::path& file, const std::string& css) override {
    std::error_code ec;
    const fs::path path = fs::absolute(file, ec);
    std::erase_if(m_writtenStyles, [&](const auto& written) { return written.first == path; });
    // Nothing that could end the element early.
    if (css.empty() || css.find('<') != std::string::npos) return {};
    m_writtenStyles.emplace_back(path, css);
    if (m_writtenStyles.size() > kWrittenStylesKept) m_writtenStyles.pop_front();
    return "<style id=\"" + pageStyleId() + "\">" + css + "</style>";
  }

  void forget(const fs::path& file) override {
    m_holding.erase(file);
    m_held.erase(file);
  }

  // A join is written to its file.
  HRESULT joinPdfs(const std::vector<fs::path>& parts, const fs::path& out) override {
    forget(out);
    return platform::browser::joinPdfs(parts, out);
  }

 private:
  // The page style a document was written with; empty when none.
  std::string writtenPageStyle(const fs::path& file) const {
    for (const auto& [written, css] : m_writtenStyles)
      if (written == file) return css;
    return {};
  }

  // The id of a page style written into a document: drawn once per process.
  static const std::string& pageStyleId() {
    static const std::string id = [] {
      std::random_device random;
      char text[40];
      std::snprintf(text, sizeof text, "quillmark-page-%08x%08x", random(), random());
      return std::string(text);
    }();
    return id;
  }

  // A PDF named by its file: held in memory, else that file.
  PdfInput input(const fs::path& file) const {
    const auto held = m_held.find(file);
    return held == m_held.end() ? PdfInput(file) : PdfInput(file, held->second);
  }

 public:

  pid_t pid() const { return m_process.pid; }
  int starts() const { return m_starts; }
  int takenAhead() const { return m_takenAhead; }
  bool pipeBroken() const { return !m_client || m_client->broken(); }
  bool printingAhead(const fs::path& file) const {
    std::error_code ec;
    const fs::path path = fs::absolute(file, ec);
    const auto printing = [&](const Tab& tab) {
      return tab.ahead && tab.ahead->print && tab.preload && tab.preload->file == path;
    };
    return printing(m_body) || std::any_of(m_spares.begin(), m_spares.end(), printing);
  }

 private:
  // A browser that died since the last job is noticed only when the pipe breaks under the next
  // call; that job then starts a new browser and tries once more.
  template <class Fn>
  HRESULT withRestart(Fn&& step) {
    const HRESULT hr = step();
    if (SUCCEEDED(hr) || hr == E_LOAD_TIMEOUT || !browserDied()) return hr;
    return step();
  }

  // Whether the body view holds a loaded document to work on; reported when not.
  HRESULT bodyLoaded(const std::string& what) {
    if (!m_body.sessionId.empty() && m_client && !m_client->broken()) return S_OK;
    reportError(what + (m_client && m_client->broken() ? ": the browser's pipe broke (the browser died)"
                                                         : ": no document is loaded"));
    return E_UNEXPECTED;
  }

  bool browserDied() { return !m_client || m_client->broken() || !chromiumAlive(m_process); }

  HRESULT ensureBrowser() {
    if (m_client && !m_client->broken() && chromiumAlive(m_process) && !m_started) return S_OK;
    if (!m_started || !m_client || m_client->broken())
      if (HRESULT hr = launch(); FAILED(hr)) return hr;
    const std::shared_ptr<std::optional<CdpReply>> started = std::exchange(m_started, nullptr);
    const bool answered =
        platform::loop::runUntil([&] { return started->has_value() || m_client->broken(); }, kStartTimeoutMs) &&
        started->has_value();
    const CdpReply r = answered ? **started : CdpReply{false, "", m_client->broken() ? "the pipe broke" : "no answer in time"};
    if (!r.ok) {
      reportError("the browser " + m_process.binary.string() + " did not answer after its start: " + r.error);
      teardown();
      return E_FAIL;
    }
    // The blank tab the browser opens at its start becomes the first tab we need, instead of
    // keeping a renderer idle beside ours.
    const json targets = parseObject(r.result).value("targetInfos", json::array());
    for (const json& target : targets)
      if (target.is_object() && target.value("type", "") == "page") {
        m_standby.push_back(target.value("targetId", ""));
        break;
      }
    reportUnsandboxed(m_process);
    if (m_batch) makeStandbyTabs(sparesToMake());
    return S_OK;
  }

 public:
  void startBrowser() override {
    if (!m_client || m_client->broken() || !chromiumAlive(m_process)) launch();
  }

 private:
  // Starts the browser and asks for its first answer without waiting for it: ensureBrowser waits.
  HRESULT launch() {
    teardown();
    std::string error;
    if (!startChromium(findChromium(), m_process, error)) {
      reportError("cannot start the browser: " + error);
      return E_FAIL;
    }
    ++m_starts;
    m_client = std::make_unique<CDevToolsClient>(m_process.replyFd, m_process.commandFd);
    m_process.replyFd = m_process.commandFd = -1;  // the client owns them now
    m_client->setEventHandler([this](const std::string& method, const std::string& session,
                                     const std::string& params) {
      diag::guarded("the browser's event handler", [&] { onEvent(method, session, params); });
      if (const auto listener = eventListener()) diag::guarded("the browser's event listener", [&] { listener(method); });
    });
    auto started = std::make_shared<std::optional<CdpReply>>();
    if (m_client->send("Target.getTargets", "", "", [started](const CdpReply& r) { *started = r; }) == 0) {
      reportError("the browser's pipe broke at its start");
      teardown();
      return E_FAIL;
    }
    m_started = std::move(started);
    return S_OK;
  }

  void teardown() {
    postHeldWork();
    m_decorationQueued.reset();
    m_decorationAhead.reset();
    m_decorationLoad.reset();
    m_decorationMoveTo.clear();
    m_started.reset();
    m_decorationPrint.reset();
    m_client.reset();
    stopChromium(m_process);
    m_body = Tab{};
    for (Tab& spare : m_spares) spare = Tab{};
    m_deco = Tab{};
    m_measure = Tab{};
    m_measuringSession.clear();
    m_frame.clear();
    m_standby.clear();
    m_standbyPending = 0;
  }

  // Every failed call is reported with the protocol's error text and the tab's document.
  CdpReply call(const Tab& tab, std::string_view method, const json& params, DWORD timeoutMs = kCallTimeoutMs) {
    CdpReply r = m_client->call(method, params.dump(-1, ' ', false, json::error_handler_t::replace), tab.sessionId,
                                timeoutMs);
    if (!r.ok)
      reportError(std::string(method) + (tab.mainDocument.empty() ? "" : " for " + tab.mainDocument.string()) +
                  " failed: " + r.error);
    return r;
  }

  HRESULT ensureTab(Tab& tab) {
    if (HRESULT hr = ensureBrowser(); FAILED(hr)) return hr;
    if (!tab.sessionId.empty() && !tab.gone) return S_OK;
    discardTab(tab);
    Tab browserLevel;
    std::string targetId;
    if (!m_standby.empty()) {
      targetId = std::move(m_standby.back());
      m_standby.pop_back();
    }
    if (targetId.empty()) {
      const CdpReply created = call(browserLevel, "Target.createTarget", blankTarget());
      if (!created.ok) return E_FAIL;
      targetId = parseObject(created.result).value("targetId", "");
    }
    CdpReply r = call(browserLevel, "Target.attachToTarget", {{"targetId", targetId}, {"flatten", true}});
    if (!r.ok) return E_FAIL;
    tab.targetId = targetId;
    tab.sessionId = parseObject(r.result).value("sessionId", "");
    if (tab.sessionId.empty()) {
      reportError("Target.attachToTarget answered no session");
      return E_FAIL;
    }
    // Script stays off for the mail; requests are answered by the rules from the first load on.
    // The set-up is sent at once (a session runs its commands in order) and its answers waited for
    // together.
    const std::pair<const char*, json> setup[] = {
        {"Page.enable", json::object()},
        {"Page.setLifecycleEventsEnabled", {{"enabled", true}}},
        {"Emulation.setScriptExecutionDisabled", {{"value", true}}},
        {"Fetch.enable", {{"patterns", json::array({{{"urlPattern", "*"}}})}}}};
    auto answers = std::make_shared<std::vector<CdpReply>>();
    std::size_t sent = 0;
    for (const auto& [method, params] : setup) {
      const std::string name = method;
      if (m_client->send(method, params.dump(), tab.sessionId, [answers, name](const CdpReply& reply) {
            answers->push_back(reply);
            if (!reply.ok) answers->back().error = name + " failed: " + reply.error;
          }) != 0)
        ++sent;
    }
    platform::loop::runUntil([&] { return answers->size() >= sent || m_client->broken(); }, kCallTimeoutMs);
    bool ok = sent == std::size(setup) && answers->size() == sent;
    for (const CdpReply& answer : *answers)
      if (!answer.ok) {
        reportError(answer.error);
        ok = false;
      }
    if (!ok && answers->size() < sent) reportError("the set-up of a tab had no answer from the browser");
    if (!ok) {
      discardTab(tab);
      return E_FAIL;
    }
    return S_OK;
  }

  // A new tab's parameters: blank, and drawing no frames unless asked (nothing is shown).
  static const json& blankTarget() {
    static const json target{{"url", "about:blank"}, {"enableBeginFrameControl", true}};
    return target;
  }

  bool isBodyTab(const Tab& tab) const {
    return &tab == &m_body ||
           std::any_of(m_spares.begin(), m_spares.end(), [&](const Tab& spare) { return &tab == &spare; });
  }

  // The spare tab for a job's load ahead: the one already loading that document, else one loading
  // nothing, else the one whose load ahead is oldest (a job that went another way).
  Tab& spareFor(const fs::path& path) {
    for (Tab& spare : m_spares)
      if (spare.preload && spare.preload->file == path) return spare;
    return spareToGive();
  }

  // The spare whose load ahead is worth least: one loading nothing, else the oldest.
  Tab& spareToGive() {
    for (Tab& spare : m_spares)
      if (!spare.preload) return spare;
    return *std::min_element(m_spares.begin(), m_spares.end(),
                             [](const Tab& a, const Tab& b) { return a.preload->start < b.preload->start; });
  }

  // In a batch the body's documents are shared by the body tab and the spares: each is renewed
  // after as many fewer, so together they hold no more than one did.
  int usesOf(const Tab& tab) const {
    return m_batch && isBodyTab(tab) ? kUsesPerTab / static_cast<int>(1 + m_spares.size()) : kUsesPerTab;
  }

  bool worn(const Tab& tab) const { return !tab.sessionId.empty() && tab.uses >= usesOf(tab); }

  void renewIfWorn(Tab& tab) {
    if (tab.sessionId.empty()) return;
    // The tab that takes its place starts its renderer a couple of jobs ahead.
    if (tab.uses + 2 >= usesOf(tab)) makeStandbyTabs(1);
    if (!worn(tab)) return;
    if (&tab == &m_deco) m_frame.clear();
    if (tab.sessionId == m_measuringSession) m_measuringSession.clear();
    discardTab(tab);
  }

  // Blank tabs made ahead, without waiting, until `wanted` stand by for the next tabs needed
  // (one about to be renewed, a batch's spares): a new tab's renderer takes tens of milliseconds
  // to start, which would otherwise be spent inside a wait.
  void makeStandbyTabs(std::size_t wanted) {
    if (m_started || !m_client || m_client->broken()) return;
    const int browser = m_starts;
    while (m_standby.size() + m_standbyPending < wanted) {
      const auto made = [this, browser](const CdpReply& r) {
        if (browser != m_starts || !m_client) return;  // an earlier browser's answer
        --m_standbyPending;
        const std::string target = r.ok ? parseObject(r.result).value("targetId", "") : std::string();
        if (!target.empty()) m_standby.push_back(target);
      };
      const long id = m_client->send("Target.createTarget", blankTarget().dump(), "", made);
      if (id == 0) return;
      ++m_standbyPending;
    }
  }

  std::size_t sparesToMake() const {
    return static_cast<std::size_t>(std::count_if(m_spares.begin(), m_spares.end(), [](const Tab& spare) {
      return spare.sessionId.empty() || spare.gone;
    }));
  }

  void discardTarget(const std::string& targetId) {
    if (!targetId.empty() && m_client && !m_client->broken())
      m_client->send("Target.closeTarget", json{{"targetId", targetId}}.dump(), "", nullptr);
  }

  // A tab in an unknown state (a load that timed out) is closed, so its late events cannot
  // be taken for the next job's.
  void discardTab(Tab& tab) {
    discardTarget(tab.targetId);
    tab = Tab{};
  }

  // The end of a load started by preloadDocument, answered as navigate would have answered it;
  // S_FALSE when the browser broke under it, so the caller loads again as after a restart.
  HRESULT finishPreload(const Preload& preload, DWORD timeoutMs) {
    Tab& tab = m_body;
    if (preload.sessionId != tab.sessionId || tab.gone || !m_client || m_client->broken()) return S_FALSE;
    const auto deadline = preload.start + std::chrono::milliseconds(timeoutMs);
    const auto loaded = [&] { return !preload.loader.empty() && tab.loadedLoaders.count(preload.loader) > 0; };
    const auto now = Clock::now();
    const DWORD remaining =
        now >= deadline
            ? 0
            : static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count());
    const auto ended = [&] {
      return loaded() || (preload.replied && preload.loader.empty()) || tab.gone || m_client->broken();
    };
    waitLoad(tab, ended, remaining);
    if (loaded() && tab.loadedLoaders[preload.loader] <= deadline) return S_OK;
    if (m_client->broken()) return S_FALSE;
    if (preload.refused) {
      reportError("the browser refused to load " + preload.file.string());
      return E_FAIL;
    }
    const bool timedOut = !tab.gone;
    discardTab(tab);
    reportError(timedOut ? "the load of " + preload.file.string() + " ran past " + std::to_string(timeoutMs) + " ms"
                         : "the tab loading " + preload.file.string() + " crashed");
    return timedOut ? E_LOAD_TIMEOUT : E_FAIL;
  }

  // Waits at most `timeoutMs` for `done`, answering whether it came. The tabs draw no frames of
  // their own, and a load may wait on one (an object's content is decided when it is laid out):
  // a load that takes long gets a frame now and then, less often the longer it takes.
  bool waitLoad(const Tab& tab, const std::function<bool()>& done, DWORD timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (long long interval = kFrameAfterMs;; interval *= 2) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      const DWORD wait = left <= 0 ? 0 : static_cast<DWORD>(std::min<long long>(left, interval));
      if (platform::loop::runUntil(done, wait)) return true;
      if (left <= interval) return done();
      if (m_client && !m_client->broken() && !tab.sessionId.empty())
        m_client->send("HeadlessExperimental.beginFrame", "{}", tab.sessionId, nullptr);
    }
  }

  HRESULT navigate(Tab& tab, const fs::path& file, DWORD timeoutMs) {
    if (isBodyTab(tab)) {
      tab.preload.reset();
      tab.ahead.reset();
      ++tab.uses;
    }
    const auto start = Clock::now();
    tab.mainDocument = file;
    tab.pageStyle = writtenPageStyle(file);
    tab.loadedLoaders.clear();
    const CdpReply r = call(tab, "Page.navigate", {{"url", fileUrlOf(file)}}, timeoutMs);
    if (!r.ok) {
      const bool broken = m_client->broken();
      discardTab(tab);
      return broken ? E_FAIL : E_LOAD_TIMEOUT;
    }
    const json result = parseObject(r.result);
    if (const std::string error = result.value("errorText", ""); !error.empty()) {
      reportError("the browser cannot load " + file.string() + ": " + error);
      return E_FAIL;
    }
    const std::string loader = result.value("loaderId", "");
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    const DWORD remaining = spent >= timeoutMs ? 0 : timeoutMs - static_cast<DWORD>(spent);
    const bool done =
        waitLoad(tab, [&] { return tab.loadedLoaders.count(loader) > 0 || tab.gone || m_client->broken(); }, remaining);
    if (tab.loadedLoaders.count(loader) > 0) return S_OK;
    const bool timedOut = !done;
    const bool broken = m_client->broken();
    discardTab(tab);
    reportError(timedOut ? "the load of " + file.string() + " ran past " + std::to_string(timeoutMs) + " ms"
                : broken ? "the browser's pipe broke while loading " + file.string()
                         : "the tab loading " + file.string() + " crashed");
    return timedOut ? E_LOAD_TIMEOUT : E_FAIL;
  }

  static constexpr const char* kMeasuringPage =
      "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><style>body{margin:0}"
      ".qm-measure{display:flow-root}</style></head><body>";

  // Markup that loads nothing: no sources, style sheets, fonts, frames, objects or media.
  static bool fetchesNothing(const std::vector<std::string>& fragments) {
    static const char* const kFetching[] = {"src",    "url(",   "@import", "<link",  "<object", "<embed",
                                            "<frame", "<iframe", "<svg",   "<image", "<video", "<audio",
                                            "poster", "<base",  "<meta",   "<input", "<picture", "<math"};
    for (const std::string& fragment : fragments) {
      std::string lower(fragment.size(), '\0');
      std::transform(fragment.begin(), fragment.end(), lower.begin(),
                     [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
      for (const char* word : kFetching)
        if (lower.find(word) != std::string::npos) return false;
    }
    return true;
  }

  // Each fragment in a box of the width, on the measuring page.
  static std::string measuringBoxes(const std::vector<std::string>& fragments, double widthInches) {
    const std::string width = json(widthInches).dump();
    std::string boxes;
    for (const auto& fragment : fragments)
      boxes += "<div class=\"qm-measure\" style=\"width:" + width + "in\">" + fragment + "</div>";
    return boxes;
  }

  static constexpr const char* kHeights =
      "JSON.stringify(Array.from(document.body.children).filter(function(e){"
      "return e.className==='qm-measure';}).map(function(e){"
      "return e.getBoundingClientRect().height/96;}))";

  // The boxes put into the loaded measuring page's body, answering their heights.
  static std::string measuringScript(const std::string& boxes) {
    return "(function(h){document.body.innerHTML=h;return " + std::string(kHeights) + ";})(" +
           json(boxes).dump(-1, ' ', false, json::error_handler_t::replace) + ")";
  }

  static bool readHeights(const json& value, std::size_t count, std::vector<double>& heights) {
    heights.clear();
    if (!value.is_string()) return false;
    const json list = json::parse(value.get<std::string>(), nullptr, false);
    if (!list.is_array() || list.size() != count) return false;
    for (const auto& h : list) heights.push_back(h.is_number() ? h.get<double>() : 0.0);
    return true;
  }

  // The tab holding the empty measuring page. At the browser's start that is the decoration tab,
  // so a cold print starts one renderer less; once that tab holds a decoration frame, measuring
  // gets a tab of its own, where the page stays.
  Tab* measuringTab() {
    if (!m_client || m_client->broken()) return nullptr;
    renewIfWorn(m_measure);
    for (Tab* tab : {&m_measure, &m_deco})
      if (!tab->sessionId.empty() && !tab->gone && m_measuringSession == tab->sessionId) {
        ++tab->uses;
        return tab;
      }
    const DecorationViewUse use(*this);
    if (HRESULT hr = freeDecorationView(); FAILED(hr)) return nullptr;
    Tab& tab = m_measure.sessionId.empty() && (m_deco.sessionId.empty() || m_frame.empty()) ? m_deco : m_measure;
    if (FAILED(loadTrustedPage(tab, std::string(kMeasuringPage) + "</body></html>"))) return nullptr;
    m_measuringSession = tab.sessionId;
    return &tab;
  }

  HRESULT loadTrustedPage(Tab& tab, const std::string& html) {
    if (&tab == &m_deco) m_frame.clear();
    if (tab.sessionId == m_measuringSession) m_measuringSession.clear();
    const fs::path page = writeTrustedPage(html);
    if (page.empty()) return E_FAIL;
    std::error_code ec;
    const HRESULT hr = withRestart([&] {
      if (HRESULT hr = ensureTab(tab); FAILED(hr)) return hr;
      return navigate(tab, page, kDecorationLoadTimeoutMs);
    });
    fs::remove(page, ec);
    return hr;
  }

  // A trusted page written to a file of its own for the browser to load; empty when it cannot be
  // (reported). A new name each time: the same URL again could be served from the cache.
  fs::path writeTrustedPage(const std::string& html) {
    const fs::path page = workFile("page", ".html");
    if (page.empty()) return {};
    COutputFile out(page, false);
    return out.write(html) && out.commit() ? page : fs::path();
  }

  // A new name in the engine's own folder, made again when someone emptied the temporary folder
  // under us; empty (reported) when it cannot be made.
  fs::path workFile(const std::string& stem, const std::string& suffix) {
    std::error_code ec;
    if (m_workDir.empty() || !fs::is_directory(m_workDir, ec)) {
      // Inside the process's own folder, so that a crash leaves nothing for good.
      fs::path parent = system::processTempPath();
      if (parent.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        parent = tmp && *tmp ? tmp : "/tmp";
      }
      std::string pattern = (parent / "pages-XXXXXX").string();
      if (!::mkdtemp(pattern.data())) {
        reportError("cannot make a folder for the layout's pages: " + std::string(std::strerror(errno)));
        return {};
      }
      m_workDir = pattern;
    }
    return m_workDir / (stem + std::to_string(++m_pageCounter) + suffix);
  }

  HRESULT evaluate(Tab& tab, const std::string& expression, json& value) {
    return evaluated(call(tab, "Runtime.evaluate", {{"expression", expression}, {"returnByValue", true}}),
                     tab.mainDocument, value);
  }

  static std::string evaluation(const std::string& expression) {
    return json{{"expression", expression}, {"returnByValue", true}}.dump(-1, ' ', false,
                                                                          json::error_handler_t::replace);
  }

  // The value an evaluation in `document` (empty: a trusted page) answered; a script that failed
  // is reported.
  static HRESULT evaluated(const CdpReply& r, const fs::path& document, json& value) {
    if (!r.ok) return E_FAIL;
    const json result = parseObject(r.result);
    if (result.contains("exceptionDetails")) {
      reportError("a script of the layout failed in " +
                  (document.empty() ? std::string("a trusted page") : document.string()) + ": " +
                  result["exceptionDetails"].value("text", std::string("exception")));
      return E_FAIL;
    }
    value = result.contains("result") ? result["result"].value("value", json()) : json();
    return S_OK;
  }

  // Long documents stream their PDF (`stream`); short ones come back in the answer, which saves
  // the round trips of reading.
  static json printParams(const PdfSettings& s, bool stream) {
    return {{"paperWidth", s.paperWidth},        {"paperHeight", s.paperHeight},
            {"marginTop", s.margins.top},        {"marginBottom", s.margins.bottom},
            {"marginLeft", s.margins.left},      {"marginRight", s.margins.right},
            {"printBackground", s.printBackground}, {"preferCSSPageSize", s.preferCssPageSize},
            {"generateTaggedPDF", false},        {"transferMode", stream ? "ReturnAsStream" : "ReturnAsBase64"}};
  }

  // The PDF in a print's answer, when it came there rather than in a stream, written to `file`:
  // false when that failed (the file reports its own failures).
  static bool writeAnswer(std::string_view result, AsyncPrint& print) {
    if (const std::optional<std::string> data = jsonString(jsonMemberText(result, "data")))
      return take(print, decodeBase64(*data));
    return true;
  }

  Tab* tabOf(const std::string& session) {
    if (!session.empty() && session == m_body.sessionId) return &m_body;
    for (Tab& spare : m_spares)
      if (!session.empty() && session == spare.sessionId) return &spare;
    if (!session.empty() && session == m_deco.sessionId) return &m_deco;
    if (!session.empty() && session == m_measure.sessionId) return &m_measure;
    return nullptr;
  }

  // From the loop, while any wait of ours runs: every paused request must get its answer, or
  // the load stalls.
  void onEvent(const std::string& method, const std::string& session, const std::string& paramsText) {
    if (method == "Fetch.requestPaused") {
      const json params = parseObject(paramsText);
      const std::string requestId = params.value("requestId", "");
      if (requestId.empty()) return;
      std::string url, type;
      if (auto req = params.find("request"); req != params.end() && req->is_object()) url = req->value("url", "");
      type = params.value("resourceType", "");
      Tab* tab = tabOf(session);
      RequestAnswer answer =
          !tab ? RequestAnswer::kFail
          : isBodyTab(*tab) ? classifyRequest(url, type, tab->mainDocument, tab->allowed, tab->frames)
                            : classifyRequest(url, type, tab->mainDocument, m_allowed, kNoFrames);
      // The browser's profile lies in the process's temporary folder too, which pages may read.
      if (answer == RequestAnswer::kContinue && !m_process.profileDir.empty())
        if (const auto local = pathOfFileUrl(url); local && isInsideFolder(*local, m_process.profileDir))
          answer = RequestAnswer::kFail;
      switch (answer) {
        case RequestAnswer::kContinue:
          m_client->send("Fetch.continueRequest", json{{"requestId", requestId}}.dump(), session, nullptr);
          break;
        case RequestAnswer::kEmptyDocument:
          m_client->send("Fetch.fulfillRequest",
                         json{{"requestId", requestId}, {"responseCode", 204}, {"responseHeaders", json::array()}}
                             .dump(),
                         session, nullptr);
          break;
        case RequestAnswer::kFail:
          if (pathOfFileUrl(url))
            reportError("refused the file " + url + " asked for by " +
                        (tab ? tab->mainDocument.string() : std::string("an unknown tab")));
          m_client->send("Fetch.failRequest", json{{"requestId", requestId}, {"errorReason", "BlockedByClient"}}.dump(),
                         session, nullptr);
          break;
      }
    } else if (method == "Page.lifecycleEvent") {
      Tab* tab = tabOf(session);
      const json params = parseObject(paramsText);
      if (tab && params.value("name", "") == "load" && params.value("frameId", "") == tab->targetId) {
        tab->loadedLoaders.emplace(params.value("loaderId", ""), Clock::now());
        startAhead(*tab);
        if (tab == &m_deco) printLoadedDecoration();
      }
    } else if (method == "Inspector.targetCrashed" || method == "Inspector.detached") {
      if (Tab* tab = tabOf(session)) tab->gone = true;
    } else if (method == "Target.detachedFromTarget") {
      const json params = parseObject(paramsText);
      if (Tab* tab = tabOf(params.value("sessionId", ""))) tab->gone = true;
    }
  }

  ChromiumProcess m_process;
  std::unique_ptr<CDevToolsClient> m_client;
  Tab m_body;   // the job's document
  // In a batch, the next jobs' documents, loading while the job prints.
  std::array<Tab, kSpareTabs> m_spares;
  bool m_batch = false;
  Tab m_deco;  // trusted pages: decorations, and measuring what loads more than markup
  Tab m_measure;  // the measuring page, kept loaded
  std::string m_measuringSession;  // the session whose tab holds the measuring page
  std::string m_frame;             // the decoration page's frame loaded in m_deco, if any
  std::string m_frameSession;
  std::shared_ptr<AsyncPrint> m_decorationPrint;  // the job's, started, not yet finished
  fs::path m_decorationMoveTo;  // where finishDecoration moves that print's PDF (a page printed ahead)
  std::unique_ptr<DecorationAhead> m_decorationAhead;
  std::unique_ptr<DecorationAhead> m_decorationQueued;  // the next one, its print waiting for the view
  std::shared_ptr<AsyncPrint> m_decorationLoad;  // the one ahead loading whole, until loaded
  int m_decorationUsers = 0;  // callers waiting on the decoration view
  std::function<void()> m_heldWork;                // postBesidePrints' work, until that print is sent
  std::vector<std::string> m_standby;  // the browser's own blank tab, and ones made ahead, until taken
  std::size_t m_standbyPending = 0;    // blank tabs asked for ahead, not answered yet
  std::shared_ptr<std::optional<CdpReply>> m_started;  // the first answer of a browser started ahead
  std::vector<fs::path> m_allowed;
  std::vector<fs::path> m_frames;  // the job document's frame documents
  inline static const std::vector<fs::path> kNoFrames;
  // Documents written with their page style, the latest few (a batch's jobs ahead and the one
  // that prints).
  static constexpr std::size_t kWrittenStylesKept = 16;
  std::deque<std::pair<fs::path, std::string>> m_writtenStyles;
  std::set<fs::path> m_holding;  // files whose prints stay in memory
  std::map<fs::path, std::shared_ptr<const std::string>> m_held;  // those printed so far
  fs::path m_workDir;
  unsigned m_pageCounter = 0;
  int m_starts = 0;
  int m_takenAhead = 0;
};

std::function<void(const std::string&)>& eventListener() {
  static std::function<void(const std::string&)> listener;
  return listener;
}

CChromiumPrintEngine& engine() {
  static CChromiumPrintEngine instance;
  return instance;
}

}  // namespace

pid_t chromiumPidForTesting() { return engine().pid(); }
int chromiumStartsForTesting() { return engine().starts(); }
int printsTakenAheadForTesting() { return engine().takenAhead(); }
bool printingAheadForTesting(const std::filesystem::path& file) { return engine().printingAhead(file); }
bool browserPipeBrokenForTesting() { return engine().pipeBroken(); }
void setBrowserEventListenerForTesting(std::function<void(const std::string&)> listener) {
  eventListener() = std::move(listener);
}

}  // namespace detail

IPrintEngine& chromiumPrintEngine() { return detail::engine(); }

}  // namespace platform::browser
