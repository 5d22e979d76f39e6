#include "foundation/Thread.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <string_view>
#include <utility>

#include "foundation/AddinGlobals.h"
#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "foundation/Utils.h"
#include "platform/com/HResult.h"
#include "platform/html/HtmlDocument.h"
#include "resources/resource.h"

namespace NUtils {
namespace {

// The first position in [start, end) holding no prefix character; end when there is none.
std::size_t skipPrefix(const std::u16string& text, std::size_t start, std::size_t end, const std::u16string& prefixChars) {
  while (start < end && prefixChars.find(text[start]) != std::u16string::npos) ++start;
  return start;
}

bool isHeaderAt(const std::u16string& text, std::size_t pos, std::size_t end, const quilstring& header) {
  return !header.empty() && header.size() <= end - pos && text.compare(pos, header.size(), header) == 0;
}

bool beginsWithMatch(const std::u16string& text, const std::u16string& prefixChars, const std::vector<quilstring>& matches) {
  const std::size_t pos = skipPrefix(text, 0, text.size(), prefixChars);
  if (pos >= text.size()) return false;
  for (const quilstring& match : matches) {
    if (isHeaderAt(text, pos, text.size(), match)) return true;
  }
  return false;
}

bool isBlankChar(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == 0xA0; }

// Whether a shown text holds nothing but blanks and prefix characters.
bool showsOnlyPrefix(std::u16string text, const std::u16string& prefixChars) {
  toUpper(text);
  return std::all_of(text.begin(), text.end(),
                     [&](char16_t c) { return isBlankChar(c) || prefixChars.find(c) != std::u16string::npos; });
}

// The text that a run of serialised character data shows: the serialiser writes only these
// references. Anything else is taken as text that shows.
std::optional<std::u16string> decodeCharacterData(std::u16string_view markup) {
  static constexpr std::pair<std::u16string_view, char16_t> kReferences[] = {
      {u"&amp;", u'&'}, {u"&lt;", u'<'}, {u"&gt;", u'>'}, {u"&quot;", u'"'}, {u"&nbsp;", char16_t(0xA0)}};
  std::u16string text;
  for (std::size_t i = 0; i < markup.size();) {
    if (markup[i] != u'&') {
      text += markup[i++];
      continue;
    }
    const auto known = std::find_if(std::begin(kReferences), std::end(kReferences),
                                    [&](const auto& r) { return markup.substr(i, r.first.size()) == r.first; });
    if (known == std::end(kReferences)) return std::nullopt;
    text += known->second;
    i += known->first.size();
  }
  return text;
}

// Whether `child`, an element child of `parent`, begins what `parent` shows: only blanks, prefix
// characters, comments and elements that show nothing stand before it. Read from the parent's
// markup, where character data never holds a "<" of its own.
bool beginsItsParent(const platform::html::CHtmlElement& parent, const platform::html::CHtmlElement& child,
                     const std::u16string& prefixChars) {
  std::vector<platform::html::CHtmlElement> before;
  const platform::html::CHtmlElementCollection all = parent.all();
  for (long i = 0; i < all.length(); ++i) {
    const platform::html::CHtmlElement sibling = all.item(i);
    if (!(sibling.parentElement() == parent)) continue;
    if (sibling == child) break;
    // An element before it that shows text settles it without reading the markup.
    if (!showsOnlyPrefix(sibling.innerText(), prefixChars)) return false;
    before.push_back(sibling);
  }
  before.push_back(child);
  const std::u16string markup = parent.innerHTML();
  std::size_t at = 0;
  for (const platform::html::CHtmlElement& sibling : before) {
    for (;;) {
      const std::size_t tag = markup.find(u'<', at);
      if (tag == std::u16string::npos) return false;
      const auto text = decodeCharacterData(std::u16string_view(markup).substr(at, tag - at));
      if (!text || !showsOnlyPrefix(*text, prefixChars)) return false;
      if (markup.compare(tag, 4, u"<!--") != 0) {
        at = tag;
        break;
      }
      const std::size_t close = markup.find(u"-->", tag + 4);
      if (close == std::u16string::npos) return false;
      at = close + 3;
    }
    if (sibling == child) return true;
    const std::u16string outer = sibling.outerHTML();
    if (markup.compare(at, outer.size(), outer) != 0) return false;
    at += outer.size();
  }
  return false;
}

// The header element counted last, with those of its descendants known to begin where it
// begins: such a descendant repeats the header's text and is not the next header.
class CountedHeader {
 public:
  void set(const platform::html::CHtmlElement& header) { m_sameStart.assign(1, header); }

  bool isRepeatedBy(const platform::html::CHtmlElement& element, const std::u16string& prefixChars) {
    if (m_sameStart.empty()) return false;
    std::vector<platform::html::CHtmlElement> path{element};
    platform::html::CHtmlElement known = element.parentElement();
    while (std::find(m_sameStart.begin(), m_sameStart.end(), known) == m_sameStart.end()) {
      if (!known) return false;  // not inside the header
      path.push_back(known);
      known = known.parentElement();
    }
    for (auto step = path.rbegin(); step != path.rend(); ++step) {
      if (!beginsItsParent(known, *step, prefixChars)) return false;
      m_sameStart.push_back(*step);
      known = *step;
    }
    return true;
  }

 private:
  std::vector<platform::html::CHtmlElement> m_sameStart;
};

}  // namespace

bool convertTextToThread(std::u16string& text, int responses, const std::u16string& prefixChars,
                         const std::vector<quilstring>& headers) {
  return guarded(u"convertTextToThread", false, [&] {
    const long long stop = static_cast<long long>(std::max(responses, 0)) + 1;
    long long found = 0;
    std::u16string result;
    result.reserve(text.size() + text.size() / 16);
    std::size_t start = 0;
    while (start < text.size()) {
      const std::size_t feed = text.find(u'\n', start);
      std::size_t end = feed == std::u16string::npos ? text.size() : feed;
      if (end > start && text[end - 1] == u'\r') --end;
      const std::size_t pos = skipPrefix(text, start, end, prefixChars);
      if (pos < end) {
        for (const quilstring& header : headers) {
          if (isHeaderAt(text, pos, end, header)) ++found;
        }
      }
      if (found >= stop) break;
      if (!result.empty()) result += u"\r\n";
      result.append(text, start, end - start);
      if (feed == std::u16string::npos) break;
      start = feed + 1;
    }
    text.swap(result);
    return true;
  });
}

bool convertTextToThread(std::u16string& text, int responses) {
  return guarded(u"convertTextToThread", false, [&] {
    return convertTextToThread(text, responses, threadPrefixChars(), threadHeaderTexts());
  });
}

const std::vector<quilstring>& threadHeaderTexts() {
  static const std::vector<quilstring> headers = [] {
    quilstring from;
    if (!from.LoadString(NGlobals::moduleInstance(), IDS_THREAD_HEADER_FROM) || from.empty()) return std::vector<quilstring>();
    return std::vector<quilstring>{quilstring(from + u":"), quilstring(from + u" :")};
  }();
  return headers;
}

void changeBodyToThread(platform::html::CHtmlDocument document, int responses, const std::u16string& prefixChars,
                        const std::vector<quilstring>& matches) {
  guarded(u"changeBodyToThread", [&] {
    LOG_DEBUG(u" >> NUtils::changeBodyToThread");
    const platform::html::CHtmlElement body = document.body();
    if (body) {
      const platform::html::CHtmlElementCollection all = body.all();
      platform::html::CHtmlElement cut;
      CountedHeader header;
      long remaining = std::max(responses, 0);
      for (long i = 0; i < all.length(); ++i) {
        const platform::html::CHtmlElement element = all.item(i);
        std::u16string text = element.innerText();
        toUpper(text);
        if (text.empty() || !beginsWithMatch(text, prefixChars, matches) || header.isRepeatedBy(element, prefixChars))
          continue;
        header.set(element);
        cut = element;
        if (--remaining < 0) {
          LOG_DEBUG(u"Found Element. Finished");
          break;
        }
      }
      if (remaining >= 0) {
        LOG_DEBUG(u"Could not find requested responses. Selecting all ");
      } else if (FAILED(document.truncateBodyFrom(cut))) {
        LOG_ERROR(u"Exception caught in changeBodyToThread");
      }
    }
    LOG_DEBUG(u" << NUtils::changeBodyToThread");
  });
}

void changeBodyToThread(platform::html::CHtmlDocument document, int responses) {
  guarded(u"changeBodyToThread", [&] {
    changeBodyToThread(std::move(document), responses, threadPrefixChars(), threadTextMatches());
  });
}

quilstring threadPrefixChars() { return CSettings::instance().getThreadPrefixChars(); }

std::vector<quilstring> threadTextMatches() { return CSettings::instance().getThreadTextMatches(); }

}  // namespace NUtils
