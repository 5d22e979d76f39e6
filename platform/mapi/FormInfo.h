#pragma once
// IMAPIFormInfo: what the form library tells of one form, as MAPI properties, and its icons.

#include "platform/Export.h"
#include "platform/mapi/FormMgr.h"
#include "platform/mapi/Icon.h"
#include "platform/mapi/MAPIInterfaces.h"

QM_PLATFORM_API extern const IID IID_IMAPIFormInfo;

// Properties of a form.
constexpr ULONG PR_MINI_ICON = PROP_TAG(PT_BINARY, 0x0FFC);
constexpr ULONG PR_ICON = PROP_TAG(PT_BINARY, 0x0FFD);

// A form's properties: PR_MESSAGE_CLASS and PR_DISPLAY_NAME (8-bit strings in the thread's ANSI
// code page, or Unicode), PR_ICON (32x32) and PR_MINI_ICON (16x16), each icon the bytes of an
// .ico file. Read-only, as IMAPIProp of MAPIInterfaces.h describes.
struct IMAPIFormInfo : IMAPIProp {
  // A new icon (DestroyIcon frees it) from the form's binary property with this id; a whole tag
  // (PR_ICON) names its id too. MAPI_E_NOT_FOUND when the form has no such property,
  // MAPI_E_CORRUPT_DATA when its bytes are no icon.
  virtual HRESULT MakeIconFromBinary(ULONG nPropID, HICON* phicon) = 0;

 protected:
  ~IMAPIFormInfo() = default;
};
QM_DECLARE_INTERFACE_IID(IMAPIFormInfo, IID_IMAPIFormInfo);
