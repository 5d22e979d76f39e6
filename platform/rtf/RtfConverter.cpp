// True RTF to HTML: the common subset a message body uses. Text, font names and colours come
// from the message, so everything that reaches the HTML is escaped or rebuilt from numbers.
#include "platform/rtf/Rtf.h"

#include <algorithm>
#include <cstdio>

#include "platform/rtf/RtfReader.h"

namespace platform::rtf {
namespace detail {
namespace {

constexpr std::size_t kMaxFontFamily = 64;
constexpr int kDefaultFontSize = 24;  // half points

void appendAscii(std::u16string& out, std::string_view s) { out.append(s.begin(), s.end()); }

void appendEscaped(std::u16string& out, std::u16string_view text) {
  for (char16_t c : text) {
    switch (c) {
      case u'&': appendAscii(out, "&amp;"); break;
      case u'<': appendAscii(out, "&lt;"); break;
      case u'>': appendAscii(out, "&gt;"); break;
      case u'"': appendAscii(out, "&quot;"); break;
      case u'\'': appendAscii(out, "&#39;"); break;
      case u'\0': break;
      default: out.push_back(c);
    }
  }
}

// A font name fit for a quoted CSS family inside an attribute: letters, digits and a few
// separators only, so no name can close the quote, the declaration or the attribute.
std::u16string cssFontFamily(std::u16string_view name) {
  std::u16string out;
  for (char16_t c : name) {
    const bool ascii = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                       c == u' ' || c == u'-' || c == u'_' || c == u'.';
    const bool other = c >= 0xA0 && c != 0xFEFF && c != 0xFFFD && !(c >= 0x2028 && c <= 0x202E);
    if (ascii || other) out.push_back(c);
    if (out.size() >= kMaxFontFamily) break;
  }
  while (!out.empty() && out.back() == u' ') out.pop_back();
  while (!out.empty() && out.front() == u' ') out.erase(out.begin());
  return out;
}

void appendColor(std::u16string& out, const Color& c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c.red, c.green, c.blue);
  appendAscii(out, buf);
}

bool isUnderlineWord(std::string_view w) {
  static constexpr std::string_view kWords[] = {
      "ul", "uld", "uldash", "uldashd", "uldashdd", "uldb", "ulhwave", "ulldash", "ulth", "ulthd",
      "ulthdash", "ulthdashd", "ulthdashdd", "ulthldash", "ululdbwave", "ulw", "ulwave"};
  return std::find(std::begin(kWords), std::end(kWords), w) != std::end(kWords);
}

class Converter : public RtfReader {
 public:
  using RtfReader::RtfReader;

  std::u16string finish() {
    if (!m_paragraph.empty()) endParagraph();
    std::u16string doc;
    appendAscii(doc, "<html>\r\n<head>\r\n</head>\r\n<body");
    if (const Font* f = font(defaultFont())) {
      const std::u16string family = cssFontFamily(f->name);
      if (!family.empty()) {
        appendAscii(doc, " style=\"font-family:'");
        doc += family;
        appendAscii(doc, "'\"");
      }
    }
    appendAscii(doc, ">\r\n");
    doc += m_body;
    appendAscii(doc, "</body>\r\n</html>\r\n");
    return doc;
  }

 protected:
  bool textWanted() const override { return state().destination == Destination::Body; }

  void beforeChange() override {
    if (m_text.empty()) return;
    const std::u16string style = runStyle();
    if (style.empty()) {
      appendEscaped(m_paragraph, m_text);
    } else {
      appendAscii(m_paragraph, "<span style=\"");
      m_paragraph += style;
      appendAscii(m_paragraph, "\">");
      appendEscaped(m_paragraph, m_text);
      appendAscii(m_paragraph, "</span>");
    }
    m_text.clear();
  }

  void onControl(const Token& t) override {
    if (t.kind != Token::Kind::Word) return;
    GroupState& s = state();
    const std::string_view w = t.text;
    const bool on = !t.hasParam || t.param != 0;
    if (w == "par" || w == "sect" || w == "page" || w == "row") {
      if (textWanted()) endParagraph();
    } else if (w == "line") {
      if (textWanted()) appendAscii(m_paragraph, "<br>");
    } else if (w == "cell") {
      if (textWanted()) appendText(u'\t');
    } else if (w == "b") {
      s.bold = on;
    } else if (w == "i") {
      s.italic = on;
    } else if (w == "strike" || w == "striked") {
      s.strike = on;
    } else if (isUnderlineWord(w)) {
      s.underline = on;
    } else if (w == "ulnone") {
      s.underline = false;
    } else if (w == "plain") {
      s.bold = s.italic = s.underline = s.strike = false;
      s.fontSize = 0;
      s.color = s.highlight = 0;
      s.font = -1;
    } else if (w == "fs") {
      s.fontSize = t.hasParam ? std::clamp(t.param, 1, 3276) : kDefaultFontSize;
    } else if (w == "cf") {
      s.color = t.param;
    } else if (w == "highlight" || w == "cb" || w == "chcbpat") {
      s.highlight = t.param;
    } else if (w == "pard") {
      s.align = 'l';
    } else if (w == "ql" || w == "qc" || w == "qr" || w == "qj") {
      s.align = w[1];
    }
  }

 private:
  std::u16string runStyle() const {
    const GroupState& s = state();
    std::u16string style;
    if (s.bold) appendAscii(style, "font-weight:bold;");
    if (s.italic) appendAscii(style, "font-style:italic;");
    if (s.underline && s.strike) appendAscii(style, "text-decoration:underline line-through;");
    else if (s.underline) appendAscii(style, "text-decoration:underline;");
    else if (s.strike) appendAscii(style, "text-decoration:line-through;");
    if (s.font >= 0 && s.font != defaultFont()) {
      if (const Font* f = font(s.font)) {
        const std::u16string family = cssFontFamily(f->name);
        if (!family.empty()) {
          appendAscii(style, "font-family:'");
          style += family;
          appendAscii(style, "';");
        }
      }
    }
    if (s.fontSize > 0 && s.fontSize != kDefaultFontSize) {
      appendAscii(style, "font-size:" + std::to_string(s.fontSize / 2) + (s.fontSize % 2 ? ".5" : "") + "pt;");
    }
    if (const Color* c = color(s.color); c && !c->automatic && s.color > 0) {
      appendAscii(style, "color:");
      appendColor(style, *c);
      style.push_back(u';');
    }
    if (const Color* c = color(s.highlight); c && !c->automatic && s.highlight > 0) {
      appendAscii(style, "background-color:");
      appendColor(style, *c);
      style.push_back(u';');
    }
    return style;
  }

  void endParagraph() {
    appendAscii(m_body, "<p style=\"margin:0;white-space:pre-wrap");
    switch (state().align) {
      case 'c': appendAscii(m_body, ";text-align:center"); break;
      case 'r': appendAscii(m_body, ";text-align:right"); break;
      case 'j': appendAscii(m_body, ";text-align:justify"); break;
      default: break;
    }
    appendAscii(m_body, "\">");
    if (m_paragraph.empty()) appendAscii(m_body, "<br>");
    m_body += m_paragraph;
    appendAscii(m_body, "</p>\r\n");
    m_paragraph.clear();
  }

  std::u16string m_paragraph;
  std::u16string m_body;
};

}  // namespace
}  // namespace detail

std::optional<std::u16string> htmlFromTrueRtf(std::string_view rtf) {
  detail::Converter converter(rtf);
  if (!converter.run()) return std::nullopt;
  return converter.finish();
}

}  // namespace platform::rtf
