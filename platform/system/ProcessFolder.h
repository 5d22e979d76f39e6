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

// The folder this process keeps its temporary files in, made on first use: a folder of its own
// inside the system's folder of the user's temporary path ("<temp>/Corvessa/<pid>-XXXXXX"), held
// for the process's life and removed with everything in it at its end; after a crash, the next
// start's tidying of the system's folder takes it. Everything the process writes for a while (the
// support files, the jobs, the browser's profile and pages) goes inside it, so nothing outlives
// the process for good. When the system's folder is not the user's own (a link, another owner,
// open to others) a private "<temp>/Corvessa-XXXXXX" stands in; never the temporary path itself.
struct ProcessTempFolder {
  std::unique_ptr<CProcessFolder> folder;  // null when no folder could be made at all
  std::filesystem::path systemFolder;      // "<temp>/Corvessa", which the user's processes share
  bool shared = false;                     // the folder lies inside systemFolder
  std::string whyNotShared;                // why systemFolder could not be used, when it could not
  std::string failure;                     // why no folder could be made, when none could
};
QM_PLATFORM_API const ProcessTempFolder& processTempFolder();
// The folder's path, made anew when it was removed; empty when none could be made.
QM_PLATFORM_API std::filesystem::path processTempPath();
// Removes the folder; the next processTempFolder makes a new one (for $TMPDIR set anew).
QM_PLATFORM_API void resetProcessTempFolderForTesting();

// Removes from parent what no live process holds: each folder whose lock can be taken (its
// process has ended) and every entry that is not a folder. Answers how many entries went.
QM_PLATFORM_API std::size_t removeAbandonedEntries(const std::filesystem::path& parent);

}  // namespace platform::system
