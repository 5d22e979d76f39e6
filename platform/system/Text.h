#pragma once
// kernel32/user32's character calls: case mapping of UTF-16 units and code-page conversion.

#include <string>
#include <string_view>

#include "platform/Export.h"
#include "platform/WinTypes.h"

constexpr UINT CP_ACP = 0;
constexpr UINT CP_THREAD_ACP = 3;
constexpr UINT CP_UTF8 = 65001;

// Case mapping one UTF-16 unit at a time, as CharLowerBuffW/CharUpperBuffW do (simple mapping,
// surrogates untouched, so the length never changes). Answer the number of units processed.
QM_PLATFORM_API DWORD CharLowerBuffW(char16_t* text, DWORD length);
QM_PLATFORM_API DWORD CharUpperBuffW(char16_t* text, DWORD length);
QM_PLATFORM_API char16_t charLower(char16_t c);
QM_PLATFORM_API char16_t charUpper(char16_t c);

namespace platform::system {
// Equal texts ignoring case, one unit at a time as lstrcmpiW's callers here need it.
QM_PLATFORM_API bool equalsNoCase(std::u16string_view a, std::u16string_view b);
QM_PLATFORM_API bool startsWithNoCase(std::u16string_view text, std::u16string_view prefix);
// A lower-cased copy, one unit at a time as CharLowerBuffW maps.
QM_PLATFORM_API std::u16string lowerCase(std::u16string_view text);
}  // namespace platform::system

namespace platform::system {

// UTF-8 to UTF-16; an invalid byte becomes U+FFFD, as MultiByteToWideChar does without
// MB_ERR_INVALID_CHARS.
QM_PLATFORM_API std::u16string utf8ToUtf16(std::string_view bytes);
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
QM_PLATFORM_API std::string utf16ToUtf8(std::u16string_view text);
// Strict forms: empty optional-like answer (false) on an invalid sequence.
QM_PLATFORM_API bool utf8ToUtf16Strict(std::string_view bytes, std::u16string& out);
QM_PLATFORM_API bool utf16ToUtf8Strict(std::u16string_view text, std::string& out);

}  // namespace platform::system
