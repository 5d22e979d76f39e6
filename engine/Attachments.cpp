#include "engine/Attachments.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <unordered_map>

#include <boost/make_shared.hpp>

#include "engine/Message.h"
#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "foundation/Utils.h"
#include "platform/mapi/PropTags.h"

namespace {

// The columns of the attachment rows, in the order the Attachment formatter reads them.
SizedSPropTagArray(11, kAttachmentColumns) = {
    11,
    {PR_DISPLAY_NAME_W, PR_ATTACH_FILENAME_W, PR_ATTACH_LONG_FILENAME_W, PR_ATTACH_PATHNAME_W,
     PR_ATTACH_LONG_PATHNAME_W, PR_ATTACH_METHOD, PR_ATTACH_NUM, PR_ATTACH_CONTENT_ID_W,
     PR_ATTACH_CONTENT_LOCATION_W, PR_ATTACH_FLAGS, PR_ATTACH_CONTENT_DISPOSITION_W}};

// How many counters uniqueFileName tries before it gives up.
constexpr int kMaxUniqueAttempts = 10000;

bool isError(const SRow& row, ULONG column) {
  return column >= row.cValues || PROP_TYPE(row.lpProps[column].ulPropTag) == PT_ERROR;
}

bool isSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

bool isForbidden(char16_t c) {
  return c < 0x20 || c == 0x7F || std::u16string_view(u"<>:\"/\\|?*").find(c) != std::u16string_view::npos;
}

bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Names Windows takes for devices whatever the extension ("CON", "nul.txt", "COM1.log").
bool isDeviceName(const quilstring& name) {
  quilstring stem = name.substr(0, name.find(u'.'));
  while (!stem.empty() && stem.back() == u' ') stem.pop_back();
  NUtils::toUpper(stem);
  static constexpr std::array<std::u16string_view, 6> kPlain = {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"};
  for (std::u16string_view device : kPlain)
    if (stem == device) return true;
  return stem.size() == 4 && (stem.starts_with(u"COM") || stem.starts_with(u"LPT")) && stem[3] >= u'0' &&
         stem[3] <= u'9';
}

// Cuts text to at most length units without splitting a surrogate pair.
void cutTo(quilstring& text, std::size_t length) {
  if (text.size() <= length) return;
  if (length > 0 && isLowSurrogate(text[length])) --length;
  text.resize(length);
}

struct PathParts {
  quilstring folder;  // up to and with the last separator
  quilstring base;
  quilstring extension;  // with its dot
};

PathParts splitPath(const quilstring& path) {
  PathParts parts;
  std::size_t slash = path.find_last_of(u"/\\");
  std::size_t nameStart = slash == quilstring::npos ? 0 : slash + 1;
  parts.folder = path.substr(0, nameStart);
  const quilstring name = path.substr(nameStart);
  const std::size_t dot = name.rfind(u'.');
  if (dot == quilstring::npos || dot == 0) {
    parts.base = name;
  } else {
    parts.base = name.substr(0, dot);
    parts.extension = name.substr(dot);
  }
  return parts;
}

std::filesystem::path fsPath(const quilstring& path) { return std::filesystem::path(path.toUtf8()); }

// Creates the file, closed to others, only when no file of that name is there (never through a
// link). Answers 0 or the errno of the failure.
int createExclusively(const quilstring& path) {
  const int fd = ::open(path.toUtf8().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return errno;
  ::close(fd);
  return 0;
}

// The next counter to try per name taken (folder, base name and extension), so that the thousandth
// attachment of one name does not try the 999 names before it again.
class CNameCounters {
 public:
  int next(const quilstring& key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_next.try_emplace(key, 1).first->second;
  }
  void taken(const quilstring& key, int counter) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_next[key] = counter + 1;
  }

 private:
  std::mutex m_mutex;
  std::unordered_map<std::u16string, int> m_next;
};

CNameCounters& nameCounters() {
  static CNameCounters counters;
  return counters;
}

// Characters that change the direction of the text after them: embeddings and overrides
// (U+202A-U+202E), isolates (U+2066-U+2069) and the marks U+200E, U+200F.
bool isBidiControl(char16_t c) {
  return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E || c == 0x200F;
}

}  // namespace

quilstring displayAttachmentName(const quilstring& name) {
  quilstring shown = name;
  std::erase_if(shown, isBidiControl);
  return shown;
}

quilstring safeAttachmentFileName(const quilstring& name) {
  quilstring safe = displayAttachmentName(name);
  const std::size_t last = safe.find_last_of(u"/\\");
  if (last != quilstring::npos) safe.erase(0, last + 1);
  for (char16_t& c : safe)
    if (isForbidden(c) && !isSeparator(c)) c = u'_';
  while (!safe.empty() && (safe.back() == u'.' || safe.back() == u' ')) safe.pop_back();
  if (safe.empty() || safe == u"." || safe == u"..") return u"attachment";
  if (isDeviceName(safe)) safe.insert(0, u"_");
  if (safe.size() > kMaxAttachmentFileName) {
    PathParts parts = splitPath(safe);
    if (parts.extension.size() > kMaxAttachmentFileName / 4) {
      cutTo(safe, kMaxAttachmentFileName);
    } else {
      cutTo(parts.base, kMaxAttachmentFileName - parts.extension.size());
      safe = parts.base + parts.extension;
    }
    while (!safe.empty() && (safe.back() == u'.' || safe.back() == u' ')) safe.pop_back();
    if (safe.empty()) return u"attachment";
  }
  return safe;
}

quilstring bareContentId(const quilstring& contentId) {
  if (contentId.size() >= 2 && contentId.front() == u'<' && contentId.back() == u'>')
    return contentId.substr(1, contentId.size() - 2);
  return contentId;
}

bool CMessage::uniqueFileName(quilstring& path) {
  return NUtils::guarded(u"CMessage::uniqueFileName", false, [&] {
    const PathParts parts = splitPath(path);
    const quilstring first = parts.folder + parts.base + parts.extension;
    int error = createExclusively(first);
    if (error == 0) {
      path = first;
      return true;
    }
    CNameCounters& counters = nameCounters();
    int counter = counters.next(first);
    for (int attempt = 0; attempt < kMaxUniqueAttempts && error == EEXIST; ++attempt, ++counter) {
      quilstring numbered;
      numbered.Format(u"%s%d", parts.base.c_str(), counter);
      const quilstring candidate = parts.folder + numbered + parts.extension;
      error = createExclusively(candidate);
      if (error == 0) {
        counters.taken(first, counter);
        path = candidate;
        return true;
      }
    }
    LOG_ERROR(u"No file name of its own could be made for %s: %s", first.c_str(),
              quilstring::fromUtf8(std::strerror(error)).c_str());
    return false;
  });
}

bool CMessage::writeAttachmentToFile(IStream* source, const quilstring& path) {
  LOG_DEBUG(u"WriteToFile:%s", path.c_str());
  if (!source) return false;
  bool whole = false;
  {
    CComPtr<IStream> file;
    if (FAILED(OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, STGM_CREATE | STGM_READWRITE,
                                path.toUtf8().c_str(), nullptr, file.Receive())) ||
        !file)
      return false;
    LOG_DEBUG(u"WriteToFile:1");
    STATSTG stat{};
    if (SUCCEEDED(source->Stat(&stat, STATFLAG_NONAME))) {
      LOG_DEBUG(u"WriteToFile:size:%d", static_cast<int>(stat.cbSize.QuadPart));
      ULARGE_INTEGER read{}, written{};
      const HRESULT copied = source->CopyTo(file, stat.cbSize, &read, &written);
      if (SUCCEEDED(copied) && written.QuadPart == stat.cbSize.QuadPart) {
        LOG_DEBUG(u"WriteToFile:2");
        if (SUCCEEDED(file->Commit(0))) {
          LOG_DEBUG(u"WriteToFile:3");
          whole = true;
        }
      }
    }
  }
  LOG_DEBUG(u"WriteToFile:4");
  // A partial copy is worth nothing and must not stay behind in the temporary folder.
  if (!whole) {
    std::error_code ignored;
    std::filesystem::remove(fsPath(path), ignored);
  }
  LOG_DEBUG(NUtils::getFileSize(path) ? u"WriteToFile:exists true" : u"WriteToFile:exists false");
  return whole;
}

void CMessage::ensureAttachments() {
  if (m_attachmentsFetched) return;
  m_attachmentsFetched = true;
  if (!m_mapiMessage) return;
  NUtils::guarded(u"CMessage::fetchAttachments", [&] { fetchAttachments(); });
}

bool CMessage::hasAttachments() {
  ensureAttachments();
  return m_attachmentRows != nullptr;
}

const SRowSet* CMessage::getAttachmentRows() {
  ensureAttachments();
  return m_attachmentRows.get();
}

const std::vector<AttachmentDataPtr>& CMessage::getInlineImages() {
  ensureAttachments();
  return m_inlineImages;
}

const std::vector<AttachmentDataPtr>& CMessage::getAttachments() {
  ensureAttachments();
  return m_attachments;
}

quilstring CMessage::getContactPicturePath() {
  ensureAttachments();
  return m_contactPicturePath;
}

bool CMessage::hasOLEAttachment() {
  ensureAttachments();
  return m_hasOLEAttachment;
}

const char16_t* CMessage::setupStrProp(IAttach* attachment, ULONG tag, SRow& row, ULONG column) {
  LOG_DEBUG(u"setupStrProp: Prop ul: %d", static_cast<int>(tag));
  const char16_t* answer = nullptr;
  if (isError(row, column)) {
    LPSPropValue value = nullptr;
    if (column < row.cValues && SUCCEEDED(HrGetOneProp(attachment, tag, &value))) {
      platform::mapi::MAPIBuffer<SPropValue> hold(value);
      if (PROP_TYPE(value->ulPropTag) == PT_UNICODE) {
        // The row borrows the value's text; the buffer lives as long as the rows.
        row.lpProps[column] = *value;
        answer = value->Value.lpszW;
        m_fetchedValues.push_back(std::move(hold));
      }
    }
  } else if (PROP_TYPE(row.lpProps[column].ulPropTag) == PT_UNICODE) {
    answer = row.lpProps[column].Value.lpszW;
  }
  LOG_DEBUG(u"<setupStrProp: %s", answer ? answer : u"");
  return answer;
}

void CMessage::fetchAttachments() {
  LOG_DEBUG(u"CMessage -- fetching attachments");
  if (!FPropExists(m_mapiMessage, PR_PARENT_ENTRYID)) m_item.touchAndSave();

  CComPtr<IMAPITable> table;
  if (FAILED(m_mapiMessage->GetAttachmentTable(MAPI_UNICODE, table.Receive())) || !table) return;
  LPSRowSet rows = nullptr;
  if (FAILED(HrQueryAllRows(table, reinterpret_cast<LPSPropTagArray>(&kAttachmentColumns), nullptr, nullptr, 0,
                            &rows)))
    return;
  m_attachmentRows.reset(rows);

  const quilstring tempPath = NUtils::getTempPath();
  // Without a temporary folder no attachment is written: a bare name would land in the working folder.
  if (tempPath.empty()) LOG_ERROR(u"No temporary folder: attachments are not written");
  for (ULONG i = 0; i < rows->cRows; ++i) {
    SRow& row = rows->aRow[i];
    if (row.cValues <= kColDisposition || isError(row, kColNumber) || isError(row, kColMethod)) continue;
    const ULONG method = row.lpProps[kColMethod].Value.ul;

    CComPtr<IAttach> attachment;
    if (FAILED(m_mapiMessage->OpenAttach(row.lpProps[kColNumber].Value.ul, &IID_IAttachment, MAPI_BEST_ACCESS,
                                         attachment.Receive())) ||
        !attachment)
      continue;

    bool isContactPhoto = false;
    LPSPropValue value = nullptr;
    if (SUCCEEDED(HrGetOneProp(attachment, PR_ATTACHMENT_CONTACTPHOTO, &value))) {
      platform::mapi::MAPIBuffer<SPropValue> hold(value);
      isContactPhoto = value->Value.b != 0;
    }
    value = nullptr;
    if (SUCCEEDED(HrGetOneProp(attachment, PR_ATTACH_FLAGS, &value))) {
      platform::mapi::MAPIBuffer<SPropValue> hold(value);
      row.lpProps[kColFlags] = *value;
    }

    const quilstring displayName = setupStrProp(attachment, PR_DISPLAY_NAME_W, row, kColDisplayName);
    const quilstring contentId = bareContentId(setupStrProp(attachment, PR_ATTACH_CONTENT_ID_W, row, kColContentId));
    const quilstring contentLocation =
        setupStrProp(attachment, PR_ATTACH_CONTENT_LOCATION_W, row, kColContentLocation);
    const quilstring fileName = setupStrProp(attachment, PR_ATTACH_FILENAME_W, row, kColFileName);
    const quilstring longFileName = setupStrProp(attachment, PR_ATTACH_LONG_FILENAME_W, row, kColLongFileName);
    const char16_t* disposition =
        setupStrProp(attachment, PR_ATTACH_CONTENT_DISPOSITION_W, row, kColDisposition);
    const bool isAttachmentDisposition = disposition && NUtils::equalsNoCase(quilstring(disposition), u"attachment");

    quilstring name;
    quilstring secondName;
    std::vector<AttachmentDataPtr>* list = nullptr;
    if (fileName.empty() && longFileName.empty()) {
      // Not filed: no file name to show or to write.
    } else if (!isAttachmentDisposition && !contentId.empty()) {
      name = u"cid:" + contentId;
      list = &m_inlineImages;
      secondName = contentLocation;
    } else if (!isAttachmentDisposition && !contentLocation.empty()) {
      name = contentLocation;
      list = &m_inlineImages;
    } else {
      name = !longFileName.empty() ? longFileName : !fileName.empty() ? fileName : displayName;
      list = &m_attachments;
    }

    auto data = boost::make_shared<AttachmentData>();
    if (list) {
      if (method == ATTACH_BY_VALUE && !tempPath.empty()) {
        const quilstring& ownName = !longFileName.empty() ? longFileName : !fileName.empty() ? fileName : displayName;
        quilstring path = tempPath + safeAttachmentFileName(ownName);
        LOG_DEBUG(u"OpenProperty");
        CComPtr<IUnknown> unknown;
        CComPtr<IStream> stream;
        if (SUCCEEDED(attachment->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, 0, unknown.Receive())) && unknown)
          unknown->QueryInterface(IID_IStream, reinterpret_cast<void**>(stream.Receive()));
        if (stream) {
          LOG_DEBUG(u"OpenProperty:success");
          if (uniqueFileName(path)) {
            LOG_DEBUG(u"WriteToFile");
            if (writeAttachmentToFile(stream, path)) {
              LOG_DEBUG(u"WriteToFile:success");
              data->filePath = path;
              data->temporary = true;
              if (isContactPhoto) m_contactPicturePath = path;
            }
          }
        }
      } else if (method == ATTACH_BY_REFERENCE || method == ATTACH_BY_REF_RESOLVE || method == ATTACH_BY_REF_ONLY) {
        const char16_t* path = setupStrProp(attachment, PR_ATTACH_PATHNAME_W, row, kColPathName);
        if (!path || !*path) path = setupStrProp(attachment, PR_ATTACH_LONG_PATHNAME_W, row, kColLongPathName);
        data->filePath = path;
        data->temporary = false;
      }
    }
    if (method == ATTACH_OLE) m_hasOLEAttachment = true;

    if (list && !data->filePath.empty()) {
      LOG_DEBUG(u"Attachment %s stored in %s%s", name.c_str(), data->filePath.c_str(),
                data->temporary ? u" (temporary)" : u"");
      data->name = name;
      list->push_back(data);
      if (!secondName.empty() && secondName != name) {
        auto second = boost::make_shared<AttachmentData>(*data);
        second->name = secondName;
        list->push_back(second);
      }
    }
  }
}

void CMessage::replaceImages(const platform::html::CHtmlDocument& document) { replaceImagesIn(document.all()); }

void CMessage::replaceImages(const platform::html::CHtmlElement& scope) { replaceImagesIn(scope.all()); }

void CMessage::replaceImagesIn(const platform::html::CHtmlElementCollection& all) {
  if (getInlineImages().empty()) return;
  NUtils::guarded(u"CMessage::replaceImages", [&] {
    for (const char16_t* tag : {u"img", u"imagedata"}) {
      const platform::html::CHtmlElementCollection elements = all.tags(tag);
      for (long i = 0; i < elements.length(); ++i) {
        platform::html::CHtmlElement element = elements.item(i);
        quilstring source = element.getAttribute(u"src");
        if (source.empty()) continue;
        if (source.starts_with(u"about:")) {
          LOG_DEBUG(u"Removing 'about:' prefix from src string");
          source.erase(0, 6);
        }
        for (const AttachmentDataPtr& image : m_inlineImages) {
          if (!NUtils::equalsNoCase(image->name, source)) continue;
          LOG_DEBUG(u"Replacing image's src %s with %s", image->name.c_str(), image->filePath.c_str());
          element.setAttribute(u"src", image->filePath);
          break;
        }
      }
    }
  });
}
