// Random header and footer strings (registry values), template addresses and printer option
// texts: none may crash, and a rendered string may never carry markup of its own.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/browser/HeaderFooter.h"
#include "platform/browser/PageSetup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::u16string text(size / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));

  platform::browser::HeaderFooterContext context{text, text, {2024, 3, 2, 5, 14, 7, 9, 0}, 1033};
  const std::string html = platform::browser::renderHeaderFooter(text, context, 3, 7);
  // Only our own table's tags: every '<' of the texts is escaped.
  std::size_t tags = 0;
  for (char c : html) tags += c == '<';
  if (!html.empty() && tags != 10) std::abort();

  const std::u16string name = platform::browser::templateNameOfAddress(text);
  if (name.size() > text.size()) std::abort();
  platform::browser::detail::paperSizeOfCupsOptions(bytes);
  return 0;
}
