#pragma once
// Opening an Outlook .msg file (an OLE compound file) as a read-only MAPI message, as
// OpenIMsgOnIStg does on Windows; and what a .msg reader adds beside MAPI's own calls.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/Export.h"
#include "platform/mapi/MAPIInterfaces.h"

namespace platform::mapi {

// Reads the whole file and parses it; the message holds everything it needs, so the file may
// change or go afterwards. MAPI_E_NOT_FOUND when the file cannot be read, MAPI_E_CORRUPT_DATA
// when it is not a compound file, MAPI_E_TOO_BIG beyond 256 MB. Damaged parts are left out
// rather than failing the whole message.
QM_PLATFORM_API HRESULT openMsgFile(const std::filesystem::path& path, LPMESSAGE* lppMessage);
// Reads and parses the file as openMsgFile does, answering as it would, and keeps the parse for
// the next openMsgFile of that file, unless the file changes meanwhile (its size or time): a
// caller that checks many files on threads of its own spares the thread that opens them the
// reading. What is kept is bounded (64 files, 64 MB) and taken once.
QM_PLATFORM_API HRESULT readMsgFileAhead(const std::filesystem::path& path);
// Why openMsgFile answered `hr` for the file, as words that follow its name: "cannot be read:
// Permission denied", "is not a valid .msg file", "is larger than 256 MB". A file that cannot be
// read is looked at again for the system's reason.
QM_PLATFORM_API std::string openFailureText(const std::filesystem::path& path, HRESULT hr);
// The same over bytes in memory (copied).
QM_PLATFORM_API HRESULT openMsgMemory(const void* data, std::size_t size, LPMESSAGE* lppMessage);

// The code page by which 8-bit strings of this message, recipient or attachment are read:
// PR_MESSAGE_CODEPAGE, else the ANSI code page of PR_MESSAGE_LOCALE_ID, else the ANSI code page
// that PR_INTERNET_CPID implies (50220 -> 932 ...), else the enclosing message's, else 1252.
// 0 for an object that is not from a .msg file.
QM_PLATFORM_API UINT stringCodePage(LPMAPIPROP lpObject);

// The Windows ANSI code page of a locale id (1041 -> 932, 1049 -> 1251), 0 when unknown.
QM_PLATFORM_API UINT ansiCodePageOfLcid(LCID lcid);
// The ANSI code page in which Outlook stores 8-bit strings of a message whose internet code page
// is this MIME code page (50220 -> 932, 28595 -> 1251), 0 when it implies none (65001, 20127).
QM_PLATFORM_API UINT ansiCodePageOfInternetCodePage(UINT codePage);

// Test seam: file streams (OpenStreamOnFile) fail writes with STG_E_MEDIUMFULL once this many
// bytes have been written through all of them; nullopt restores normal writing.
QM_PLATFORM_API void setFileStreamWriteLimitForTesting(std::optional<std::uint64_t> bytes);

}  // namespace platform::mapi
