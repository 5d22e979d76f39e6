#pragma once
// ICallbackInterface: the ribbon's callbacks, which Office calls by name through the add-in's
// IDispatch (GetIDsOfNames, then Invoke with these DISPIDs). Every method answers S_OK.
// RibbonControl is Office's IRibbonControl; Cancelled is an [in, out] VARIANT holding VT_BOOL;
// Visible, ImageMso and Label are [out, retval].

#include "integration/Guids.h"
#include "platform/com/Com.h"

namespace ribbon {
inline constexpr DISPID kQuillmarkButtonClicked = 1;
inline constexpr DISPID kAttachmentButtonClicked = 2;
inline constexpr DISPID kButtonQuickPrintClicked = 3;
inline constexpr DISPID kButtonPrintClicked = 4;
inline constexpr DISPID kButtonPrintPreviewClicked = 5;
inline constexpr DISPID kQuillmarkTabVisible = 6;
inline constexpr DISPID kQuillmarkButtonVisible = 7;
inline constexpr DISPID kAttachmentButtonVisible = 8;
inline constexpr DISPID kRibbonLoaded = 9;
inline constexpr DISPID kSelectionButtonClicked = 10;
inline constexpr DISPID kSelectionButtonVisible = 11;
inline constexpr DISPID kCustomButton1Clicked = 12;  // custom button n: 12 + 2(n-1)
inline constexpr DISPID kCustomButton1Visible = 13;  // custom button n: 13 + 2(n-1)
inline constexpr DISPID kQuillmarkOptionsClicked = 18;
inline constexpr DISPID kQuillmarkOptionsVisible = 19;
inline constexpr DISPID kCustomButton1GetImageMso = 23;  // custom button n: 23 + 2(n-1)
inline constexpr DISPID kCustomButton1GetLabel = 24;     // custom button n: 24 + 2(n-1)
}  // namespace ribbon

struct ICallbackInterface : IDispatch {
  STDMETHOD(QuillmarkButtonClicked)(IDispatch* RibbonControl) = 0;
  STDMETHOD(AttachmentButtonClicked)(IDispatch* RibbonControl) = 0;
  STDMETHOD(ButtonQuickPrintClicked)(IDispatch* RibbonControl, VARIANT* Cancelled) = 0;
  STDMETHOD(ButtonPrintClicked)(IDispatch* RibbonControl, VARIANT* Cancelled) = 0;
  STDMETHOD(ButtonPrintPreviewClicked)(IDispatch* RibbonControl, VARIANT* Cancelled) = 0;
  STDMETHOD(QuillmarkTabVisible)(IDispatch* RibbonControl, VARIANT_BOOL* Visible) = 0;
  STDMETHOD(QuillmarkButtonVisible)(IDispatch* RibbonControl, VARIANT_BOOL* Visible) = 0;
  STDMETHOD(AttachmentButtonVisible)(IDispatch* RibbonControl, VARIANT_BOOL* Visible) = 0;
  STDMETHOD(ribbonLoaded)(IDispatch* RibbonUI) = 0;
  STDMETHOD(SelectionButtonClicked)(IDispatch* RibbonControl) = 0;
  STDMETHOD(SelectionButtonVisible)(IDispatch* RibbonControl, VARIANT_BOOL* Visible) = 0;
  STDMETHOD(CustomButton1Clicked)(IDispatch* RibbonControl) = 0;
  STDMETHOD(CustomButton1Visible)(IDispatch* RibbonControl, VARIANT_BOOL* Visible) = 0;
  STDMETHOD(CustomButton2Clicked)(IDispatch* RibbonControl) = 0;
  STDMETHOD(CustomButton2Visible)(IDispatch* RibbonControl, VARIANT_BOOL* Visible) = 0;
  STDMETHOD(CustomButton3Clicked)(IDispatch* RibbonControl) = 0;
  STDMETHOD(CustomButton3Visible)(IDispatch* RibbonControl, VARIANT_BOOL* Visible) = 0;
  STDMETHOD(QuillmarkOptionsClicked)(IDispatch* RibbonControl) = 0;
  STDMETHOD(QuillmarkOptionsVisible)(IDispatch* RibbonControl, VARIANT_BOOL* Visible) = 0;
  STDMETHOD(CustomButton1GetImageMso)(IDispatch* RibbonControl, BSTR* ImageMso) = 0;
  STDMETHOD(CustomButton1GetLabel)(IDispatch* RibbonControl, BSTR* Label) = 0;
  STDMETHOD(CustomButton2GetImageMso)(IDispatch* RibbonControl, BSTR* ImageMso) = 0;
  STDMETHOD(CustomButton2GetLabel)(IDispatch* RibbonControl, BSTR* Label) = 0;
  STDMETHOD(CustomButton3GetImageMso)(IDispatch* RibbonControl, BSTR* ImageMso) = 0;
  STDMETHOD(CustomButton3GetLabel)(IDispatch* RibbonControl, BSTR* Label) = 0;

 protected:
  ~ICallbackInterface() = default;
};
QM_DECLARE_INTERFACE_IID(ICallbackInterface, IID_ICallbackInterface);
