// Random markup through the off-screen document: parse, serialise and parse again, innerHTML set
// in several contexts (refused ones included), insertion, rendered text and style rules. No input
// may abort, crash, read out of bounds or leak.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/html/HtmlDocument.h"
#include "platform/system/Text.h"

using platform::html::CHtmlDocument;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string html =
      platform::system::utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
  CHtmlDocument doc;
  if (doc.loadFromString(html) == 0) {
    const std::u16string once = doc.documentHTML();
    CHtmlDocument again;
    (void)again.loadFromString(once);
    (void)again.body().innerText();
    for (long i = 0; i < doc.styleSheetsLength(); ++i) (void)doc.styleSheet(i).rules();
  }
  static const char kContexts[] =
      "<table><caption></caption><colgroup><col></colgroup><tbody><tr><td></td><th></th></tr></tbody></table>"
      "<select><optgroup><option></option></optgroup></select><template></template><textarea></textarea>"
      "<pre></pre><ul><li></li></ul><p></p><a></a><button></button><iframe></iframe><xmp></xmp>"
      "<noscript></noscript><svg><g></g><foreignObject></foreignObject></svg><math><mi></mi></math>"
      "<frameset></frameset><div id=last></div>";
  CHtmlDocument host;
  (void)host.loadFromString(platform::system::utf8ToUtf16(kContexts));
  const auto all = host.all();
  for (long i = 0; i < all.length(); ++i) {
    auto e = all.item(i);
    if (e.setInnerHTML(html) == 0) (void)e.innerHTML();
  }
  auto last = host.all().item(u"last").item(0);
  std::vector<platform::html::CHtmlElement> inserted;
  (void)last.insertHTMLBefore(html, &inserted);
  (void)host.documentHTML();
  (void)host.body().innerText();
  return 0;
}
