#pragma once
// The in-memory key tree of the registry and the changes applied to it (by API calls, by .reg
// files and when a writer replays its unsaved changes onto a hive file's current content).

#include <array>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Export.h"
#include "platform/WinTypes.h"

namespace platform::registry::detail {

// Windows' limits, kept on every way in (API calls, merges, hive files) so that nothing this
// registry writes is refused when read back, and no walk of a tree goes deeper than this.
constexpr std::size_t kMaxKeyDepth = 512;  // names below a predefined key
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;

// The upper-cased form of a key or value name: names compare through it, and sub-keys enumerate
// in its order, as on Windows.
QM_PLATFORM_API std::u16string foldName(std::u16string_view name);

struct RegValue {
  std::u16string name;
  std::u16string folded;
  DWORD type = 0;
  std::vector<BYTE> data;
};

class QM_PLATFORM_API KeyNode {
 public:
  explicit KeyNode(std::u16string name = {}) : m_name(std::move(name)) {}

  const std::u16string& name() const { return m_name; }
  const std::map<std::u16string, std::unique_ptr<KeyNode>>& subkeys() const { return m_subkeys; }
  const std::vector<RegValue>& values() const { return m_values; }

  KeyNode* child(std::u16string_view name) const;
  // The sub-key of that name, created (keeping the name's case) when missing.
  KeyNode& ensureChild(std::u16string_view name, bool* created = nullptr);
  bool removeChild(std::u16string_view name);
  const RegValue* value(std::u16string_view name) const;
  // Replaces a value in place (keeping its position and name's case) or appends it.
  void setValue(std::u16string_view name, DWORD type, std::vector<BYTE> data);
  bool deleteValue(std::u16string_view name);
  void clear();

  // Same names (exact case), values in the same order and sub-keys, recursively.
  bool sameAs(const KeyNode& other) const;

 private:
  std::u16string m_name;
  std::map<std::u16string, std::unique_ptr<KeyNode>> m_subkeys;
  std::vector<RegValue> m_values;
};

enum class RootId { kLocalMachine = 0, kCurrentUser = 1, kClassesRoot = 2 };
constexpr int kRootCount = 3;

// "HKEY_LOCAL_MACHINE" ... as written in .reg files.
QM_PLATFORM_API std::u16string_view rootName(RootId root);

// The three predefined keys; those of one hive file are filled, the others stay empty.
struct QM_PLATFORM_API RootSet {
  RootSet();
  std::array<KeyNode, kRootCount> roots;
  KeyNode& operator[](RootId id) { return roots[static_cast<int>(id)]; }
  const KeyNode& operator[](RootId id) const { return roots[static_cast<int>(id)]; }
};

struct RegOp {
  enum class Kind {
    kCreateKey,    // the key and every missing parent
    kDeleteTree,   // the key with everything below it; on a root: its content
    kDeleteLeaf,   // the key when it has no sub-keys
    kClearKey,     // the key's values and sub-keys, keeping the key
    kSetValue,     // creating the key when it has gone meanwhile
    kDeleteValue,
  };
  Kind kind = Kind::kCreateKey;
  RootId root = RootId::kLocalMachine;
  std::vector<std::u16string> path;
  std::u16string name;
  DWORD type = 0;
  std::vector<BYTE> data;
  unsigned line = 0;  // of the .reg file it was read from
};

QM_PLATFORM_API KeyNode* findKey(KeyNode& root, const std::vector<std::u16string>& path);
QM_PLATFORM_API void applyOp(RootSet& roots, const RegOp& op);

}  // namespace platform::registry::detail
