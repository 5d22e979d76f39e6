#pragma once
// The control container of the class library: a child window of the class "AtlAxWin90" whose
// window text names a control (a ProgID, or a class id in braces). When the window is created it
// creates that control through its registration, gives it a client site, and activates it in
// place, so the control's own window becomes the container's child filling its client area; it
// follows the container's size and is closed when the container goes. UI thread only.
//
// The container's lpParam (CreateWindowExW) may be an IUnknown* of the host: the site's
// container (IOleClientSite::GetContainer) then answers further interfaces through it, as
// Outlook's Options dialog offers PropertyPageSite. The container holds it while it lives.

#include "platform/Export.h"
#include "platform/com/Unknown.h"
#include "platform/ui/WinUser.h"

namespace platform::ui {
inline constexpr const char16_t* kAxWindowClass = u"AtlAxWin90";
}

// Registers the container class for the process (once); TRUE when it is registered.
QM_PLATFORM_API BOOL AtlAxWinInit();

// The control of a container window, AddRef'd into *control. E_POINTER for a null out pointer;
// E_FAIL (reported) when the window is no container or its control could not be created.
QM_PLATFORM_API HRESULT AtlAxGetControl(HWND container, IUnknown** control);
