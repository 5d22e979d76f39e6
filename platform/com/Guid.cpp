#include "platform/com/Guid.h"

#include <cstdio>

namespace platform::com {

std::u16string formatGuid(REFGUID g) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return std::u16string(text, text + 38);
}

bool parseGuid(std::u16string_view text, GUID& out) {
  GUID g{};
  if (!detail::parseGuidText(text, g)) return false;
  out = g;
  return true;
}

}  // namespace platform::com

int StringFromGUID2(REFGUID g, char16_t* buffer, int cchMax) {
  if (!buffer || cchMax < 39) return 0;
  const std::u16string text = platform::com::formatGuid(g);
  text.copy(buffer, text.size());
  buffer[text.size()] = u'\0';
  return static_cast<int>(text.size() + 1);
}

namespace {
HRESULT fromBracedText(const char16_t* text, GUID* out, HRESULT failure) {
  if (!out) return E_INVALIDARG;
  if (!text) return failure;
  const std::u16string_view view(text);
  if (view.size() != 38) return failure;
  return platform::com::parseGuid(view, *out) ? S_OK : failure;
}
}  // namespace

HRESULT CLSIDFromString(const char16_t* text, LPCLSID clsid) { return fromBracedText(text, clsid, CO_E_CLASSSTRING); }

HRESULT IIDFromString(const char16_t* text, LPIID iid) { return fromBracedText(text, iid, E_INVALIDARG); }
