#include "foundation/Thread.h"

#include <algorithm>

#include "foundation/AddinGlobals.h"
#include "foundation/Log.h"
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

// Where each element's text starts within the body's text. Elements come in document order, so
// an element's text lies after the text of every element that came before and is not one of
// its ancestors; its own text is looked up from there.
class TextStarts {
 public:
  explicit TextStarts(std::u16string bodyText) : m_body(std::move(bodyText)) {}

  std::size_t startOf(const platform::html::CHtmlElement& element, const std::u16string& text) {
    const platform::html::CHtmlElement parent = element.parentElement();
    while (!m_open.empty() && !(m_open.back().element == parent)) {
      m_floor = std::max(m_floor, m_open.back().end);
      m_open.pop_back();
    }
    std::size_t start = m_body.find(text, m_floor);
    if (start == std::u16string::npos) start = m_floor;
    m_open.push_back({element, text.empty() ? start : start + text.size()});
    return start;
  }

 private:
  struct Open {
    platform::html::CHtmlElement element;
    std::size_t end;
  };
  std::u16string m_body;
  std::vector<Open> m_open;  // the ancestors of the element being placed, outermost first
  std::size_t m_floor = 0;
};

}  // namespace

bool convertTextToThread(std::u16string& text, int responses, const std::u16string& prefixChars,
                         const std::vector<quilstring>& headers) {
  try {
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
  } catch (...) {
    LOG_ERROR(u"Exception caught in convertTextToThread");
    return false;
  }
}

bool convertTextToThread(std::u16string& text, int responses) {
  try {
    return convertTextToThread(text, responses, threadPrefixChars(), threadHeaderTexts());
  } catch (...) {
    LOG_ERROR(u"Exception caught in convertTextToThread");
    return false;
  }
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
  try {
    LOG_DEBUG(u" >> NUtils::changeBodyToThread");
    const platform::html::CHtmlElement body = document.body();
    if (body) {
      std::u16string bodyText = body.innerText();
      toUpper(bodyText);
      TextStarts starts(std::move(bodyText));
      const platform::html::CHtmlElementCollection all = body.all();
      platform::html::CHtmlElement cut;
      long remaining = std::max(responses, 0);
      std::size_t lastStart = 0;
      for (long i = 0; i < all.length(); ++i) {
        const platform::html::CHtmlElement element = all.item(i);
        std::u16string text = element.innerText();
        toUpper(text);
        const std::size_t start = starts.startOf(element, text);
        if (text.empty() || (cut && start <= lastStart) || !beginsWithMatch(text, prefixChars, matches)) continue;
        cut = element;
        lastStart = start;
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
  } catch (...) {
    LOG_ERROR(u"Exception caught in changeBodyToThread");
  }
}

void changeBodyToThread(platform::html::CHtmlDocument document, int responses) {
  try {
    changeBodyToThread(std::move(document), responses, threadPrefixChars(), threadTextMatches());
  } catch (...) {
    LOG_ERROR(u"Exception caught in changeBodyToThread");
  }
}

quilstring threadPrefixChars() { return quilstring(); }

std::vector<quilstring> threadTextMatches() {
  quilstring from;
  if (!from.LoadString(NGlobals::moduleInstance(), IDS_THREAD_HEADER_FROM) || from.empty()) return {};
  toUpper(from);
  return {from};
}

}  // namespace NUtils
