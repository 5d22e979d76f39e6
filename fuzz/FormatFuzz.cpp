// Random formats over a fixed, typed argument list: no input may crash the formatter, read
// past a text or allocate without bound.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/TextFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string format(size / 2, u'\0');
  if (!format.empty()) std::memcpy(format.data(), data, format.size() * 2);
  static const char16_t wide[] = u"wide text";
  static const char narrow[] = "narrow \xc3\xa9 \xff";
  const NUtils::FormatArg args[] = {
      std::int64_t{-12345}, std::uint64_t{0xFFFFFFFFFFull}, 3.25, static_cast<const char16_t*>(wide),
      static_cast<const char*>(narrow), static_cast<const void*>(wide), std::int64_t{300}, static_cast<const char16_t*>(nullptr),
  };
  const std::u16string out = NUtils::formatArgs(format, args);
  (void)out;
  return 0;
}
