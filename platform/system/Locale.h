#pragma once
// kernel32's locale calls: the user's default locale (from the environment), the thread locale,
// the ICU name of a locale id, and the ANSI code page of a locale.

#include <string>

#include "platform/Export.h"
#include "platform/WinTypes.h"

constexpr LCID LOCALE_NEUTRAL = 0x0000;
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
constexpr LCID LOCALE_CUSTOM_DEFAULT = 0x0C00;
constexpr LCID LOCALE_CUSTOM_UNSPECIFIED = 0x1000;

// The user's locale: LC_ALL, else LANG ("de_DE.UTF-8" -> 1031); 1033 when neither names a
// locale with an id ("C", "POSIX", unset). Read from the environment at each call.
QM_PLATFORM_API LCID GetUserDefaultLCID();
// The same as the user's locale: this build has no machine-wide locale of its own.
QM_PLATFORM_API LCID GetSystemDefaultLCID();

// The calling thread's locale: the user's default until SetThreadLocale changes it.
QM_PLATFORM_API LCID GetThreadLocale();
// FALSE (last error ERROR_INVALID_PARAMETER) for an id without a locale; the default ids
// (LOCALE_USER_DEFAULT ...) select the user's locale.
QM_PLATFORM_API BOOL SetThreadLocale(LCID locale);

// The ANSI code page of the system locale (1252 western, 932 Japanese, 936 simplified Chinese ...).
QM_PLATFORM_API UINT GetACP();

namespace platform::system {

// The ICU locale name of an id ("en_US" for 1033); the default ids give the user's locale; an id
// ICU does not know answers an empty name (never "root").
QM_PLATFORM_API std::string localeNameOf(LCID locale);

// The id of a POSIX or ICU locale name ("fr_FR.UTF-8@euro", "ja_JP", "de"), or 0 when it has none.
// A bare language takes its likely region ("de" -> 1031).
QM_PLATFORM_API LCID lcidOfLocaleName(const std::string& name);

// The ANSI code page Windows gives a locale; locales of Unicode-only languages answer 1252.
QM_PLATFORM_API UINT ansiCodePageOf(LCID locale);

// The code page of the thread locale (CP_THREAD_ACP's meaning on Windows).
QM_PLATFORM_API UINT threadAnsiCodePage();

// The calling thread follows the user's default locale again, as a new thread does.
QM_PLATFORM_API void resetThreadLocaleForTesting();

}  // namespace platform::system
