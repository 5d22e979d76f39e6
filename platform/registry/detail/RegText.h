#pragma once
// The .reg text format: reading regedit's exports (version 5.00 in UTF-16LE or UTF-8, REGEDIT4)
// into changes, and writing key trees as regedit 5.00 exports them.

#include <string>
#include <string_view>
#include <vector>

#include "platform/Export.h"
#include "platform/registry/detail/KeyTree.h"

namespace platform::registry::detail {

// Larger files are refused rather than read into memory.
constexpr std::size_t kMaxRegFileBytes = 64u << 20;

struct RegParseResult {
  bool ok = false;
  std::vector<RegOp> ops;  // in file order
  unsigned errorLine = 0;  // 1-based; 0 when the fault is not on one line
  std::u16string error;
};

// Reads a whole .reg file. A section "[KEY]" gives kCreateKey, "[-KEY]" kDeleteTree, a value line
// kSetValue and "name"=- kDeleteValue. Any line it does not understand refuses the whole file, as
// does a key deeper than kMaxKeyDepth or a key or value name longer than Windows allows.
QM_PLATFORM_API RegParseResult parseRegText(std::string_view bytes);

// One tree to write: its full name ("HKEY_CURRENT_USER\Software\X") and node. A root's own
// section is written only when it holds values.
struct ExportTree {
  std::u16string fullName;
  const KeyNode* node = nullptr;
  bool isRoot = false;
};

// The bytes of a regedit 5.00 export: BOM, UTF-16LE, CRLF, hex lists wrapped as regedit does.
QM_PLATFORM_API std::string writeRegText(const std::vector<ExportTree>& trees);
// The same, false (and bytes empty) once they would pass maxBytes, before building more.
QM_PLATFORM_API bool writeRegText(const std::vector<ExportTree>& trees, std::size_t maxBytes, std::string& bytes);

}  // namespace platform::registry::detail
