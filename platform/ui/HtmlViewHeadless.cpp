// The headless HTML view: the off-screen document stands in for the page, and a test highlights
// by text what a user would highlight with the mouse.

#include "platform/ui/HtmlView.h"

#include <vector>

#include "platform/com/HResult.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"

namespace platform::ui {

using platform::html::CHtmlElement;

struct CHeadlessHtmlView::Impl {
  platform::html::CHtmlDocument document;
  std::filesystem::path baseFolder;
  std::function<void()> onComplete;
  ContextMenuHandler onContextMenu;
  KeyHandler onKey;
  double zoom = 1.0;
  std::vector<CHtmlElement> selection;  // the highlighted elements, in document order
};

namespace {

// The innermost element of the body, from `start` on in document order, whose text holds `text`.
long innermostHolding(const platform::html::CHtmlElementCollection& all, long start, std::u16string_view text) {
  for (long i = start; i < all.length(); ++i) {
    const CHtmlElement candidate = all.item(i);
    if (candidate.innerText().find(text) == std::u16string::npos) continue;
    // Its descendants follow it in document order; when one of them holds the text too, the
    // loop reaches that deeper one next.
    bool deeper = false;
    for (long j = i + 1; j < all.length() && !deeper; ++j) {
      const CHtmlElement e = all.item(j);
      bool inside = false;
      for (CHtmlElement p = e.parentElement(); p && !inside; p = p.parentElement()) inside = p == candidate;
      if (!inside) break;
      deeper = e.innerText().find(text) != std::u16string::npos;
    }
    if (!deeper) return i;
  }
  return -1;
}

std::vector<CHtmlElement> ancestry(CHtmlElement e) {
  std::vector<CHtmlElement> chain;  // the element first, the root last
  for (; e; e = e.parentElement()) chain.push_back(e);
  return chain;
}

}  // namespace

CHeadlessHtmlView::CHeadlessHtmlView() : m_impl(std::make_unique<Impl>()) {}
CHeadlessHtmlView::~CHeadlessHtmlView() = default;

void CHeadlessHtmlView::loadHtml(const std::string& utf8Html, const std::filesystem::path& baseFolder) {
  m_impl->selection.clear();
  m_impl->baseFolder = baseFolder;
  if (FAILED(m_impl->document.loadFromString(platform::system::utf8ToUtf16(utf8Html)))) {
    platform::diag::error("CHeadlessHtmlView::loadHtml", "the document could not be parsed");
    return;
  }
  if (m_impl->onComplete) m_impl->onComplete();
}

void CHeadlessHtmlView::setDocumentCompleteHandler(std::function<void()> handler) {
  m_impl->onComplete = std::move(handler);
}
void CHeadlessHtmlView::setZoom(double factor) { m_impl->zoom = factor; }
double CHeadlessHtmlView::zoom() const { return m_impl->zoom; }
void CHeadlessHtmlView::setContextMenuHandler(ContextMenuHandler handler) { m_impl->onContextMenu = std::move(handler); }
void CHeadlessHtmlView::setKeyHandler(KeyHandler handler) { m_impl->onKey = std::move(handler); }

void CHeadlessHtmlView::selectionHtml(SelectionHandler handler) {
  if (!handler) return;
  std::u16string html;
  for (const CHtmlElement& e : m_impl->selection)
    if (e.isInDocument()) html += e.outerHTML();
  handler(true, platform::system::utf16ToUtf8(html));
}

bool CHeadlessHtmlView::selectText(std::u16string_view fromText, std::u16string_view toText) {
  m_impl->selection.clear();
  const CHtmlElement body = m_impl->document.body();
  if (!body || fromText.empty() || toText.empty()) return false;
  const auto all = body.all();
  const long from = innermostHolding(all, 0, fromText);
  if (from < 0) return false;
  const long to = innermostHolding(all, from, toText);
  if (to < 0) return false;

  // As a range from one element to another reads: the children of their nearest common
  // ancestor from the one holding the start to the one holding the end.
  const auto first = ancestry(all.item(from));
  const auto last = ancestry(all.item(to));
  std::size_t i = first.size(), j = last.size();
  while (i > 0 && j > 0 && first[i - 1] == last[j - 1]) --i, --j;
  if (i == 0 || j == 0) {  // one holds the other: the selection is the outer one
    m_impl->selection.push_back(i == 0 ? first.front() : last.front());
    return true;
  }
  const CHtmlElement common = first[i];
  const CHtmlElement start = first[i - 1], end = last[j - 1];
  bool inside = false;
  const auto descendants = common.all();
  for (long k = 0; k < descendants.length(); ++k) {
    CHtmlElement e = descendants.item(k);
    if (!(e.parentElement() == common)) continue;
    if (e == start) inside = true;
    if (inside) m_impl->selection.push_back(e);
    if (e == end) break;
  }
  return true;
}

void CHeadlessHtmlView::clearSelection() { m_impl->selection.clear(); }

void CHeadlessHtmlView::rightClick(int screenX, int screenY) {
  platform::diag::guarded("CHeadlessHtmlView::rightClick", [&] {
    if (m_impl->onContextMenu) m_impl->onContextMenu(screenX, screenY);
  });
}

bool CHeadlessHtmlView::pressKey(unsigned virtualKey) {
  return platform::diag::guarded("CHeadlessHtmlView::pressKey", false,
                                 [&] { return m_impl->onKey && m_impl->onKey(virtualKey); });
}

const platform::html::CHtmlDocument& CHeadlessHtmlView::document() const { return m_impl->document; }
const std::filesystem::path& CHeadlessHtmlView::baseFolder() const { return m_impl->baseFolder; }

std::unique_ptr<CHeadlessHtmlView> makeHeadlessHtmlView() { return std::make_unique<CHeadlessHtmlView>(); }

}  // namespace platform::ui
