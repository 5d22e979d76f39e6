#pragma once
// A folder of one process's own inside a folder that many processes of the user share: made
// fresh (mode 0700) and locked for as long as it is held, so that the tidying of the shared folder
// by another process never removes it; and that tidying, which removes only what no live process
// holds.

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/Export.h"

namespace platform::system {

// Whether path is a real folder (never a link) owned by the user, with mode 0700. When it is not,
// why says what is wrong.
QM_PLATFORM_API bool isPrivateFolder(const std::filesystem::path& path, std::string& why);

class QM_PLATFORM_API CProcessFolder {
 public:
  // Makes "<parent>/<prefix>XXXXXX" and takes its lock; null (the reason reported) on failure.
  static std::unique_ptr<CProcessFolder> create(const std::filesystem::path& parent, const std::string& prefix);
  // Removes the folder with everything in it, which releases it. A forked child that did not
  // make it only closes its copy of the lock.
  ~CProcessFolder();
  CProcessFolder(const CProcessFolder&) = delete;
  CProcessFolder& operator=(const CProcessFolder&) = delete;

  const std::filesystem::path& path() const { return m_path; }

 private:
  CProcessFolder(std::filesystem::path path, int lock);

  std::filesystem::path m_path;
  int m_lock;
  pid_t m_owner;
};

// Removes from parent what no live process holds: each folder whose lock can be taken (its
// process has ended) and every entry that is not a folder. Answers how many entries went.
QM_PLATFORM_API std::size_t removeAbandonedEntries(const std::filesystem::path& parent);

}  // namespace platform::system
