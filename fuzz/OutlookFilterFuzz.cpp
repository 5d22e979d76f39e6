// Random conditions through the Items.Find parser and evaluator: no input may crash, loop or
// recurse without bound; a parsed condition evaluates against a fixed item or raises cleanly.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/outlook/ItemFilter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The bytes as UTF-16 units, and as Latin-1 text, so that both wide and plain inputs are tried.
  std::u16string wide(size / 2, u'\0');
  for (std::size_t i = 0; i < wide.size(); ++i) wide[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  const std::u16string narrow(data, data + size);
  for (const std::u16string& text : {wide, narrow}) {
    const auto filter = platform::outlook::CItemFilter::parse(text);
    if (!filter) continue;
    try {
      (void)filter->matches([](std::u16string_view name, CComVariant& value) {
        if (name.size() % 3 == 0) value = CComVariant(u"Some Text");
        else if (name.size() % 3 == 1) value = CComVariant(LONG(7));
        else value = CComVariant(44378.5, VT_DATE);
        return !name.empty() && name[0] != u'x';
      });
    } catch (const std::runtime_error&) {
    }
  }
  return 0;
}
