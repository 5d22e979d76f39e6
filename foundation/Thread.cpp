#include "foundation/Thread.h"

#include <algorithm>

#include "foundation/AddinGlobals.h"
#include "foundation/Log.h"
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

quilstring threadPrefixChars() { return quilstring(); }

}  // namespace NUtils
