#include "engine/quilMarkShellHandler.h"

#include <algorithm>
#include <array>
#include <span>

#include "engine/CurrentPrintJob.h"
#include "engine/Message.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "platform/registry/RegKey.h"
#include "resources/resource.h"

using platform::com::CDispArgs;

namespace {

// Strings are read with room for 520 characters, the terminator included.
constexpr ULONG kMaxSettingChars = 520;
// A style sheet with more rules than this is not searched further.
constexpr LONG kMaxRules = 1 << 20;

quilstring textOf(BSTR value) { return value ? quilstring(value, SysStringLen(value)) : quilstring(); }

HRESULT copyText(const quilstring& text, BSTR* value) {
  if (!value) return E_POINTER;
  *value = SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));
  return *value || text.empty() ? S_OK : E_OUTOFMEMORY;
}

quilstring localeName(LCID lcid) {
  quilstring name;
  name.Format(u"%u", static_cast<unsigned>(lcid));
  return name;
}

bool queryString(CRegKey& key, const char16_t* name, quilstring& out) {
  std::array<char16_t, kMaxSettingChars> buffer{};
  DWORD type = 0;
  ULONG bytes = sizeof buffer;
  if (key.QueryValue(name, &type, buffer.data(), &bytes) != ERROR_SUCCESS) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  std::size_t length = bytes / sizeof(char16_t);
  for (std::size_t i = 0; i < length; ++i)
    if (buffer[i] == 0) length = i;
  out.assign(buffer.data(), length);
  return true;
}

// A property of an object reached by name, as an object; null (and S_OK) when it is not one.
HRESULT objectProperty(IDispatch* object, const char16_t* name, CComPtr<IDispatch>& out) {
  out.Release();
  CComVariant value;
  const HRESULT hr = CComDispatchDriver(object).GetPropertyByName(name, &value);
  if (FAILED(hr)) return hr;
  if (value.vt == VT_DISPATCH) out = value.pdispVal;
  return S_OK;
}

// collection.item(index), called as script calls it.
HRESULT collectionItem(IDispatch* collection, LONG index, CComPtr<IDispatch>& out) {
  out.Release();
  const CComVariant arg(index);
  CComVariant value;
  const HRESULT hr = CComDispatchDriver(collection).InvokeArgs(u"item", DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                                               std::span<const VARIANT>(static_cast<const VARIANT*>(&arg), 1), &value);
  if (FAILED(hr)) return hr;
  if (value.vt == VT_DISPATCH) out = value.pdispVal;
  return S_OK;
}

}  // namespace

CquilMarkShellHandler::CquilMarkShellHandler() {
  using platform::com::putLong;
  using platform::com::putText;
  using platform::com::putVariant;
  const auto longGet = [this](HRESULT (CquilMarkShellHandler::*get)(LONG*)) {
    return [this, get](const CDispArgs&, VARIANT* r) {
      LONG value = 0;
      const HRESULT hr = (this->*get)(&value);
      return FAILED(hr) ? hr : putLong(r, value);
    };
  };
  const auto longPut = [this](HRESULT (CquilMarkShellHandler::*put)(LONG)) {
    return [this, put](const CDispArgs& args, VARIANT*) {
      CComVariant value;
      const HRESULT hr = args.getPutValue(VT_I4, value);
      return FAILED(hr) ? hr : (this->*put)(value.lVal);
    };
  };
  const auto textGet = [this](HRESULT (CquilMarkShellHandler::*get)(BSTR*)) {
    return [this, get](const CDispArgs&, VARIANT* r) {
      BSTR value = nullptr;
      const HRESULT hr = (this->*get)(&value);
      if (FAILED(hr)) return hr;
      r->vt = VT_BSTR;
      r->bstrVal = value;
      return S_OK;
    };
  };
  const auto textPut = [this](HRESULT (CquilMarkShellHandler::*put)(BSTR)) {
    return [this, put](const CDispArgs& args, VARIANT*) {
      CComVariant value;
      const HRESULT hr = args.getPutValue(VT_BSTR, value);
      return FAILED(hr) ? hr : (this->*put)(value.bstrVal);
    };
  };
  dispatchTable()
      .method(1, u"showAttachmentsDialog", [this](const CDispArgs&, VARIANT*) { return showAttachmentsDialog(); })
      .property(2, u"hasAttachments",
                [this](const CDispArgs&, VARIANT* r) {
                  CHAR value = 0;
                  const HRESULT hr = get_hasAttachments(&value);
                  return FAILED(hr) ? hr : putVariant(r, CComVariant(value));
                })
      .property(3, u"marginTop", longGet(&CquilMarkShellHandler::get_marginTop),
                longPut(&CquilMarkShellHandler::put_marginTop))
      .property(4, u"marginBottom", longGet(&CquilMarkShellHandler::get_marginBottom),
                longPut(&CquilMarkShellHandler::put_marginBottom))
      .property(5, u"marginLeft", longGet(&CquilMarkShellHandler::get_marginLeft),
                longPut(&CquilMarkShellHandler::put_marginLeft))
      .property(6, u"marginRight", longGet(&CquilMarkShellHandler::get_marginRight),
                longPut(&CquilMarkShellHandler::put_marginRight))
      .property(7, u"header", textGet(&CquilMarkShellHandler::get_header), textPut(&CquilMarkShellHandler::put_header))
      .property(8, u"footer", textGet(&CquilMarkShellHandler::get_footer), textPut(&CquilMarkShellHandler::put_footer))
      .property(9, u"templateName", {}, textPut(&CquilMarkShellHandler::put_templateName))
      .property(
          10, u"ruleFromSelector",
          [this](const CDispArgs& args, VARIANT* r) {
            std::u16string selector;
            CComPtr<IDispatch> document;
            HRESULT hr = args.getText(0, selector);
            if (SUCCEEDED(hr)) hr = args.getDispatch(1, document);
            if (FAILED(hr)) return hr;
            CComBSTR text(selector.c_str());
            IDispatch* rule = nullptr;
            hr = get_ruleFromSelector(text, document, &rule);
            if (FAILED(hr)) return hr;
            r->vt = VT_DISPATCH;
            r->pdispVal = rule;
            return S_OK;
          },
          {}, 2, 2)
      .property(11, u"orientation", textGet(&CquilMarkShellHandler::get_orientation),
                textPut(&CquilMarkShellHandler::put_orientation))
      .property(12, u"printselection", longGet(&CquilMarkShellHandler::get_printselection))
      .property(13, u"pageto", longGet(&CquilMarkShellHandler::get_pageto))
      .property(14, u"pagefrom", longGet(&CquilMarkShellHandler::get_pagefrom));
}

CquilMarkShellHandler::~CquilMarkShellHandler() {
  NUtils::guarded(u"CquilMarkShellHandler destructor", [this] { saveSettings(); });
}

STDMETHODIMP CquilMarkShellHandler::showAttachmentsDialog() {
  return NUtils::guarded(u"CquilMarkShellHandler::showAttachmentsDialog", E_FAIL, [&] {
    const auto item = NCurrentJob::item();
    const auto& show = NCurrentJob::itemActions().showAttachmentsDialog;
    if (!item || !show) return E_FAIL;
    return show(*item, CSettings::instance().getAttachmentsSelectionView());
  });
}

STDMETHODIMP CquilMarkShellHandler::get_hasAttachments(CHAR* value) {
  if (!value) return E_POINTER;
  *value = 0;
  return NUtils::guarded(u"CquilMarkShellHandler::hasAttachments", E_FAIL, [&] {
    const auto item = NCurrentJob::item();
    *value = item && !item->getAttachments().empty() ? 1 : 0;
    return S_OK;
  });
}

#define QM_LONG_PROPERTY(name)                                                  \
  STDMETHODIMP CquilMarkShellHandler::get_##name(LONG* value) {                 \
    if (!value) return E_POINTER;                                               \
    *value = m_##name;                                                          \
    LOG_DEBUG(u"CquilMarkShellHandler -- retrieving " #name " (%ld)", *value); \
    return S_OK;                                                                \
  }                                                                             \
  STDMETHODIMP CquilMarkShellHandler::put_##name(LONG value) {                  \
    m_##name = value;                                                           \
    LOG_DEBUG(u"CquilMarkShellHandler -- storing " #name " (%ld)", value);     \
    return S_OK;                                                                \
  }

QM_LONG_PROPERTY(marginTop)
QM_LONG_PROPERTY(marginBottom)
QM_LONG_PROPERTY(marginLeft)
QM_LONG_PROPERTY(marginRight)

#define QM_TEXT_PROPERTY(name)                                                            \
  STDMETHODIMP CquilMarkShellHandler::get_##name(BSTR* value) {                           \
    LOG_DEBUG(u"CquilMarkShellHandler -- retrieving " #name " (%s)", m_##name.c_str());  \
    return copyText(m_##name, value);                                                     \
  }                                                                                       \
  STDMETHODIMP CquilMarkShellHandler::put_##name(BSTR value) {                            \
    m_##name = textOf(value);                                                             \
    LOG_DEBUG(u"CquilMarkShellHandler -- storing " #name " (%s)", m_##name.c_str());     \
    return S_OK;                                                                          \
  }

QM_TEXT_PROPERTY(header)
QM_TEXT_PROPERTY(footer)
QM_TEXT_PROPERTY(orientation)

#undef QM_LONG_PROPERTY
#undef QM_TEXT_PROPERTY

STDMETHODIMP CquilMarkShellHandler::put_templateName(BSTR value) {
  return NUtils::guarded(u"CquilMarkShellHandler::templateName", E_FAIL, [&] {
    const quilstring name = textOf(value);
    // The name becomes one registry key: it may not name another key or be cut short.
    if (!isValidTemplateName(name)) return E_INVALIDARG;
    m_templateName = name;
    if (m_templateName.empty()) {
      LOG_ERROR(u"CquilMarkShellHandler::templateName -- printing template has no <TITLE>");
      return S_OK;
    }
    LOG_DEBUG(u"CquilMarkShellHandler::templateName with %s", m_templateName.c_str());
    loadSettings();
    keepLoadedValues();
    return S_OK;
  });
}

STDMETHODIMP CquilMarkShellHandler::get_ruleFromSelector(BSTR selector, IDispatch* document, IDispatch** rule) {
  if (!rule) return E_POINTER;
  *rule = nullptr;
  if (!document) return S_OK;
  return NUtils::guarded(u"CquilMarkShellHandler::ruleFromSelector", E_FAIL, [&]() -> HRESULT {
    CComPtr<IUnknown> htmlDocument;
    HRESULT hr = document->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&htmlDocument.p));
    if (hr == E_NOINTERFACE) return S_OK;
    if (FAILED(hr)) return hr;
    CComPtr<IDispatch> sheets, sheet, rules;
    if (FAILED(hr = objectProperty(document, u"styleSheets", sheets)) || !sheets) return hr;
    if (FAILED(hr = collectionItem(sheets, 0, sheet)) || !sheet) return hr;
    if (FAILED(hr = objectProperty(sheet, u"rules", rules)) || !rules) return hr;
    // The walk ends at the rule count: a collection may answer past its end.
    CComVariant count;
    if (FAILED(hr = CComDispatchDriver(rules).GetPropertyByName(u"length", &count))) return hr;
    if (FAILED(hr = VariantChangeType(&count, &count, 0, VT_I4))) return hr;
    const LONG length = std::min(count.lVal, kMaxRules);
    const quilstring wanted = textOf(selector);
    for (LONG i = 0; i < length; ++i) {
      CComPtr<IDispatch> candidate;
      if (FAILED(hr = collectionItem(rules, i, candidate))) return hr;
      if (!candidate) return S_OK;
      CComVariant text;
      if (FAILED(CComDispatchDriver(candidate).GetPropertyByName(u"selectorText", &text)) || text.vt != VT_BSTR)
        continue;
      if (textOf(text.bstrVal) == wanted) {
        *rule = candidate.Detach();
        return S_OK;
      }
    }
    return S_OK;
  });
}

STDMETHODIMP CquilMarkShellHandler::get_printselection(LONG* value) {
  if (!value) return E_POINTER;
  const PrintOptions* range = NCurrentJob::range();
  *value = range ? (range->printSelection == 1 ? 1 : 0) : m_printselection;
  LOG_DEBUG(u"CquilMarkShellHandler -- retrieving printselection (%ld)", *value);
  return S_OK;
}

STDMETHODIMP CquilMarkShellHandler::get_pageto(LONG* value) {
  if (!value) return E_POINTER;
  const PrintOptions* range = NCurrentJob::range();
  *value = range ? static_cast<LONG>(range->pageTo) : m_pageto;
  LOG_DEBUG(u"CquilMarkShellHandler -- retrieving pageto (%ld)", *value);
  return S_OK;
}

STDMETHODIMP CquilMarkShellHandler::get_pagefrom(LONG* value) {
  if (!value) return E_POINTER;
  const PrintOptions* range = NCurrentJob::range();
  *value = range ? static_cast<LONG>(range->pageFrom) : m_pagefrom;
  LOG_DEBUG(u"CquilMarkShellHandler -- retrieving pagefrom (%ld)", *value);
  return S_OK;
}

bool CquilMarkShellHandler::isValidTemplateName(const quilstring& name) {
  if (name.size() > kMaxTemplateName) return false;
  for (char16_t c : name)
    if (c == u'\\' || c == u'/' || c < 0x20 || c == 0x7F) return false;
  return true;
}

quilstring CquilMarkShellHandler::settingsKeyPath(const quilstring& name) {
  return quilstring(kProductKey) + u"\\Template Settings\\" + name;
}

quilstring CquilMarkShellHandler::fromAfterToMessage() {
  quilstring text;
  text.LoadString(NGlobals::moduleInstance(), IDS_FROM_AFTER_TO);
  return text;
}

void CquilMarkShellHandler::loadSettings() {
  CRegKey root;
  if (root.Open(HKEY_CURRENT_USER, settingsKeyPath(m_templateName).c_str(), KEY_QUERY_VALUE) != ERROR_SUCCESS) return;
  CRegKey locale;
  if (NUtils::openLocaleKey(root, KEY_QUERY_VALUE, locale) != ERROR_SUCCESS) return;
  LOG_DEBUG(u"Retrieving settings for %s from registry", m_templateName.c_str());
  DWORD value = 0;
  const auto readLong = [&](const char16_t* name, LONG& field, const char16_t* line) {
    if (locale.QueryDWORDValue(name, value) != ERROR_SUCCESS) return;
    field = static_cast<LONG>(value);
    LOG_DEBUG(line, field);
  };
  const auto readText = [&](const char16_t* name, quilstring& field, const char16_t* line) {
    if (!queryString(locale, name, field)) return;
    LOG_DEBUG(line, field.c_str());
  };
  readLong(u"marginTop", m_marginTop, u"marginTop is %ld");
  readLong(u"marginBottom", m_marginBottom, u"marginBottom is %ld");
  readLong(u"marginLeft", m_marginLeft, u"marginLeft is %ld");
  readLong(u"marginRight", m_marginRight, u"marginRight is %ld");
  readText(u"header", m_header, u"header is %s");
  readText(u"footer", m_footer, u"footer is %s");
  readText(u"orientation", m_orientation, u"orientation is %s");
  readLong(u"printselection", m_printselection, u"printselection is %ld");
  readLong(u"pageto", m_pageto, u"pageto is %ld");
  readLong(u"pagefrom", m_pagefrom, u"pagefrom is %ld");
}

void CquilMarkShellHandler::keepLoadedValues() {
  m_loaded = PageValues{m_marginTop, m_marginBottom, m_marginLeft, m_marginRight, m_header, m_footer, m_orientation};
}

void CquilMarkShellHandler::saveSettings() {
  if (m_templateName.empty()) return;
  // Always the process's own locale, even when the settings came from the 1033 fallback.
  const quilstring path = settingsKeyPath(m_templateName) + u"\\" + localeName(NGlobals::threadLocale());
  CRegKey key;
  if (key.Create(HKEY_CURRENT_USER, path.c_str(), nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE) !=
      ERROR_SUCCESS)
    return;
  // Present as loading takes it: a value of another type is as good as absent.
  const auto lacks = [&](const char16_t* name, bool text) {
    DWORD type = 0;
    if (key.QueryValue(name, &type, nullptr, nullptr) != ERROR_SUCCESS) return true;
    return text ? type != REG_SZ && type != REG_EXPAND_SZ : type != REG_DWORD;
  };
  const auto saveLong = [&](const char16_t* name, LONG value, LONG loaded) {
    if (value != loaded || lacks(name, false)) key.SetDWORDValue(name, static_cast<DWORD>(value));
  };
  const auto saveText = [&](const char16_t* name, const quilstring& value, const quilstring& loaded) {
    if (value != loaded || lacks(name, true)) key.SetStringValue(name, value.c_str());
  };
  saveLong(u"marginTop", m_marginTop, m_loaded.marginTop);
  saveLong(u"marginBottom", m_marginBottom, m_loaded.marginBottom);
  saveLong(u"marginLeft", m_marginLeft, m_loaded.marginLeft);
  saveLong(u"marginRight", m_marginRight, m_loaded.marginRight);
  saveText(u"header", m_header, m_loaded.header);
  saveText(u"footer", m_footer, m_loaded.footer);
  saveText(u"orientation", m_orientation, m_loaded.orientation);
}
