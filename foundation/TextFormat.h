#pragma once
// printf-style formatting by Microsoft's wide rules: %s is a wide string, %S a narrow (UTF-8)
// one, "l" means 32 bits, "ll"/"I64" 64 bits. The C library never sees a string conversion.

#include <cstdarg>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace NUtils {

// One typed argument. A conversion asking for another kind gets a neutral value (0, an empty
// text), so any format is safe to run over any argument list.
using FormatArg = std::variant<std::int64_t, std::uint64_t, double, const char16_t*, const char*, const void*>;

// Formats with typed arguments; missing arguments count as neutral values.
std::u16string formatArgs(std::u16string_view format, std::span<const FormatArg> args);

// Formats from a C argument list, which the caller must fill as the format asks.
std::u16string formatVa(const char16_t* format, va_list args);

}  // namespace NUtils
