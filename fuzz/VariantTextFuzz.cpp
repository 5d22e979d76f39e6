// VariantChangeType reading item texts as numbers, dates and booleans, and writing them back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/com/Variant.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < size; i += 2) text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  CComVariant source{std::u16string_view(text)};
  static const VARTYPE kTargets[] = {VT_I1, VT_I2, VT_I4, VT_I8, VT_UI1, VT_UI2, VT_UI4, VT_UI8,
                                     VT_R4, VT_R8, VT_CY, VT_DATE, VT_BOOL, VT_INT, VT_UINT};
  for (VARTYPE vt : kTargets) {
    CComVariant out;
    if (SUCCEEDED(VariantChangeType(&out, &source, 0, vt))) {
      CComVariant back;
      VariantChangeType(&back, &out, 0, VT_BSTR);
    }
  }
  return 0;
}
