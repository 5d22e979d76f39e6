// The registry: predefined keys, handles, access checks and the hive files behind them.
#include "platform/registry/Registry.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/registry/RegistryFiles.h"
#include "platform/registry/detail/KeyTree.h"
#include "platform/registry/detail/RegText.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"

namespace platform::registry {
namespace detail {
namespace {

constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;
constexpr std::uintptr_t kFirstHandle = 0x1000;

std::u16string_view view(LPCWSTR text) { return text ? std::u16string_view(text) : std::u16string_view(); }

std::u16string pathText(const std::filesystem::path& path) {
  return platform::system::utf8ToUtf16(path.string());
}

// Why a .reg or hive file could not be read, naming the file.
std::u16string cannotRead(const std::filesystem::path& file, LONG rc) {
  std::u16string reason;
  if (rc == ERROR_BAD_FILE_TYPE) {
    reason = u"not a regular file";
  } else if (rc == ERROR_FILE_TOO_LARGE) {
    reason = u"larger than " + platform::system::utf8ToUtf16(std::to_string(kMaxRegFileBytes >> 20)) + u" MB";
  } else {
    reason = platform::system::errorText(static_cast<DWORD>(rc));
  }
  return u"Cannot read " + pathText(file) + u": " + reason;
}

// Why a hive file could not be written, naming the file.
std::u16string cannotWrite(const std::filesystem::path& file, LONG rc) {
  const std::u16string reason =
      rc == ERROR_FILE_TOO_LARGE
          ? u"it would be larger than " + platform::system::utf8ToUtf16(std::to_string(kMaxRegFileBytes >> 20)) + u" MB"
          : platform::system::errorText(static_cast<DWORD>(rc));
  return u"Cannot write " + pathText(file) + u": " + reason;
}

bool hasLineBreak(std::u16string_view name) {
  return name.find_first_of(u"\r\n") != std::u16string_view::npos;
}

// Splits a sub-key path at its backslashes; a trailing backslash is allowed, an empty name is not.
LONG splitPath(std::u16string_view text, std::vector<std::u16string>& parts) {
  parts.clear();
  if (text.empty()) return ERROR_SUCCESS;
  if (text.back() == u'\\') text.remove_suffix(1);
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(u'\\', start);
    const std::u16string_view part =
        text.substr(start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start);
    if (part.empty()) return ERROR_BAD_PATHNAME;
    parts.emplace_back(part);
    if (end == std::u16string_view::npos) return ERROR_SUCCESS;
    start = end + 1;
  }
}

// What a requested access grants: generic rights mapped to key rights, MAXIMUM_ALLOWED to all
// the user may have.
REGSAM mapAccess(REGSAM desired, bool writable) {
  REGSAM granted = desired & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY | GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE |
                               GENERIC_ALL | MAXIMUM_ALLOWED);
  if (desired & GENERIC_READ) granted |= KEY_READ;
  if (desired & GENERIC_WRITE) granted |= KEY_WRITE;
  if (desired & GENERIC_EXECUTE) granted |= KEY_EXECUTE;
  if (desired & GENERIC_ALL) granted |= KEY_ALL_ACCESS;
  if (desired & MAXIMUM_ALLOWED) granted |= writable ? KEY_ALL_ACCESS : KEY_READ;
  return granted;
}

struct HiveFile {
  std::filesystem::path file;
  std::vector<RootId> roots;
  RootSet content;               // the file's content with the unsaved changes applied
  std::vector<RegOp> journal;    // the unsaved changes, replayed onto the file when it changed
  FileStamp stamp;
  bool loaded = false;
  RegFileStatus status;
  int writeHandles = 0;

  bool holds(RootId id) const {
    for (RootId r : roots) {
      if (r == id) return true;
    }
    return false;
  }
};

struct OpenKey {
  RootId root;
  std::vector<std::u16string> path;
  REGSAM access;
};

class Registry {
 public:
  static Registry& instance() {
    static Registry registry;
    return registry;
  }

  ~Registry() {
    // Whatever is still unsaved at process exit is written now.
    std::lock_guard<std::mutex> lock(m_mutex);
    commit(m_machine);
    commit(m_user);
  }

  std::mutex m_mutex;

  void reset() {
    m_handles.clear();
    m_nextHandle = kFirstHandle;
    const char* home = std::getenv("QUILLMARK_HOME");
    if (home && *home) {
      m_home = home;
    } else {
      const char* user = std::getenv("HOME");
      m_home = std::filesystem::path(user && *user ? user : ".") / ".config" / "quillmark";
    }
    m_machine = HiveFile{};
    m_machine.file = m_home / "machine.reg";
    m_machine.roots = {RootId::kLocalMachine, RootId::kClassesRoot};
    m_user = HiveFile{};
    m_user.file = m_home / "user.reg";
    m_user.roots = {RootId::kCurrentUser};
  }

  void setStorage(std::shared_ptr<IHiveStorage> storage) {
    m_storage = storage ? std::move(storage) : std::make_shared<PosixHiveStorage>();
  }

  const std::filesystem::path& home() const { return m_home; }

  HiveFile& hiveOf(RootId id) { return id == RootId::kCurrentUser ? m_user : m_machine; }

  bool writable(const HiveFile& hive) { return m_storage->canWrite(hive.file); }

  // Reads the hive file again when another process replaced it, replaying the unsaved changes.
  void refresh(HiveFile& hive) {
    FileStamp now;
    m_storage->stamp(hive.file, now);
    if (hive.loaded && now == hive.stamp) return;
    RootSet fresh;
    hive.status = readHive(hive, fresh);
    hive.stamp = now;
    hive.loaded = true;
    if (!hive.status.ok()) {
      hive.content = RootSet();
      return;
    }
    for (const RegOp& op : hive.journal) applyOp(fresh, op);
    hive.content = std::move(fresh);
  }

  // Writes the unsaved changes onto the file's current content, under the file's lock.
  LONG commit(HiveFile& hive) {
    if (hive.journal.empty()) return ERROR_SUCCESS;
    LONG rc = m_storage->makeFolder(m_home);
    if (rc != ERROR_SUCCESS) return dropChanges(hive, rc);
    int fd = -1;
    rc = m_storage->lock(lockFileOf(hive), fd);
    if (rc != ERROR_SUCCESS) return dropChanges(hive, rc);
    struct Unlock {
      IHiveStorage& storage;
      int fd;
      ~Unlock() { storage.unlock(fd); }
    } unlock{*m_storage, fd};

    FileStamp now;
    m_storage->stamp(hive.file, now);
    if (!hive.loaded || !(now == hive.stamp) || !hive.status.ok()) {
      RootSet fresh;
      hive.status = readHive(hive, fresh);
      hive.stamp = now;
      hive.loaded = true;
      if (!hive.status.ok()) {
        // A file we cannot read is never overwritten.
        hive.journal.clear();
        hive.content = RootSet();
        return hive.status.code;
      }
      for (const RegOp& op : hive.journal) applyOp(fresh, op);
      hive.content = std::move(fresh);
    }

    std::string bytes;
    if (!serialize(hive, hive.content, bytes)) return dropChanges(hive, ERROR_FILE_TOO_LARGE);
    const std::filesystem::path target = targetOf(hive);
    std::error_code ec;
    std::filesystem::path temp = target;
    temp += ".tmp";
    rc = m_storage->writeDurably(temp, bytes);
    if (rc == ERROR_SUCCESS) rc = m_storage->replace(temp, target);
    if (rc != ERROR_SUCCESS) {
      std::filesystem::remove(temp, ec);
      return dropChanges(hive, rc);
    }
    hive.journal.clear();
    m_storage->stamp(hive.file, hive.stamp);
    return ERROR_SUCCESS;
  }

  // After a change: written at once unless a writing handle of the file is still open.
  LONG changed(HiveFile& hive) { return hive.writeHandles == 0 ? commit(hive) : ERROR_SUCCESS; }

  void record(HiveFile& hive, RegOp op) {
    applyOp(hive.content, op);
    hive.journal.push_back(std::move(op));
  }

  // The key a handle names. Predefined keys have all rights on a writable hive, else read rights.
  LONG resolve(HKEY key, OpenKey& out, KeyNode*& node) {
    node = nullptr;
    const std::uintptr_t id = reinterpret_cast<std::uintptr_t>(key);
    if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER || key == HKEY_CLASSES_ROOT) {
      out.root = key == HKEY_LOCAL_MACHINE ? RootId::kLocalMachine
                 : key == HKEY_CURRENT_USER ? RootId::kCurrentUser
                                            : RootId::kClassesRoot;
      out.path.clear();
      HiveFile& hive = hiveOf(out.root);
      out.access = writable(hive) ? KEY_ALL_ACCESS : KEY_READ;
      refresh(hive);
    } else {
      const auto it = m_handles.find(id);
      if (it == m_handles.end()) return ERROR_INVALID_HANDLE;
      out = it->second;
    }
    HiveFile& hive = hiveOf(out.root);
    if (!hive.status.ok()) return ERROR_BADDB;
    node = findKey(hive.content[out.root], out.path);
    return node ? ERROR_SUCCESS : ERROR_KEY_DELETED;
  }

  HKEY addHandle(OpenKey key) {
    std::uintptr_t id = m_nextHandle;
    m_nextHandle += 4;
    if (key.access & kWriteRights) ++hiveOf(key.root).writeHandles;
    m_handles.emplace(id, std::move(key));
    return reinterpret_cast<HKEY>(id);
  }

  LONG closeHandle(HKEY key) {
    const auto it = m_handles.find(reinterpret_cast<std::uintptr_t>(key));
    if (it == m_handles.end()) {
      return key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER || key == HKEY_CLASSES_ROOT ? ERROR_SUCCESS
                                                                                                : ERROR_INVALID_HANDLE;
    }
    const bool writer = (it->second.access & kWriteRights) != 0;
    HiveFile& hive = hiveOf(it->second.root);
    m_handles.erase(it);
    if (!writer) return ERROR_SUCCESS;
    if (--hive.writeHandles > 0) return ERROR_SUCCESS;
    return commit(hive);
  }

  // Applies a parsed file's changes (after emptying the roots it names, for a state) and writes
  // them. Both hive files are locked (machine first, as every writer of both does), read, changed
  // and serialised before either is written, so a file is merged whole or not at all.
  RegFileStatus applyFile(const std::filesystem::path& file, bool asState, const KeyFilter& accept) {
    RegFileStatus status;
    std::string bytes;
    const LONG rc = m_storage->readFile(file, bytes);
    if (rc != ERROR_SUCCESS) {
      status.code = rc;
      status.message = cannotRead(file, rc);
      return status;
    }
    RegParseResult parsed = parseRegText(bytes);
    bytes.clear();
    if (!parsed.ok) return malformed(file, parsed.errorLine, parsed.error);
    if (accept) {
      for (const RegOp& op : parsed.ops) {
        std::u16string reason = accept(predefinedKey(op.root), op.path);
        if (reason.empty()) continue;
        status.code = ERROR_ACCESS_DENIED;
        status.line = op.line;
        status.message = u"Refused registry file " + pathText(file) + u" at line " +
                         platform::system::utf8ToUtf16(std::to_string(op.line)) + u": " + reason;
        return status;
      }
    }

    struct Merge {
      HiveFile* hive = nullptr;
      std::vector<RegOp> ops;
      bool named[kRootCount] = {};
      std::filesystem::path target;
      std::filesystem::path temp;
      std::string before;  // the file as it was, to put back when the other file cannot be replaced
      bool existed = false;
      RootSet content;
      FileStamp stamp;
      std::string bytes;
    };
    std::vector<Merge> merges;
    for (HiveFile* hive : {&m_machine, &m_user}) {
      Merge merge;
      merge.hive = hive;
      for (RegOp& op : parsed.ops) {
        if (hive->holds(op.root)) {
          merge.named[static_cast<int>(op.root)] = true;
          merge.ops.push_back(std::move(op));
        }
      }
      if (merge.ops.empty()) continue;
      if (!writable(*hive)) {
        status.code = ERROR_ACCESS_DENIED;
        status.message = cannotWrite(hive->file, status.code);
        return status;
      }
      merges.push_back(std::move(merge));
    }
    if (merges.empty()) return status;

    LONG code = m_storage->makeFolder(m_home);
    if (code != ERROR_SUCCESS) {
      status.code = code;
      status.message = cannotWrite(merges.front().hive->file, code);
      return status;
    }
    std::vector<int> locks;
    struct Unlock {
      IHiveStorage& storage;
      std::vector<int>& fds;
      ~Unlock() {
        for (auto it = fds.rbegin(); it != fds.rend(); ++it) storage.unlock(*it);
      }
    } unlock{*m_storage, locks};
    for (Merge& merge : merges) {
      int fd = -1;
      code = m_storage->lock(lockFileOf(*merge.hive), fd);
      if (code != ERROR_SUCCESS) {
        status.code = code;
        status.message = cannotWrite(merge.hive->file, code);
        return status;
      }
      locks.push_back(fd);
    }

    for (Merge& merge : merges) {
      HiveFile& hive = *merge.hive;
      m_storage->stamp(hive.file, merge.stamp);
      code = m_storage->readFile(hive.file, merge.before);
      merge.existed = code == ERROR_SUCCESS;
      RegFileStatus read;
      if (code == ERROR_SUCCESS) {
        read = parseHiveText(hive, merge.before, merge.content);
      } else if (code != ERROR_FILE_NOT_FOUND) {
        read.code = code;
        read.message = cannotRead(hive.file, code);
      }
      if (!read.ok()) {
        // A file we cannot read is never overwritten; its keys answer ERROR_BADDB from now on.
        platform::diag::error("Registry", platform::system::utf16ToUtf8(read.message));
        hive.status = read;
        hive.stamp = merge.stamp;
        hive.loaded = true;
        hive.journal.clear();
        hive.content = RootSet();
        return read;
      }
      // This process's unsaved changes, then the file's.
      for (const RegOp& op : hive.journal) applyOp(merge.content, op);
      if (asState) {
        for (RootId root : hive.roots) {
          if (merge.named[static_cast<int>(root)]) applyOp(merge.content, RegOp{RegOp::Kind::kDeleteTree, root, {}, {}, 0, {}, 0});
        }
      }
      for (const RegOp& op : merge.ops) applyOp(merge.content, op);
      if (!serialize(hive, merge.content, merge.bytes)) {
        status.code = ERROR_FILE_TOO_LARGE;
        status.message = cannotWrite(hive.file, status.code);
        return status;
      }
      merge.target = targetOf(hive);
      merge.temp = merge.target;
      merge.temp += ".tmp";
    }

    std::error_code ec;
    const auto removeTemps = [&] {
      for (const Merge& merge : merges) std::filesystem::remove(merge.temp, ec);
    };
    for (const Merge& merge : merges) {
      code = m_storage->writeDurably(merge.temp, merge.bytes);
      if (code != ERROR_SUCCESS) {
        removeTemps();
        status.code = code;
        status.message = cannotWrite(merge.hive->file, code);
        return status;
      }
    }
    for (std::size_t i = 0; i < merges.size(); ++i) {
      code = m_storage->replace(merges[i].temp, merges[i].target);
      if (code == ERROR_SUCCESS) continue;
      removeTemps();
      // The files replaced already go back to what they held.
      for (std::size_t j = 0; j < i; ++j) {
        const Merge& done = merges[j];
        LONG back = ERROR_SUCCESS;
        if (done.existed) {
          back = m_storage->writeDurably(done.temp, done.before);
          if (back == ERROR_SUCCESS) back = m_storage->replace(done.temp, done.target);
        } else {
          std::filesystem::remove(done.target, ec);
          if (ec) back = ERROR_WRITE_FAULT;
        }
        if (back != ERROR_SUCCESS) {
          std::filesystem::remove(done.temp, ec);
          platform::diag::error("Registry", platform::system::utf16ToUtf8(cannotWrite(done.hive->file, back)));
        }
        done.hive->loaded = false;
      }
      status.code = code;
      status.message = cannotWrite(merges[i].hive->file, code);
      return status;
    }
    for (Merge& merge : merges) {
      HiveFile& hive = *merge.hive;
      hive.content = std::move(merge.content);
      hive.journal.clear();
      hive.status = {};
      hive.loaded = true;
      m_storage->stamp(hive.file, hive.stamp);
    }
    return status;
  }

  LONG writeExport(const std::filesystem::path& file, const std::string& bytes) {
    std::filesystem::path temp = file;
    temp += ".tmp";
    LONG rc = m_storage->writeDurably(temp, bytes);
    if (rc == ERROR_SUCCESS) rc = m_storage->replace(temp, file);
    if (rc != ERROR_SUCCESS) {
      std::error_code ec;
      std::filesystem::remove(temp, ec);
    }
    return rc;
  }

 private:
  Registry() {
    setStorage(nullptr);
    reset();
  }

  std::filesystem::path lockFileOf(const HiveFile& hive) const {
    std::filesystem::path lock = hive.file;
    lock += ".lock";
    return lock;
  }

  static RegFileStatus malformed(const std::filesystem::path& file, unsigned line, const std::u16string& reason) {
    RegFileStatus status;
    status.code = ERROR_BADDB;
    status.line = line;
    status.message = u"Malformed registry file " + pathText(file);
    if (line > 0) status.message += u" at line " + platform::system::utf8ToUtf16(std::to_string(line));
    status.message += u": " + reason;
    return status;
  }

  // Reads a hive file; a file that cannot be used is reported, and its keys then answer ERROR_BADDB.
  RegFileStatus readHive(const HiveFile& hive, RootSet& out) {
    RegFileStatus status = parseHive(hive, out);
    if (!status.ok()) platform::diag::error("Registry", platform::system::utf16ToUtf8(status.message));
    return status;
  }

  RegFileStatus parseHive(const HiveFile& hive, RootSet& out) {
    std::string bytes;
    const LONG rc = m_storage->readFile(hive.file, bytes);
    if (rc == ERROR_FILE_NOT_FOUND) return {};
    if (rc != ERROR_SUCCESS) {
      RegFileStatus status;
      status.code = rc;
      status.message = cannotRead(hive.file, rc);
      return status;
    }
    return parseHiveText(hive, bytes, out);
  }

  static RegFileStatus parseHiveText(const HiveFile& hive, std::string_view bytes, RootSet& out) {
    const RegParseResult parsed = parseRegText(bytes);
    if (!parsed.ok) return malformed(hive.file, parsed.errorLine, parsed.error);
    for (const RegOp& op : parsed.ops) {
      // Keys of another hive would be lost at the next write.
      if (!hive.holds(op.root)) {
        return malformed(hive.file, op.line, std::u16string(rootName(op.root)) + u" does not belong in this file");
      }
      applyOp(out, op);
    }
    return {};
  }

  // False when the file would be larger than a hive file may be.
  static bool serialize(const HiveFile& hive, const RootSet& content, std::string& bytes) {
    std::vector<ExportTree> trees;
    for (RootId root : hive.roots) {
      trees.push_back(ExportTree{std::u16string(rootName(root)), &content[root], true});
    }
    return writeRegText(trees, kMaxRegFileBytes, bytes);
  }

  // A hive file that is a link to a regular file is replaced where it lives, keeping the link.
  static std::filesystem::path targetOf(const HiveFile& hive) {
    std::error_code ec;
    if (std::filesystem::is_symlink(hive.file, ec)) {
      const std::filesystem::path resolved = std::filesystem::canonical(hive.file, ec);
      if (!ec) return resolved;
    }
    return hive.file;
  }

  static HKEY predefinedKey(RootId root) {
    return root == RootId::kLocalMachine ? HKEY_LOCAL_MACHINE
           : root == RootId::kCurrentUser ? HKEY_CURRENT_USER
                                          : HKEY_CLASSES_ROOT;
  }

  // A failed write: the process goes back to what the file holds.
  LONG dropChanges(HiveFile& hive, LONG rc) {
    platform::diag::error("Registry", platform::system::utf16ToUtf8(cannotWrite(hive.file, rc)));
    hive.journal.clear();
    hive.loaded = false;
    refresh(hive);
    return rc;
  }

  std::shared_ptr<IHiveStorage> m_storage;
  std::filesystem::path m_home;
  HiveFile m_machine;
  HiveFile m_user;
  std::unordered_map<std::uintptr_t, OpenKey> m_handles;
  std::uintptr_t m_nextHandle = kFirstHandle;
};

// Every entry point holds the registry's lock for its whole call.
struct Locked {
  Registry& reg = Registry::instance();
  std::lock_guard<std::mutex> guard{reg.m_mutex};
};

}  // namespace
}  // namespace detail

using detail::HiveFile;
using detail::KeyNode;
using detail::Locked;
using detail::OpenKey;
using detail::RegOp;

std::filesystem::path registryHome() {
  Locked l;
  return l.reg.home();
}

RegFileStatus hiveStatus(HKEY root) {
  Locked l;
  if (root != HKEY_LOCAL_MACHINE && root != HKEY_CURRENT_USER && root != HKEY_CLASSES_ROOT) {
    RegFileStatus status;
    status.code = ERROR_INVALID_HANDLE;
    return status;
  }
  HiveFile& hive = l.reg.hiveOf(root == HKEY_CURRENT_USER ? detail::RootId::kCurrentUser : detail::RootId::kLocalMachine);
  l.reg.refresh(hive);
  return hive.status;
}

RegFileStatus loadHiveFile(const std::filesystem::path& file) {
  Locked l;
  return l.reg.applyFile(file, true, {});
}

RegFileStatus importRegFile(const std::filesystem::path& file, const KeyFilter& accept) {
  Locked l;
  return l.reg.applyFile(file, false, accept);
}

LONG exportKey(HKEY key, const std::filesystem::path& file) {
  std::string bytes;
  {
    Locked l;
    OpenKey open;
    KeyNode* node = nullptr;
    const LONG rc = l.reg.resolve(key, open, node);
    if (rc != ERROR_SUCCESS) return rc;
    if (!(open.access & KEY_READ & ~STANDARD_RIGHTS_READ)) return ERROR_ACCESS_DENIED;
    // The stored names, in their own case.
    std::u16string fullName(detail::rootName(open.root));
    KeyNode* walk = &l.reg.hiveOf(open.root).content[open.root];
    for (const std::u16string& name : open.path) {
      walk = walk->child(name);
      fullName += u'\\';
      fullName += walk->name();
    }
    bytes = detail::writeRegText({detail::ExportTree{fullName, node, false}});
    return l.reg.writeExport(file, bytes);
  }
}

LONG keyAccessOfCurrentUser(std::u16string_view objectName, ACCESS_MASK& granted) {
  granted = 0;
  const std::size_t slash = objectName.find(u'\\');
  const std::u16string root = detail::foldName(objectName.substr(0, slash));
  detail::RootId id;
  if (root == u"MACHINE") id = detail::RootId::kLocalMachine;
  else if (root == u"CURRENT_USER") id = detail::RootId::kCurrentUser;
  else if (root == u"CLASSES_ROOT") id = detail::RootId::kClassesRoot;
  else return ERROR_FILE_NOT_FOUND;
  std::vector<std::u16string> path;
  if (slash != std::u16string_view::npos && detail::splitPath(objectName.substr(slash + 1), path) != ERROR_SUCCESS) {
    return ERROR_BAD_PATHNAME;
  }
  Locked l;
  HiveFile& hive = l.reg.hiveOf(id);
  l.reg.refresh(hive);
  if (!hive.status.ok()) return hive.status.code;
  if (!detail::findKey(hive.content[id], path)) return ERROR_FILE_NOT_FOUND;
  granted = l.reg.writable(hive) ? KEY_ALL_ACCESS : KEY_READ;
  return ERROR_SUCCESS;
}

void setStorageForTesting(std::shared_ptr<IHiveStorage> storage) {
  Locked l;
  l.reg.setStorage(std::move(storage));
}

void resetForTesting() {
  Locked l;
  l.reg.reset();
}

}  // namespace platform::registry

using platform::registry::detail::HiveFile;
using platform::registry::detail::KeyNode;
using platform::registry::detail::Locked;
using platform::registry::detail::OpenKey;
using platform::registry::detail::RegOp;
using platform::registry::detail::RegValue;

namespace {

LSTATUS openOrCreate(HKEY hKey, LPCWSTR lpSubKey, REGSAM samDesired, PHKEY phkResult, bool create,
                     LPDWORD lpdwDisposition) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  Locked l;
  OpenKey parent;
  KeyNode* node = nullptr;
  LONG rc = l.reg.resolve(hKey, parent, node);
  if (rc != ERROR_SUCCESS) return rc;
  std::vector<std::u16string> parts;
  rc = platform::registry::detail::splitPath(platform::registry::detail::view(lpSubKey), parts);
  if (rc != ERROR_SUCCESS) return rc;
  HiveFile& hive = l.reg.hiveOf(parent.root);
  // Another process may have written the file since this handle was opened.
  l.reg.refresh(hive);
  if (!hive.status.ok()) return ERROR_BADDB;
  node = platform::registry::detail::findKey(hive.content[parent.root], parent.path);
  if (!node) return ERROR_KEY_DELETED;

  const bool writable = l.reg.writable(hive);
  const REGSAM access = platform::registry::detail::mapAccess(samDesired, writable);
  KeyNode* target = platform::registry::detail::findKey(*node, parts);
  if (!target && !create) return ERROR_FILE_NOT_FOUND;
  if ((access & platform::registry::detail::kWriteRights) && !writable) return ERROR_ACCESS_DENIED;
  OpenKey opened{parent.root, parent.path, access};
  opened.path.insert(opened.path.end(), parts.begin(), parts.end());
  DWORD disposition = REG_OPENED_EXISTING_KEY;
  if (!target) {
    if (!writable || !(parent.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    if (opened.path.size() > platform::registry::detail::kMaxKeyDepth) return ERROR_INVALID_PARAMETER;
    for (const std::u16string& part : parts) {
      if (part.size() > platform::registry::detail::kMaxKeyNameLength || platform::registry::detail::hasLineBreak(part)) {
        return ERROR_INVALID_PARAMETER;
      }
    }
    l.reg.record(hive, RegOp{RegOp::Kind::kCreateKey, opened.root, opened.path, {}, 0, {}, 0});
    disposition = REG_CREATED_NEW_KEY;
  }
  if (lpdwDisposition) *lpdwDisposition = disposition;
  *phkResult = l.reg.addHandle(std::move(opened));
  if (disposition == REG_CREATED_NEW_KEY && !(access & platform::registry::detail::kWriteRights)) {
    // Created through a read handle: nothing keeps the change pending.
    rc = l.reg.changed(hive);
    if (rc != ERROR_SUCCESS) {
      l.reg.closeHandle(*phkResult);
      *phkResult = nullptr;
      return rc;
    }
  }
  return ERROR_SUCCESS;
}

LSTATUS copyOut(const std::vector<BYTE>& data, LPBYTE lpData, LPDWORD lpcbData) {
  if (!lpcbData) return lpData ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
  const DWORD size = static_cast<DWORD>(data.size());
  if (lpData) {
    if (size > *lpcbData) {
      *lpcbData = size;
      return ERROR_MORE_DATA;
    }
    if (size) std::memcpy(lpData, data.data(), size);
  }
  *lpcbData = size;
  return ERROR_SUCCESS;
}

// Copies a name with its terminator into a buffer of *cch characters.
LSTATUS copyName(const std::u16string& name, LPWSTR buffer, LPDWORD cch) {
  if (!buffer || !cch) return ERROR_INVALID_PARAMETER;
  if (name.size() + 1 > *cch) return ERROR_MORE_DATA;
  std::copy(name.begin(), name.end(), buffer);
  buffer[name.size()] = 0;
  *cch = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

}  // namespace

LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  return openOrCreate(hKey, lpSubKey, samDesired, phkResult, false, nullptr);
}

LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM samDesired,
                        LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  return openOrCreate(hKey, lpSubKey, samDesired, phkResult, true, lpdwDisposition);
}

LSTATUS RegCloseKey(HKEY hKey) {
  Locked l;
  return l.reg.closeHandle(hKey);
}

LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  Locked l;
  OpenKey key;
  KeyNode* node = nullptr;
  const LONG rc = l.reg.resolve(hKey, key, node);
  if (rc != ERROR_SUCCESS) return rc;
  if (!(key.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  const RegValue* value = node->value(platform::registry::detail::view(lpValueName));
  if (!value) return ERROR_FILE_NOT_FOUND;
  if (lpType) *lpType = value->type;
  return copyOut(value->data, lpData, lpcbData);
}

LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
  Locked l;
  OpenKey key;
  KeyNode* node = nullptr;
  const LONG rc = l.reg.resolve(hKey, key, node);
  if (rc != ERROR_SUCCESS) return rc;
  if (!(key.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (!lpData && cbData) return ERROR_NOACCESS;
  const std::u16string_view name = platform::registry::detail::view(lpValueName);
  if (name.size() > platform::registry::detail::kMaxValueNameLength || platform::registry::detail::hasLineBreak(name)) {
    return ERROR_INVALID_PARAMETER;
  }
  // A value set to what it holds changes nothing: no write (the hive was just read again, so
  // what it holds is what the file has).
  if (const RegValue* old = node->value(name);
      old && old->type == dwType && std::equal(old->data.begin(), old->data.end(), lpData, lpData + cbData))
    return ERROR_SUCCESS;
  HiveFile& hive = l.reg.hiveOf(key.root);
  RegOp op{RegOp::Kind::kSetValue, key.root, key.path, std::u16string(name), dwType,
           std::vector<BYTE>(lpData, lpData + cbData), 0};
  l.reg.record(hive, std::move(op));
  return l.reg.changed(hive);
}

LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD, LPWSTR lpClass,
                      LPDWORD lpcchClass, PFILETIME) {
  Locked l;
  OpenKey key;
  KeyNode* node = nullptr;
  const LONG rc = l.reg.resolve(hKey, key, node);
  if (rc != ERROR_SUCCESS) return rc;
  if (!(key.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  if (dwIndex >= node->subkeys().size()) return ERROR_NO_MORE_ITEMS;
  const KeyNode& child = *std::next(node->subkeys().begin(), dwIndex)->second;
  const LONG copied = copyName(child.name(), lpName, lpcchName);
  if (copied != ERROR_SUCCESS) return copied;
  if (lpClass && lpcchClass && *lpcchClass > 0) {
    lpClass[0] = 0;
    *lpcchClass = 0;
  }
  return ERROR_SUCCESS;
}

LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData) {
  Locked l;
  OpenKey key;
  KeyNode* node = nullptr;
  const LONG rc = l.reg.resolve(hKey, key, node);
  if (rc != ERROR_SUCCESS) return rc;
  if (!(key.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (dwIndex >= node->values().size()) return ERROR_NO_MORE_ITEMS;
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  const RegValue& value = node->values()[dwIndex];
  const LONG copied = copyName(value.name, lpValueName, lpcchValueName);
  if (copied != ERROR_SUCCESS) return copied;
  if (lpType) *lpType = value.type;
  return copyOut(value.data, lpData, lpcbData);
}

LSTATUS RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD, LPDWORD lpcSubKeys,
                         LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                         LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                         PFILETIME) {
  Locked l;
  OpenKey key;
  KeyNode* node = nullptr;
  const LONG rc = l.reg.resolve(hKey, key, node);
  if (rc != ERROR_SUCCESS) return rc;
  if (!(key.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (lpClass && lpcchClass && *lpcchClass > 0) lpClass[0] = 0;
  if (lpcchClass) *lpcchClass = 0;
  DWORD maxSubKey = 0;
  for (const auto& [folded, child] : node->subkeys()) maxSubKey = std::max(maxSubKey, static_cast<DWORD>(child->name().size()));
  DWORD maxName = 0;
  DWORD maxData = 0;
  for (const RegValue& value : node->values()) {
    maxName = std::max(maxName, static_cast<DWORD>(value.name.size()));
    maxData = std::max(maxData, static_cast<DWORD>(value.data.size()));
  }
  if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(node->subkeys().size());
  if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = maxSubKey;
  if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
  if (lpcValues) *lpcValues = static_cast<DWORD>(node->values().size());
  if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = maxName;
  if (lpcbMaxValueLen) *lpcbMaxValueLen = maxData;
  if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
  return ERROR_SUCCESS;
}

LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  Locked l;
  OpenKey key;
  KeyNode* node = nullptr;
  const LONG rc = l.reg.resolve(hKey, key, node);
  if (rc != ERROR_SUCCESS) return rc;
  if (!(key.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  const std::u16string_view name = platform::registry::detail::view(lpValueName);
  if (!node->value(name)) return ERROR_FILE_NOT_FOUND;
  HiveFile& hive = l.reg.hiveOf(key.root);
  l.reg.record(hive, RegOp{RegOp::Kind::kDeleteValue, key.root, key.path, std::u16string(name), 0, {}, 0});
  return l.reg.changed(hive);
}

namespace {

// Deletes a sub-key (or, with an empty name, the key itself): its whole tree or only a leaf.
LSTATUS deleteKey(HKEY hKey, LPCWSTR lpSubKey, bool tree) {
  Locked l;
  OpenKey key;
  KeyNode* node = nullptr;
  LONG rc = l.reg.resolve(hKey, key, node);
  if (rc != ERROR_SUCCESS) return rc;
  HiveFile& hive = l.reg.hiveOf(key.root);
  if (!l.reg.writable(hive)) return ERROR_ACCESS_DENIED;
  if (tree && !lpSubKey) {
    // RegDeleteTreeW without a sub-key empties the key itself, which needs a writing handle.
    if (!(key.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    l.reg.record(hive, RegOp{RegOp::Kind::kClearKey, key.root, key.path, {}, 0, {}, 0});
    return l.reg.changed(hive);
  }
  std::vector<std::u16string> parts;
  rc = platform::registry::detail::splitPath(platform::registry::detail::view(lpSubKey), parts);
  if (rc != ERROR_SUCCESS) return rc;
  const KeyNode* target = platform::registry::detail::findKey(*node, parts);
  if (!target) return ERROR_FILE_NOT_FOUND;
  std::vector<std::u16string> path = key.path;
  path.insert(path.end(), parts.begin(), parts.end());
  if (path.empty()) return ERROR_ACCESS_DENIED;  // a predefined key stays
  if (!tree && !target->subkeys().empty()) return ERROR_ACCESS_DENIED;
  l.reg.record(hive, RegOp{tree ? RegOp::Kind::kDeleteTree : RegOp::Kind::kDeleteLeaf, key.root, std::move(path), {}, 0, {}, 0});
  return l.reg.changed(hive);
}

}  // namespace

LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  return deleteKey(hKey, lpSubKey, false);
}

LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) { return deleteKey(hKey, lpSubKey, true); }

LSTATUS RegFlushKey(HKEY hKey) {
  Locked l;
  OpenKey key;
  KeyNode* node = nullptr;
  const LONG rc = l.reg.resolve(hKey, key, node);
  if (rc != ERROR_SUCCESS && rc != ERROR_KEY_DELETED) return rc;
  return l.reg.commit(l.reg.hiveOf(key.root));
}
