#pragma once
// Turning stored properties into MAPI property values and stream bytes.

#include <optional>
#include <string>

#include "platform/mapi/MAPIDefs.h"
#include "platform/mapi/detail/MsgModel.h"

namespace platform::mapi::detail {

// UTF-16LE bytes to text, without the terminating NULs the file stores.
std::u16string decodeUnicode(std::string_view bytes);
// 8-bit string bytes without their terminating NULs.
std::string_view trimString8(std::string_view bytes);
// 8-bit string bytes of the code page to text (1252 when the code page cannot be converted).
std::u16string decodeString8(std::string_view bytes, UINT codePage);
std::string encodeString8(std::u16string_view text, UINT codePage);

// Sets `out` to the stored property read with `tag`'s type (PT_UNSPECIFIED: the stored type),
// allocating what it points to "more" on `parent`. A type that cannot be given answers
// MAPI_E_NOT_FOUND, as does a failed allocation MAPI_E_NOT_ENOUGH_MEMORY; `out` is then a
// PT_ERROR value.
HRESULT fillValue(const StoredProp& prop, ULONG tag, UINT codePage, void* parent, SPropValue& out);
void fillError(ULONG tag, HRESULT error, SPropValue& out);
void fillLong(ULONG tag, LONG value, SPropValue& out);

// The bytes of a stream opened on the property with `tag`'s type, or nothing when the property
// cannot be read as a stream.
std::optional<std::string> streamBytes(const StoredProp& prop, ULONG tag, UINT codePage);

// Copies bytes into a MAPI buffer linked to parent (a terminator of `terminator` zero bytes
// added); null when allocation fails.
void* copyMore(void* parent, const void* data, std::size_t size, std::size_t terminator = 0);

}  // namespace platform::mapi::detail
