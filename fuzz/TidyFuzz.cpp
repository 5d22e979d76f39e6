// Random bodies through Tidy and the plain-text conversions: no input may crash, read past a
// buffer or leave markup unescaped in the plain-text path.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/HtmlText.h"
#include "foundation/QuilString.h"
#include "foundation/Thread.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const quilstring body = quilstring::fromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));

  std::u16string cleaned = body;
  NUtils::tidyHTML(cleaned);

  std::u16string plain = body;
  NUtils::plainTextToHTML(plain, size % 2 == 0);
  std::u16string markup = plain;
  for (std::size_t at = markup.find(u"<BR>"); at != std::u16string::npos; at = markup.find(u"<BR>", at)) markup.erase(at, 4);
  if (markup.find_first_of(u"<>\"") != std::u16string::npos) std::abort();
  NUtils::spacesToNbsp(plain);

  std::u16string thread = body;
  NUtils::convertTextToThread(thread, static_cast<int>(size % 4), u"> ", NUtils::threadHeaderTexts());
  return 0;
}
