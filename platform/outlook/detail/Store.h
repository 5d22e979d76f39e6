#pragma once
// The store: a folder tree of .msg files read once into folders and items, with the stable entry
// ids Outlook's GetItemFromID and GetFolderFromID look up. Reading is bounded (depth, counts) and
// never writes anything.

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/WinTypes.h"

namespace platform::outlook::detail {

struct FolderNode {
  std::u16string name;
  std::filesystem::path dir;  // empty for a default folder the tree lacks
  std::string relative;       // from the store's root, '/' between names; empty for the root
  std::u16string entryId;
  int parent = -1;
  std::vector<int> children;
  std::vector<int> items;
  LONG role = 0;  // the OlDefaultFolders constant of a default folder, else 0
  LONG defaultItemType = 0;
  std::u16string defaultMessageClass;
};

struct ItemNode {
  std::filesystem::path file;
  std::u16string entryId;
  int folder = 0;
};

struct StoreLimits {
  int maxDepth = 32;
  std::size_t maxFolders = 10000;
  std::size_t maxItems = 200000;
};

class StoreModel {
 public:
  // Null when root is not a readable folder.
  static std::shared_ptr<StoreModel> scan(const std::filesystem::path& root, std::u16string displayName,
                                          const StoreLimits& limits = {});

  const std::u16string& storeId() const { return m_storeId; }
  const std::vector<FolderNode>& folders() const { return m_folders; }
  const std::vector<ItemNode>& items() const { return m_items; }
  // -1 when there is none. Entry ids are compared ignoring the case of the hex digits.
  int findItem(std::u16string_view entryId) const;
  int findFolder(std::u16string_view entryId) const;
  int defaultFolder(LONG role) const;
  // The folder at a relative path ("" the root, "Inbox/Sub"), -1 when absent.
  int folderAt(std::u16string_view relative) const;
  // The item of a file inside the store (any spelling of its path), -1 when absent.
  int itemOfFile(const std::filesystem::path& file) const;
  bool truncated() const { return m_truncated; }

 private:
  void scanFolder(int folder, int depth, const StoreLimits& limits);
  int addFolder(int parent, std::u16string name, std::filesystem::path dir, std::string relative);

  std::filesystem::path m_root;
  std::u16string m_storeId;
  std::vector<FolderNode> m_folders;
  std::vector<ItemNode> m_items;
  std::map<std::u16string, int> m_itemIds;
  std::map<std::u16string, int> m_folderIds;
  bool m_truncated = false;
};

// A stable 64-bit hash (FNV-1a) of bytes, for entry ids.
std::uint64_t stableHash(std::string_view bytes);
// Upper-case hex of entry id parts.
std::u16string hexId(std::uint32_t flags, std::uint64_t a, std::uint64_t b);

}  // namespace platform::outlook::detail
