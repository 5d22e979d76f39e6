// Random browser messages: finding a member never crashes, and in a message the JSON library
// reads as an object, every member found is that member's own text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/browser/DevToolsClient.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  using platform::browser::detail::jsonMemberText;
  for (const char* key : {"id", "result", "data", "method", "params"}) jsonMemberText(text, key);
  const nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
  if (!parsed.is_object()) return 0;
  for (const auto& [key, value] : parsed.items()) {
    // Keys are compared as written: one the text spells with escapes, or behind a byte-order mark
    // the library skips, may go unfound. A key written twice: the library keeps the last, the
    // finder the first.
    const auto found = jsonMemberText(text, key);
    if (!found && text.find('\\') == std::string_view::npos && !text.starts_with("\xEF\xBB\xBF")) std::abort();
    if (!found) continue;
    const nlohmann::json member = nlohmann::json::parse(*found, nullptr, false);
    if (member.is_discarded()) std::abort();
  }
  return 0;
}
