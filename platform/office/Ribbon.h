#pragma once
// The host's side of Office's ribbon objects: an IRibbonUI that hands Invalidate to the host, and
// the IRibbonControl a callback is called with.

#include <functional>
#include <string>

#include "platform/Export.h"
#include "platform/com/ComPtr.h"
#include "platform/office/RibbonUI.h"

namespace platform::office {

// DISPIDs of the ribbon objects as Office's type library numbers them.
inline constexpr DISPID kDispidRibbonControlId = 1;
inline constexpr DISPID kDispidRibbonControlContext = 2;
inline constexpr DISPID kDispidRibbonControlTag = 3;
inline constexpr DISPID kDispidRibbonInvalidate = 1;
inline constexpr DISPID kDispidRibbonInvalidateControl = 2;
inline constexpr DISPID kDispidGetCustomUI = 1;

// Invalidate and InvalidateControl run the handlers (either may be empty) inside the caller's
// call. The object outlives the host's ribbon when an add-in keeps it: detach it then with
// detachRibbonUI, after which both answer S_OK and do nothing.
QM_PLATFORM_API CComPtr<IRibbonUI> makeRibbonUI(std::function<void()> invalidate,
                                                std::function<void(const std::u16string& controlId)> invalidateControl);
QM_PLATFORM_API void detachRibbonUI(IRibbonUI* ribbon);

// A control of a window's ribbon: its id, its tag and the window (held by the control).
QM_PLATFORM_API CComPtr<IRibbonControl> makeRibbonControl(std::u16string id, std::u16string tag, IDispatch* context);

}  // namespace platform::office
