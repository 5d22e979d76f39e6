#include "engine/Message.h"

#include <filesystem>

#include <boost/make_shared.hpp>

#include "foundation/AddinGlobals.h"
#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "foundation/Utils.h"
#include "engine/detail/DispatchHelpers.h"
#include "platform/com/DispatchDriver.h"
#include "platform/mapi/PropTags.h"

using engine::detail::countOf;
using engine::detail::dispatchOf;
using engine::detail::getItemOf;

namespace {

// ReceivedBy comes from the current Outlook user from this version on.
constexpr int kCurrentUserVersion = 11;

const ULONG kRecipientKinds[] = {kRecipientTo,         kRecipientCc,     kRecipientBcc,
                                 kRecipientReceivedBy, kRecipientSender, kRecipientSentRepresenting};

SizedSPropTagArray(4, kRecipientColumns) = {
    4, {PR_DISPLAY_NAME_W, PR_RECIPIENT_TYPE, PR_EMAIL_ADDRESS_W, PR_ADDRTYPE_W}};
enum { kColName, kColType, kColAddress, kColAddressType };

quilstring columnText(const SRow& row, ULONG column) {
  if (column >= row.cValues) return {};
  const SPropValue& value = row.lpProps[column];
  if (PROP_TYPE(value.ulPropTag) != PT_UNICODE || !value.Value.lpszW) return {};
  return quilstring(value.Value.lpszW);
}

// A text property of an object through the dispatch driver; empty when it cannot be read.
HRESULT readDispatchText(IDispatch* object, LPCOLESTR name, quilstring& out) {
  CComVariant value;
  HRESULT hr = CComDispatchDriver(object).GetPropertyByName(name, value.Receive());
  if (FAILED(hr)) return hr;
  if (FAILED(hr = value.ChangeType(VT_BSTR))) return hr;
  out = quilstring(value.bstrVal, SysStringLen(value.bstrVal));
  return S_OK;
}

}  // namespace

CMessage::CMessage(IDispatch* item) : m_item(item), m_bodyDocument(boost::make_shared<CMSHTMLWrapper>()) {
  m_userProperties = m_item.getUserProperties();
  // A failure here leaves the message usable with what it holds.
  NUtils::guarded(u"CMessage::CMessage", [&] {
    m_bodyDocument->Initialise();
    CComPtr<IUnknown> mapiObject = m_item.getMAPIOBJECT();
    if (mapiObject) mapiObject->QueryInterface(IID_IMessage, reinterpret_cast<void**>(m_mapiMessage.Receive()));
    if (m_mapiMessage) fetchRecipients();
  });
}

CMessage::~CMessage() {
  m_fetchedValues.clear();
  m_attachmentRows.reset();
  deleteTemporaryFiles();
}

void CMessage::deleteTemporaryFiles() {
  // An image filed under two names shares one file: each file is deleted once, so that a name
  // another message has taken since is never removed by a second deletion.
  std::set<quilstring> deleted;
  const auto remove = [&](const AttachmentDataPtr& data, const char16_t* format) {
    if (!data->temporary || data->filePath.empty() || !deleted.insert(data->filePath).second) return;
    LOG_DEBUG(format, data->filePath.c_str());
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::path(data->filePath.toUtf8()), ignored);
  };
  NUtils::guarded(u"CMessage::deleteTemporaryFiles", [&] {
    for (const AttachmentDataPtr& image : m_inlineImages) remove(image, u"~CMessage: Deleting Image File: %s");
    for (const AttachmentDataPtr& attachment : m_attachments) remove(attachment, u"~CMessage: Deleting File: %s");
  });
}

bool CMessage::getMAPIProperty(ULONG tag, LPSPropValue* value) {
  if (!value) return false;
  *value = nullptr;
  if (!m_mapiMessage) return false;
  LOG_DEBUG(u"CMessage -- getting MAPI property -- %#lX", static_cast<ULONG>(tag));
  if (FAILED(HrGetOneProp(m_mapiMessage, tag, value))) {
    LOG_DEBUG(u"CMessage -- get MAPI property failed");
    *value = nullptr;
    return false;
  }
  return true;
}

bool CMessage::getMAPIFileTime(ULONG tag, FILETIME& out, TimeBasis* basis) {
  LPSPropValue value = nullptr;
  if (!getMAPIProperty(CHANGE_PROP_TYPE(tag, PT_SYSTIME), &value)) return false;
  platform::mapi::MAPIBuffer<SPropValue> hold(value);
  if (PROP_TYPE(value->ulPropTag) != PT_SYSTIME || isOutlookNoDate(value->Value.ft)) return false;
  out = value->Value.ft;
  if (basis) *basis = TimeBasis::UTC;
  return true;
}

bool CMessage::openMAPIProperty(ULONG tag, LPCIID iid, ULONG interfaceOptions, ULONG flags, LPUNKNOWN* object) {
  if (!object) return false;
  *object = nullptr;
  if (!m_mapiMessage) return false;
  LOG_DEBUG(u"CMessage -- opening MAPI property -- %#lX", static_cast<ULONG>(tag));
  if (FAILED(m_mapiMessage->OpenProperty(tag, iid, interfaceOptions, flags, object))) {
    LOG_DEBUG(u"CMessage -- open MAPI property failed");
    *object = nullptr;
    return false;
  }
  return true;
}

ULONG CMessage::recipientKindFromMAPIType(LONG type) {
  switch (type) {
    case MAPI_TO: return kRecipientTo;
    case MAPI_CC: return kRecipientCc;
    case MAPI_BCC: return kRecipientBcc;
    default: return 0;
  }
}

RecipientListPtr CMessage::getRecipients(ULONG kind) const {
  const auto found = m_recipients.find(kind);
  if (found != m_recipients.end()) return found->second;
  return boost::make_shared<RecipientList>();
}

void CMessage::readText(ULONG tag, quilstring& out) {
  LPSPropValue value = nullptr;
  if (FAILED(HrGetOneProp(m_mapiMessage, tag, &value))) return;
  platform::mapi::MAPIBuffer<SPropValue> hold(value);
  if (PROP_TYPE(value->ulPropTag) == PT_UNICODE && value->Value.lpszW) out = quilstring(value->Value.lpszW);
}

void CMessage::fetchRecipients() {
  LOG_DEBUG(u"CMessage -- fetching recipients");
  for (ULONG kind : kRecipientKinds) m_recipients[kind] = boost::make_shared<RecipientList>();

  CComPtr<IMAPITable> table;
  if (SUCCEEDED(m_mapiMessage->GetRecipientTable(MAPI_UNICODE, table.Receive())) && table) {
    LPSRowSet rows = nullptr;
    if (SUCCEEDED(HrQueryAllRows(table, reinterpret_cast<LPSPropTagArray>(&kRecipientColumns), nullptr, nullptr, 0,
                                 &rows))) {
      platform::mapi::RowSetPtr hold(rows);
      for (ULONG i = 0; i < rows->cRows; ++i) {
        const SRow& row = rows->aRow[i];
        RecipientDetails details{columnText(row, kColName), columnText(row, kColAddress),
                                 columnText(row, kColAddressType)};
        LONG type = 0;
        if (kColType < row.cValues && PROP_TYPE(row.lpProps[kColType].ulPropTag) == PT_LONG)
          type = row.lpProps[kColType].Value.l;
        if ((!details.name.empty() || !details.address.empty()) && type != 0)
          collectRecipient(details, recipientKindFromMAPIType(type));
      }
    }
  }

  RecipientDetails receivedBy;
  if (NGlobals::officeMajorVersion() >= kCurrentUserVersion) {
    LOG_DEBUG(u"Getting ReceivedBy From CurrentUser");
    // A current user that cannot be read leaves the item's own properties to answer, and the
    // sender and the rest are still collected.
    if (!NUtils::guarded(u"CMessage::fetchCurrentUser", [&] { fetchCurrentUser(receivedBy); }))
      receivedBy = RecipientDetails();
  }
  if (receivedBy.name.empty() && receivedBy.address.empty()) {
    readText(PR_RECEIVED_BY_NAME_W, receivedBy.name);
    readText(PR_RECEIVED_BY_EMAIL_ADDRESS_W, receivedBy.address);
  }
  collectRecipient(receivedBy, kRecipientReceivedBy);

  RecipientDetails sender;
  readText(PR_SENDER_NAME_W, sender.name);
  readText(PR_SENDER_EMAIL_ADDRESS_W, sender.address);
  readText(PR_SENDER_ADDRTYPE_W, sender.addressType);
  collectRecipient(sender, kRecipientSender);

  RecipientDetails representing;
  readText(PR_SENT_REPRESENTING_NAME_W, representing.name);
  readText(PR_SENT_REPRESENTING_EMAIL_ADDRESS_W, representing.address);
  readText(PR_SENT_REPRESENTING_ADDRTYPE_W, representing.addressType);
  collectRecipient(representing, kRecipientSentRepresenting);
}

void CMessage::fetchCurrentUser(RecipientDetails& details) {
  IDispatch* application = CSettings::instance().outlookApplication();
  if (!application) return;
  CComVariant user;
  const HRESULT hr = CComDispatchDriver(application).GetPropertyByPath(u"Session.CurrentUser", user.Receive());
  if (FAILED(hr)) {
    LOG_DEBUG(u"CMessage -- current user could not be read (%#lX)", static_cast<ULONG>(hr));
    return;
  }
  CComPtr<IDispatch> recipient = dispatchOf(user);
  if (!recipient) return;

  RecipientDetails found;
  CComVariant entryValue;
  CComPtr<IDispatch> entry;
  if (SUCCEEDED(CComDispatchDriver(recipient.p).GetPropertyByName(u"AddressEntry", entryValue.Receive())))
    entry = dispatchOf(entryValue);
  HRESULT read = S_OK;
  if (entry) {
    if (SUCCEEDED(read)) read = readDispatchText(entry, u"Name", found.name);
    if (SUCCEEDED(read)) read = readDispatchText(entry, u"Address", found.address);
    if (SUCCEEDED(read)) read = readDispatchText(entry, u"Type", found.addressType);
  } else {
    if (SUCCEEDED(read)) read = readDispatchText(recipient, u"Name", found.name);
    if (SUCCEEDED(read)) read = readDispatchText(recipient, u"Address", found.address);
  }
  if (FAILED(read)) {
    LOG_DEBUG(u"CMessage -- current user could not be read (%#lX)", static_cast<ULONG>(read));
    return;
  }
  details = found;
}

void CMessage::collectRecipient(const RecipientDetails& details, ULONG kind) {
  const auto found = m_recipients.find(kind);
  if (found == m_recipients.end()) {
    LOG_ERROR(u"CMessage -- unknown recipient type -- %s (%ld)", details.name.c_str(), static_cast<LONG>(kind));
    return;
  }
  RecipientList& list = *found->second;
  for (const RecipientDetails& known : list)
    if (known == details) return;
  list.push_back(details);
  LOG_DEBUG(u"CMessage -- new recipient collected -- %s (%ld)", details.name.c_str(), static_cast<LONG>(kind));
}

quilstring CMessage::getContactNames() {
  quilstring names;
  NUtils::guarded(u"CMessage::getContactNames", [&] {
    CComPtr<IDispatch> links = m_item.getLinks();
    if (!links) return;
    LONG count = 0;
    if (FAILED(countOf(links, count))) return;
    for (LONG index = 1; index <= count; ++index) {
      CComVariant member;
      if (FAILED(getItemOf(links, CComVariant(index), member))) break;
      CComPtr<IDispatch> link = dispatchOf(member);
      if (!link) break;
      quilstring name;
      if (FAILED(readDispatchText(link, u"Name", name))) break;
      if (!names.empty()) names += NUtils::listSeparator();
      names += name;
    }
  });
  return names;
}
