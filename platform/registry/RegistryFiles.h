#pragma once
// The registry's hive files: where they live, loading and importing .reg files, exporting a key
// tree, the current user's rights on a key, and the file-system seam tests replace.
//
// machine.reg holds HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT, user.reg HKEY_CURRENT_USER, both in
// $QUILLMARK_HOME (default ~/.config/quillmark), written as regedit exports them (version 5.00,
// UTF-16LE with BOM, CRLF). A writer takes an exclusive lock on "<file>.lock", re-reads the file,
// applies its own changes to what it finds, writes "<file>.tmp", syncs it and renames it over the
// file, so concurrent processes keep each other's changes and a crash leaves the old file whole.
// A hive file may be a link to a regular file, which is then replaced where it lives; a hive that
// is no regular file or is larger than 64 MB is refused unread (its keys answer ERROR_BADDB) and
// never written.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Export.h"
#include "platform/registry/Registry.h"

namespace platform::registry {

// What a failed read of a .reg or hive file answers: a Win32 code and, for a malformed file, the
// line at fault and a message naming file and line for the caller to log.
struct RegFileStatus {
  LONG code = ERROR_SUCCESS;
  unsigned line = 0;
  std::u16string message;
  bool ok() const { return code == ERROR_SUCCESS; }
};

// The folder of the hive files.
QM_PLATFORM_API std::filesystem::path registryHome();

// The state of the hive file holding a predefined key, as last read: ERROR_BADDB with the line and
// message of a malformed file (its keys then answer ERROR_BADDB and the file is never written).
QM_PLATFORM_API RegFileStatus hiveStatus(HKEY root);

// Replaces the content of every predefined key the file names by what the file holds for it
// (the file is the state), and writes the hive files.
QM_PLATFORM_API RegFileStatus loadHiveFile(const std::filesystem::path& file);

// Which keys a merge may change: asked for every key the file names (its predefined key and the
// names below it); a non-empty answer is the reason the whole file is refused.
using KeyFilter = std::function<std::u16string(HKEY root, const std::vector<std::u16string>& path)>;

// Merges a .reg file into the registry as regedit imports it: keys and values are added or
// replaced, "[-KEY]" deletes a key tree and "name"=- a value. Nothing is applied from a malformed
// file, nor from one naming a key the filter refuses (ERROR_ACCESS_DENIED with that key's line), and
// a file changing both hive files is written to both or to neither.
QM_PLATFORM_API RegFileStatus importRegFile(const std::filesystem::path& file, const KeyFilter& accept = {});

// Writes the key and everything below it to a .reg file in regedit's export format.
QM_PLATFORM_API LONG exportKey(HKEY key, const std::filesystem::path& file);

// The current user's effective rights on a key named as GetNamedSecurityInfoW names registry
// objects ("MACHINE\SOFTWARE\...", "CURRENT_USER\...", "CLASSES_ROOT\..."): KEY_ALL_ACCESS when
// the user may write the key's hive file, else KEY_READ. ERROR_FILE_NOT_FOUND for a missing key.
QM_PLATFORM_API LONG keyAccessOfCurrentUser(std::u16string_view objectName, ACCESS_MASK& granted);

// The identity of one version of a file; a replaced file has a new one.
struct FileStamp {
  bool exists = false;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t size = 0;
  std::int64_t modifiedNs = 0;
  bool operator==(const FileStamp&) const = default;
};

// The file operations of the hive files. Every call answers a Win32 code.
class QM_PLATFORM_API IHiveStorage {
 public:
  virtual ~IHiveStorage();
  virtual LONG stamp(const std::filesystem::path& file, FileStamp& out) = 0;
  // The whole file; ERROR_FILE_NOT_FOUND when it does not exist. Refused before anything is read:
  // anything but a regular file (a pipe, a device; links are followed) with ERROR_BAD_FILE_TYPE,
  // a file larger than a registry file may be (64 MB) with ERROR_FILE_TOO_LARGE.
  virtual LONG readFile(const std::filesystem::path& file, std::string& bytes) = 0;
  // Blocks until this process holds the exclusive lock on the lock file; answers a descriptor.
  virtual LONG lock(const std::filesystem::path& lockFile, int& fd) = 0;
  virtual void unlock(int fd) = 0;
  // Creates or truncates the file (never through a symbolic link), writes it whole and syncs it.
  virtual LONG writeDurably(const std::filesystem::path& file, std::string_view bytes) = 0;
  // Renames from over to and syncs the folder.
  virtual LONG replace(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
  virtual LONG makeFolder(const std::filesystem::path& folder) = 0;
  // Whether the current user may write (or create) the file.
  virtual bool canWrite(const std::filesystem::path& file) = 0;
};

// The real files. Tests derive from it to make one call fail.
class QM_PLATFORM_API PosixHiveStorage : public IHiveStorage {
 public:
  LONG stamp(const std::filesystem::path& file, FileStamp& out) override;
  LONG readFile(const std::filesystem::path& file, std::string& bytes) override;
  LONG lock(const std::filesystem::path& lockFile, int& fd) override;
  void unlock(int fd) override;
  LONG writeDurably(const std::filesystem::path& file, std::string_view bytes) override;
  LONG replace(const std::filesystem::path& from, const std::filesystem::path& to) override;
  LONG makeFolder(const std::filesystem::path& folder) override;
  bool canWrite(const std::filesystem::path& file) override;
};

// Test seams. setStorageForTesting(nullptr) puts the real files back. resetForTesting forgets
// every handle and unsaved change and reads $QUILLMARK_HOME again, so the next call starts from
// the files.
QM_PLATFORM_API void setStorageForTesting(std::shared_ptr<IHiveStorage> storage);
QM_PLATFORM_API void resetForTesting();

}  // namespace platform::registry
