#include <cmath>
#include <stdexcept>

#include "platform/mapi/PropTags.h"
#include "platform/outlook/detail/Objects.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"

namespace platform::outlook::detail {
namespace {

using platform::mapi::MAPIBuffer;

constexpr ULONG kMsgFlagRead = 0x1;
constexpr ULONG kMsgFlagUnsent = 0x8;

const IID& interfaceOfKind(ItemKind kind) {
  switch (kind) {
    case kAppointment: return IID__AppointmentItem;
    case kMeeting: return IID__MeetingItem;
    case kContact: return IID__ContactItem;
    case kDistList: return IID__DistListItem;
    case kJournal: return IID__JournalItem;
    case kNote: return IID__NoteItem;
    case kPost: return IID__PostItem;
    case kTask: return IID__TaskItem;
    case kTaskRequest: return IID__TaskRequestItem;
    default: return IID__MailItem;
  }
}

void fillException(EXCEPINFO* info, std::u16string_view text) {
  if (!info) return;
  *info = EXCEPINFO{};
  info->scode = E_FAIL;
  info->bstrSource = SysAllocString(u"Outlook");
  info->bstrDescription = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

// The value of a user property in the object model's form.
bool variantOfProp(const SPropValue& value, CComVariant& out) {
  switch (PROP_TYPE(value.ulPropTag)) {
    case PT_UNICODE: out = CComVariant(std::u16string_view(value.Value.lpszW ? value.Value.lpszW : u"")); return true;
    case PT_LONG: out = CComVariant(static_cast<LONG>(value.Value.l)); return true;
    case PT_I2: out = CComVariant(static_cast<SHORT>(value.Value.i)); return true;
    case PT_BOOLEAN: out = CComVariant(value.Value.b != 0); return true;
    case PT_DOUBLE: out = CComVariant(value.Value.dbl); return true;
    case PT_FLOAT: out = CComVariant(value.Value.flt); return true;
    case PT_SYSTIME: out = CComVariant(localDateOfUtc(value.Value.ft), VT_DATE); return true;
    case PT_CURRENCY: {
      ::CY cy;
      cy.int64 = value.Value.cur.int64;
      out = CComVariant(cy);
      return true;
    }
    default: return false;
  }
}

// Internal names of the public string set that are not user-defined fields.
bool isUserPropertyName(std::u16string_view name) {
  if (name.empty() || name.size() > 255) return false;
  if (name == u"Keywords") return false;
  return name.find_first_of(u":/") == std::u16string_view::npos;
}

}  // namespace

void raise(const char* message) { throw std::runtime_error(message); }

CItem::CItem(ContextPtr context, int index)
    : m_context(std::move(context)), m_index(index), m_reader(m_context->store().items()[index].file) {}

HRESULT CItem::_InternalQueryInterface(REFIID iid, void** ppv) noexcept {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IDispatch)) {
    *ppv = static_cast<IDispatch*>(this);
  } else {
    platform::diag::guarded("CItem::QueryInterface", [&] {
      if (IsEqualGUID(iid, interfaceOfKind(kind()))) *ppv = static_cast<IDispatch*>(this);
    });
  }
  if (!*ppv) return E_NOINTERFACE;
  InternalAddRef();
  return S_OK;
}

ItemKind CItem::kind() {
  if (!m_kind) m_kind = kindOfMessageClass(m_reader.text(PR_MESSAGE_CLASS).value_or(u"IPM.Note"));
  return *m_kind;
}

STDMETHODIMP CItem::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}

STDMETHODIMP CItem::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  if (!ppTInfo) return E_POINTER;
  *ppTInfo = nullptr;
  return DISP_E_BADINDEX;
}

STDMETHODIMP CItem::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) {
  if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (cNames == 0) return S_OK;
  if (!rgszNames || !rgDispId) return E_POINTER;
  for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
  return platform::diag::guarded("CItem::GetIDsOfNames", E_FAIL, [&]() -> HRESULT {
    const PropertyDef* def = rgszNames[0] ? findProperty(kind(), std::u16string_view(rgszNames[0])) : nullptr;
    if (!def) return DISP_E_UNKNOWNNAME;
    rgDispId[0] = def->dispid;
    return cNames > 1 ? DISP_E_UNKNOWNNAME : S_OK;
  });
}

STDMETHODIMP CItem::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                           VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT*) {
  if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  CComVariant scratch;
  VARIANT* result = pVarResult ? pVarResult : &scratch;
  VariantClear(result);
  try {
    const PropertyDef* def = findProperty(kind(), dispIdMember);
    if (!def) return DISP_E_MEMBERNOTFOUND;
    const HRESULT hr = invokeMember(*def, wFlags, pDispParams, result);
    if (FAILED(hr)) VariantClear(result);
    return hr;
  } catch (const std::exception& e) {
    VariantClear(result);
    platform::diag::error("Exception caught in CItem::Invoke", e.what());
    fillException(pExcepInfo, platform::system::utf8ToUtf16(e.what()));
  } catch (...) {
    VariantClear(result);
    platform::diag::error("Exception caught in CItem::Invoke", "unknown exception");
    fillException(pExcepInfo, u"Unknown exception");
  }
  return DISP_E_EXCEPTION;
}

HRESULT CItem::invokeMember(const PropertyDef& def, WORD flags, DISPPARAMS* params, VARIANT* result) {
  const UINT args = params ? params->cArgs - params->cNamedArgs : 0;
  if (def.form == ValueForm::Method) {
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (params && params->cNamedArgs) return DISP_E_NONAMEDARGS;
    switch (def.computed) {
      case Computed::Save:
        // Saving writes nothing: the store is read-only.
        if (args != 0) return DISP_E_BADPARAMCOUNT;
        return S_OK;
      case Computed::Close: {
        if (args > 1) return DISP_E_BADPARAMCOUNT;
        if (CApplication* app = m_context->applicationObject()) {
          CComPtr<IDispatch> inspector = m_context->inspectorOf(this);
          if (inspector) closeWindowOf(*app, inspector);
        }
        return S_OK;
      }
      case Computed::Display: {
        if (args > 1) return DISP_E_BADPARAMCOUNT;
        if (CApplication* app = m_context->applicationObject()) openInspectorOf(*app, this);
        return S_OK;
      }
      default: return DISP_E_MEMBERNOTFOUND;
    }
  }
  if (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) {
    if (args != 0) return DISP_E_BADPARAMCOUNT;
    if (params && params->cNamedArgs) return DISP_E_NONAMEDARGS;
    CComVariant value;
    if (!this->value(def, value)) return DISP_E_MEMBERNOTFOUND;
    return value.Detach(result);
  }
  if (flags & DISPATCH_PROPERTYPUT) {
    if (!def.writable) return DISP_E_MEMBERNOTFOUND;
    if (!params || params->cArgs != 1 || params->cNamedArgs != 1 || !params->rgdispidNamedArgs ||
        params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
      return DISP_E_PARAMNOTOPTIONAL;
    CComVariant value;
    if (HRESULT hr = VariantCopyInd(&value, &params->rgvarg[0]); FAILED(hr)) return hr;
    if (HRESULT hr = value.ChangeType(VT_BSTR); FAILED(hr)) return hr;
    m_changes[def.dispid] = value;
    return S_OK;
  }
  return DISP_E_MEMBERNOTFOUND;
}

bool CItem::value(const PropertyDef& def, CComVariant& out) {
  if (!(def.kinds & kind())) return false;
  if (const auto changed = m_changes.find(def.dispid); changed != m_changes.end()) {
    out = changed->second;
    return true;
  }
  if (def.source == Source::Computed) return computedValue(def, out);
  if (m_reader.readStored(def, out)) return true;
  // What Outlook answers for a property the item does not carry.
  switch (def.form) {
    case ValueForm::Text: out = CComVariant(std::u16string_view()); break;
    case ValueForm::Long: out = CComVariant(def.defaultLong); break;
    case ValueForm::Bool: out = CComVariant(def.defaultLong != 0); break;
    case ValueForm::Date: out = CComVariant(kOutlookNoDate, VT_DATE); break;
    case ValueForm::Double: out = CComVariant(0.0); break;
    default: return false;
  }
  return true;
}

bool CItem::computedValue(const PropertyDef& def, CComVariant& out) {
  const StoreModel& store = m_context->store();
  switch (def.computed) {
    case Computed::Application: out = CComVariant(m_context->application()); return true;
    case Computed::Session: out = CComVariant(m_context->nameSpace().p); return true;
    case Computed::Parent: out = CComVariant(m_context->folder(store.items()[m_index].folder).p); return true;
    case Computed::Class: out = CComVariant(classOfKind(kind())); return true;
    case Computed::Attachments: out = CComVariant(makeAttachments(*this).p); return true;
    case Computed::Links: out = CComVariant(makeLinks(*this).p); return true;
    case Computed::UserProperties: out = CComVariant(makeUserProperties(*this).p); return true;
    case Computed::ItemProperties: out = CComVariant(makeItemProperties(*this).p); return true;
    case Computed::MapiObject: {
      IMessage* message = m_reader.message();
      if (!message) raise("The item could not be opened.");
      out = CComVariant(static_cast<IUnknown*>(message));
      return true;
    }
    case Computed::GetInspector: {
      CApplication* app = m_context->applicationObject();
      if (!app) raise("Outlook has closed.");
      out = CComVariant(openInspectorOf(*app, this).p);
      return true;
    }
    case Computed::Body: out = CComVariant(std::u16string_view(m_reader.body())); return true;
    case Computed::HTMLBody: out = CComVariant(std::u16string_view(m_reader.htmlBody())); return true;
    case Computed::BodyFormat: out = CComVariant(m_reader.bodyFormat()); return true;
    case Computed::EntryID: out = CComVariant(std::u16string_view(store.items()[m_index].entryId)); return true;
    case Computed::FolderName:
      out = CComVariant(std::u16string_view(store.folders()[store.items()[m_index].folder].name));
      return true;
    case Computed::Saved: out = CComVariant(true); return true;
    case Computed::Size: {
      double size = static_cast<double>(m_reader.number(PR_MESSAGE_SIZE).value_or(0));
      if (size <= 0) size = static_cast<double>(m_reader.fileSize());
      out = CComVariant(static_cast<LONG>(std::min(size, 2147483647.0)));
      return true;
    }
    case Computed::UnRead: {
      const auto flags = m_reader.number(PR_MESSAGE_FLAGS);
      out = CComVariant(flags && !(static_cast<ULONG>(*flags) & kMsgFlagRead));
      return true;
    }
    case Computed::Sent: {
      const auto flags = m_reader.number(PR_MESSAGE_FLAGS);
      out = CComVariant(flags ? !(static_cast<ULONG>(*flags) & kMsgFlagUnsent)
                              : m_reader.message() && FPropExists(m_reader.message(), PR_CLIENT_SUBMIT_TIME));
      return true;
    }
    case Computed::VotingOptions: out = CComVariant(std::u16string_view()); return true;
    case Computed::PercentComplete: {
      LONG percent = 0;
      if (const ULONG tag = m_reader.namedTag(PSETID_Task, 0x8102, PT_DOUBLE)) {
        if (auto value = m_reader.read(tag); value && std::isfinite(value->Value.dbl))
          percent = static_cast<LONG>(std::lround(std::clamp(value->Value.dbl, 0.0, 1.0) * 100.0));
      }
      out = CComVariant(percent);
      return true;
    }
    case Computed::MemberCount: {
      LONG count = 0;
      for (LONG lid : {0x8055, 0x8054}) {
        const ULONG tag = m_reader.namedTag(PSETID_Address, lid, PT_MV_BINARY);
        if (auto value = tag ? m_reader.read(tag) : nullptr) {
          count = static_cast<LONG>(value->Value.MVbin.cValues);
          break;
        }
      }
      out = CComVariant(count);
      return true;
    }
    default: return false;
  }
}

std::vector<std::pair<std::u16string, CComVariant>> CItem::userProperties() {
  std::vector<std::pair<std::u16string, CComVariant>> out;
  IMessage* message = m_reader.message();
  if (!message) return out;
  LPSPropTagArray tags = nullptr;
  ULONG count = 0;
  LPMAPINAMEID* names = nullptr;
  GUID set = PS_PUBLIC_STRINGS;
  const HRESULT hr = message->GetNamesFromIDs(&tags, &set, 0, &count, &names);
  MAPIBuffer<SPropTagArray> holdTags(tags);
  MAPIBuffer<LPMAPINAMEID> holdNames(names);
  if (FAILED(hr) || !tags || !names) return out;
  for (ULONG i = 0; i < count && i < tags->cValues; ++i) {
    const MAPINAMEID* name = names[i];
    if (!name || name->ulKind != MNID_STRING || !name->Kind.lpwstrName) continue;
    const std::u16string_view text(name->Kind.lpwstrName);
    if (!isUserPropertyName(text)) continue;
    auto value = m_reader.read(CHANGE_PROP_TYPE(tags->aulPropTag[i], PT_UNSPECIFIED));
    CComVariant variant;
    if (!value || !variantOfProp(*value, variant)) continue;
    out.emplace_back(std::u16string(text), std::move(variant));
  }
  return out;
}

bool CItem::valueByName(std::u16string_view name, CComVariant& out) {
  if (const PropertyDef* def = findProperty(kind(), name)) return value(*def, out);
  for (auto& [userName, userValue] : userProperties()) {
    if (userName.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size() && same; ++i)
      same = charLower(userName[i]) == charLower(name[i]);
    if (same) {
      out = userValue;
      return true;
    }
  }
  return false;
}

}  // namespace platform::outlook::detail
