#pragma once
// The parsed content of a .msg file: property bags of the message, its recipients and
// attachments, embedded messages, and the file's named-property map.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mapi/MAPIDefs.h"

namespace platform::mapi::detail {

// One stored property. Fixed-size values sit in `fixed` (little-endian, as stored); single
// variable-size values in `data`; multi-valued properties one element per entry of `values`.
struct StoredProp {
  ULONG tag = 0;
  std::array<std::uint8_t, 8> fixed{};
  std::string data;
  std::vector<std::string> values;
};

// Properties by id; a file that stores one id twice keeps the first.
using PropBag = std::map<ULONG, StoredProp>;

struct NamedEntry {
  GUID guid{};
  ULONG kind = MNID_ID;
  LONG lid = 0;
  std::u16string name;
  ULONG propId = 0;  // 0x8000 and above
};

struct NameMap {
  std::vector<NamedEntry> entries;
  const NamedEntry* byId(ULONG propId) const;
  const NamedEntry* byLid(const GUID& guid, LONG lid) const;
  const NamedEntry* byName(const GUID& guid, std::u16string_view name) const;
};

struct MsgNode;

struct AttachNode {
  PropBag props;
  std::shared_ptr<MsgNode> embedded;  // method 5's message, when it could be read
  bool hasObjectStorage = false;      // PR_ATTACH_DATA_OBJ is a storage (embedded or OLE)
};

struct MsgNode {
  PropBag props;
  std::vector<PropBag> recipients;
  std::vector<AttachNode> attachments;
  UINT codePage = 1252;  // of 8-bit strings here and in this message's recipients and attachments
};

struct MsgFile {
  NameMap names;  // the root's map serves embedded messages too
  std::shared_ptr<MsgNode> root;
};

// Limits of what one file may make the reader do.
constexpr int kMaxEmbeddingDepth = 8;
constexpr std::uint64_t kMaxFileBytes = 256ull << 20;
constexpr std::size_t kMaxValuesPerProperty = 65536;

// Parses the bytes of a compound file; null when they are not one. Never trusts a size or a
// count from the file: streams are read as long as they really are, within a byte budget.
std::shared_ptr<MsgFile> parseMsg(std::string bytes);

// The code page rule (see stringCodePage).
UINT resolveCodePage(const PropBag& props, UINT inherited);

// Little-endian reads.
inline std::uint32_t readU32(const void* p) {
  const auto* b = static_cast<const std::uint8_t*>(p);
  return b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t{b[3]} << 24);
}
inline std::uint16_t readU16(const void* p) {
  const auto* b = static_cast<const std::uint8_t*>(p);
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

// The size of one element of a fixed-size type (or its multi-valued form), 0 for variable types.
std::size_t fixedSize(ULONG type);

}  // namespace platform::mapi::detail
