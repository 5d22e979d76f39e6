// The kind of an RTF document, and the HTML an RTF body encapsulates.
#include "platform/rtf/Rtf.h"

#include "platform/rtf/RtfReader.h"

namespace platform::rtf {
namespace detail {
namespace {

// Copies what the original HTML left: the content of \*\htmltag groups, and text outside them
// that \htmlrtf does not mark as added by the conversion to RTF.
class Deencapsulator : public RtfReader {
 public:
  using RtfReader::RtfReader;

  bool sawHtmlTag() const { return m_sawHtmlTag; }
  std::u16string take() { return std::move(m_text); }

 protected:
  bool textWanted() const override {
    const GroupState& s = state();
    return s.destination == Destination::HtmlTag || (s.destination == Destination::Body && !s.htmlrtf);
  }

  // Tag content was written in the document's code page; text between tags in its font's.
  UINT textCodePage() const override {
    return state().destination == Destination::HtmlTag ? ansiCodePage() : fontCodePage();
  }

  Destination starredDestination(std::string_view word) override {
    if (word != "htmltag") return Destination::Skip;
    m_sawHtmlTag = true;
    return Destination::HtmlTag;
  }

  void onControl(const Token& t) override {
    if (t.kind != Token::Kind::Word) return;
    if (t.text == "htmlrtf") {
      state().htmlrtf = !t.hasParam || t.param != 0;
    } else if (t.text == "par" || t.text == "line") {
      if (textWanted()) {
        appendText(u'\r');
        appendText(u'\n');
      }
    }
  }

 private:
  bool m_sawHtmlTag = false;
};

}  // namespace
}  // namespace detail

RtfKind rtfKind(std::string_view rtf) {
  detail::Tokenizer tokens(rtf);
  std::size_t i = 0;
  while (i < rtf.size() && (rtf[i] == ' ' || rtf[i] == '\t' || rtf[i] == '\r' || rtf[i] == '\n')) ++i;
  if (rtf.substr(i, 5) != "{\\rtf") return RtfKind::NotRtf;
  // The marker stands in the header, before the first group or text of the document.
  using Kind = detail::Token::Kind;
  int depth = 0;
  for (int seen = 0; seen < 64; ++seen) {
    const detail::Token t = tokens.next();
    if (t.kind == Kind::GroupStart) {
      if (++depth > 1) break;
    } else if (t.kind == Kind::Word && depth == 1) {
      if (t.text == "fromhtml" && (!t.hasParam || t.param != 0)) return RtfKind::FromHtml;
      if (t.text == "fromtext") return RtfKind::FromText;
    } else if (t.kind != Kind::Word) {
      break;
    }
  }
  return RtfKind::Rtf;
}

std::optional<std::u16string> deencapsulateHtml(std::string_view rtf) {
  if (rtfKind(rtf) != RtfKind::FromHtml) return std::nullopt;
  detail::Deencapsulator reader(rtf);
  if (!reader.run() || !reader.sawHtmlTag()) return std::nullopt;
  return reader.take();
}

std::optional<RtfHtml> htmlFromRtf(std::string_view rtf) {
  const RtfKind kind = rtfKind(rtf);
  if (kind == RtfKind::NotRtf) return std::nullopt;
  std::optional<std::u16string> html;
  if (kind == RtfKind::FromHtml) html = deencapsulateHtml(rtf);
  if (!html) html = htmlFromTrueRtf(rtf);
  if (!html) return std::nullopt;
  return RtfHtml{kind, std::move(*html)};
}

}  // namespace platform::rtf
