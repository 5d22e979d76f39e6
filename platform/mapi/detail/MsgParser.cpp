// Reading a .msg compound file with libgsf into the model of MsgModel.h.
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-utils.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>

#include "platform/mapi/PropTags.h"
#include "platform/mapi/detail/Guids.h"
#include "platform/mapi/detail/MsgModel.h"

namespace platform::mapi::detail {
namespace {

constexpr std::size_t kChunk = 64 * 1024;

// What one file may still make the reader read and build.
struct Budget {
  std::uint64_t bytes;
  std::uint64_t items;
};

template <class T>
struct GObjectRef {
  T* p = nullptr;
  GObjectRef() = default;
  explicit GObjectRef(T* ptr) : p(ptr) {}
  GObjectRef(const GObjectRef&) = delete;
  GObjectRef& operator=(const GObjectRef&) = delete;
  ~GObjectRef() {
    if (p) g_object_unref(p);
  }
};

void silenceLibgsf() {
  static std::once_flag once;
  std::call_once(once, [] {
    gsf_init();
    // Damaged files are expected input; libgsf's warnings about them are not ours to print.
    const auto quiet = [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {};
    for (const char* domain : {"libgsf:msole", "libgsf", "libgsf:utils"})
      g_log_set_handler(domain, static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE |
                                                            G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG),
                        quiet, nullptr);
  });
}

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// The children of one storage, looked up by name regardless of case.
class Storage {
 public:
  explicit Storage(GsfInfile* dir) : m_dir(dir) {
    const int count = gsf_infile_num_children(dir);
    for (int i = 0; i < count; ++i) {
      const char* name = gsf_infile_name_by_index(dir, i);
      if (name) m_index.emplace(upper(name), i);
    }
  }

  // A child by name, with a reference for the caller; null when absent.
  GsfInput* open(const std::string& name) const {
    const auto it = m_index.find(upper(name));
    return it == m_index.end() ? nullptr : gsf_infile_child_by_index(m_dir, it->second);
  }
  bool has(const std::string& name) const { return m_index.count(upper(name)) != 0; }
  const std::map<std::string, int>& names() const { return m_index; }
  GsfInput* openIndex(int i) const { return gsf_infile_child_by_index(m_dir, i); }

 private:
  GsfInfile* m_dir;
  std::map<std::string, int> m_index;
};

bool isStorage(GsfInput* input) {
  return GSF_IS_INFILE(input) && gsf_infile_num_children(GSF_INFILE(input)) >= 0;
}

// The stream's real bytes, or nothing when it is no stream, cannot be read whole or exceeds
// the budget.
std::optional<std::string> readStream(GsfInput* input, Budget& budget) {
  if (!input || isStorage(input)) return std::nullopt;
  const gsf_off_t size = gsf_input_size(input);
  if (size < 0 || static_cast<std::uint64_t>(size) > budget.bytes) return std::nullopt;
  std::string out;
  out.resize(static_cast<std::size_t>(size));
  std::size_t done = 0;
  if (!gsf_input_seek(input, 0, G_SEEK_SET)) {
    while (done < out.size()) {
      const std::size_t n = std::min(kChunk, out.size() - done);
      if (!gsf_input_read(input, n, reinterpret_cast<guint8*>(out.data() + done))) break;
      done += n;
    }
  }
  if (done != out.size()) return std::nullopt;
  budget.bytes -= done;
  return out;
}

std::optional<std::string> readChild(const Storage& storage, const std::string& name, Budget& budget) {
  GObjectRef<GsfInput> child(storage.open(name));
  if (!child.p) return std::nullopt;
  return readStream(child.p, budget);
}

std::string substgName(ULONG tag) {
  char name[32];
  std::snprintf(name, sizeof name, "__substg1.0_%08X", static_cast<unsigned>(tag));
  return name;
}

bool isVariableSingle(ULONG type) {
  return type == PT_STRING8 || type == PT_UNICODE || type == PT_BINARY || type == PT_CLSID;
}

bool isKnownType(ULONG type) {
  const ULONG base = type & ~MV_FLAG;
  if (type & MV_FLAG) {
    switch (base) {
      case PT_I2: case PT_LONG: case PT_R4: case PT_DOUBLE: case PT_CURRENCY: case PT_APPTIME:
      case PT_I8: case PT_SYSTIME: case PT_CLSID: case PT_STRING8: case PT_UNICODE: case PT_BINARY:
        return true;
      default:
        return false;
    }
  }
  return fixedSize(type) != 0 || isVariableSingle(type) || type == PT_OBJECT || type == PT_NULL;
}

// Reads the values of a multi-valued property from its streams.
bool readMultiValued(const Storage& storage, ULONG tag, StoredProp& prop, Budget& budget) {
  const ULONG base = PROP_TYPE(tag) & ~MV_FLAG;
  const auto lengths = readChild(storage, substgName(tag), budget);
  if (!lengths) return false;
  if (const std::size_t size = fixedSize(PROP_TYPE(tag)); size != 0) {
    const std::size_t count = std::min(lengths->size() / size, kMaxValuesPerProperty);
    for (std::size_t i = 0; i < count; ++i) prop.values.push_back(lengths->substr(i * size, size));
    return true;
  }
  // Strings have 4-byte entries, binaries 8; only the number of entries is used, never the
  // lengths they claim.
  const std::size_t entry = base == PT_BINARY ? 8 : 4;
  const std::size_t count = std::min(lengths->size() / entry, kMaxValuesPerProperty);
  for (std::size_t i = 0; i < count; ++i) {
    if (budget.items == 0) return false;
    --budget.items;
    char name[48];
    std::snprintf(name, sizeof name, "__substg1.0_%08X-%08X", static_cast<unsigned>(tag),
                  static_cast<unsigned>(i));
    prop.values.push_back(readChild(storage, name, budget).value_or(std::string()));
  }
  return true;
}

// The property stream of one storage, header of `headerSize` bytes, and the value streams.
PropBag readProperties(const Storage& storage, std::size_t headerSize, Budget& budget,
                       bool* hasObjectStorage) {
  PropBag bag;
  const auto stream = readChild(storage, "__properties_version1.0", budget);
  if (stream && stream->size() > headerSize) {
    const std::size_t count = (stream->size() - headerSize) / 16;
    for (std::size_t i = 0; i < count && budget.items > 0; ++i) {
      const char* entry = stream->data() + headerSize + i * 16;
      const ULONG tag = readU32(entry);
      const ULONG type = PROP_TYPE(tag);
      if (!isKnownType(type) || bag.count(PROP_ID(tag))) continue;
      --budget.items;
      StoredProp prop;
      prop.tag = tag;
      std::memcpy(prop.fixed.data(), entry + 8, 8);
      if (type & MV_FLAG) {
        if (!readMultiValued(storage, tag, prop, budget)) continue;
      } else if (isVariableSingle(type)) {
        auto data = readChild(storage, substgName(tag), budget);
        if (!data) {
          // A missing stream is an empty value only when the entry says so.
          if (readU32(entry + 8) != 0) continue;
          data.emplace();
        }
        prop.data = std::move(*data);
      } else if (type == PT_OBJECT) {
        if (hasObjectStorage && PROP_ID(tag) == 0x3701) *hasObjectStorage = storage.has(substgName(tag));
      }
      bag.emplace(PROP_ID(tag), std::move(prop));
    }
  }
  // Some writers leave variable-size values out of the property stream; their streams still
  // name them.
  for (const auto& [name, index] : storage.names()) {
    if (name.size() != 20 || name.compare(0, 12, "__SUBSTG1.0_") != 0) continue;
    unsigned tag = 0;
    if (std::sscanf(name.c_str() + 12, "%8X", &tag) != 1) continue;
    if (!isVariableSingle(PROP_TYPE(tag)) || bag.count(PROP_ID(tag)) || budget.items == 0) continue;
    GObjectRef<GsfInput> child(storage.openIndex(index));
    auto data = readStream(child.p, budget);
    if (!data) continue;
    --budget.items;
    StoredProp prop;
    prop.tag = tag;
    prop.data = std::move(*data);
    bag.emplace(PROP_ID(tag), std::move(prop));
  }
  return bag;
}

// Sub-storages whose names begin with the prefix followed by '#' and a hex number, in the
// order of that number.
std::vector<int> numberedChildren(const Storage& storage, const std::string& prefix) {
  std::vector<std::pair<unsigned long, int>> found;
  const std::string key = upper(prefix) + "#";
  for (const auto& [name, index] : storage.names()) {
    if (name.compare(0, key.size(), key) != 0) continue;
    const std::string digits = name.substr(key.size());
    if (digits.empty() || digits.size() > 8 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
      continue;
    found.emplace_back(std::stoul(digits, nullptr, 16), index);
  }
  std::sort(found.begin(), found.end());
  std::vector<int> out;
  for (const auto& f : found) out.push_back(f.second);
  return out;
}

std::shared_ptr<MsgNode> readMessage(GsfInfile* dir, bool embedded, int depth, UINT inheritedCodePage,
                                     Budget& budget);

void readAttachments(const Storage& storage, MsgNode& node, int depth, Budget& budget) {
  for (int index : numberedChildren(storage, "__attach_version1.0_")) {
    if (budget.items == 0) return;
    --budget.items;
    GObjectRef<GsfInput> child(storage.openIndex(index));
    if (!child.p || !isStorage(child.p)) continue;
    const Storage attachStorage(GSF_INFILE(child.p));
    AttachNode attach;
    attach.props = readProperties(attachStorage, 8, budget, &attach.hasObjectStorage);
    const std::string objectName = substgName(PR_ATTACH_DATA_OBJ);
    if (GObjectRef<GsfInput> object(attachStorage.open(objectName)); object.p && isStorage(object.p)) {
      attach.hasObjectStorage = true;
      const auto method = attach.props.find(PROP_ID(PR_ATTACH_METHOD));
      const bool isEmbedded = method != attach.props.end() &&
                              PROP_TYPE(method->second.tag) == PT_LONG &&
                              readU32(method->second.fixed.data()) == ATTACH_EMBEDDED_MSG;
      if (isEmbedded && depth < kMaxEmbeddingDepth)
        attach.embedded = readMessage(GSF_INFILE(object.p), true, depth + 1, node.codePage, budget);
    }
    node.attachments.push_back(std::move(attach));
  }
}

std::shared_ptr<MsgNode> readMessage(GsfInfile* dir, bool embedded, int depth, UINT inheritedCodePage,
                                     Budget& budget) {
  const Storage storage(dir);
  auto node = std::make_shared<MsgNode>();
  node->props = readProperties(storage, embedded ? 24 : 32, budget, nullptr);
  node->codePage = resolveCodePage(node->props, inheritedCodePage);
  for (int index : numberedChildren(storage, "__recip_version1.0_")) {
    if (budget.items == 0) break;
    --budget.items;
    GObjectRef<GsfInput> child(storage.openIndex(index));
    if (!child.p || !isStorage(child.p)) continue;
    node->recipients.push_back(readProperties(Storage(GSF_INFILE(child.p)), 8, budget, nullptr));
  }
  readAttachments(storage, *node, depth, budget);
  return node;
}

GUID guidFromBytes(const char* p) {
  GUID g{};
  g.Data1 = readU32(p);
  g.Data2 = readU16(p + 4);
  g.Data3 = readU16(p + 6);
  std::memcpy(g.Data4, p + 8, 8);
  return g;
}

void readNameMap(const Storage& root, NameMap& names, Budget& budget) {
  GObjectRef<GsfInput> dir(root.open("__nameid_version1.0"));
  if (!dir.p || !isStorage(dir.p)) return;
  const Storage storage(GSF_INFILE(dir.p));
  const std::string guids = readChild(storage, substgName(0x00020102), budget).value_or(std::string());
  const std::string entries = readChild(storage, substgName(0x00030102), budget).value_or(std::string());
  const std::string strings = readChild(storage, substgName(0x00040102), budget).value_or(std::string());
  const std::size_t count = std::min<std::size_t>(entries.size() / 8, 0x7FFF);
  for (std::size_t i = 0; i < count; ++i) {
    const char* e = entries.data() + i * 8;
    const std::uint32_t idOrOffset = readU32(e);
    const std::uint16_t guidAndKind = readU16(e + 4);
    const std::uint16_t index = readU16(e + 6);
    NamedEntry entry;
    entry.propId = 0x8000u + index;
    if (entry.propId > 0xFFFE) continue;
    const unsigned guidIndex = guidAndKind >> 1;
    if (guidIndex == 1) {
      entry.guid = kPS_MAPI;
    } else if (guidIndex == 2) {
      entry.guid = kPS_PUBLIC_STRINGS;
    } else if (guidIndex >= 3 && (guidIndex - 3) * 16 + 16 <= guids.size()) {
      entry.guid = guidFromBytes(guids.data() + (guidIndex - 3) * 16);
    } else {
      continue;
    }
    if (guidAndKind & 1) {
      entry.kind = MNID_STRING;
      if (idOrOffset > strings.size() || strings.size() - idOrOffset < 4) continue;
      const std::uint32_t length = readU32(strings.data() + idOrOffset);
      if (length > strings.size() - idOrOffset - 4) continue;
      const char* text = strings.data() + idOrOffset + 4;
      for (std::uint32_t k = 0; k + 1 < length; k += 2) entry.name.push_back(static_cast<char16_t>(readU16(text + k)));
      while (!entry.name.empty() && entry.name.back() == u'\0') entry.name.pop_back();
    } else {
      entry.kind = MNID_ID;
      entry.lid = static_cast<LONG>(idOrOffset);
    }
    if (!names.byId(entry.propId)) names.entries.push_back(std::move(entry));
  }
}

}  // namespace

std::size_t fixedSize(ULONG type) {
  switch (type & ~MV_FLAG) {
    case PT_I2: case PT_BOOLEAN:
      return (type & MV_FLAG) ? 2 : 8;
    case PT_LONG: case PT_R4: case PT_ERROR:
      return (type & MV_FLAG) ? 4 : 8;
    case PT_DOUBLE: case PT_CURRENCY: case PT_APPTIME: case PT_I8: case PT_SYSTIME:
      return 8;
    case PT_CLSID:
      return (type & MV_FLAG) ? 16 : 0;
    default:
      return 0;
  }
}

const NamedEntry* NameMap::byId(ULONG propId) const {
  for (const auto& e : entries)
    if (e.propId == propId) return &e;
  return nullptr;
}

const NamedEntry* NameMap::byLid(const GUID& guid, LONG lid) const {
  for (const auto& e : entries)
    if (e.kind == MNID_ID && e.lid == lid && IsEqualGUID(e.guid, guid)) return &e;
  return nullptr;
}

const NamedEntry* NameMap::byName(const GUID& guid, std::u16string_view name) const {
  for (const auto& e : entries)
    if (e.kind == MNID_STRING && e.name == name && IsEqualGUID(e.guid, guid)) return &e;
  return nullptr;
}

std::shared_ptr<MsgFile> parseMsg(std::string bytes) {
  silenceLibgsf();
  if (bytes.size() > kMaxFileBytes) return nullptr;
  GObjectRef<GsfInput> input(gsf_input_memory_new(reinterpret_cast<const guint8*>(bytes.data()),
                                                  static_cast<gsf_off_t>(bytes.size()), FALSE));
  if (!input.p) return nullptr;
  GError* error = nullptr;
  GObjectRef<GsfInfile> root(gsf_infile_msole_new(input.p, &error));
  if (error) g_error_free(error);
  if (!root.p) return nullptr;
  // Directory entries may share sectors, so a small file can name far more data than it holds;
  // what it may make us read is bounded by its own size.
  Budget budget{std::min<std::uint64_t>(kMaxFileBytes, 64ull * bytes.size() + (1u << 20)), 200000};
  auto file = std::make_shared<MsgFile>();
  readNameMap(Storage(root.p), file->names, budget);
  file->root = readMessage(root.p, false, 0, 0, budget);
  return file;
}

}  // namespace platform::mapi::detail
