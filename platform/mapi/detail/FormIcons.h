#pragma once
// The icons of the form library, drawn here rather than shipped: each is an .ico file holding
// one 32-bit image with its transparency mask.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::mapi::detail {

enum class Glyph { kEnvelope, kCalendar, kPerson, kPeople, kBook, kSticky, kSheet, kCheck };

// What an icon shows: a glyph in its colour, and a round badge in the corner when badge is not 0.
struct IconStyle {
  Glyph glyph = Glyph::kSheet;
  std::uint32_t colour = 0;  // 0xAARRGGBB
  std::uint32_t badge = 0;
};

// The .ico file of the style drawn size x size pixels (16 or 32).
std::string makeIcoFile(const IconStyle& style, int size);

struct IcoSize {
  int width = 0;
  int height = 0;
};
// The size of the first image of an .ico file whose image lies wholly within the bytes; nothing
// when the bytes are not such a file.
std::optional<IcoSize> icoSize(std::string_view bytes);

}  // namespace platform::mapi::detail
