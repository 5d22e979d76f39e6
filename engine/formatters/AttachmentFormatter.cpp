#include "engine/formatters/AttachmentFormatter.h"

#include <boost/make_shared.hpp>

#include "engine/FieldText.h"
#include "engine/Message.h"
#include "foundation/Log.h"
#include "foundation/Utils.h"
#include "platform/mapi/ComBase.h"
#include "engine/Attachments.h"
#include "platform/mapi/PropTags.h"

namespace {

constexpr LONG kInvisibleInHTML = 1;  // ATT_INVISIBLE_IN_HTML

// A text column counts only as a non-empty UTF-16 string.
quilstring columnText(const SRow& row, int column) {
  const SPropValue& value = row.lpProps[column];
  if (PROP_TYPE(value.ulPropTag) != PT_UNICODE || !value.Value.lpszW) return {};
  return quilstring(value.Value.lpszW);
}

bool columnLong(const SRow& row, int column, LONG& out) {
  const SPropValue& value = row.lpProps[column];
  if (PROP_TYPE(value.ulPropTag) != PT_LONG) return false;
  out = value.Value.l;
  return true;
}

// The file-name part of a path, or the path as stored when it has none.
quilstring nameFromPath(const quilstring& path) {
  quilstring name = CAttachmentPropertyFormatter::fileNamePart(path);
  return name.empty() ? path : name;
}

// The subject of an embedded message; empty on any failure.
quilstring embeddedSubject(CMessage& message, ULONG number) {
  IMessage* mapiMessage = message.getMAPIMessage();
  if (!mapiMessage) return {};
  CComPtr<IAttach> attachment;
  if (FAILED(mapiMessage->OpenAttach(number, nullptr, MAPI_BEST_ACCESS, attachment.Receive())) || !attachment)
    return {};
  CComPtr<IUnknown> object;
  if (FAILED(attachment->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, 0, object.Receive())) || !object)
    return {};
  CComPtr<IMessage> embedded;
  if (FAILED(object->QueryInterface(IID_IMessage, reinterpret_cast<void**>(embedded.Receive()))) || !embedded)
    return {};
  LPSPropValue value = nullptr;
  if (FAILED(HrGetOneProp(embedded, PR_SUBJECT_W, &value))) return {};
  platform::mapi::MAPIBuffer<SPropValue> hold(value);
  if (PROP_TYPE(value->ulPropTag) != PT_UNICODE || !value->Value.lpszW) return {};
  return quilstring(value->Value.lpszW);
}

quilstring rowName(CMessage& message, const SRow& row) {
  LONG method = 0;
  if (!columnLong(row, kColMethod, method)) return {};
  switch (static_cast<ULONG>(method)) {
    case ATTACH_BY_VALUE: {
      const quilstring longName = columnText(row, kColLongFileName);
      if (!longName.empty()) return nameFromPath(longName);
      const quilstring display = columnText(row, kColDisplayName);
      if (!display.empty()) return display;
      const quilstring shortName = columnText(row, kColFileName);
      if (!shortName.empty()) return shortName;
      [[fallthrough]];
    }
    case ATTACH_BY_REFERENCE:
    case ATTACH_BY_REF_RESOLVE:
    case ATTACH_BY_REF_ONLY: {
      const quilstring longPath = columnText(row, kColLongPathName);
      if (!longPath.empty()) return nameFromPath(longPath);
      return columnText(row, kColPathName);
    }
    case ATTACH_EMBEDDED_MSG: {
      LONG number = 0;
      return columnLong(row, kColNumber, number) ? embeddedSubject(message, static_cast<ULONG>(number)) : quilstring();
    }
    case ATTACH_OLE:
      return columnText(row, kColDisplayName);
    default:
      return {};
  }
}

}  // namespace

void CAttachmentPropertyFormatter::registerPrototypes() {
  add(boost::make_shared<CAttachmentPropertyFormatter>(kKindAttachments));
}

quilstring CAttachmentPropertyFormatter::fileNamePart(const quilstring& path) {
  std::size_t start = path.find_last_of(u"\\/");
  start = start == quilstring::npos ? 0 : start + 1;
  // A drive without a folder ("C:report.pdf").
  if (start == 0 && path.size() >= 2 && path[1] == u':') start = 2;
  return path.substr(start);
}

std::vector<quilstring> CAttachmentPropertyFormatter::attachmentNames(CMessage& message) {
  std::vector<quilstring> names;
  const SRowSet* rows = message.getAttachmentRows();
  if (!rows) return names;
  for (ULONG i = 0; i < rows->cRows; ++i) {
    const SRow& row = rows->aRow[i];
    if (row.cValues < kAttachmentColumnCount) continue;
    LONG flags = 0;
    if (columnLong(row, kColFlags, flags) && flags == kInvisibleInHTML) continue;
    quilstring name = displayAttachmentName(rowName(message, row));
    if (!name.empty()) names.push_back(std::move(name));
  }
  return names;
}

bool CAttachmentPropertyFormatter::format(CElementSettings& settings, CMessage& message,
                                          platform::html::CHtmlElement element) {
  const quilstring& separator =
      settings.valueSeparator().empty() ? NUtils::listSeparator() : settings.valueSeparator();
  quilstring text;
  quilstring html;
  for (const quilstring& name : attachmentNames(message)) {
    if (!text.empty()) {
      text += separator;
      html += separator;
    }
    text += name;
    html += NFieldText::escapeHTML(name);
  }
  return finish(settings, std::move(text), std::move(html), std::move(element));
}
