#pragma once
// Code-page conversion by Windows code-page number (MultiByteToWideChar/WideCharToMultiByte).

#include <optional>
#include <string>
#include <string_view>

#include "platform/Export.h"
#include "platform/WinTypes.h"

namespace platform::system {

// Whether bytes of this code page can be converted here (1252, 932, 936, 949, 950, 1250-1258,
// 20127, 20866, 28591-28605, 50220-50222, 51932, 65000, 65001 ...).
QM_PLATFORM_API bool isCodePageSupported(UINT codePage);

// Bytes of the code page to UTF-16; unmappable bytes become U+FFFD. An unknown code page answers
// nothing. CP_ACP and CP_THREAD_ACP mean the thread's ANSI code page, which is UTF-8 here.
QM_PLATFORM_API std::optional<std::u16string> toUtf16(UINT codePage, std::string_view bytes);

// UTF-16 to bytes of the code page; unmappable characters become '?'.
QM_PLATFORM_API std::optional<std::string> fromUtf16(UINT codePage, std::u16string_view text);

// The code page of a MIME charset name ("iso-2022-jp" -> 50220, "utf-8" -> 65001), or 0.
QM_PLATFORM_API UINT codePageOfCharset(std::string_view charset);

}  // namespace platform::system
