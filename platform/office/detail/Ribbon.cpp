#include "platform/office/Ribbon.h"

#include "platform/com/Com.h"
#include "platform/system/Diagnostics.h"

namespace platform::office {

namespace {

using com::CDispArgs;

class CRibbonUI : public CComObjectRootEx<CComSingleThreadModel>, public com::IDispatchTableImpl<IRibbonUI> {
 public:
  BEGIN_COM_MAP(CRibbonUI)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY(IRibbonUI)
  END_COM_MAP()

  CRibbonUI() {
    dispatchTable().method(kDispidRibbonInvalidate, u"Invalidate", [this](const CDispArgs&, VARIANT*) {
      return Invalidate();
    });
    dispatchTable().method(kDispidRibbonInvalidateControl, u"InvalidateControl", [this](const CDispArgs& args, VARIANT*) {
      std::u16string id;
      if (const HRESULT hr = args.getText(0, id); FAILED(hr)) return hr;
      return invalidateControl(id);
    }, 1, 1);
  }

  STDMETHOD(Invalidate)() override {
    return diag::guarded("IRibbonUI::Invalidate", E_FAIL, [&] {
      // A copy: the handler may detach this object.
      if (const auto handler = m_invalidate) handler();
      return S_OK;
    });
  }
  STDMETHOD(InvalidateControl)(BSTR controlId) override {
    return invalidateControl(controlId ? std::u16string(controlId) : std::u16string());
  }

  std::function<void()> m_invalidate;
  std::function<void(const std::u16string&)> m_invalidateControl;

 private:
  HRESULT invalidateControl(const std::u16string& id) {
    return diag::guarded("IRibbonUI::InvalidateControl", E_FAIL, [&] {
      if (const auto handler = m_invalidateControl) handler(id);
      return S_OK;
    });
  }
};

class CRibbonControl : public CComObjectRootEx<CComSingleThreadModel>, public com::IDispatchTableImpl<IRibbonControl> {
 public:
  BEGIN_COM_MAP(CRibbonControl)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY(IRibbonControl)
  END_COM_MAP()

  CRibbonControl() {
    dispatchTable().property(kDispidRibbonControlId, u"Id",
                             [this](const CDispArgs&, VARIANT* result) { return com::putText(result, m_id); });
    dispatchTable().property(kDispidRibbonControlContext, u"Context",
                             [this](const CDispArgs&, VARIANT* result) { return com::putDispatch(result, m_context); });
    dispatchTable().property(kDispidRibbonControlTag, u"Tag",
                             [this](const CDispArgs&, VARIANT* result) { return com::putText(result, m_tag); });
  }

  STDMETHOD(get_Id)(BSTR* id) override { return text(m_id, id); }
  STDMETHOD(get_Context)(IDispatch** context) override {
    if (!context) return E_POINTER;
    *context = m_context;
    if (*context) (*context)->AddRef();
    return S_OK;
  }
  STDMETHOD(get_Tag)(BSTR* tag) override { return text(m_tag, tag); }

  std::u16string m_id;
  std::u16string m_tag;
  CComPtr<IDispatch> m_context;

 private:
  static HRESULT text(const std::u16string& value, BSTR* out) {
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
  }
};

}  // namespace

CComPtr<IRibbonUI> makeRibbonUI(std::function<void()> invalidate,
                                std::function<void(const std::u16string& controlId)> invalidateControl) {
  CComPtr<CComObject<CRibbonUI>> ribbon = CComObject<CRibbonUI>::Make();
  if (!ribbon) return nullptr;
  ribbon->m_invalidate = std::move(invalidate);
  ribbon->m_invalidateControl = std::move(invalidateControl);
  return CComPtr<IRibbonUI>(static_cast<IRibbonUI*>(ribbon.p));
}

void detachRibbonUI(IRibbonUI* ribbon) {
  // Only this layer's objects are detached; the static cast is safe for them alone.
  CComPtr<IRibbonUI> own;
  if (!ribbon || FAILED(ribbon->QueryInterface(IID_IRibbonUI, reinterpret_cast<void**>(own.Receive())))) return;
  auto* object = dynamic_cast<CRibbonUI*>(static_cast<IRibbonUI*>(own.p));
  if (!object) return;
  object->m_invalidate = nullptr;
  object->m_invalidateControl = nullptr;
}

CComPtr<IRibbonControl> makeRibbonControl(std::u16string id, std::u16string tag, IDispatch* context) {
  CComPtr<CComObject<CRibbonControl>> control = CComObject<CRibbonControl>::Make();
  if (!control) return nullptr;
  control->m_id = std::move(id);
  control->m_tag = std::move(tag);
  control->m_context = context;
  return CComPtr<IRibbonControl>(static_cast<IRibbonControl*>(control.p));
}

}  // namespace platform::office
