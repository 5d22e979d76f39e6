// The MAPI objects over a parsed .msg file: message, attachment, recipient and attachment
// tables. Every object keeps the parsed file alive; none of them changes it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/mapi/MAPIInterfaces.h"
#include "platform/mapi/MsgFile.h"
#include "platform/mapi/PropTags.h"
#include "platform/mapi/detail/Guids.h"
#include "platform/mapi/detail/MsgModel.h"
#include "platform/mapi/detail/PropValues.h"
#include "platform/mapi/detail/ReadOnlyProp.h"
#include "platform/mapi/detail/Streams.h"

const IID IID_IStream = platform::mapi::detail::kIID_IStream;
const IID IID_IMAPIProp = platform::mapi::detail::kIID_IMAPIProp;
const IID IID_IMessage = platform::mapi::detail::kIID_IMessage;
const IID IID_IAttachment = platform::mapi::detail::kIID_IAttachment;
const IID IID_IMAPITable = platform::mapi::detail::kIID_IMAPITable;
const GUID PS_MAPI = platform::mapi::detail::kPS_MAPI;
const GUID PS_PUBLIC_STRINGS = platform::mapi::detail::kPS_PUBLIC_STRINGS;
const GUID PS_INTERNET_HEADERS = platform::mapi::detail::kPS_INTERNET_HEADERS;
const GUID PSETID_Common = platform::mapi::detail::kPSETID_Common;
const GUID PSETID_Address = platform::mapi::detail::kPSETID_Address;
const GUID PSETID_Appointment = platform::mapi::detail::kPSETID_Appointment;
const GUID PSETID_Meeting = platform::mapi::detail::kPSETID_Meeting;
const GUID PSETID_Task = platform::mapi::detail::kPSETID_Task;
const GUID PSETID_Note = platform::mapi::detail::kPSETID_Note;
const GUID PSETID_Log = platform::mapi::detail::kPSETID_Log;

namespace platform::mapi::detail {
namespace {

using FilePtr = std::shared_ptr<const MsgFile>;

enum class ObjectKind { kMessage, kRecipient, kAttachment };

// Where one object's (or one row's) properties come from.
struct PropSource {
  const PropBag* bag = nullptr;
  ObjectKind kind = ObjectKind::kMessage;
  ULONG index = 0;  // place among the message's recipients or attachments
  const AttachNode* attach = nullptr;
  UINT codePage = 1252;
};

// Values that MAPI makes rather than stores.
bool computedValue(const PropSource& source, ULONG id, LONG& value) {
  if (source.kind == ObjectKind::kAttachment && id == PROP_ID(PR_ATTACH_NUM)) {
    value = static_cast<LONG>(source.index);
    return true;
  }
  if (source.kind == ObjectKind::kRecipient && id == PROP_ID(PR_ROWID)) {
    value = static_cast<LONG>(source.index);
    return true;
  }
  if (source.kind == ObjectKind::kAttachment && id == PROP_ID(PR_ATTACH_SIZE)) {
    const auto data = source.bag->find(PROP_ID(PR_ATTACH_DATA_BIN));
    if (data == source.bag->end() || PROP_TYPE(data->second.tag) != PT_BINARY) return false;
    value = static_cast<LONG>(std::min<std::size_t>(data->second.data.size(), 0x7FFFFFFF));
    return true;
  }
  return false;
}

std::vector<ULONG> tagsOf(const PropSource& source) {
  std::vector<ULONG> tags;
  for (const auto& [id, prop] : *source.bag) tags.push_back(prop.tag);
  for (ULONG tag : {PR_ATTACH_NUM, PR_ROWID, PR_ATTACH_SIZE}) {
    LONG unused = 0;
    if (!source.bag->count(PROP_ID(tag)) && computedValue(source, PROP_ID(tag), unused)) tags.push_back(tag);
  }
  return tags;
}

void valueOf(const PropSource& source, ULONG tag, void* parent, SPropValue& out) {
  const ULONG id = PROP_ID(tag);
  const auto it = source.bag->find(id);
  if (it != source.bag->end()) {
    fillValue(it->second, tag, source.codePage, parent, out);
    return;
  }
  LONG value = 0;
  if (computedValue(source, id, value) && (PROP_TYPE(tag) == PT_LONG || PROP_TYPE(tag) == PT_UNSPECIFIED)) {
    fillLong(tag, value, out);
    return;
  }
  fillError(tag, MAPI_E_NOT_FOUND, out);
}

HRESULT allocTagArray(const std::vector<ULONG>& tags, LPSPropTagArray* out) {
  void* p = nullptr;
  if (FAILED(MAPIAllocateBuffer(static_cast<ULONG>(CbNewSPropTagArray(static_cast<ULONG>(tags.size()))), &p)))
    return MAPI_E_NOT_ENOUGH_MEMORY;
  auto* array = static_cast<LPSPropTagArray>(p);
  array->cValues = static_cast<ULONG>(tags.size());
  std::copy(tags.begin(), tags.end(), array->aulPropTag);
  *out = array;
  return S_OK;
}

// The values of `tags` in one MAPI buffer; MAPI_W_ERRORS_RETURNED when some are missing.
HRESULT valuesOf(const PropSource& source, const std::vector<ULONG>& tags, ULONG* count, LPSPropValue* values) {
  void* p = nullptr;
  if (FAILED(MAPIAllocateBuffer(static_cast<ULONG>(sizeof(SPropValue) * std::max<std::size_t>(tags.size(), 1)), &p)))
    return MAPI_E_NOT_ENOUGH_MEMORY;
  auto* array = static_cast<LPSPropValue>(p);
  bool errors = false;
  for (std::size_t i = 0; i < tags.size(); ++i) {
    valueOf(source, tags[i], p, array[i]);
    errors |= PROP_TYPE(array[i].ulPropTag) == PT_ERROR && PROP_TYPE(tags[i]) != PT_ERROR;
  }
  *count = static_cast<ULONG>(tags.size());
  *values = array;
  return errors ? MAPI_W_ERRORS_RETURNED : S_OK;
}

std::vector<ULONG> tagsFrom(LPSPropTagArray array) {
  return std::vector<ULONG>(array->aulPropTag, array->aulPropTag + array->cValues);
}

class CRowTable final : public CUnknownImpl<IMAPITable> {
 public:
  CRowTable(FilePtr file, std::vector<PropSource> rows, std::vector<ULONG> columns, ULONG flags)
      : m_file(std::move(file)), m_rows(std::move(rows)), m_columns(std::move(columns)), m_unicode(flags & MAPI_UNICODE) {
    if (m_unicode) widenStrings(m_columns);
  }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != kIID_IUnknown && riid != kIID_IMAPITable) return E_NOINTERFACE;
    AddRef();
    *ppv = static_cast<IMAPITable*>(this);
    return S_OK;
  }
  HRESULT GetLastError(HRESULT, ULONG, LPMAPIERROR* error) override {
    if (error) *error = nullptr;
    return S_OK;
  }
  HRESULT Advise(ULONG, IMAPIAdviseSink*, ULONG*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT Unadvise(ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT GetStatus(ULONG* status, ULONG* type) override {
    if (status) *status = 0;  // TBLSTAT_COMPLETE
    if (type) *type = 0;      // TBLTYPE_SNAPSHOT
    return S_OK;
  }
  HRESULT SetColumns(LPSPropTagArray tags, ULONG) override {
    if (!tags) return MAPI_E_INVALID_PARAMETER;
    m_columns = tagsFrom(tags);
    return S_OK;
  }
  HRESULT QueryColumns(ULONG, LPSPropTagArray* tags) override {
    if (!tags) return MAPI_E_INVALID_PARAMETER;
    return allocTagArray(m_columns, tags);
  }
  HRESULT GetRowCount(ULONG, ULONG* count) override {
    if (!count) return MAPI_E_INVALID_PARAMETER;
    *count = static_cast<ULONG>(m_rows.size());
    return S_OK;
  }
  HRESULT SeekRow(BOOKMARK origin, LONG rows, LONG* sought) override {
    LONGLONG base = 0;
    if (origin == BOOKMARK_BEGINNING) base = 0;
    else if (origin == BOOKMARK_CURRENT) base = m_position;
    else if (origin == BOOKMARK_END) base = static_cast<LONGLONG>(m_rows.size());
    else return MAPI_E_INVALID_BOOKMARK;
    const LONGLONG target = std::clamp<LONGLONG>(base + rows, 0, static_cast<LONGLONG>(m_rows.size()));
    if (sought) *sought = static_cast<LONG>(target - base);
    m_position = static_cast<ULONG>(target);
    return S_OK;
  }
  HRESULT SeekRowApprox(ULONG numerator, ULONG denominator) override {
    if (denominator == 0) return MAPI_E_INVALID_PARAMETER;
    m_position = static_cast<ULONG>(std::min<ULONGLONG>(
        m_rows.size(), static_cast<ULONGLONG>(m_rows.size()) * numerator / denominator));
    return S_OK;
  }
  HRESULT QueryPosition(ULONG* row, ULONG* numerator, ULONG* denominator) override {
    if (row) *row = m_position;
    if (numerator) *numerator = m_position;
    if (denominator) *denominator = static_cast<ULONG>(m_rows.size());
    return S_OK;
  }
  HRESULT FindRow(LPSRestriction, BOOKMARK, ULONG) override { return MAPI_E_TOO_COMPLEX; }
  HRESULT Restrict(LPSRestriction restriction, ULONG) override { return restriction ? MAPI_E_TOO_COMPLEX : S_OK; }
  HRESULT CreateBookmark(BOOKMARK*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT FreeBookmark(BOOKMARK) override { return MAPI_E_NO_SUPPORT; }
  HRESULT SortTable(LPSSortOrderSet sort, ULONG) override { return sort ? MAPI_E_TOO_COMPLEX : S_OK; }
  HRESULT QuerySortOrder(LPSSortOrderSet*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT Abort() override { return S_OK; }

  HRESULT QueryRows(LONG count, ULONG flags, LPSRowSet* rows) override {
    if (!rows) return MAPI_E_INVALID_PARAMETER;
    *rows = nullptr;
    // Rows in [first, first + n): forwards from the position, or backwards before it.
    ULONG first = m_position, n = 0;
    if (count >= 0) {
      n = static_cast<ULONG>(std::min<ULONGLONG>(static_cast<ULONGLONG>(count), m_rows.size() - m_position));
    } else {
      n = static_cast<ULONG>(std::min<ULONGLONG>(static_cast<ULONGLONG>(-static_cast<LONGLONG>(count)), m_position));
      first = m_position - n;
    }
    void* p = nullptr;
    if (FAILED(MAPIAllocateBuffer(static_cast<ULONG>(CbNewSRowSet(n)), &p))) return MAPI_E_NOT_ENOUGH_MEMORY;
    auto* set = static_cast<LPSRowSet>(p);
    set->cRows = 0;
    for (ULONG i = 0; i < n; ++i) {
      SRow& row = set->aRow[i];
      row = SRow{};
      const HRESULT hr = valuesOf(m_rows[first + i], m_columns, &row.cValues, &row.lpProps);
      if (FAILED(hr)) {
        FreeProws(set);
        return hr;
      }
      set->cRows = i + 1;
    }
    if (!(flags & TBL_NOADVANCE)) m_position = count >= 0 ? first + n : first;
    *rows = set;
    return S_OK;
  }

 private:
  static void widenStrings(std::vector<ULONG>& tags) {
    for (ULONG& tag : tags) {
      if (PROP_TYPE(tag) == PT_STRING8) tag = CHANGE_PROP_TYPE(tag, PT_UNICODE);
      if (PROP_TYPE(tag) == PT_MV_STRING8) tag = CHANGE_PROP_TYPE(tag, PT_MV_UNICODE);
    }
  }

  FilePtr m_file;
  std::vector<PropSource> m_rows;
  std::vector<ULONG> m_columns;
  bool m_unicode;
  ULONG m_position = 0;
};

// What messages and attachments share: properties, streams and named properties.
template <class Interface>
class CPropObject : public CReadOnlyProp<Interface> {
 public:
  CPropObject(FilePtr file, PropSource source) : m_file(std::move(file)), m_source(source) {}

  UINT codePage() const { return m_source.codePage; }


  HRESULT GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) override {
    if (!count || !values) return MAPI_E_INVALID_PARAMETER;
    *count = 0;
    *values = nullptr;
    std::vector<ULONG> wanted = tags ? tagsFrom(tags) : tagsOf(m_source);
    if (!tags && (flags & MAPI_UNICODE)) {
      for (ULONG& tag : wanted) {
        if (PROP_TYPE(tag) == PT_STRING8) tag = CHANGE_PROP_TYPE(tag, PT_UNICODE);
        if (PROP_TYPE(tag) == PT_MV_STRING8) tag = CHANGE_PROP_TYPE(tag, PT_MV_UNICODE);
      }
    }
    return valuesOf(m_source, wanted, count, values);
  }

  HRESULT GetPropList(ULONG, LPSPropTagArray* tags) override {
    if (!tags) return MAPI_E_INVALID_PARAMETER;
    return allocTagArray(tagsOf(m_source), tags);
  }

  HRESULT OpenProperty(ULONG tag, LPCIID iid, ULONG, ULONG flags, LPUNKNOWN* unknown) override {
    if (!iid || !unknown) return MAPI_E_INVALID_PARAMETER;
    *unknown = nullptr;
    if (flags & (MAPI_MODIFY | MAPI_CREATE)) return MAPI_E_NO_ACCESS;
    if (HRESULT hr = openSpecial(tag, *iid, unknown); hr != MAPI_E_NOT_FOUND) return hr;
    if (*iid != kIID_IStream) return MAPI_E_INTERFACE_NOT_SUPPORTED;
    const auto it = m_source.bag->find(PROP_ID(tag));
    if (it == m_source.bag->end()) return MAPI_E_NOT_FOUND;
    auto bytes = streamBytes(it->second, tag, m_source.codePage);
    if (!bytes) return MAPI_E_NOT_FOUND;
    // The stream holds its own copy, so it outlives the message that opened it.
    *unknown = new CMemoryStream(std::make_shared<const std::string>(std::move(*bytes)));
    return S_OK;
  }


  HRESULT GetNamesFromIDs(LPSPropTagArray* tags, LPGUID guid, ULONG, ULONG* count, LPMAPINAMEID** names) override {
    if (!tags || !count || !names) return MAPI_E_INVALID_PARAMETER;
    *count = 0;
    *names = nullptr;
    const NameMap& map = m_file->names;
    std::vector<ULONG> ids;
    if (*tags) {
      ids = tagsFrom(*tags);
    } else {
      for (const auto& e : map.entries)
        if (!guid || IsEqualGUID(*guid, e.guid)) ids.push_back(PROP_TAG(PT_UNSPECIFIED, e.propId));
      if (HRESULT hr = allocTagArray(ids, tags); FAILED(hr)) return hr;
    }
    void* p = nullptr;
    if (FAILED(MAPIAllocateBuffer(static_cast<ULONG>(sizeof(LPMAPINAMEID) * std::max<std::size_t>(ids.size(), 1)), &p)))
      return MAPI_E_NOT_ENOUGH_MEMORY;
    auto* array = static_cast<LPMAPINAMEID*>(p);
    bool errors = false;
    for (std::size_t i = 0; i < ids.size(); ++i) {
      array[i] = nullptr;
      const NamedEntry* entry = PROP_ID(ids[i]) >= 0x8000 ? map.byId(PROP_ID(ids[i])) : nullptr;
      if (entry && guid && !IsEqualGUID(*guid, entry->guid)) entry = nullptr;
      if (!entry) {
        errors = true;
        continue;
      }
      auto* name = static_cast<LPMAPINAMEID>(copyMore(p, nullptr, 0, sizeof(MAPINAMEID)));
      auto* set = static_cast<LPGUID>(copyMore(p, &entry->guid, sizeof(GUID)));
      if (!name || !set) {
        MAPIFreeBuffer(p);
        return MAPI_E_NOT_ENOUGH_MEMORY;
      }
      name->lpguid = set;
      name->ulKind = entry->kind;
      if (entry->kind == MNID_ID) {
        name->Kind.lID = entry->lid;
      } else {
        name->Kind.lpwstrName = static_cast<char16_t*>(copyMore(p, entry->name.data(), entry->name.size() * 2, 2));
        if (!name->Kind.lpwstrName) {
          MAPIFreeBuffer(p);
          return MAPI_E_NOT_ENOUGH_MEMORY;
        }
      }
      array[i] = name;
    }
    *count = static_cast<ULONG>(ids.size());
    *names = array;
    return errors ? MAPI_W_ERRORS_RETURNED : S_OK;
  }

  HRESULT GetIDsFromNames(ULONG count, LPMAPINAMEID* names, ULONG, LPSPropTagArray* tags) override {
    if (!tags) return MAPI_E_INVALID_PARAMETER;
    *tags = nullptr;
    const NameMap& map = m_file->names;
    std::vector<ULONG> out;
    bool errors = false;
    if (count == 0 || !names) {
      for (const auto& e : map.entries) out.push_back(PROP_TAG(PT_UNSPECIFIED, e.propId));
    } else {
      for (ULONG i = 0; i < count; ++i) {
        const MAPINAMEID* name = names[i];
        const NamedEntry* entry = nullptr;
        if (name && name->lpguid) {
          if (name->ulKind == MNID_ID)
            entry = map.byLid(*name->lpguid, name->Kind.lID);
          else if (name->ulKind == MNID_STRING && name->Kind.lpwstrName)
            entry = map.byName(*name->lpguid, name->Kind.lpwstrName);
        }
        out.push_back(entry ? PROP_TAG(PT_UNSPECIFIED, entry->propId) : PROP_TAG(PT_ERROR, PROP_ID_NULL));
        errors |= entry == nullptr;
      }
    }
    if (HRESULT hr = allocTagArray(out, tags); FAILED(hr)) return hr;
    return errors ? MAPI_W_ERRORS_RETURNED : S_OK;
  }

 protected:
  // Opens what is not a plain property stream; MAPI_E_NOT_FOUND when `tag` is no such thing.
  virtual HRESULT openSpecial(ULONG, REFIID, LPUNKNOWN*) { return MAPI_E_NOT_FOUND; }

  HRESULT query(REFIID riid, void** ppv, std::initializer_list<const IID*> iids) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (const IID* iid : iids) {
      if (riid == *iid) {
        this->AddRef();
        *ppv = static_cast<Interface*>(this);
        return S_OK;
      }
    }
    return E_NOINTERFACE;
  }

  FilePtr m_file;
  PropSource m_source;
};

class CMsgMessage;

class CMsgAttach final : public CPropObject<IAttach> {
 public:
  CMsgAttach(FilePtr file, PropSource source) : CPropObject(std::move(file), source) {}

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    return query(riid, ppv, {&kIID_IUnknown, &kIID_IMAPIProp, &kIID_IAttachment});
  }

 protected:
  HRESULT openSpecial(ULONG tag, REFIID iid, LPUNKNOWN* unknown) override;
};

class CMsgMessage final : public CPropObject<IMessage> {
 public:
  CMsgMessage(FilePtr file, const MsgNode* node)
      : CPropObject(std::move(file), PropSource{&node->props, ObjectKind::kMessage, 0, nullptr, node->codePage}),
        m_node(node) {}

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    return query(riid, ppv, {&kIID_IUnknown, &kIID_IMAPIProp, &kIID_IMessage});
  }

  HRESULT GetAttachmentTable(ULONG flags, LPMAPITABLE* table) override {
    if (!table) return MAPI_E_INVALID_PARAMETER;
    std::vector<PropSource> rows;
    for (std::size_t i = 0; i < m_node->attachments.size(); ++i) rows.push_back(attachSource(static_cast<ULONG>(i)));
    *table = new CRowTable(m_file, std::move(rows),
                           {PR_ATTACH_NUM, PR_ATTACH_METHOD, PR_ATTACH_LONG_FILENAME_A,
                            PR_ATTACH_FILENAME_A, PR_DISPLAY_NAME_A, PR_ATTACH_CONTENT_ID_A, PR_ATTACH_MIME_TAG_A,
                            PR_ATTACH_FLAGS, PR_ATTACHMENT_HIDDEN, PR_RENDERING_POSITION, PR_ATTACH_SIZE},
                           flags);
    return S_OK;
  }

  HRESULT OpenAttach(ULONG number, LPCIID iid, ULONG flags, LPATTACH* attach) override {
    if (!attach) return MAPI_E_INVALID_PARAMETER;
    *attach = nullptr;
    if (flags & MAPI_MODIFY) return MAPI_E_NO_ACCESS;
    if (iid && *iid != kIID_IAttachment && *iid != kIID_IMAPIProp && *iid != kIID_IUnknown)
      return MAPI_E_INTERFACE_NOT_SUPPORTED;
    if (number >= m_node->attachments.size()) return MAPI_E_NOT_FOUND;
    *attach = new CMsgAttach(m_file, attachSource(number));
    return S_OK;
  }

  HRESULT CreateAttach(LPCIID, ULONG, ULONG*, LPATTACH*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT DeleteAttach(ULONG, ULONG, IMAPIProgress*, ULONG) override { return MAPI_E_NO_SUPPORT; }

  HRESULT GetRecipientTable(ULONG flags, LPMAPITABLE* table) override {
    if (!table) return MAPI_E_INVALID_PARAMETER;
    std::vector<PropSource> rows;
    for (std::size_t i = 0; i < m_node->recipients.size(); ++i)
      rows.push_back(PropSource{&m_node->recipients[i], ObjectKind::kRecipient, static_cast<ULONG>(i), nullptr,
                                m_node->codePage});
    *table = new CRowTable(m_file, std::move(rows),
                           {PR_ROWID, PR_RECIPIENT_TYPE, PR_DISPLAY_NAME_A, PR_EMAIL_ADDRESS_A, PR_ADDRTYPE_A,
                            PR_SMTP_ADDRESS_A, PR_ENTRYID},
                           flags);
    return S_OK;
  }

  HRESULT ModifyRecipients(ULONG, void*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT SubmitMessage(ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT SetReadFlag(ULONG) override { return S_OK; }

 private:
  PropSource attachSource(ULONG index) const {
    const AttachNode& node = m_node->attachments[index];
    return PropSource{&node.props, ObjectKind::kAttachment, index, &node, m_node->codePage};
  }

  const MsgNode* m_node;
};

HRESULT CMsgAttach::openSpecial(ULONG tag, REFIID iid, LPUNKNOWN* unknown) {
  if (PROP_ID(tag) != PROP_ID(PR_ATTACH_DATA_OBJ) || PROP_TYPE(tag) != PT_OBJECT) return MAPI_E_NOT_FOUND;
  if (iid != kIID_IMessage) return MAPI_E_INTERFACE_NOT_SUPPORTED;
  if (!m_source.attach || !m_source.attach->embedded) return MAPI_E_NOT_FOUND;
  *unknown = static_cast<IMessage*>(new CMsgMessage(m_file, m_source.attach->embedded.get()));
  return S_OK;
}

// The message over a parse: MAPI_E_CORRUPT_DATA where the bytes were no message.
HRESULT openParsed(std::shared_ptr<MsgFile> file, LPMESSAGE* message) {
  if (!file || !file->root) return MAPI_E_CORRUPT_DATA;
  const MsgNode* root = file->root.get();
  *message = new CMsgMessage(std::move(file), root);
  return S_OK;
}

}  // namespace
}  // namespace platform::mapi::detail

namespace platform::mapi {

namespace {

// Which file, as it stood when it was read: the same file unchanged has all four alike.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t modifiedNs = 0;
  bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> identityOf(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{st.st_dev, st.st_ino, st.st_size,
                      static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

// Files read ahead, kept for the next open of the same file; bounded, so that a long list of
// files read ahead holds no more than the first of them.
class CReadAhead {
 public:
  static constexpr std::size_t kMaxFiles = 64;
  static constexpr std::uint64_t kMaxBytes = 64ull << 20;

  void keep(const FileIdentity& identity, std::shared_ptr<detail::MsgFile> file) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::uint64_t size = static_cast<std::uint64_t>(identity.size);
    if (m_kept.size() >= kMaxFiles || m_bytes + size > kMaxBytes) return;
    m_bytes += size;
    m_kept.push_back({identity, std::move(file)});
  }

  std::shared_ptr<detail::MsgFile> take(const FileIdentity& identity) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_kept.begin(); it != m_kept.end(); ++it) {
      if (!(it->identity == identity)) continue;
      std::shared_ptr<detail::MsgFile> file = std::move(it->file);
      m_bytes -= static_cast<std::uint64_t>(identity.size);
      m_kept.erase(it);
      return file;
    }
    return nullptr;
  }

 private:
  struct Kept {
    FileIdentity identity;
    std::shared_ptr<detail::MsgFile> file;
  };
  std::mutex m_mutex;
  std::vector<Kept> m_kept;
  std::uint64_t m_bytes = 0;
};

CReadAhead& readAhead() {
  static CReadAhead kept;
  return kept;
}

// The file parsed: S_OK and the parse, or why it cannot be read.
HRESULT parseFile(const std::filesystem::path& path, std::shared_ptr<detail::MsgFile>& parsed) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) return MAPI_E_NOT_FOUND;
  if (size > detail::kMaxFileBytes) return MAPI_E_TOO_BIG;
  std::ifstream in(path, std::ios::binary);
  if (!in) return MAPI_E_NOT_FOUND;
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(size));
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (bytes.size() > detail::kMaxFileBytes) return MAPI_E_TOO_BIG;
  parsed = detail::parseMsg(std::move(bytes));
  return parsed && parsed->root ? S_OK : MAPI_E_CORRUPT_DATA;
}

}  // namespace

HRESULT openMsgFile(const std::filesystem::path& path, LPMESSAGE* lppMessage) {
  if (!lppMessage) return MAPI_E_INVALID_PARAMETER;
  *lppMessage = nullptr;
  std::shared_ptr<detail::MsgFile> file;
  if (const std::optional<FileIdentity> identity = identityOf(path)) file = readAhead().take(*identity);
  if (!file)
    if (HRESULT hr = parseFile(path, file); FAILED(hr)) return hr;
  return detail::openParsed(std::move(file), lppMessage);
}

HRESULT readMsgFileAhead(const std::filesystem::path& path) {
  // Read before it is looked at: a file that changes meanwhile is read again when opened.
  const std::optional<FileIdentity> identity = identityOf(path);
  std::shared_ptr<detail::MsgFile> file;
  if (HRESULT hr = parseFile(path, file); FAILED(hr)) return hr;
  if (identity && identity == identityOf(path)) readAhead().keep(*identity, std::move(file));
  return S_OK;
}

std::string openFailureText(const std::filesystem::path& path, HRESULT hr) {
  if (hr == MAPI_E_CORRUPT_DATA) return "is not a valid .msg file";
  if (hr == MAPI_E_TOO_BIG) return "is larger than " + std::to_string(detail::kMaxFileBytes >> 20) + " MB";
  if (hr != MAPI_E_NOT_FOUND) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(static_cast<ULONG>(hr)));
    return std::string("cannot be opened (") + code + ")";
  }
  int error = 0;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    error = errno;
  } else if (S_ISDIR(st.st_mode)) {
    error = EISDIR;
  } else if (!S_ISREG(st.st_mode)) {
    return "is not a regular file";
  } else {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) error = errno;
    else ::close(fd);
  }
  return error ? "cannot be read: " + std::generic_category().message(error) : std::string("cannot be read");
}

HRESULT openMsgMemory(const void* data, std::size_t size, LPMESSAGE* lppMessage) {
  if (!lppMessage || (!data && size)) return MAPI_E_INVALID_PARAMETER;
  *lppMessage = nullptr;
  if (size > detail::kMaxFileBytes) return MAPI_E_TOO_BIG;
  return detail::openParsed(detail::parseMsg(std::string(static_cast<const char*>(data), size)), lppMessage);
}

UINT stringCodePage(LPMAPIPROP lpObject) {
  if (auto* message = dynamic_cast<detail::CPropObject<IMessage>*>(lpObject)) return message->codePage();
  if (auto* attach = dynamic_cast<detail::CPropObject<IAttach>*>(lpObject)) return attach->codePage();
  return 0;
}

}  // namespace platform::mapi
