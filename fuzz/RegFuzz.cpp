// Any bytes as a .reg file: the reader must not crash, and whatever it accepts must write out
// and read back as the same keys and values, byte for byte on a second write.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/registry/detail/RegText.h"

namespace {

using platform::registry::detail::RootId;
using platform::registry::detail::RootSet;

std::string writeAll(const RootSet& roots) {
  std::vector<platform::registry::detail::ExportTree> trees;
  for (RootId id : {RootId::kLocalMachine, RootId::kCurrentUser, RootId::kClassesRoot}) {
    trees.push_back({std::u16string(platform::registry::detail::rootName(id)), &roots[id], true});
  }
  return platform::registry::detail::writeRegText(trees);
}

RootSet apply(const platform::registry::detail::RegParseResult& parsed) {
  RootSet roots;
  for (const auto& op : parsed.ops) platform::registry::detail::applyOp(roots, op);
  return roots;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto parsed = platform::registry::detail::parseRegText(
      std::string_view(reinterpret_cast<const char*>(data), size));
  if (!parsed.ok) return 0;
  const RootSet roots = apply(parsed);
  const std::string written = writeAll(roots);
  const auto reread = platform::registry::detail::parseRegText(written);
  if (!reread.ok) std::abort();
  const RootSet back = apply(reread);
  for (RootId id : {RootId::kLocalMachine, RootId::kCurrentUser, RootId::kClassesRoot}) {
    if (!back[id].sameAs(roots[id])) std::abort();
  }
  if (writeAll(back) != written) std::abort();
  return 0;
}
