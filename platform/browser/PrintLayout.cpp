#include "platform/browser/PrintLayout.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <deque>
#include <optional>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/browser/OutputFile.h"
#include "platform/browser/RequestRules.h"
#include "platform/com/DispatchDriver.h"
#include "platform/com/Variant.h"
#include "platform/html/HtmlDocument.h"
#include "platform/loop/MessageLoop.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"

using platform::system::utf16ToUtf8;
using platform::system::utf8ToUtf16;
#include "platform/system/TimeZone.h"

namespace platform::browser {

IPrintLayout::~IPrintLayout() = default;

int decoratedPageNumber(int page, bool hasCover) { return hasCover ? page - 1 : page; }

int decoratedPageTotal(int pages, bool hasCover, bool hasTrailer) {
  return std::max(0, pages - (hasCover ? 1 : 0) - (hasTrailer ? 1 : 0));
}

namespace {

namespace fs = std::filesystem;
using platform::html::CHtmlDocument;

std::function<void()>& bodyPrintWork() {
  static std::function<void()> work;
  return work;
}
using platform::html::CHtmlElement;

// Stand-ins for the numbers inside QMPageNo and QMPageTotal, replaced page by page.
constexpr char16_t kPageNoMark = u'\uE000';
constexpr char16_t kPageTotalMark = u'\uE001';
constexpr const char* kPageNoMarkUtf8 = "\xEE\x80\x80";
constexpr const char* kPageTotalMarkUtf8 = "\xEE\x80\x81";

// The Part of the page a header string claims at least, as Internet Explorer reserves it.
constexpr double kHeaderStringHeight = 0.27;
// The body always keeps this much of the page, whatever the margins ask.
constexpr double kMinContent = 1.0;
// Pages of decorations printed at once; a longer body's decorations print in runs of this many.
constexpr int kDecorationRun = 200;
constexpr std::size_t kMaxCachedMeasures = 64;
// Jobs measured ahead whose decorations are kept for their print.
constexpr std::size_t kMaxNextDecorations = 4;

std::string utf8(std::u16string_view text) { return utf16ToUtf8(text); }

std::string inches(double value) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out.precision(6);
  out << std::fixed << value << "in";
  return out.str();
}

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
}

// A relative image source made absolute against the document's folder (as the print template
// takes each image's resolved address); sources with a scheme stay.
std::u16string resolveSource(std::u16string_view src, const std::string& folderUrl) {
  const std::size_t colon = src.find(u':');
  const std::size_t slash = src.find_first_of(u"/\\?#");
  if (src.empty() || (colon != std::u16string_view::npos && (slash == std::u16string_view::npos || colon < slash)))
    return std::u16string(src);
  if (src.starts_with(u"//")) return u"file:" + std::u16string(src);
  if (src.front() == u'/') return u"file://" + std::u16string(src);
  return utf8ToUtf16(folderUrl) + std::u16string(src);
}

// The block with the numbers' SPANs emptied into marks (only SPANs whose id is QMPageNo or
// QMPageTotal, as the print template fills them).
std::string markPageNumbers(const std::string& block) {
  if (block.find("QMPage") == std::string::npos) return block;
  std::u16string text = utf8ToUtf16(block);
  // Marks already in the text would be taken for ours.
  for (std::size_t at = 0; (at = text.find_first_of(u"\uE000\uE001", at)) != std::u16string::npos;) {
    const std::u16string entity = text[at] == kPageNoMark ? u"&#xE000;" : u"&#xE001;";
    text.replace(at, 1, entity);
    at += entity.size();
  }
  CHtmlDocument doc;
  if (FAILED(doc.loadFromString(u"<!DOCTYPE html><html><head></head><body>" + text + u"</body></html>")))
    return block;
  const CHtmlElement body = doc.body();
  if (!body) return block;
  const auto all = body.all();
  bool changed = false;
  for (long i = 0; i < all.length(); ++i) {
    CHtmlElement element = all.item(i);
    if (element.tagName() != u"SPAN") continue;
    const std::u16string id = element.getAttribute(u"id");
    if (id == u"QMPageNo") changed |= SUCCEEDED(element.setInnerHTML(std::u16string(1, kPageNoMark)));
    else if (id == u"QMPageTotal") changed |= SUCCEEDED(element.setInnerHTML(std::u16string(1, kPageTotalMark)));
  }
  return changed ? utf8(body.innerHTML()) : block;
}

std::string withNumbers(std::string block, int pageNo, int pageTotal) {
  replaceAll(block, kPageNoMarkUtf8, std::to_string(pageNo));
  replaceAll(block, kPageTotalMarkUtf8, std::to_string(pageTotal));
  return block;
}

// A background text that cannot leave its declaration: no braces, semicolons, comments, markup
// or escapes; "!important" is ours to add.
bool isSafeBackground(std::u16string_view background) {
  if (background.empty() || background.size() > 2048) return false;
  if (background.find_first_of(u"{};<>\\") != std::u16string_view::npos) return false;
  if (background.find(u"/*") != std::u16string_view::npos || background.find(u'!') != std::u16string_view::npos)
    return false;
  for (char16_t c : background)
    if (c < 0x20) return false;
  int quotes = 0;
  for (char16_t c : background)
    if (c == u'"' || c == u'\'') ++quotes;
  return quotes % 2 == 0;
}

// The print template page split where the job's parts go in: its head's start (the job's own
// base address and page size) and its pages container.
struct TemplatePage {
  fs::file_time_type modified;
  std::uintmax_t size = 0;
  std::string beforeHead;  // up to and including <head ...>
  std::string beforePages; // from there up to and including <div id="pages">
  std::string afterPages;
  std::string styles;      // the text of its STYLE elements, for measuring with the same rules
};

std::size_t findNoCase(const std::string& text, std::string_view what, std::size_t from = 0) {
  auto it = std::search(text.begin() + static_cast<std::ptrdiff_t>(std::min(from, text.size())), text.end(),
                        what.begin(), what.end(), [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
                        });
  return it == text.end() ? std::string::npos : static_cast<std::size_t>(it - text.begin());
}

// A fragment's markup split into tags and the text between them (the content of STYLE and
// SCRIPT elements counts as markup).
struct MarkupPiece {
  bool text = false;
  std::string value;
};

std::vector<MarkupPiece> splitMarkup(const std::string& html) {
  std::vector<MarkupPiece> pieces;
  std::size_t i = 0;
  while (i < html.size()) {
    if (html[i] != '<') {
      const std::size_t end = std::min(html.find('<', i), html.size());
      pieces.push_back({true, html.substr(i, end - i)});
      i = end;
      continue;
    }
    std::size_t end = i + 1;
    for (char quote = 0; end < html.size() && (quote || html[end] != '>'); ++end)
      if (html[end] == '"' || html[end] == '\'') quote = quote == html[end] ? 0 : quote ? quote : html[end];
    end = std::min(end + 1, html.size());
    std::string tag = html.substr(i, end - i);
    std::string lower(tag.size(), '\0');
    std::transform(tag.begin(), tag.end(), lower.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    for (const char* raw : {"style", "script"})
      if (lower.compare(1, std::strlen(raw), raw) == 0) {
        const std::size_t close = findNoCase(html, std::string("</") + raw, end);
        end = close == std::string::npos ? html.size() : close;
        tag = html.substr(i, end - i);
      }
    pieces.push_back({false, std::move(tag)});
    i = end;
  }
  return pieces;
}

// A text run's length in characters (an entity counts as one) and its longest word; none for
// runs outside ASCII, whose glyphs may come from fonts with other line heights.
struct RunSize {
  std::size_t length = 0, word = 0;
};

std::optional<RunSize> runSize(const std::string& text) {
  RunSize size;
  std::size_t word = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) return std::nullopt;
    if (c == '&') {
      const std::size_t semi = text.find(';', i);
      if (semi != std::string::npos && semi - i <= 10) i = semi;
    }
    ++size.length;
    word = std::isspace(c) ? 0 : word + 1;
    size.word = std::max(size.word, word);
  }
  return size;
}

bool blank(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
}

HRESULT splitTemplate(const std::string& text, TemplatePage& page) {
  const std::size_t head = findNoCase(text, "<head");
  const std::size_t headEnd = head == std::string::npos ? head : text.find('>', head);
  const std::size_t pages = findNoCase(text, "<div id=\"pages\">");
  if (headEnd == std::string::npos || pages == std::string::npos || pages < headEnd) return E_FAIL;
  const std::size_t pagesEnd = pages + std::string_view("<div id=\"pages\">").size();
  page.beforeHead = text.substr(0, headEnd + 1);
  page.beforePages = text.substr(headEnd + 1, pagesEnd - headEnd - 1);
  page.afterPages = text.substr(pagesEnd);
  page.styles.clear();
  for (std::size_t at = 0; (at = findNoCase(text, "<style", at)) != std::string::npos;) {
    const std::size_t open = text.find('>', at);
    const std::size_t close = findNoCase(text, "</style>", open);
    if (open == std::string::npos || close == std::string::npos) break;
    page.styles += text.substr(open + 1, close - open - 1);
    at = close;
  }
  return S_OK;
}

class CPrintLayout final : public IPrintLayout {
 public:
  explicit CPrintLayout(IPrintEngine& engine) : m_engine(engine) {}

  HRESULT readSettings(IDispatch* handler, LayoutRequest& request) override {
    if (!handler) return E_POINTER;
    CComDispatchDriver object(handler);
    const std::u16string name = templateNameOfAddress(request.address);
    if (!name.empty()) {
      CComVariant value(name);
      object.PutPropertyByName(u"templateName", &value);  // a refused name keeps the defaults
    }
    PageSetup& setup = request.setup;
    readInches(object, u"marginTop", setup.margins.top);
    readInches(object, u"marginBottom", setup.margins.bottom);
    readInches(object, u"marginLeft", setup.margins.left);
    readInches(object, u"marginRight", setup.margins.right);
    readText(object, u"header", setup.header);
    readText(object, u"footer", setup.footer);
    std::u16string orientation;
    if (readText(object, u"orientation", orientation)) setup.landscape = orientation == u"landscape";
    LONG selected = 0;
    if (readLong(object, u"printselection", selected)) request.range.selected = selected != 0;
    LONG from = request.range.from, to = request.range.to;
    readLong(object, u"pagefrom", from);
    readLong(object, u"pageto", to);
    request.range.from = from;
    request.range.to = to;
    return S_OK;
  }

  HRESULT writeSettings(IDispatch* handler, const PageSetup& setup) override {
    if (!handler) return E_POINTER;
    CComDispatchDriver object(handler);
    HRESULT result = S_OK;
    const auto put = [&](const char16_t* name, const CComVariant& value) {
      if (HRESULT hr = object.PutPropertyByName(name, &value); FAILED(hr)) result = hr;
    };
    const auto hundredths = [](double value) { return CComVariant(static_cast<LONG>(std::lround(value * 100.0))); };
    put(u"marginTop", hundredths(setup.margins.top));
    put(u"marginBottom", hundredths(setup.margins.bottom));
    put(u"marginLeft", hundredths(setup.margins.left));
    put(u"marginRight", hundredths(setup.margins.right));
    put(u"header", CComVariant(std::u16string_view(setup.header)));
    put(u"footer", CComVariant(std::u16string_view(setup.footer)));
    put(u"orientation", CComVariant(std::u16string_view(setup.landscape ? u"landscape" : u"portrait")));
    return result;
  }

  std::string pageStyleAhead(const LayoutRequest& request) override {
    Ahead ahead;
    return layOutAhead(request, ahead) ? pageStyle(ahead.request, ahead.width, ahead.height, ahead.margins)
                                       : std::string();
  }

  void measureAhead(const LayoutRequest& request) override {
    Ahead laid;
    if (!layOutAhead(request, laid)) return;
    const LayoutRequest& ahead = laid.request;
    const PageSetup& setup = ahead.setup;
    const double width = laid.width, height = laid.height;
    const PageMargins& asked = laid.asked;
    const Blocks& blocks = laid.blocks;
    // Its body printed as soon as it is loaded, as its print will ask if the page setup stays.
    const LayoutResult& margins = laid.margins;
    m_engine.printAhead(request.document, pageStyle(ahead, width, height, margins),
                        bodySettings(width, height, margins.bodyMargins));
    // Its one-page decoration too, with the time of now, printed as soon as the decoration view
    // is free of the job before.
    std::erase_if(m_nextDecorations, [&](const NextDecoration& next) { return next.document == request.document; });
    if (!decorates(blocks, setup)) return;
    HeaderFooterContext context{ahead.blocks.title, ahead.address, ahead.time, ahead.locale};
    if (context.time.wYear == 0) GetLocalTime(&context.time);
    const PageMargins edge = clampMargins(setup.unprintable, width, height);
    m_nextDecorations.push_back(
        {request.document, context.time,
         decorationPage(*laid.page, ahead, blocks, context, width, height, asked, edge, 1, 1, 1),
         bodySettings(width, height, {})});
    if (m_nextDecorations.size() > kMaxNextDecorations) m_nextDecorations.pop_front();
    printNextDecorationAhead();
  }

  HRESULT print(const LayoutRequest& request, LayoutResult& result) override {
    result = LayoutResult{};
    if (request.range.selected && request.range.from > request.range.to) return E_PAGE_RANGE_FROM_AFTER_TO;
    const TemplatePage* page = nullptr;
    if (HRESULT hr = loadTemplate(request.printTemplate, page); FAILED(hr)) return hr;

    const PageSetup& setup = request.setup;
    const double width = setup.landscape ? setup.paper.height : setup.paper.width;
    const double height = setup.landscape ? setup.paper.width : setup.paper.height;
    const PageMargins asked = clampMargins(setup.margins, width, height);
    const PageMargins edge = clampMargins(setup.unprintable, width, height);
    const double contentWidth = width - asked.left - asked.right;
    m_lastSetup = setup;

    HeaderFooterContext context{request.blocks.title, request.address, request.time, request.locale};
    // A decoration printed ahead for this document was made at its time.
    const auto next = std::find_if(m_nextDecorations.begin(), m_nextDecorations.end(),
                                   [&](const NextDecoration& n) { return n.document == request.document; });
    if (next != m_nextDecorations.end()) {
      if (context.time.wYear == 0 && next->started) context.time = next->time;
      m_nextDecorations.erase(m_nextDecorations.begin(), next + 1);
    }
    if (context.time.wYear == 0) GetLocalTime(&context.time);

    Blocks blocks = markBlocks(request.blocks);
    std::vector<double> heights;
    if (HRESULT hr = measure(*page, request, blocks, contentWidth, heights); FAILED(hr)) return hr;
    layOutMargins(request, heights, width, height, result);

    // The intermediate PDFs get names of their own, so prints side by side never share one: in a
    // shared folder the file system makes them, in the job's own folder a count does (no file
    // made and replaced for nothing).
    const fs::path work = request.workFolder.empty() ? request.output.parent_path() : request.workFolder;
    const std::string stem = "." + request.output.stem().string() + "-";
    const auto intermediate = [&](const char* suffix) {
      return request.workFolder.empty() ? detail::makeUniqueFile(work, stem, suffix)
                                        : work / (stem + std::to_string(++m_intermediates) + suffix);
    };
    const fs::path body = intermediate(".body.pdf");
    const fs::path decoration = intermediate(".decoration.pdf");
    // They stay in memory where the engine can keep them: no one but the overlay reads them.
    struct Cleanup {
      IPrintEngine& engine;
      fs::path a, b;
      ~Cleanup() {
        std::error_code ec;
        for (const fs::path& file : {a, b}) {
          if (file.empty()) continue;
          engine.forget(file);
          fs::remove(file, ec);
        }
      }
    } cleanup{m_engine, body, decoration};
    if (body.empty() || decoration.empty()) return E_FAIL;
    m_engine.holdInMemory(body);
    m_engine.holdInMemory(decoration);

    // Most bodies take one page: that page's decorations print beside the body's load and print,
    // and print again only when the body turns out longer.
    const bool decorated = decorates(blocks, setup);
    const PdfSettings flat = bodySettings(width, height, {});
    struct Pending {
      IPrintEngine& engine;
      bool started = false;
      HRESULT finish() { return std::exchange(started, false) ? engine.finishDecoration() : E_FAIL; }
      ~Pending() { finish(); }
    } onePage{m_engine};
    if (decorated)
      onePage.started = SUCCEEDED(m_engine.startDecorationPage(
          decorationPage(*page, request, blocks, context, width, height, asked, edge, 1, 1, 1), flat, decoration));

    if (HRESULT hr = m_engine.loadDocument(request.document, request.loadTimeoutMs); FAILED(hr)) return hr;
    if (HRESULT hr = m_engine.addStyleSheet(pageStyle(request, width, height, result)); FAILED(hr)) return hr;

    const PdfSettings settings = bodySettings(width, height, result.bodyMargins);
    if (std::function<void()> work = takeBodyPrintWork()) m_engine.postBesidePrints(std::move(work));
    if (HRESULT hr = m_engine.printBody(settings, body); FAILED(hr)) return hr;
    int pages = 0;
    if (FAILED(m_engine.pageCount(body, pages)) || pages < 1) {
      diag::error("print template", "the browser laid " + request.document.string() + " out in no pages");
      return E_FAIL;
    }
    result.laidOutPages = pages;
    result.firstPage = request.range.selected ? std::clamp(request.range.from, 1, pages) : 1;
    result.lastPage = request.range.selected ? std::clamp(request.range.to, 1, pages) : pages;

    fs::path over;
    if (decorated) {
      const bool printed = SUCCEEDED(onePage.finish()) && pages == 1;
      if (!printed) {
        // A long body's decorations print in runs of pages joined after: Chromium's time to break
        // one page of a thousand pages grows faster than their number.
        std::vector<fs::path> runs;
        struct RunFiles {
          std::vector<fs::path>& files;
          ~RunFiles() {
            std::error_code ec;
            for (const fs::path& file : files) fs::remove(file, ec);
          }
        } runFiles{runs};
        for (int from = 1; from <= pages; from += kDecorationRun) {
          const int to = std::min(pages, from + kDecorationRun - 1);
          const fs::path out = from == 1 && to == pages ? decoration : intermediate(".decoration.pdf");
          if (out.empty()) return E_FAIL;
          if (out != decoration) runs.push_back(out);
          const DecorationPage html =
              decorationPage(*page, request, blocks, context, width, height, asked, edge, from, to, pages);
          if (HRESULT hr = m_engine.printDecorationPage(html, flat, out); FAILED(hr)) return hr;
        }
        if (!runs.empty())
          if (HRESULT hr = m_engine.joinPdfs(runs, decoration); FAILED(hr)) return hr;
      }
      over = decoration;
    }
    // The next job's one-page decoration prints while this one is laid over, unless it already
    // does.
    printNextDecorationAhead();
    return m_engine.overlay(body, over, request.output, result.firstPage, result.lastPage);
  }

 private:
  void printNextDecorationAhead() {
    if (m_nextDecorations.empty()) return;
    m_nextDecorations.front().started = true;
    m_engine.printDecorationAhead(m_nextDecorations.front().page, m_nextDecorations.front().settings);
  }

  // The blocks with their page numbers marked, in measuring order.
  struct Blocks {
    std::string header, footer, coverHeader, coverFooter, trailerHeader, trailerFooter;
  };

  // A job to come laid out with the page setup of the last print, its blocks measured beside the
  // print that runs; false where that cannot be done.
  struct Ahead {
    LayoutRequest request;
    const TemplatePage* page = nullptr;
    Blocks blocks;
    double width = 0, height = 0;
    PageMargins asked;
    LayoutResult margins;
  };
  bool layOutAhead(const LayoutRequest& request, Ahead& ahead) {
    if (!m_lastSetup) return false;
    // Only a page already read: the print that runs holds it.
    const auto cached = m_templates.find(request.printTemplate);
    if (cached == m_templates.end() || cached->second.beforeHead.empty()) return false;
    ahead.request = request;
    ahead.request.setup = *m_lastSetup;
    ahead.page = &cached->second;
    const PageSetup& setup = ahead.request.setup;
    ahead.width = setup.landscape ? setup.paper.height : setup.paper.width;
    ahead.height = setup.landscape ? setup.paper.width : setup.paper.height;
    ahead.asked = clampMargins(setup.margins, ahead.width, ahead.height);
    ahead.blocks = markBlocks(ahead.request.blocks);
    std::vector<double> heights;
    if (measure(*ahead.page, ahead.request, ahead.blocks, ahead.width - ahead.asked.left - ahead.asked.right, heights,
                true) != S_OK ||
        heights.size() != 6)
      return false;
    layOutMargins(ahead.request, heights, ahead.width, ahead.height, ahead.margins);
    return true;
  }

  static Blocks markBlocks(const PrintBlocks& b) {
    if (b.numbersMarked) return {b.header, b.footer, b.coverHeader, b.coverFooter, b.trailerHeader, b.trailerFooter};
    return {markPageNumbers(b.header),        markPageNumbers(b.footer),
            markPageNumbers(b.coverHeader),   markPageNumbers(b.coverFooter),
            markPageNumbers(b.trailerHeader), markPageNumbers(b.trailerFooter)};
  }

  static bool decorates(const Blocks& b, const PageSetup& setup) {
    return !setup.header.empty() || !setup.footer.empty() || !b.header.empty() || !b.footer.empty() ||
           !b.coverHeader.empty() || !b.coverFooter.empty() || !b.trailerHeader.empty() ||
           !b.trailerFooter.empty();
  }

  // Margins that leave the body at least kMinContent each way, shrunk in proportion otherwise.
  static PageMargins clampMargins(PageMargins m, double width, double height) {
    for (double* v : {&m.top, &m.right, &m.bottom, &m.left})
      if (!(*v >= 0.0)) *v = 0.0;  // negative or not a number
    const auto fit = [](double& a, double& b, double room) {
      if (a + b <= room) return;
      const double scale = room > 0 ? room / (a + b) : 0.0;
      a *= scale;
      b *= scale;
    };
    fit(m.top, m.bottom, height - kMinContent);
    fit(m.left, m.right, width - kMinContent);
    return m;
  }

  // The body's margins and the cover's, grown where the blocks measured `heights` (header,
  // footer, cover header, cover footer, trailer header, trailer footer) do not fit.
  static void layOutMargins(const LayoutRequest& request, const std::vector<double>& heights, double width,
                            double height, LayoutResult& result) {
    const PageSetup& setup = request.setup;
    const PageMargins asked = clampMargins(setup.margins, width, height);
    const PageMargins edge = clampMargins(setup.unprintable, width, height);
    const bool cover = request.blocks.hasCover, trailer = request.blocks.hasTrailer;
    const double headMin = setup.header.empty() ? 0.0 : kHeaderStringHeight;
    const double footMin = setup.footer.empty() ? 0.0 : kHeaderStringHeight;
    // The trailer page is known only after the layout, so every page that may be the last keeps
    // room for the trailer's blocks.
    const double head = std::max({heights[0], trailer ? heights[4] : 0.0, headMin});
    const double foot = std::max({heights[1], trailer ? heights[5] : 0.0, footMin});
    const double coverHead = std::max({heights[2], trailer ? heights[4] : 0.0, headMin});
    const double coverFoot = std::max({heights[3], trailer ? heights[5] : 0.0, footMin});
    const auto grown = [&](double headHeight, double footHeight) {
      PageMargins m = asked;
      m.top = std::max(asked.top, edge.top + headHeight);
      m.bottom = std::max(asked.bottom, edge.bottom + footHeight);
      return clampMargins(m, width, height);
    };
    result.bodyMargins = grown(head, foot);
    result.coverMargins = cover ? grown(coverHead, coverFoot) : result.bodyMargins;
  }

  static PdfSettings bodySettings(double width, double height, const PageMargins& margins) {
    PdfSettings settings;
    settings.paperWidth = width;
    settings.paperHeight = height;
    settings.margins = margins;
    return settings;
  }

  static std::string pageStyle(const LayoutRequest& request, double width, double height, const LayoutResult& r) {
    const PageMargins& m = r.bodyMargins;
    std::string css = "@page{size:" + inches(width) + " " + inches(height) + " !important;margin:" + inches(m.top) +
                      " " + inches(m.right) + " " + inches(m.bottom) + " " + inches(m.left) + " !important";
    // The body's background covers the whole page, margins included, as the print template's
    // pages do.
    if (isSafeBackground(request.blocks.background))
      css += ";background:" + utf8(request.blocks.background) + " !important";
    css += "}";
    if (request.blocks.hasCover)
      css += "@page :first{margin-top:" + inches(r.coverMargins.top) + " !important;margin-bottom:" +
             inches(r.coverMargins.bottom) + " !important}";
    return css;
  }

  HRESULT loadTemplate(const fs::path& path, const TemplatePage*& page) {
    std::error_code ec;
    const auto modified = fs::last_write_time(path, ec);
    const auto size = ec ? 0 : fs::file_size(path, ec);
    if (ec) {
      diag::error("print template", "cannot read the print template page " + path.string() + ": " + ec.message());
      return E_INVALIDARG;
    }
    auto& cached = m_templates[path];
    if (cached.size != size || cached.modified != modified || cached.beforeHead.empty()) {
      std::ifstream in(path, std::ios::binary);
      std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (!in && !in.eof()) return E_FAIL;
      TemplatePage fresh;
      if (HRESULT hr = splitTemplate(text, fresh); FAILED(hr)) {
        diag::error("print template", "the print template page " + path.string() + " has no head or no pages container");
        m_templates.erase(path);
        return hr;
      }
      fresh.modified = modified;
      fresh.size = size;
      cached = std::move(fresh);
    }
    page = &cached;
    return S_OK;
  }

  // The measuring sample of a header or footer string: a date and numbers as wide as they get,
  // so that one measure serves every page and every minute.
  static std::string sample(std::u16string_view code, HeaderFooterContext context) {
    context.time = SYSTEMTIME{2000, 12, 3, 27, 23, 58, 58, 0};
    return renderHeaderFooter(code, context, 888, 888);
  }

  // Heights of the six areas: header, footer, cover header, cover footer, trailer header,
  // trailer footer; kept per template page, width and content.
  // `beside` measures beside a running print, and only where the engine can (nothing is kept
  // otherwise).
  HRESULT measure(const TemplatePage& page, const LayoutRequest& request, const Blocks& b, double width,
                  std::vector<double>& heights, bool beside = false) {
    HeaderFooterContext context{request.blocks.title, request.address, {}, request.locale};
    const std::string head = sample(request.setup.header, context);
    const std::string foot = sample(request.setup.footer, context);
    const auto numbered = [](const std::string& block) { return withNumbers(block, 888, 888); };
    std::vector<std::string> fragments = {
        head + numbered(b.header),        numbered(b.footer) + foot,
        head + numbered(b.coverHeader),   numbered(b.coverFooter) + foot,
        head + numbered(b.trailerHeader), numbered(b.trailerFooter) + foot};
    std::string key = request.printTemplate.string() + '\0' + inches(width);
    for (const auto& f : fragments) key += '\0' + f;
    if (auto it = m_measures.find(key); it != m_measures.end()) {
      heights = it->second;
      return S_OK;
    }
    // The same markup with other text (the subject, the print time) measures the same when its
    // heights held for the narrowest and for wider text of that shape: kept by shape, it serves
    // every later job whose text is no longer. Text outside ASCII may take glyphs from fonts with
    // other line heights: it stays as it is, part of the shape.
    std::string shapeKey = request.printTemplate.string() + '\0' + inches(width);
    std::vector<std::vector<MarkupPiece>> split;
    std::vector<RunSize> sizes;
    for (const auto& f : fragments) {
      split.push_back(splitMarkup(f));
      shapeKey += '\0';
      for (MarkupPiece& piece : split.back()) {
        const std::optional<RunSize> size = piece.text && !blank(piece.value) ? runSize(piece.value) : std::nullopt;
        if (!size) {
          piece.text = false;
          shapeKey += piece.value;
          continue;
        }
        shapeKey += '\x01';
        sizes.push_back(*size);
      }
    }
    // What an earlier job of the shape measured for: a longer run grows it rather than replace it,
    // so jobs of one template whose subjects take turns at being the longest stop measuring.
    const auto known = m_shapes.find(shapeKey);
    const bool hasKnown = known != m_shapes.end() && known->second.sizes.size() == sizes.size();
    if (hasKnown && std::equal(sizes.begin(), sizes.end(), known->second.sizes.begin(),
                               [](const RunSize& a, const RunSize& b) { return a.length <= b.length && a.word <= b.word; })) {
      heights = known->second.heights;
      return S_OK;
    }
    if (hasKnown)
      for (std::size_t i = 0; i < sizes.size(); ++i)
        sizes[i] = {std::max(sizes[i].length, known->second.seen[i].length),
                    std::max(sizes[i].word, known->second.seen[i].word)};
    // Each run replaced: by one narrow letter, and by wide letters in words as long as the longest
    // within a run this long, at two allowances (half as long again plus two, and just beyond the
    // text's own). The heights hold for any text of this shape within the largest allowance that
    // measured as the text did: a time of day that changes every job does, where a wider run would
    // wrap.
    const auto allowance = [](const RunSize& size, bool generous) {
      return generous ? RunSize{size.length * 3 / 2 + 2, size.word + 2} : RunSize{size.length + 2, size.word + 1};
    };
    const auto variant = [&](std::optional<bool> generous) {
      std::vector<std::string> out;
      std::size_t run = 0;
      for (const auto& pieces : split) {
        std::string f;
        for (const MarkupPiece& piece : pieces) {
          if (!piece.text) {
            f += piece.value;
            continue;
          }
          const RunSize& size = sizes[run++];
          if (!generous) {
            f += 'i';
            continue;
          }
          const RunSize room = allowance(size, *generous);
          for (std::size_t i = 0; i < room.length; ++i) f += (i + 1) % (room.word + 1) == 0 ? ' ' : 'W';
        }
        out.push_back(std::move(f));
      }
      return out;
    };
    std::vector<std::string> probes = fragments;
    const bool byShape = !sizes.empty();
    if (byShape)
      for (const std::optional<bool> tier : {std::optional<bool>(), std::optional<bool>(true), std::optional<bool>(false)})
        for (std::string& f : variant(tier)) probes.push_back(std::move(f));
    heights.assign(fragments.size(), 0.0);
    std::vector<double> all(probes.size(), 0.0);
    std::vector<std::string> asked;
    std::vector<std::size_t> index;
    for (std::size_t i = 0; i < probes.size(); ++i) {
      if (probes[i].empty()) continue;
      index.push_back(i);
      asked.push_back(probes[i]);
    }
    if (!asked.empty()) {
      // The print template's own rules, so the blocks measure as they will print.
      asked.front() = "<style>" + page.styles + "</style>" + asked.front();
      std::vector<double> measured;
      const HRESULT hr = beside ? m_engine.measureHeightsBeside(asked, width, measured)
                                : m_engine.measureHeights(asked, width, measured);
      if (FAILED(hr) || hr == S_FALSE) return hr;
      if (measured.size() != asked.size()) return E_FAIL;
      for (std::size_t i = 0; i < index.size(); ++i) all[index[i]] = std::max(0.0, measured[i]);
    }
    std::copy_n(all.begin(), fragments.size(), heights.begin());
    const std::size_t n = fragments.size();
    const auto sameAs = [&](std::size_t tier) {
      return std::equal(heights.begin(), heights.end(), all.begin() + static_cast<std::ptrdiff_t>((tier + 1) * n));
    };
    if (byShape && sameAs(0) && (sameAs(1) || sameAs(2))) {
      std::vector<RunSize> room;
      for (const RunSize& size : sizes) room.push_back(allowance(size, sameAs(1)));
      if (m_shapes.size() >= kMaxCachedMeasures) m_shapes.clear();
      m_shapes[shapeKey] = {heights, std::move(room), std::move(sizes)};
    }
    if (m_measures.size() >= kMaxCachedMeasures) m_measures.clear();
    m_measures.emplace(std::move(key), heights);
    return S_OK;
  }

  // The decorations of the body's pages from..to of its `pages`.
  static DecorationPage decorationPage(const TemplatePage& page, const LayoutRequest& request, const Blocks& b,
                                    const HeaderFooterContext& context, double width, double height,
                                    const PageMargins& margins, const PageMargins& edge, int from, int to,
                                    int pages) {
    const bool cover = request.blocks.hasCover, trailer = request.blocks.hasTrailer;
    const int total = decoratedPageTotal(pages, cover, trailer);
    std::string folderUrl = detail::fileUrlOf(fs::absolute(request.document).parent_path());
    if (folderUrl.empty() || folderUrl.back() != '/') folderUrl += '/';
    DecorationPage html;
    html.head = page.beforeHead;
    html.baseHref = detail::escapeHtml(utf8ToUtf16(folderUrl));
    html.pageStyle = "@page{size:" + inches(width) + " " + inches(height) + ";margin:0}";
    html.beforePages = page.beforePages;
    html.pagesId = "pages";
    const std::string box = "width:" + inches(width) + ";height:" + inches(height);
    const std::string area = "left:" + inches(margins.left) + ";right:auto;width:" +
                             inches(width - margins.left - margins.right);
    for (int i = from; i <= to; ++i) {
      const std::string head = renderHeaderFooter(request.setup.header, context, i, pages);
      const std::string foot = renderHeaderFooter(request.setup.footer, context, i, pages);
      const std::string* top = &b.header;
      const std::string* bottom = &b.footer;
      if (cover && i == 1) top = &b.coverHeader, bottom = &b.coverFooter;
      if (trailer && i == pages) top = &b.trailerHeader, bottom = &b.trailerFooter;
      const int number = decoratedPageNumber(i, cover);
      html.pages += "<div class=\"page\" style=\"" + box + "\"><div class=\"header\" style=\"top:" +
                    inches(edge.top) + ";" + area + "\">" + head + withNumbers(*top, number, total) +
                    "</div><div class=\"footer\" style=\"bottom:" + inches(edge.bottom) + ";" + area + "\">" +
                    withNumbers(*bottom, number, total) + foot + "</div></div>";
    }
    html.afterPages = page.afterPages;
    return html;
  }

  static bool readLong(CComDispatchDriver& object, const char16_t* name, LONG& out) {
    CComVariant value;
    if (FAILED(object.GetPropertyByName(name, &value))) return false;
    if (FAILED(VariantChangeType(&value, &value, 0, VT_I4))) return false;
    out = V_I4(&value);
    return true;
  }

  static bool readInches(CComDispatchDriver& object, const char16_t* name, double& out) {
    LONG hundredths = 0;
    if (!readLong(object, name, hundredths)) return false;
    out = hundredths / 100.0;
    return true;
  }

  static bool readText(CComDispatchDriver& object, const char16_t* name, std::u16string& out) {
    CComVariant value;
    if (FAILED(object.GetPropertyByName(name, &value))) return false;
    if (FAILED(VariantChangeType(&value, &value, 0, VT_BSTR))) return false;
    const BSTR text = V_BSTR(&value);
    out.assign(text ? text : u"", text ? SysStringLen(text) : 0);
    return true;
  }

  IPrintEngine& m_engine;
  std::map<fs::path, TemplatePage> m_templates;
  std::optional<PageSetup> m_lastSetup;  // the page setup of the last print
  // The one-page decorations of jobs measured ahead, in their order, each with the time it shows.
  struct NextDecoration {
    fs::path document;
    SYSTEMTIME time{};
    DecorationPage page;
    PdfSettings settings;
    bool started = false;  // asked of the engine
  };
  std::deque<NextDecoration> m_nextDecorations;
  std::map<std::string, std::vector<double>> m_measures;
  struct ShapeHeights {
    std::vector<double> heights;
    std::vector<RunSize> sizes;  // the longest text and word each run may hold
    std::vector<RunSize> seen;   // the longest each run has held
  };
  std::map<std::string, ShapeHeights> m_shapes;
  unsigned long m_intermediates = 0;  // intermediate PDFs named in jobs' own folders
};

}  // namespace

void duringNextBodyPrint(std::function<void()> work) { bodyPrintWork() = std::move(work); }

std::function<void()> takeBodyPrintWork() { return std::exchange(bodyPrintWork(), nullptr); }

void IPrintLayout::measureAhead(const LayoutRequest&) {}

std::string IPrintLayout::pageStyleAhead(const LayoutRequest&) { return {}; }

std::unique_ptr<IPrintLayout> makePrintLayout(IPrintEngine& engine) { return std::make_unique<CPrintLayout>(engine); }

HRESULT readPrintBlocks(const fs::path& document, PrintBlocks& blocks) {
  blocks = PrintBlocks{};
  CHtmlDocument doc;
  if (FAILED(doc.loadFromFile(document))) {
    diag::error("print template", "cannot read " + document.string());
    return E_FAIL;
  }
  std::error_code ec;
  return readPrintBlocks(doc, fs::absolute(document, ec).parent_path(), blocks);
}

HRESULT readPrintBlocks(CHtmlDocument& doc, const fs::path& imageFolder, PrintBlocks& blocks) {
  blocks = PrintBlocks{};
  std::error_code ec;
  std::string folderUrl = detail::fileUrlOf(fs::absolute(imageFolder, ec));
  if (folderUrl.empty() || folderUrl.back() != '/') folderUrl += '/';
  // The first element of each id, in document order.
  std::map<std::u16string, CHtmlElement> byId;
  const auto all = doc.all();
  for (long i = 0; i < all.length(); ++i) {
    CHtmlElement element = all.item(i);
    const std::u16string id = element.getAttribute(u"id");
    if (id.starts_with(u"QM")) byId.emplace(id, element);
    if (blocks.title.empty() && element.tagName() == u"TITLE") blocks.title = element.innerText();
  }
  // Page numbers are marked in the tree, unless a block already holds a mark character of its own
  // (then the layout marks its text, escaping those first).
  bool markInTree = true;
  for (const char16_t* id : {u"QMHeader", u"QMFooter", u"QMCoverHeader", u"QMCoverFooter", u"QMTrailerHeader",
                             u"QMTrailerFooter"}) {
    auto it = byId.find(id);
    if (it != byId.end() && it->second.innerHTML().find_first_of(u"\uE000\uE001") != std::u16string::npos)
      markInTree = false;
  }
  const auto take = [&](const char16_t* id, std::string& out) {
    auto it = byId.find(id);
    if (it == byId.end()) return;
    const auto inside = it->second.all();
    for (long i = 0; i < inside.length(); ++i) {
      CHtmlElement element = inside.item(i);
      const std::u16string tag = element.tagName();
      if (tag == u"IMG" && element.hasAttribute(u"src")) {
        element.setAttribute(u"src", resolveSource(element.getAttribute(u"src"), folderUrl));
      } else if (markInTree && tag == u"SPAN") {
        const std::u16string spanId = element.getAttribute(u"id");
        if (spanId == u"QMPageNo") element.setInnerText(std::u16string(1, kPageNoMark));
        else if (spanId == u"QMPageTotal") element.setInnerText(std::u16string(1, kPageTotalMark));
      }
    }
    out = utf16ToUtf8(it->second.innerHTML());
  };
  take(u"QMHeader", blocks.header);
  take(u"QMFooter", blocks.footer);
  take(u"QMCoverHeader", blocks.coverHeader);
  take(u"QMCoverFooter", blocks.coverFooter);
  take(u"QMTrailerHeader", blocks.trailerHeader);
  take(u"QMTrailerFooter", blocks.trailerFooter);
  blocks.numbersMarked = markInTree;
  blocks.hasCover = byId.count(u"QMCoverEndPage") > 0;
  blocks.hasTrailer = byId.count(u"QMTrailerEndPage") > 0;
  if (const CHtmlElement body = doc.body()) blocks.background = body.styleBackground();
  return S_OK;
}

}  // namespace platform::browser
