// The add-in's ribbon: its description, the callbacks Office calls by name, and the worker's
// handling of the requests they make.
#include "foundation/AddinGlobals.h"
#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "foundation/Utils.h"
#include "integration/Connect.h"
#include "integration/ConnectImpl.h"
#include "integration/OptionsWindow.h"
#include "integration/detail/Automation.h"
#include "platform/office/Ribbon.h"
#include "platform/outlook/OutlookInterfaces.h"
#include "platform/ui/WinUser.h"
#include "resources/resource.h"

using namespace integration::detail;
using platform::com::CDispArgs;

namespace {

constexpr const char16_t* kRibbonXml =
    u"<customUI xmlns=\"http://schemas.microsoft.com/office/2006/01/customui\" onLoad=\"ribbonLoaded\">"
    u"<commands>"
    u"<command idMso=\"FilePrintQuick\" onAction=\"ButtonQuickPrintClicked\"/>"
    u"<command idMso=\"FilePrint\" onAction=\"ButtonPrintClicked\"/>"
    u"<command idMso=\"FilePrintPreview\" onAction=\"ButtonPrintPreviewClicked\"/>"
    u"</commands>"
    u"<ribbon><tabs>"
    u"<tab id=\"QuillmarkTab\" getVisible=\"QuillmarkTabVisible\" label=\"Quillmark\">"
    u"<group id=\"QuillmarkGroup\" label=\"%s\">"
    u"<button id=\"QuillmarkPreview\" imageMso=\"FilePrint\" label=\"%s\" getVisible=\"QuillmarkButtonVisible\" "
    u"size=\"large\" onAction=\"QuillmarkButtonClicked\"/>"
    u"<button id=\"QuillmarkSelection\" imageMso=\"SelectAll\" label=\"%s\" getVisible=\"SelectionButtonVisible\" "
    u"size=\"large\" onAction=\"SelectionButtonClicked\"/>"
    u"<button id=\"QuillmarkAttachments\" imageMso=\"AttachFile\" label=\"%s\" size=\"large\" "
    u"getVisible=\"AttachmentButtonVisible\" onAction=\"AttachmentButtonClicked\"/>"
    u"<button id=\"QuillmarkCustom1\" imageMso=\"%s\" getLabel=\"CustomButton1GetLabel\" "
    u"getVisible=\"CustomButton1Visible\" size=\"large\" onAction=\"CustomButton1Clicked\"/>"
    u"<button id=\"QuillmarkCustom2\" imageMso=\"%s\" getLabel=\"CustomButton2GetLabel\" "
    u"getVisible=\"CustomButton2Visible\" size=\"large\" onAction=\"CustomButton2Clicked\"/>"
    u"<button id=\"QuillmarkCustom3\" imageMso=\"%s\" getLabel=\"CustomButton3GetLabel\" "
    u"getVisible=\"CustomButton3Visible\" size=\"large\" onAction=\"CustomButton3Clicked\"/>"
    u"</group>"
    u"<group id=\"QuillmarkOptionsGroup\" label=\"Options\">"
    u"<button id=\"QuillmarkOptions\" imageMso=\"ApplicationOptionsDialog\" label=\"Options\" size=\"large\" "
    u"getVisible=\"QuillmarkOptionsVisible\" onAction=\"QuillmarkOptionsClicked\"/>"
    u"</group>"
    u"</tab>"
    u"</tabs></ribbon>"
    u"</customUI>";

// A value placed in an attribute: a stored label or image name may hold any character.
quilstring xmlEscaped(const quilstring& text) {
  quilstring out;
  for (const char16_t c : text) {
    switch (c) {
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'"': out += u"&quot;"; break;
      case u'\'': out += u"&apos;"; break;
      default:
        // Characters XML 1.0 cannot carry at all are left out.
        if (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') break;
        if (c == 0xFFFE || c == 0xFFFF) break;
        out += c;
    }
  }
  return out;
}

// Record n (0 to 2) of the custom buttons, copied: a save during the request may replace them.
CustomButton customRecord(int index) {
  const auto& buttons = CSettings::instance().getSettingsData().buttons.buttons;
  return index >= 0 && index < static_cast<int>(buttons.size()) ? buttons[static_cast<std::size_t>(index)]
                                                                  : CustomButton{};
}

IRibbonControlPtr ribbonControl(IDispatch* control) {
  IRibbonControlPtr result;
  if (control) control->QueryInterface(IID_IRibbonControl, reinterpret_cast<void**>(result.Receive()));
  return result;
}

HRESULT answer(VARIANT_BOOL* Visible, bool visible) {
  if (!Visible) return E_POINTER;
  *Visible = visible ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

}  // namespace

// The description

STDMETHODIMP CConnect::GetCustomUI(BSTR, BSTR* RibbonXml) {
  if (!RibbonXml) return E_POINTER;
  *RibbonXml = nullptr;
  return NUtils::guarded(u"CConnect::GetCustomUI", E_FAIL, [&]() -> HRESULT {
    quilstring images[3];
    for (int n = 0; n < 3; ++n) {
      const quilstring& stored = customRecord(n).imageMso;
      images[n] = xmlEscaped(stored.empty() ? quilstring(u"FilePrint") : stored);
    }
    quilstring xml;
    xml.Format(kRibbonXml, xmlEscaped(NUtils::moduleString(IDS_LONG_PRODUCT_NAME)).c_str(),
               xmlEscaped(NUtils::moduleString(IDS_PRINT_PREVIEW_BUTTON)).c_str(),
               xmlEscaped(NUtils::moduleString(IDS_PRINT_SELECTION_BUTTON)).c_str(),
               xmlEscaped(NUtils::moduleString(IDS_QUICKPRINT_ATTACHMENTS_BUTTON)).c_str(), images[0].c_str(),
               images[1].c_str(), images[2].c_str());
    *RibbonXml = SysAllocStringLen(xml.data(), static_cast<UINT>(xml.size()));
    return *RibbonXml ? S_OK : E_OUTOFMEMORY;
  });
}

// The callbacks by name

void CConnect::describeCallbacks() {
  platform::com::CDispatchTable& table = IDispatchTableImpl<ICallbackInterface>::dispatchTable();
  using Click = HRESULT (CConnect::*)(IDispatch*);
  using Command = HRESULT (CConnect::*)(IDispatch*, VARIANT*);
  using Visible = HRESULT (CConnect::*)(IDispatch*, VARIANT_BOOL*);
  using Text = HRESULT (CConnect::*)(IDispatch*, BSTR*);
  const auto click = [&](DISPID id, const char16_t* name, Click method) {
    table.method(id, name, [this, method](const CDispArgs& args, VARIANT*) {
      CComPtr<IDispatch> control;
      if (const HRESULT hr = args.getDispatch(0, control); FAILED(hr)) return hr;
      return (this->*method)(control);
    }, 1, 1);
  };
  const auto command = [&](DISPID id, const char16_t* name, Command method) {
    table.method(id, name, [this, method](const CDispArgs& args, VARIANT*) {
      CComPtr<IDispatch> control;
      if (const HRESULT hr = args.getDispatch(0, control); FAILED(hr)) return hr;
      const VARIANT& passed = args[1];
      // Office passes Cancelled by reference; a VARIANT_BOOL reference is served as well.
      if (passed.vt == (VT_BYREF | VT_VARIANT) && passed.pvarVal) return (this->*method)(control, passed.pvarVal);
      if (passed.vt != (VT_BYREF | VT_BOOL) || !passed.pboolVal) return DISP_E_TYPEMISMATCH;
      CComVariant cancelled(*passed.pboolVal != VARIANT_FALSE);
      const HRESULT hr = (this->*method)(control, &cancelled);
      if (cancelled.vt == VT_BOOL) *passed.pboolVal = cancelled.boolVal;
      return hr;
    }, 2, 2);
  };
  const auto visible = [&](DISPID id, const char16_t* name, Visible method) {
    table.method(id, name, [this, method](const CDispArgs& args, VARIANT* result) {
      CComPtr<IDispatch> control;
      if (const HRESULT hr = args.getDispatch(0, control); FAILED(hr)) return hr;
      VARIANT_BOOL shown = VARIANT_FALSE;
      const HRESULT hr = (this->*method)(control, &shown);
      return FAILED(hr) ? hr : platform::com::putBool(result, shown != VARIANT_FALSE);
    }, 1, 1);
  };
  const auto text = [&](DISPID id, const char16_t* name, Text method) {
    table.method(id, name, [this, method](const CDispArgs& args, VARIANT* result) {
      CComPtr<IDispatch> control;
      if (const HRESULT hr = args.getDispatch(0, control); FAILED(hr)) return hr;
      BSTR value = nullptr;
      const HRESULT hr = (this->*method)(control, &value);
      if (FAILED(hr)) return hr;
      result->vt = VT_BSTR;
      result->bstrVal = value;
      return S_OK;
    }, 1, 1);
  };
  click(ribbon::kQuillmarkButtonClicked, u"QuillmarkButtonClicked", &CConnect::QuillmarkButtonClicked);
  click(ribbon::kAttachmentButtonClicked, u"AttachmentButtonClicked", &CConnect::AttachmentButtonClicked);
  command(ribbon::kButtonQuickPrintClicked, u"ButtonQuickPrintClicked", &CConnect::ButtonQuickPrintClicked);
  command(ribbon::kButtonPrintClicked, u"ButtonPrintClicked", &CConnect::ButtonPrintClicked);
  command(ribbon::kButtonPrintPreviewClicked, u"ButtonPrintPreviewClicked", &CConnect::ButtonPrintPreviewClicked);
  visible(ribbon::kQuillmarkTabVisible, u"QuillmarkTabVisible", &CConnect::QuillmarkTabVisible);
  visible(ribbon::kQuillmarkButtonVisible, u"QuillmarkButtonVisible", &CConnect::QuillmarkButtonVisible);
  visible(ribbon::kAttachmentButtonVisible, u"AttachmentButtonVisible", &CConnect::AttachmentButtonVisible);
  table.method(ribbon::kRibbonLoaded, u"ribbonLoaded", [this](const CDispArgs& args, VARIANT*) {
    CComPtr<IDispatch> ribbonUI;
    if (const HRESULT hr = args.getDispatch(0, ribbonUI); FAILED(hr)) return hr;
    return ribbonLoaded(ribbonUI);
  }, 1, 1);
  click(ribbon::kSelectionButtonClicked, u"SelectionButtonClicked", &CConnect::SelectionButtonClicked);
  visible(ribbon::kSelectionButtonVisible, u"SelectionButtonVisible", &CConnect::SelectionButtonVisible);
  click(ribbon::kCustomButton1Clicked, u"CustomButton1Clicked", &CConnect::CustomButton1Clicked);
  visible(ribbon::kCustomButton1Visible, u"CustomButton1Visible", &CConnect::CustomButton1Visible);
  click(ribbon::kCustomButton1Clicked + 2, u"CustomButton2Clicked", &CConnect::CustomButton2Clicked);
  visible(ribbon::kCustomButton1Visible + 2, u"CustomButton2Visible", &CConnect::CustomButton2Visible);
  click(ribbon::kCustomButton1Clicked + 4, u"CustomButton3Clicked", &CConnect::CustomButton3Clicked);
  visible(ribbon::kCustomButton1Visible + 4, u"CustomButton3Visible", &CConnect::CustomButton3Visible);
  click(ribbon::kQuillmarkOptionsClicked, u"QuillmarkOptionsClicked", &CConnect::QuillmarkOptionsClicked);
  visible(ribbon::kQuillmarkOptionsVisible, u"QuillmarkOptionsVisible", &CConnect::QuillmarkOptionsVisible);
  text(ribbon::kCustomButton1GetImageMso, u"CustomButton1GetImageMso", &CConnect::CustomButton1GetImageMso);
  text(ribbon::kCustomButton1GetLabel, u"CustomButton1GetLabel", &CConnect::CustomButton1GetLabel);
  text(ribbon::kCustomButton1GetImageMso + 2, u"CustomButton2GetImageMso", &CConnect::CustomButton2GetImageMso);
  text(ribbon::kCustomButton1GetLabel + 2, u"CustomButton2GetLabel", &CConnect::CustomButton2GetLabel);
  text(ribbon::kCustomButton1GetImageMso + 4, u"CustomButton3GetImageMso", &CConnect::CustomButton3GetImageMso);
  text(ribbon::kCustomButton1GetLabel + 4, u"CustomButton3GetLabel", &CConnect::CustomButton3GetLabel);
}

STDMETHODIMP CConnect::ribbonLoaded(IDispatch* RibbonUI) {
  NUtils::guarded(u"CConnect::ribbonLoaded", [&] {
    IRibbonUIPtr ribbon;
    if (RibbonUI) RibbonUI->QueryInterface(IID_IRibbonUI, reinterpret_cast<void**>(ribbon.Receive()));
    if (!ribbon) {
      LOG_ERROR(u"CConnect::ribbonLoaded -- the ribbon given is not an IRibbonUI");
      return;
    }
    CSettings::instance().addRibbonUI(ribbon);
  });
  return S_OK;
}

HRESULT CConnect::takeOverCommand(const char16_t* name, IDispatch* control, VARIANT* Cancelled, int mode) {
  const CComPtr<_IDTExtensibility2> hold(this);
  bool served = false;
  NUtils::guarded(name, [&] {
    const CComPtr<CConnectImpl> worker(m_worker);
    if (worker) served = worker->HandlePrintRequest(ribbonControl(control), mode);
  });
  // Not served: Outlook runs its own command.
  if (!served && Cancelled) {
    VariantClear(Cancelled);
    Cancelled->vt = VT_BOOL;
    Cancelled->boolVal = VARIANT_FALSE;
  }
  return S_OK;
}

STDMETHODIMP CConnect::ButtonQuickPrintClicked(IDispatch* RibbonControl, VARIANT* Cancelled) {
  return takeOverCommand(u"CConnect::ButtonQuickPrintClicked", RibbonControl, Cancelled, 1);
}

STDMETHODIMP CConnect::ButtonPrintClicked(IDispatch* RibbonControl, VARIANT* Cancelled) {
  return takeOverCommand(u"CConnect::ButtonPrintClicked", RibbonControl, Cancelled, 2);
}

STDMETHODIMP CConnect::ButtonPrintPreviewClicked(IDispatch* RibbonControl, VARIANT* Cancelled) {
  return takeOverCommand(u"CConnect::ButtonPrintPreviewClicked", RibbonControl, Cancelled, 3);
}

STDMETHODIMP CConnect::QuillmarkButtonClicked(IDispatch* RibbonControl) {
  const CComPtr<_IDTExtensibility2> hold(this);
  NUtils::guarded(u"CConnect::QuillmarkButtonClicked", [&] {
    const CComPtr<CConnectImpl> worker(m_worker);
    if (worker) worker->HandlePrintRequest(ribbonControl(RibbonControl), 4);
  });
  return S_OK;
}

STDMETHODIMP CConnect::AttachmentButtonClicked(IDispatch* RibbonControl) {
  const CComPtr<_IDTExtensibility2> hold(this);
  NUtils::guarded(u"CConnect::AttachmentButtonClicked", [&] {
    const CComPtr<CConnectImpl> worker(m_worker);
    if (worker) worker->HandleAttachmentRequest(ribbonControl(RibbonControl));
  });
  return S_OK;
}

STDMETHODIMP CConnect::SelectionButtonClicked(IDispatch* RibbonControl) {
  const CComPtr<_IDTExtensibility2> hold(this);
  NUtils::guarded(u"CConnect::SelectionButtonClicked", [&] {
    const CComPtr<CConnectImpl> worker(m_worker);
    if (worker) worker->HandleSelectionRequest(ribbonControl(RibbonControl));
  });
  return S_OK;
}

HRESULT CConnect::customClicked(int index, IDispatch* control) {
  const CComPtr<_IDTExtensibility2> hold(this);
  NUtils::guarded(u"CConnect::CustomButtonClicked", [&] {
    const CComPtr<CConnectImpl> worker(m_worker);
    CustomButton record = customRecord(index);
    if (worker) worker->HandleCustomRequest(ribbonControl(control), record);
  });
  return S_OK;
}

STDMETHODIMP CConnect::CustomButton1Clicked(IDispatch* RibbonControl) { return customClicked(0, RibbonControl); }
STDMETHODIMP CConnect::CustomButton2Clicked(IDispatch* RibbonControl) { return customClicked(1, RibbonControl); }
STDMETHODIMP CConnect::CustomButton3Clicked(IDispatch* RibbonControl) { return customClicked(2, RibbonControl); }

STDMETHODIMP CConnect::QuillmarkOptionsClicked(IDispatch*) {
  const CComPtr<_IDTExtensibility2> hold(this);
  NUtils::guarded(u"CConnect::QuillmarkOptionsClicked", [&] { showOptionsWindow(GetActiveWindow()); });
  return S_OK;
}

STDMETHODIMP CConnect::QuillmarkTabVisible(IDispatch*, VARIANT_BOOL* Visible) {
  const CSettings& settings = CSettings::instance();
  return answer(Visible, settings.getDisplayPreviewButton() || settings.getDisplayAttachmentsButton() ||
                             settings.getDisplaySelectionButton());
}

STDMETHODIMP CConnect::QuillmarkButtonVisible(IDispatch*, VARIANT_BOOL* Visible) {
  return answer(Visible, CSettings::instance().getDisplayPreviewButton());
}

STDMETHODIMP CConnect::AttachmentButtonVisible(IDispatch*, VARIANT_BOOL* Visible) {
  return answer(Visible, CSettings::instance().getDisplayAttachmentsButton());
}

STDMETHODIMP CConnect::SelectionButtonVisible(IDispatch*, VARIANT_BOOL* Visible) {
  return answer(Visible, CSettings::instance().getDisplaySelectionButton());
}

STDMETHODIMP CConnect::QuillmarkOptionsVisible(IDispatch*, VARIANT_BOOL* Visible) { return answer(Visible, true); }

HRESULT CConnect::customVisible(int index, VARIANT_BOOL* Visible) {
  return answer(Visible, customRecord(index).showButton);
}

STDMETHODIMP CConnect::CustomButton1Visible(IDispatch*, VARIANT_BOOL* Visible) { return customVisible(0, Visible); }
STDMETHODIMP CConnect::CustomButton2Visible(IDispatch*, VARIANT_BOOL* Visible) { return customVisible(1, Visible); }
STDMETHODIMP CConnect::CustomButton3Visible(IDispatch*, VARIANT_BOOL* Visible) { return customVisible(2, Visible); }

HRESULT CConnect::customText(int index, bool label, BSTR* out) {
  if (!out) return E_POINTER;
  const CustomButton record = customRecord(index);
  const quilstring& value = label ? record.displayName : record.imageMso;
  *out = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CConnect::CustomButton1GetImageMso(IDispatch*, BSTR* ImageMso) { return customText(0, false, ImageMso); }
STDMETHODIMP CConnect::CustomButton1GetLabel(IDispatch*, BSTR* Label) { return customText(0, true, Label); }
STDMETHODIMP CConnect::CustomButton2GetImageMso(IDispatch*, BSTR* ImageMso) { return customText(1, false, ImageMso); }
STDMETHODIMP CConnect::CustomButton2GetLabel(IDispatch*, BSTR* Label) { return customText(1, true, Label); }
STDMETHODIMP CConnect::CustomButton3GetImageMso(IDispatch*, BSTR* ImageMso) { return customText(2, false, ImageMso); }
STDMETHODIMP CConnect::CustomButton3GetLabel(IDispatch*, BSTR* Label) { return customText(2, true, Label); }

// The worker's side

namespace {

// The manager of the window showing the control, held for the caller's use; null when none.
CDisplayManager::Ptr managerOf(CConnectImpl& worker, IRibbonControl* control) {
  if (!control) _com_issue_error(E_POINTER);
  CComPtr<IDispatch> context;
  check(control->get_Context(context.Receive()));
  CDisplayManager* found = worker.getDisplayManagerFromInspector(context);
  return CDisplayManager::Ptr(static_cast<CComObject<CDisplayManager>*>(found));
}

CComPtr<IDispatch> contextOf(IRibbonControl* control) {
  CComPtr<IDispatch> context;
  check(control->get_Context(context.Receive()));
  if (!context) _com_issue_error(E_POINTER);
  return context;
}

bool isInspector(IDispatch* window) {
  _InspectorPtr inspector;
  return SUCCEEDED(window->QueryInterface(IID__Inspector, reinterpret_cast<void**>(inspector.Receive()))) && inspector;
}

bool isExplorer(IDispatch* window) {
  _ExplorerPtr explorer;
  return SUCCEEDED(window->QueryInterface(IID__Explorer, reinterpret_cast<void**>(explorer.Receive()))) && explorer;
}

}  // namespace

bool CConnectImpl::HandlePrintRequest(IRibbonControlPtr control, int mode) {
  const CComPtr<CConnectImpl> hold(this);
  bool served = false;
  NUtils::guardedAs(u"Exception caught in HandlePrintRequest", [&] {
    LOG_DEBUG(u"CConnectImpl::HandlePrintRequest");
    if (mode != 4 && !CSettings::instance().getUseOutlookButtons()) {
      LOG_DEBUG(u"Quillmark Not using Outlook buttons ");
      return;
    }
    const CDisplayManager::Ptr manager = managerOf(*this, control);
    if (manager) served = manager->DoPrintService(mode, quilstring());
  });
  return served;
}

bool CConnectImpl::HandleAttachmentRequest(IRibbonControlPtr control) {
  const CComPtr<CConnectImpl> hold(this);
  bool served = false;
  NUtils::guardedAs(u"Exception caught in HandleAttachmentRequest", [&] {
    const CDisplayManager::Ptr manager = managerOf(*this, control);
    if (!manager) return;
    const CComPtr<IDispatch> context = contextOf(control);
    std::vector<std::shared_ptr<COutlookItem>> items;
    if (isInspector(context)) {
      items.push_back(std::make_shared<COutlookItem>(getObject(context, u"CurrentItem")));
    } else if (isExplorer(context)) {
      const CComPtr<IDispatch> selection = getObject(context, u"Selection");
      const LONG count = getLong(selection, u"Count");
      for (LONG i = 1; i <= count; ++i) items.push_back(std::make_shared<COutlookItem>(itemOf(selection, i)));
    }
    if (!items.empty()) served = manager->handleAttachmentService(items);
  });
  return served;
}

bool CConnectImpl::HandleSelectionRequest(IRibbonControlPtr control) {
  const CComPtr<CConnectImpl> hold(this);
  bool served = false;
  NUtils::guardedAs(u"Exception caught in HandleSelectionRequest", [&] {
    const CDisplayManager::Ptr manager = managerOf(*this, control);
    if (!manager) return;
    const CComPtr<IDispatch> context = contextOf(control);
    CComPtr<IDispatch> item;
    if (isInspector(context)) {
      item = getObject(context, u"CurrentItem");
    } else if (isExplorer(context)) {
      // The selection dialog shows one item's body: with several selected nothing happens.
      const CComPtr<IDispatch> selection = getObject(context, u"Selection");
      if (getLong(selection, u"Count") == 1) item = itemOf(selection, 1);
    }
    if (!item) return;
    manager->HandleSelectionService(item);
    served = true;
  });
  return served;
}

bool CConnectImpl::HandleCustomRequest(IRibbonControlPtr control, CustomButton& record) {
  const CComPtr<CConnectImpl> hold(this);
  NUtils::guardedAs(u"Exception caught in HandleCustomRequest", [&] {
    const CDisplayManager::Ptr manager = managerOf(*this, control);
    if (manager) manager->DoCustomPrintService(record);
  });
  return false;
}
