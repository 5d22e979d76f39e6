#pragma once
// NUtils: the system's small free functions. Failures are answered (false, 0, an empty text)
// and logged, never thrown to the caller.

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/QuilString.h"

struct IUnknown;

namespace NUtils {

// Text.
bool equalsNoCase(const std::u16string& a, const std::u16string& b);
bool equalsNoCase(const std::string& a, const std::string& b);
void toLower(std::u16string& text);
void toUpper(std::u16string& text);
// Appends the tokens between delimiters; runs of delimiters give no empty tokens.
void tokenize(const std::u16string& text, const std::u16string& delimiters, std::vector<quilstring>& tokens);
// Hexadecimal with an optional "0x"; the bit pattern of an unsigned value is kept
// (0x8005001F reads as the 32-bit pattern, not a saturated value). 0 when nothing reads.
std::int32_t hexToLong(const std::u16string& text);
// Decimal as _wtol: leading blanks, a sign, digits; 0 when nothing reads.
std::int32_t toLong(const std::u16string& text);
// The delimiter set of lists of possible values: backslash, slash, comma, semicolon, colon.
const quilstring& separators();
// The separator between listed values: ", ".
const quilstring& listSeparator();
// UTF-8 bytes to text and back; empty or invalid input answers false and leaves out as it was.
bool MultiByteToWide(const std::string& bytes, quilstring& out);
bool WideToMultiByte(const std::u16string& text, std::string& out);

// COM.
// True when both pointers are non-null and reach the same COM object (equal IUnknown identities).
bool CompareInterfaces(IUnknown* first, IUnknown* second);
// The same test, logged; finds the display manager of an explorer or inspector.
bool CompareExplorerInterfaces(IUnknown* first, IUnknown* second);

}  // namespace NUtils
