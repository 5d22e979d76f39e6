#pragma once
// Message bodies kept as RTF: compressed RTF (the PR_RTF_COMPRESSED stream) in both directions,
// and HTML from RTF, either the HTML an RTF body encapsulates or a conversion of true RTF.
// Pure functions over bytes; safe on hostile input; no state, any thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Export.h"

namespace platform::rtf {

constexpr std::uint32_t kCompressedType = 0x75465A4C;    // "LZFu"
constexpr std::uint32_t kUncompressedType = 0x414C454D;  // "MELA"

// What decompressRtf could read. `rtf` holds every byte decoded, at most the header's raw size.
struct DecompressedRtf {
  std::string rtf;
  bool compressed = false;  // LZFu rather than stored
  bool crcMatches = false;  // LZFu: the header's CRC equals the CRC of the content; stored: it is 0
  bool complete = false;    // the end marker (or all stored bytes) was reached with the raw size decoded
};

// Unpacks a compressed-RTF stream. Nothing when the header is short or of an unknown type. A
// truncated or inconsistent stream answers what was decoded, with `complete` false; a CRC mismatch
// is reported, not refused. The output never exceeds the header's raw size, whatever it claims.
QM_PLATFORM_API std::optional<DecompressedRtf> decompressRtf(std::string_view stream);

// Packs RTF as LZFu (the form Outlook writes), or stored ("MELA", CRC 0) when `store` is set.
QM_PLATFORM_API std::string compressRtf(std::string_view rtf, bool store = false);

// The CRC compressed RTF uses over its content (CRC-32 table, initial 0, no final inversion).
QM_PLATFORM_API std::uint32_t compressedRtfCrc(std::string_view bytes, std::uint32_t crc = 0);

enum class RtfKind {
  NotRtf,    // does not open with "{\rtf"
  Rtf,       // true RTF
  FromHtml,  // encapsulates HTML (\fromhtml1)
  FromText,  // encapsulates plain text (\fromtext)
};

// The kind of an RTF document, from its header.
QM_PLATFORM_API RtfKind rtfKind(std::string_view rtf);

struct RtfHtml {
  RtfKind kind = RtfKind::NotRtf;
  std::u16string html;
};

// HTML out of \fromhtml1 RTF. Nothing when the RTF does not encapsulate HTML or cannot be read.
QM_PLATFORM_API std::optional<std::u16string> deencapsulateHtml(std::string_view rtf);

// True RTF (or \fromtext RTF) converted to a complete HTML document: paragraphs, line breaks,
// tabs, bold, italic, underline, strike-through, fonts, sizes, colours and alignment. Every text
// taken from the RTF is escaped. Nothing when the input cannot be read (the caller falls back to
// the plain body).
QM_PLATFORM_API std::optional<std::u16string> htmlFromTrueRtf(std::string_view rtf);

// The HTML of an RTF body: the encapsulated HTML of \fromhtml1 RTF, otherwise a conversion. The
// answer says which kind the RTF was. Nothing when neither works.
QM_PLATFORM_API std::optional<RtfHtml> htmlFromRtf(std::string_view rtf);

}  // namespace platform::rtf
