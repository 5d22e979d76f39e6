// Random markup through the inerting of item bodies and the style extraction: no input may crash,
// and what comes out holds no dropped element, no on* handler or script address on the usual
// attributes, and style sheets the filter leaves unchanged (no @page, no @import); nor does
// the result once written out and parsed again, as the browser reads it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/InertHtml.h"
#include "engine/MSHTMLWrapper.h"
#include "platform/system/Text.h"

namespace {

std::u16string lower(std::u16string text) {
  for (char16_t& c : text)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return text;
}

void check(const platform::html::CHtmlElementCollection& all) {
  for (long i = 0; i < all.length(); ++i) {
    const auto e = all.item(i);
    const std::u16string tag = lower(e.tagName());
    for (const char16_t* bad : {u"script", u"object", u"embed", u"applet", u"iframe", u"frame", u"frameset", u"meta",
                                u"base", u"link", u"noscript", u"plaintext"})
      if (tag == bad) __builtin_trap();
    for (const char16_t* handler : {u"onload", u"onerror", u"onclick"})
      if (e.hasAttribute(handler)) __builtin_trap();
    std::u16string href;
    for (char16_t c : lower(e.getAttribute(u"href")))
      if (c > 0x20) href += c;
    if (href.starts_with(u"javascript:")) __builtin_trap();
    if (tag == u"style") {
      const std::u16string css = e.childText();
      if (NInertHtml::inertStyleText(css) != css) __builtin_trap();
    }
  }
}

// What the browser reads: the markup written out and parsed again holds nothing that was taken out.
void checkReadAgain(const std::u16string& markup) {
  platform::html::CHtmlDocument again;
  if (again.loadFromString(markup) != 0) return;
  check(again.all());
  if (again.removeComments() != 0) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 64 * 1024) return 0;
  const std::u16string html =
      platform::system::utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));

  const quilstring css = NInertHtml::inertStyleText(html);
  if (NInertHtml::inertStyleText(css) != css) __builtin_trap();

  CMSHTMLWrapper wrapper;
  if (wrapper.LoadFromString(html) && NInertHtml::makeDocumentInert(wrapper)) {
    const auto document = wrapper.getDocument();
    check(document->all());
    checkReadAgain(document->documentHTML());
    for (long i = 0; i < document->styleSheetsLength(); ++i) (void)document->styleSheet(i).rules();
  }

  platform::html::CHtmlDocument page;
  if (page.loadFromString(u"<body><table><tr><td id=cell></td></tr></table></body>") == 0) {
    auto cell = page.all().item(u"cell").item(0);
    if (cell.setInnerHTML(html) == 0 && NInertHtml::makeElementInert(cell)) {
      check(cell.all());
      checkReadAgain(page.documentHTML());
    }
  }
  return 0;
}
