#include "integration/Quillmarker.h"

#include "foundation/Guard.h"
#include "integration/QuillmarkerImpl.h"

namespace {

using platform::com::CDispArgs;

quilstring textOf(BSTR text) { return text ? quilstring(text) : quilstring(); }

HRESULT copyText(const quilstring& text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = SysAllocString(text.c_str());
  return *out ? S_OK : E_OUTOFMEMORY;
}

// A BSTR result of a member into the dispatch result.
template <class Fn>
HRESULT textResult(VARIANT* result, Fn&& fn) {
  BSTR text = nullptr;
  const HRESULT hr = fn(&text);
  if (FAILED(hr)) return hr;
  result->vt = VT_BSTR;
  result->bstrVal = text;
  return S_OK;
}

}  // namespace

CQuillmarker::CQuillmarker() {
  const auto textPut = [this](HRESULT (CQuillmarker::*put)(BSTR)) {
    return [this, put](const CDispArgs& args, VARIANT*) {
      CComVariant value;
      const HRESULT hr = args.getPutValue(VT_BSTR, value);
      return FAILED(hr) ? hr : (this->*put)(value.bstrVal);
    };
  };
  dispatchTable()
      .method(1, u"Print",
              [this](const CDispArgs& args, VARIANT*) {
                CComVariant texts[3];
                for (UINT i = 0; i < 3; ++i)
                  if (const HRESULT hr = args.get(i, VT_BSTR, texts[i]); FAILED(hr)) return hr;
                return Print(texts[0].bstrVal, texts[1].bstrVal, texts[2].bstrVal);
              },
              3, 3)
      .method(2, u"GetAction",
              [this](const CDispArgs&, VARIANT* r) { return textResult(r, [this](BSTR* t) { return GetAction(t); }); })
      .property(3, u"action",
                [this](const CDispArgs&, VARIANT* r) { return textResult(r, [this](BSTR* t) { return get_action(t); }); },
                textPut(&CQuillmarker::put_action))
      .property(4, u"entryid",
                [this](const CDispArgs&, VARIANT* r) { return textResult(r, [this](BSTR* t) { return get_entryid(t); }); },
                textPut(&CQuillmarker::put_entryid))
      .method(5, u"printItem", [this](const CDispArgs&, VARIANT*) { return printItem(); });
}

STDMETHODIMP CQuillmarker::Print(BSTR bstrEntryId, BSTR bstrStoreId, BSTR bstrAction) {
  return NUtils::guarded(u"CQuillmarker::Print", E_FAIL, [&] {
    CQuillmarkerImpl* worker = CQuillmarkerImpl::instance();
    return worker ? worker->Print(textOf(bstrEntryId), textOf(bstrStoreId), textOf(bstrAction)) : E_OUTOFMEMORY;
  });
}

STDMETHODIMP CQuillmarker::GetAction(BSTR* bstrAction) {
  return NUtils::guarded(u"CQuillmarker::GetAction", E_FAIL, [&] {
    CQuillmarkerImpl* worker = CQuillmarkerImpl::instance();
    return worker ? worker->GetAction(bstrAction) : E_OUTOFMEMORY;
  });
}

STDMETHODIMP CQuillmarker::get_action(BSTR* pVal) { return copyText(m_action, pVal); }
STDMETHODIMP CQuillmarker::put_action(BSTR newVal) {
  return NUtils::guarded(u"CQuillmarker::put_action", E_FAIL, [&] {
    m_action = textOf(newVal);
    return S_OK;
  });
}
STDMETHODIMP CQuillmarker::get_entryid(BSTR* pVal) { return copyText(m_entryid, pVal); }
STDMETHODIMP CQuillmarker::put_entryid(BSTR newVal) {
  return NUtils::guarded(u"CQuillmarker::put_entryid", E_FAIL, [&] {
    m_entryid = textOf(newVal);
    return S_OK;
  });
}

STDMETHODIMP CQuillmarker::printItem() {
  if (m_entryid.empty() || m_action.empty()) return E_FAIL;
  return NUtils::guarded(u"CQuillmarker::printItem", E_FAIL, [&] {
    CQuillmarkerImpl* worker = CQuillmarkerImpl::instance();
    return worker ? worker->Print(m_entryid, quilstring(), m_action) : E_OUTOFMEMORY;
  });
}
