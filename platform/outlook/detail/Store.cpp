#include "platform/outlook/detail/Store.h"

#include <algorithm>
#include <system_error>

#include "platform/outlook/OutlookInterfaces.h"
#include "platform/system/Text.h"

namespace fs = std::filesystem;

namespace platform::outlook::detail {
namespace {


struct DefaultFolder {
  LONG role;
  std::u16string_view name;
  LONG itemType;
  std::u16string_view messageClass;
};
constexpr DefaultFolder kDefaultFolders[] = {
    {olFolderInbox, u"Inbox", olMailItem, u"IPM.Note"},
    {olFolderCalendar, u"Calendar", olAppointmentItem, u"IPM.Appointment"},
    {olFolderContacts, u"Contacts", olContactItem, u"IPM.Contact"},
    {olFolderTasks, u"Tasks", olTaskItem, u"IPM.Task"},
    {olFolderNotes, u"Notes", olNoteItem, u"IPM.StickyNote"},
    {olFolderJournal, u"Journal", olJournalItem, u"IPM.Activity"},
    {olFolderSentMail, u"Sent Items", olMailItem, u"IPM.Note"},
    {olFolderOutbox, u"Outbox", olMailItem, u"IPM.Note"},
    {olFolderDeletedItems, u"Deleted Items", olMailItem, u"IPM.Note"},
    {olFolderDrafts, u"Drafts", olMailItem, u"IPM.Note"},
};

const DefaultFolder* defaultFolderNamed(std::u16string_view name) {
  const std::u16string key = platform::system::lowerCase(name);
  for (const DefaultFolder& d : kDefaultFolders)
    if (platform::system::lowerCase(d.name) == key) return &d;
  return nullptr;
}

bool isMsgFile(const fs::path& path) {
  const std::string ext = path.extension().string();
  return ext.size() == 4 && ext[0] == '.' && (ext[1] | 0x20) == 'm' && (ext[2] | 0x20) == 's' &&
         (ext[3] | 0x20) == 'g';
}

}  // namespace

std::uint64_t stableHash(std::string_view bytes) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 0x100000001b3ull;
  }
  return h;
}

std::u16string hexId(std::uint32_t flags, std::uint64_t a, std::uint64_t b) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string out;
  auto put = [&](std::uint64_t value, int bytes) {
    for (int i = bytes * 2 - 1; i >= 0; --i) out.push_back(kDigits[(value >> (i * 4)) & 0xF]);
  };
  put(flags, 4);
  put(a, 8);
  put(b, 8);
  return out;
}

std::shared_ptr<StoreModel> StoreModel::scan(const fs::path& root, std::u16string displayName,
                                             const StoreLimits& limits) {
  std::error_code ec;
  if (!fs::is_directory(root, ec)) return nullptr;
  auto store = std::make_shared<StoreModel>();
  store->m_root = fs::weakly_canonical(root, ec);
  if (ec) store->m_root = root;
  const std::uint64_t storeHash = stableHash(store->m_root.string());
  store->m_storeId = hexId(0, 0x51554C4D53544F52ull, storeHash);
  store->addFolder(-1, std::move(displayName), store->m_root, {});
  store->scanFolder(0, 0, limits);
  // Outlook always has its default folders; those the tree lacks are empty.
  for (const DefaultFolder& d : kDefaultFolders) {
    if (store->defaultFolder(d.role) >= 0) continue;
    const int id = store->addFolder(0, std::u16string(d.name), {}, platform::system::utf16ToUtf8(d.name));
    FolderNode& node = store->m_folders[id];
    node.role = d.role;
    node.defaultItemType = d.itemType;
    node.defaultMessageClass = d.messageClass;
  }
  return store;
}

int StoreModel::addFolder(int parent, std::u16string name, fs::path dir, std::string relative) {
  FolderNode node;
  node.name = std::move(name);
  node.dir = std::move(dir);
  node.relative = std::move(relative);
  node.parent = parent;
  node.defaultItemType = olMailItem;
  node.defaultMessageClass = u"IPM.Note";
  if (parent == 0) {
    if (const DefaultFolder* d = defaultFolderNamed(node.name)) {
      node.role = d->role;
      node.defaultItemType = d->itemType;
      node.defaultMessageClass = d->messageClass;
    }
  } else if (parent > 0) {
    // A sub-folder holds what its parent holds.
    node.defaultItemType = m_folders[parent].defaultItemType;
    node.defaultMessageClass = m_folders[parent].defaultMessageClass;
  }
  node.entryId = hexId(0, stableHash(m_root.string()), stableHash("folder:" + node.relative));
  const int id = static_cast<int>(m_folders.size());
  m_folderIds.emplace(node.entryId, id);
  m_folders.push_back(std::move(node));
  if (parent >= 0) m_folders[parent].children.push_back(id);
  return id;
}

void StoreModel::scanFolder(int folder, int depth, const StoreLimits& limits) {
  std::error_code ec;
  fs::directory_iterator it(m_folders[folder].dir, fs::directory_options::skip_permission_denied, ec);
  if (ec) return;
  std::vector<fs::path> dirs, files;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    const fs::directory_entry& entry = *it;
    std::error_code typeEc;
    // Folders are entered only when they are real folders, so that links cannot loop.
    if (entry.is_directory(typeEc) && !entry.is_symlink(typeEc)) {
      dirs.push_back(entry.path());
    } else if (isMsgFile(entry.path()) && entry.is_regular_file(typeEc)) {
      files.push_back(entry.path());
    }
  }
  std::sort(dirs.begin(), dirs.end());
  std::sort(files.begin(), files.end());
  const std::string base = m_folders[folder].relative;  // a copy: adding folders moves the nodes
  for (const fs::path& file : files) {
    if (m_items.size() >= limits.maxItems) {
      m_truncated = true;
      break;
    }
    const std::string relative = (base.empty() ? "" : base + "/") + file.filename().string();
    ItemNode item;
    item.file = file;
    item.folder = folder;
    item.entryId = hexId(0, stableHash(m_root.string()), stableHash("item:" + relative));
    const int id = static_cast<int>(m_items.size());
    if (!m_itemIds.emplace(item.entryId, id).second) continue;
    m_items.push_back(std::move(item));
    m_folders[folder].items.push_back(id);
  }
  if (depth + 1 >= limits.maxDepth) {
    if (!dirs.empty()) m_truncated = true;
    return;
  }
  for (const fs::path& dir : dirs) {
    if (m_folders.size() >= limits.maxFolders) {
      m_truncated = true;
      return;
    }
    const std::string name = dir.filename().string();
    const int child =
        addFolder(folder, platform::system::utf8ToUtf16(name), dir, base.empty() ? name : base + "/" + name);
    scanFolder(child, depth + 1, limits);
  }
}

int StoreModel::findItem(std::u16string_view entryId) const {
  std::u16string key(entryId);
  for (char16_t& c : key)
    if (c >= u'a' && c <= u'f') c = static_cast<char16_t>(c - u'a' + u'A');
  const auto found = m_itemIds.find(key);
  return found == m_itemIds.end() ? -1 : found->second;
}

int StoreModel::findFolder(std::u16string_view entryId) const {
  std::u16string key(entryId);
  for (char16_t& c : key)
    if (c >= u'a' && c <= u'f') c = static_cast<char16_t>(c - u'a' + u'A');
  const auto found = m_folderIds.find(key);
  return found == m_folderIds.end() ? -1 : found->second;
}

int StoreModel::defaultFolder(LONG role) const {
  if (role == 0) return -1;
  for (int i = 0; i < static_cast<int>(m_folders.size()); ++i)
    if (m_folders[i].role == role && m_folders[i].parent == 0) return i;
  return -1;
}

int StoreModel::folderAt(std::u16string_view relative) const {
  const std::string key = platform::system::utf16ToUtf8(relative);
  for (int i = 0; i < static_cast<int>(m_folders.size()); ++i)
    if (m_folders[i].relative == key) return i;
  return -1;
}

int StoreModel::itemOfFile(const fs::path& file) const {
  std::error_code ec;
  for (int i = 0; i < static_cast<int>(m_items.size()); ++i)
    if (m_items[i].file == file || fs::equivalent(m_items[i].file, file, ec)) return i;
  return -1;
}

}  // namespace platform::outlook::detail
