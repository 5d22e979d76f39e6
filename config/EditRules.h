#pragma once
// The rules several configuration dialogs share for what a person types: bounded decimal
// numbers, page ranges, margins in inches or millimetres, message-class names and the length of
// texts the settings keep. Pure functions; no window is touched.

#include <optional>

#include "foundation/QuilString.h"
#include "platform/WinTypes.h"

namespace NConfig {

// The largest number a setting may hold: the print template reads the values as signed 32-bit.
inline constexpr DWORD kMaxSignedValue = 2147483647u;
// The longest text an edit takes for a path, a name or a list kept in the settings (a Windows
// path of MAX_PATH with its terminator).
inline constexpr int kMaxSettingText = 259;
// The longest message class a registry key name may carry.
inline constexpr std::size_t kMaxClassName = 255;

// One or more decimal digits and nothing else, at most `limit`; nothing otherwise.
std::optional<DWORD> parseBoundedNumber(const quilstring& text, DWORD limit = kMaxSignedValue);

// A page range as typed: "12" or "5-12"; each number at most kMaxSignedValue and the first not
// greater than the second.
struct PageRange {
  DWORD from = 1;
  DWORD to = 1;
};
std::optional<PageRange> parsePageRange(const quilstring& text);
// The range as the edit shows it: "from-to" when from < to, else from alone; a value that is not
// a positive signed number shows as 1.
quilstring formatPageRange(DWORD from, DWORD to);

// Margins are kept in hundredths of an inch and shown with two decimals in the person's unit.
quilstring formatMargin(DWORD hundredths, bool inches);
// Digits and points only, the number read up to its second point ("1.5.2" is 1.5), rounded to the
// nearest hundredth of an inch; nothing for a text without a number or above kMaxSignedValue.
std::optional<DWORD> parseMargin(const quilstring& text, bool inches);

// A message class a person may add: not blank, no backslash (it names one registry key), at most
// kMaxClassName characters.
bool isValidMessageClass(const quilstring& messageClass);

// The parts of a template path, split at the last '/' or '\': the file name with its extension,
// and without it.
quilstring fileNameOf(const quilstring& path);
quilstring baseNameOf(const quilstring& path);
// The folder of a path with its trailing separator (empty when the path has none).
quilstring folderOf(const quilstring& path);

}  // namespace NConfig
