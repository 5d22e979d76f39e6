#pragma once
// Office's ribbon: the IRibbonUI a ribbon's load callback hands over, through which the add-in asks
// Office to query its controls' state again.

#include "platform/com/Bstr.h"
#include "platform/com/Dispatch.h"

inline constexpr IID IID_IRibbonUI = platform::com::guid("000C03A7-0000-0000-C000-000000000046");

struct IRibbonUI : IDispatch {
  // Every control of the add-in is asked for its state again.
  STDMETHOD(Invalidate)() = 0;
  STDMETHOD(InvalidateControl)(BSTR controlId) = 0;

 protected:
  ~IRibbonUI() = default;
};
QM_DECLARE_INTERFACE_IID(IRibbonUI, IID_IRibbonUI);
