// The form library: Outlook's standard forms and those registered since, the form manager that
// resolves classes against it, and the form information objects it hands out.
#include "platform/mapi/FormMgr.h"

#include "platform/mapi/FormInfo.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/mapi/PropTags.h"
#include "platform/mapi/detail/FormIcons.h"
#include "platform/mapi/detail/Forms.h"
#include "platform/mapi/detail/Guids.h"
#include "platform/mapi/detail/MsgModel.h"
#include "platform/mapi/detail/PropValues.h"
#include "platform/mapi/detail/ReadOnlyProp.h"
#include "platform/mapi/detail/Streams.h"
#include "platform/system/Locale.h"
#include "platform/system/Text.h"

const IID IID_IMAPIFormMgr = platform::mapi::detail::oleGuid(0x00020322);
const IID IID_IMAPIFormInfo = platform::mapi::detail::oleGuid(0x00020324);

namespace platform::mapi::detail {
namespace {

constexpr std::size_t kMaxClassLength = 255;
constexpr std::size_t kMaxDisplayNameLength = 255;

struct FormEntry {
  std::u16string messageClass;
  std::u16string displayName;
  std::string miniIcon;
  std::string icon;
};

struct StandardForm {
  const char16_t* messageClass;
  const char16_t* displayName;
  IconStyle style;
};

constexpr std::uint32_t kBlue = 0xFF3A6FC4;
constexpr std::uint32_t kCyan = 0xFF2E9BD6;
constexpr std::uint32_t kGreen = 0xFF3AA33A;
constexpr std::uint32_t kRed = 0xFFD03030;
constexpr std::uint32_t kPurple = 0xFF8A5CC2;
constexpr std::uint32_t kGrey = 0xFF8C8C8C;
constexpr std::uint32_t kOrange = 0xFFE08A1E;

const StandardForm kStandardForms[] = {
    {u"IPM.Note", u"Message", {Glyph::kEnvelope, 0xFFF2D16B, 0}},
    {u"IPM.Post", u"Post", {Glyph::kSheet, kBlue, kRed}},
    {u"IPM.Appointment", u"Appointment", {Glyph::kCalendar, kBlue, 0}},
    {u"IPM.Schedule.Meeting.Request", u"Meeting Request", {Glyph::kCalendar, kBlue, kCyan}},
    {u"IPM.Schedule.Meeting.Resp.Pos", u"Meeting Accepted", {Glyph::kCalendar, kBlue, kGreen}},
    {u"IPM.Schedule.Meeting.Resp.Neg", u"Meeting Declined", {Glyph::kCalendar, kBlue, kRed}},
    {u"IPM.Schedule.Meeting.Resp.Tent", u"Meeting Tentatively Accepted", {Glyph::kCalendar, kBlue, kPurple}},
    {u"IPM.Schedule.Meeting.Canceled", u"Meeting Cancellation", {Glyph::kCalendar, kBlue, kGrey}},
    {u"IPM.Schedule.Meeting.Notification.Forward", u"Meeting Forward Notification", {Glyph::kCalendar, kBlue, kOrange}},
    {u"IPM.Contact", u"Contact", {Glyph::kPerson, 0xFF4C8CC9, 0}},
    {u"IPM.DistList", u"Distribution List", {Glyph::kPeople, 0xFF4C8CC9, 0}},
    {u"IPM.Activity", u"Journal Entry", {Glyph::kBook, 0xFF9C6B30, 0}},
    {u"IPM.StickyNote", u"Note", {Glyph::kSticky, 0xFFF5E663, 0}},
    {u"IPM.Task", u"Task", {Glyph::kCheck, 0xFF2F7D2F, 0}},
    {u"IPM.TaskRequest", u"Task Request", {Glyph::kCheck, 0xFF2F7D2F, kCyan}},
    {u"IPM.TaskRequest.Accept", u"Task Accepted", {Glyph::kCheck, 0xFF2F7D2F, kGreen}},
    {u"IPM.TaskRequest.Decline", u"Task Declined", {Glyph::kCheck, 0xFF2F7D2F, kRed}},
    {u"IPM.TaskRequest.Update", u"Task Update", {Glyph::kCheck, 0xFF2F7D2F, kOrange}},
};

// The icons of a form that has no base class with a form.
constexpr IconStyle kGenericForm{Glyph::kSheet, kGrey, 0};

std::u16string folded(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = charLower(c);
  return out;
}

bool validClass(std::u16string_view cls) {
  if (cls.empty() || cls.size() > kMaxClassLength || cls.front() == u'.' || cls.back() == u'.') return false;
  if (cls.find(u"..") != std::u16string_view::npos) return false;
  return std::none_of(cls.begin(), cls.end(), [](char16_t c) { return c < 0x20 || c == 0x7F; });
}

// The class without its last part; empty when it has one part only.
std::u16string_view baseOf(std::u16string_view cls) {
  const std::size_t dot = cls.rfind(u'.');
  return dot == std::u16string_view::npos ? std::u16string_view() : cls.substr(0, dot);
}

class FormLibrary {
 public:
  FormLibrary() { reset(); }

  void reset() {
    std::lock_guard lock(m_mutex);
    m_forms.clear();
    for (const StandardForm& form : kStandardForms)
      m_forms[folded(form.messageClass)] = FormEntry{form.messageClass, form.displayName,
                                                     makeIcoFile(form.style, 16), makeIcoFile(form.style, 32)};
  }

  std::optional<FormEntry> resolve(std::u16string_view cls, bool exact) const {
    // No form has a class longer than a registered one can be: skip those bases unlooked-at,
    // so that a huge class costs one pass over it.
    std::u16string_view candidate = cls;
    while (candidate.size() > kMaxClassLength) {
      if (exact) return std::nullopt;
      candidate = baseOf(candidate);
    }
    std::lock_guard lock(m_mutex);
    for (; !candidate.empty(); candidate = baseOf(candidate)) {
      if (const FormEntry* entry = find(candidate)) return *entry;
      if (exact) break;
    }
    return std::nullopt;
  }

  HRESULT add(std::u16string_view cls, std::u16string_view displayName) {
    if (!validClass(cls) || displayName.empty() || displayName.size() > kMaxDisplayNameLength)
      return MAPI_E_INVALID_PARAMETER;
    std::lock_guard lock(m_mutex);
    FormEntry entry{std::u16string(cls), std::u16string(displayName), {}, {}};
    if (const FormEntry* old = find(cls)) {
      entry.miniIcon = old->miniIcon;
      entry.icon = old->icon;
    } else {
      const FormEntry* base = nullptr;
      for (std::u16string_view b = baseOf(cls); !b.empty() && !base; b = baseOf(b)) base = find(b);
      entry.miniIcon = base ? base->miniIcon : makeIcoFile(kGenericForm, 16);
      entry.icon = base ? base->icon : makeIcoFile(kGenericForm, 32);
    }
    m_forms[folded(cls)] = std::move(entry);
    return S_OK;
  }

  HRESULT remove(std::u16string_view cls) {
    std::lock_guard lock(m_mutex);
    return m_forms.erase(folded(cls)) ? S_OK : MAPI_E_NOT_FOUND;
  }

 private:
  const FormEntry* find(std::u16string_view cls) const {
    const auto it = m_forms.find(folded(cls));
    return it == m_forms.end() ? nullptr : &it->second;
  }

  mutable std::mutex m_mutex;
  std::map<std::u16string, FormEntry> m_forms;  // by class folded to lower case
};

FormLibrary& library() {
  static FormLibrary forms;
  return forms;
}

std::atomic<HRESULT> g_openFailure{S_OK};

StoredProp unicodeProp(ULONG tag, std::u16string_view text) {
  StoredProp prop;
  prop.tag = tag;
  for (char16_t c : text) {
    prop.data.push_back(static_cast<char>(c & 0xFF));
    prop.data.push_back(static_cast<char>(c >> 8));
  }
  return prop;
}

StoredProp binaryProp(ULONG tag, std::string bytes) {
  StoredProp prop;
  prop.tag = tag;
  prop.data = std::move(bytes);
  return prop;
}

class CFormInfo final : public CReadOnlyProp<IMAPIFormInfo> {
 public:
  explicit CFormInfo(const FormEntry& form) {
    ++liveCounters().formInfos;
    for (StoredProp prop : {unicodeProp(PR_MESSAGE_CLASS_W, form.messageClass),
                            unicodeProp(PR_DISPLAY_NAME_W, form.displayName), binaryProp(PR_MINI_ICON, form.miniIcon),
                            binaryProp(PR_ICON, form.icon)})
      m_props[PROP_ID(prop.tag)] = std::move(prop);
  }
  ~CFormInfo() override { --liveCounters().formInfos; }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != kIID_IUnknown && riid != kIID_IMAPIProp && riid != IID_IMAPIFormInfo) return E_NOINTERFACE;
    AddRef();
    *ppv = static_cast<IMAPIFormInfo*>(this);
    return S_OK;
  }

  HRESULT GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) override {
    if (!count || !values) return MAPI_E_INVALID_PARAMETER;
    *count = 0;
    *values = nullptr;
    std::vector<ULONG> wanted;
    if (tags) {
      wanted.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
    } else {
      for (const auto& [id, prop] : m_props)
        wanted.push_back(PROP_TYPE(prop.tag) == PT_UNICODE && !(flags & MAPI_UNICODE) ? CHANGE_PROP_TYPE(prop.tag, PT_STRING8)
                                                                                      : prop.tag);
    }
    void* p = nullptr;
    if (FAILED(MAPIAllocateBuffer(static_cast<ULONG>(sizeof(SPropValue) * std::max<std::size_t>(wanted.size(), 1)), &p)))
      return MAPI_E_NOT_ENOUGH_MEMORY;
    auto* array = static_cast<LPSPropValue>(p);
    const UINT codePage = platform::system::threadAnsiCodePage();
    bool errors = false;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
      const auto it = m_props.find(PROP_ID(wanted[i]));
      if (it == m_props.end()) fillError(wanted[i], MAPI_E_NOT_FOUND, array[i]);
      else fillValue(it->second, wanted[i], codePage, p, array[i]);
      errors |= PROP_TYPE(array[i].ulPropTag) == PT_ERROR;
    }
    *count = static_cast<ULONG>(wanted.size());
    *values = array;
    return errors ? MAPI_W_ERRORS_RETURNED : S_OK;
  }

  HRESULT GetPropList(ULONG flags, LPSPropTagArray* tags) override {
    if (!tags) return MAPI_E_INVALID_PARAMETER;
    *tags = nullptr;
    void* p = nullptr;
    if (FAILED(MAPIAllocateBuffer(static_cast<ULONG>(CbNewSPropTagArray(static_cast<ULONG>(m_props.size()))), &p)))
      return MAPI_E_NOT_ENOUGH_MEMORY;
    auto* array = static_cast<LPSPropTagArray>(p);
    array->cValues = 0;
    for (const auto& [id, prop] : m_props)
      array->aulPropTag[array->cValues++] = PROP_TYPE(prop.tag) == PT_UNICODE && !(flags & MAPI_UNICODE)
                                                ? CHANGE_PROP_TYPE(prop.tag, PT_STRING8)
                                                : prop.tag;
    *tags = array;
    return S_OK;
  }

  HRESULT OpenProperty(ULONG tag, LPCIID iid, ULONG, ULONG flags, LPUNKNOWN* unknown) override {
    if (!iid || !unknown) return MAPI_E_INVALID_PARAMETER;
    *unknown = nullptr;
    if (flags & (MAPI_MODIFY | MAPI_CREATE)) return MAPI_E_NO_ACCESS;
    if (*iid != kIID_IStream) return MAPI_E_INTERFACE_NOT_SUPPORTED;
    const auto it = m_props.find(PROP_ID(tag));
    if (it == m_props.end()) return MAPI_E_NOT_FOUND;
    auto bytes = streamBytes(it->second, tag, platform::system::threadAnsiCodePage());
    if (!bytes) return MAPI_E_NOT_FOUND;
    *unknown = new CMemoryStream(std::make_shared<const std::string>(std::move(*bytes)));
    return S_OK;
  }

  HRESULT GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG*, LPMAPINAMEID**) override { return MAPI_E_NO_SUPPORT; }
  HRESULT GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray*) override { return MAPI_E_NO_SUPPORT; }

  HRESULT MakeIconFromBinary(ULONG nPropID, HICON* phicon) override {
    if (!phicon) return MAPI_E_INVALID_PARAMETER;
    *phicon = nullptr;
    const ULONG id = nPropID > 0xFFFF ? PROP_ID(nPropID) : nPropID;
    const auto it = m_props.find(id);
    if (it == m_props.end() || PROP_TYPE(it->second.tag) != PT_BINARY) return MAPI_E_NOT_FOUND;
    const auto size = icoSize(it->second.data);
    if (!size) return MAPI_E_CORRUPT_DATA;
    *phicon = createIcon(IconImage{size->width, size->height, it->second.data});
    return S_OK;
  }

 private:
  PropBag m_props;
};

class CFormMgr final : public CUnknownImpl<IMAPIFormMgr> {
 public:
  CFormMgr() { ++liveCounters().formMgrs; }
  ~CFormMgr() override { --liveCounters().formMgrs; }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != kIID_IUnknown && riid != IID_IMAPIFormMgr) return E_NOINTERFACE;
    AddRef();
    *ppv = static_cast<IMAPIFormMgr*>(this);
    return S_OK;
  }
  HRESULT GetLastError(HRESULT, ULONG, LPMAPIERROR* error) override {
    if (error) *error = nullptr;
    return S_OK;
  }

  HRESULT ResolveMessageClass(const char* szMsgClass, ULONG ulFlags, LPMAPIFOLDER, LPMAPIFORMINFO* ppResult) override {
    if (!ppResult) return MAPI_E_INVALID_PARAMETER;
    *ppResult = nullptr;
    if (!szMsgClass) return MAPI_E_INVALID_PARAMETER;
    if (ulFlags & ~MAPIFORM_EXACTMATCH) return MAPI_E_UNKNOWN_FLAGS;
    const std::u16string cls = decodeString8(szMsgClass, platform::system::threadAnsiCodePage());
    const auto form = library().resolve(cls, (ulFlags & MAPIFORM_EXACTMATCH) != 0);
    if (!form) return MAPI_E_NOT_FOUND;
    *ppResult = new CFormInfo(*form);
    return S_OK;
  }
};

}  // namespace
}  // namespace platform::mapi::detail

HRESULT MAPIOpenFormMgr(LPMAPISESSION pSession, LPMAPIFORMMGR* ppmgr) {
  using namespace platform::mapi::detail;
  if (!ppmgr) return MAPI_E_INVALID_PARAMETER;
  *ppmgr = nullptr;
  if (!pSession) return MAPI_E_INVALID_PARAMETER;
  if (const HRESULT failure = g_openFailure; FAILED(failure)) return failure;
  if (isLoggedOff(pSession)) return MAPI_E_END_OF_SESSION;
  *ppmgr = new CFormMgr();
  return S_OK;
}

namespace platform::mapi {

HRESULT registerForm(std::u16string_view messageClass, std::u16string_view displayName) {
  return detail::library().add(messageClass, displayName);
}

HRESULT unregisterForm(std::u16string_view messageClass) { return detail::library().remove(messageClass); }

void resetFormsForTesting() { detail::library().reset(); }

void setOpenFormMgrFailureForTesting(HRESULT failure) { detail::g_openFailure = failure; }

}  // namespace platform::mapi
