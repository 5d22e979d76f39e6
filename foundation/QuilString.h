#pragma once
// quilstring: the system's one string type (UTF-16, lengths in 16-bit units), with string-table
// loading and printf-style formatting of any length.

#include <cstdarg>
#include <string>

#include "platform/WinTypes.h"

class quilstring : public std::u16string {
 public:
  quilstring() = default;
  quilstring(const quilstring&) = default;
  quilstring(quilstring&&) noexcept = default;
  quilstring& operator=(const quilstring&) = default;
  quilstring& operator=(quilstring&&) noexcept = default;
  virtual ~quilstring() = default;

  // A null pointer gives an empty string.
  quilstring(const char16_t* text) : std::u16string(text ? text : u"") {}  // NOLINT: implicit as on Windows
  explicit quilstring(const quilstring* other) : std::u16string(other ? static_cast<const std::u16string&>(*other) : std::u16string()) {}
  quilstring(const std::u16string& text) : std::u16string(text) {}  // NOLINT
  quilstring(std::u16string&& text) : std::u16string(std::move(text)) {}  // NOLINT
  quilstring(std::u16string_view text) : std::u16string(text) {}  // NOLINT
  quilstring(const char16_t* text, size_type count) : std::u16string(text ? text : u"", text ? count : 0) {}
  quilstring(size_type count, char16_t c) : std::u16string(count, c) {}

  quilstring& operator=(const char16_t* text) {
    assign(text ? text : u"");
    return *this;
  }
  quilstring& operator=(const quilstring* other) {
    if (other != this) assign(other ? static_cast<const std::u16string&>(*other) : std::u16string());
    return *this;
  }
  quilstring& operator=(const std::u16string& text) {
    assign(text);
    return *this;
  }

  // Sets the string to the string-table text of that id in that module. A missing id answers
  // false and leaves the string unchanged.
  bool LoadString(HINSTANCE module, UINT id);

  // Sets the string to the formatted text. A null format answers false and changes nothing.
  bool FormatV(const char16_t* format, va_list args);
  bool Format(const char16_t* format, ...);

  // The string-table text of that id used as the format.
  bool FormatResource(HINSTANCE module, UINT id, ...);

  // The text as UTF-8, for the file system and the log.
  std::string toUtf8() const;
  static quilstring fromUtf8(std::string_view bytes);
};

// Ordering and hashing as the base string, so quilstring keys maps and sets.
template <>
struct std::hash<quilstring> : std::hash<std::u16string> {};
