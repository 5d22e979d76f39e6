#include "foundation/HtmlText.h"

#include <tidy/tidy.h>
#include <tidy/tidybuffio.h>

#include "foundation/Log.h"
#include "foundation/Utils.h"

namespace NUtils {
namespace {

// Owns one Tidy document and its two buffers, freed on every path.
class TidySession {
 public:
  TidySession() : m_doc(tidyCreate()) {
    tidyBufInit(&m_output);
    tidyBufInit(&m_errors);
  }
  ~TidySession() {
    tidyBufFree(&m_output);
    tidyBufFree(&m_errors);
    tidyRelease(m_doc);
  }
  TidySession(const TidySession&) = delete;
  TidySession& operator=(const TidySession&) = delete;

  // Runs the repair; the answer is Tidy's status (0 clean, 1 warnings, 2 errors) or negative.
  int run(const std::string& input) {
    int rc = tidyOptSetValue(m_doc, TidyCharEncoding, "utf8") ? 0 : -1;
    if (rc >= 0) rc = tidySetErrorBuffer(m_doc, &m_errors);
    if (rc >= 0) rc = tidyParseString(m_doc, input.c_str());
    if (rc >= 0) rc = tidyCleanAndRepair(m_doc);
    if (rc >= 0) rc = tidyRunDiagnostics(m_doc);
    if (rc > 1) rc = tidyOptSetBool(m_doc, TidyForceOutput, yes) ? rc : -1;
    if (rc >= 0) rc = tidySaveBuffer(m_doc, &m_output);
    return rc;
  }

  // Tidy's buffers are not terminated: both are read by their length.
  static std::string text(const TidyBuffer& buffer) {
    return buffer.bp ? std::string(reinterpret_cast<const char*>(buffer.bp), buffer.size) : std::string();
  }
  std::string output() const { return text(m_output); }
  std::string diagnostics() const { return text(m_errors); }

 private:
  TidyDoc m_doc;
  TidyBuffer m_output;
  TidyBuffer m_errors;
};

void appendEscaped(std::u16string& out, std::u16string_view text) {
  for (const char16_t c : text) {
    switch (c) {
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'"': out += u"&quot;"; break;
      default: out += c;
    }
  }
}

}  // namespace

void tidyHTML(std::u16string& text) {
  try {
    std::string input;
    if (!WideToMultiByte(text, input)) return;
    TidySession tidy;
    const int rc = tidy.run(input);
    if (rc < 0) {
      LOG_ERROR(u"HTMLTidy: A severe error (%d) occurred.", rc);
      return;
    }
    if (rc > 0) LOG_DEBUG(u"HTMLTidy: Diagnostics: %S", tidy.diagnostics().c_str());
    quilstring cleaned;
    if (!MultiByteToWide(tidy.output(), cleaned)) {
      LOG_ERROR(u"HTMLTidy: Failed to convert Multibyte to Wide");
      return;
    }
    text.swap(cleaned);
  } catch (...) {
    LOG_ERROR(u"Exception caught in tidyHTML");
  }
}

void plainTextToHTML(std::u16string& text, bool noBreaks) {
  try {
    if (text.empty()) return;
    std::u16string html;
    html.reserve(text.size() + text.size() / 8);
    std::size_t start = 0;
    while (start < text.size()) {
      const std::size_t feed = text.find(u'\n', start);
      std::size_t end = feed == std::u16string::npos ? text.size() : feed;
      if (end > start && text[end - 1] == u'\r') --end;
      if (start > 0) html += noBreaks ? u" " : u"<BR>";
      appendEscaped(html, std::u16string_view(text).substr(start, end - start));
      if (feed == std::u16string::npos) break;
      start = feed + 1;
    }
    text.swap(html);
  } catch (...) {
    LOG_ERROR(u"Exception caught in plainTextToHTML");
  }
}

void spacesToNbsp(std::u16string& text) {
  try {
    if (text.find(u"  ") == std::u16string::npos) return;
    std::u16string out;
    out.reserve(text.size() * 2);
    std::size_t run = 0;
    for (const char16_t c : text) {
      if (c != u' ') {
        run = 0;
        out += c;
      } else {
        out += (run++ % 2 == 0) ? u" " : u"&nbsp;";
      }
    }
    text.swap(out);
  } catch (...) {
  }
}

}  // namespace NUtils
