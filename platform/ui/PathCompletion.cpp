#include "platform/ui/detail/PathCompletion.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/system/Text.h"

namespace platform::ui::detail {

namespace {

constexpr std::size_t kMaxCompletions = 100;
// A folder of many thousands of entries is not read to its end for a drop-down.
constexpr std::size_t kMaxEntriesRead = 20000;

}  // namespace

std::vector<std::u16string> fileSystemCompletions(std::u16string_view typed) {
  std::vector<std::u16string> offered;
  const std::size_t slash = typed.rfind(u'/');
  if (typed.empty() || typed.front() != u'/' || slash == std::u16string_view::npos) return offered;
  const std::u16string folder(typed.substr(0, slash + 1));
  const std::u16string_view prefix = typed.substr(slash + 1);
  const bool hidden = !prefix.empty() && prefix.front() == u'.';

  std::error_code error;
  std::filesystem::directory_iterator entries(system::utf16ToUtf8(folder), error);
  std::size_t read = 0;
  for (; !error && entries != std::filesystem::directory_iterator() && read < kMaxEntriesRead;
       entries.increment(error), ++read) {
    const std::u16string name = system::utf8ToUtf16(entries->path().filename().string());
    if ((!hidden && !name.empty() && name.front() == u'.') || !system::startsWithNoCase(name, prefix)) continue;
    std::error_code kind;
    offered.push_back(folder + name + (entries->is_directory(kind) ? u"/" : u""));
  }
  std::sort(offered.begin(), offered.end());
  if (offered.size() > kMaxCompletions) offered.resize(kMaxCompletions);
  return offered;
}

}  // namespace platform::ui::detail
