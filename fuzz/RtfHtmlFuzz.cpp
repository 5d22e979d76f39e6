// Random RTF through de-encapsulation and conversion: no input may crash, read out of bounds or
// let markup through from a converted body.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/rtf/Rtf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  (void)platform::rtf::rtfKind(input);
  (void)platform::rtf::deencapsulateHtml(input);
  (void)platform::rtf::htmlFromRtf(input);
  if (const auto html = platform::rtf::htmlFromTrueRtf(input)) {
    // The converter writes only its own tags: p, span, br and the document's frame.
    static constexpr std::u16string_view kOwn[] = {u"<p ", u"</p>", u"<span ", u"</span>", u"<br>", u"<html>",
                                                    u"</html>", u"<head>", u"</head>", u"<body", u"</body>"};
    for (std::size_t at = html->find(u'<'); at != std::u16string::npos; at = html->find(u'<', at + 1)) {
      bool known = false;
      for (std::u16string_view own : kOwn) known = known || html->compare(at, own.size(), own) == 0;
      if (!known) std::abort();
    }
  }
  return 0;
}
