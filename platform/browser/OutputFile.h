#pragma once
// Files the print writes: each under a name no other writer uses, complete or not at all. A PDF
// appears under its own name only after every byte was written and synced; a failed write is
// reported and leaves nothing of that name.

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/Export.h"

namespace platform::browser::detail {

// A new empty file in `folder` named prefix + six random characters + suffix (mkstemp), so two
// writers never share it. Empty (and reported) when it cannot be made.
QM_PLATFORM_API std::filesystem::path makeUniqueFile(const std::filesystem::path& folder, std::string_view prefix,
                                                     std::string_view suffix);

// Writes `target` through a file of its own beside it; commit() renames it into place, after
// syncing it when it is to last (`durable`; files of one job need not). A writer that goes
// without commit() removes what it wrote. Failures are reported.
class QM_PLATFORM_API COutputFile {
 public:
  explicit COutputFile(std::filesystem::path target, bool durable = true);
  ~COutputFile();
  COutputFile(const COutputFile&) = delete;
  COutputFile& operator=(const COutputFile&) = delete;

  bool ok() const { return m_fd >= 0; }
  // The file being written (for writers that fill it by name; call sync() before commit()).
  const std::filesystem::path& temporary() const { return m_temporary; }
  bool write(std::string_view data);
  bool commit();

 private:
  void fail(const std::string& what, int error);

  std::filesystem::path m_target;
  std::filesystem::path m_temporary;
  int m_fd = -1;
  bool m_failed = false;
  bool m_durable = true;
};

// Copies a finished file to `target` as COutputFile writes.
QM_PLATFORM_API bool copyFileWhole(const std::filesystem::path& from, const std::filesystem::path& target);

// Makes every later write fail with `error` (ENOSPC ...), 0 to stop; for tests of the failure paths.
QM_PLATFORM_API void failWritesForTesting(int error);

}  // namespace platform::browser::detail
