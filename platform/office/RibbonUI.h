#pragma once
// Office's ribbon as an add-in meets it: IRibbonExtensibility, through which Office asks the add-in
// for its customUI description; IRibbonControl, the control a callback is called for; IRibbonUI,
// which a ribbon's load callback is handed and through which the add-in asks Office to query its
// controls' state again. The callbacks themselves are reached by name through the add-in's
// IDispatch.

#include "platform/com/Bstr.h"
#include "platform/com/Dispatch.h"

inline constexpr IID IID_IRibbonUI = platform::com::guid("000C03A7-0000-0000-C000-000000000046");
inline constexpr IID IID_IRibbonControl = platform::com::guid("000C0395-0000-0000-C000-000000000046");
inline constexpr IID IID_IRibbonExtensibility = platform::com::guid("000C0396-0000-0000-C000-000000000046");

struct IRibbonUI : IDispatch {
  // Every control of the add-in is asked for its state again.
  STDMETHOD(Invalidate)() = 0;
  STDMETHOD(InvalidateControl)(BSTR controlId) = 0;

 protected:
  ~IRibbonUI() = default;
};
QM_DECLARE_INTERFACE_IID(IRibbonUI, IID_IRibbonUI);
_COM_SMARTPTR_TYPEDEF(IRibbonUI, __uuidof(IRibbonUI));

// Dual: also answers "Id", "Context" and "Tag" by name.
struct IRibbonControl : IDispatch {
  STDMETHOD(get_Id)(BSTR* id) = 0;
  // The window (Explorer or Inspector) that shows the control; the caller releases it.
  STDMETHOD(get_Context)(IDispatch** context) = 0;
  STDMETHOD(get_Tag)(BSTR* tag) = 0;

 protected:
  ~IRibbonControl() = default;
};
QM_DECLARE_INTERFACE_IID(IRibbonControl, IID_IRibbonControl);
_COM_SMARTPTR_TYPEDEF(IRibbonControl, __uuidof(IRibbonControl));

struct IRibbonExtensibility : IDispatch {
  // The add-in's customUI XML for a ribbon type ("Microsoft.Outlook.Explorer", ...); the caller
  // frees it.
  STDMETHOD(GetCustomUI)(BSTR RibbonID, BSTR* RibbonXml) = 0;

 protected:
  ~IRibbonExtensibility() = default;
};
QM_DECLARE_INTERFACE_IID(IRibbonExtensibility, IID_IRibbonExtensibility);
_COM_SMARTPTR_TYPEDEF(IRibbonExtensibility, __uuidof(IRibbonExtensibility));
