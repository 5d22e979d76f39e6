#pragma once
// The desktop's two faces and what other layers plug into it: the face is GTK when a display is
// there and headless otherwise, chosen once per process; control classes supplied by other layers
// (the HTML view); accelerator tables of top-level windows; pictures of windows.

#include <functional>
#include <string>

#include "platform/Export.h"
#include "platform/ui/WinUser.h"

namespace platform::ui {

enum class Face { kHeadless, kGtk };

// The --no-gui switch: the headless face even with a display. Only before the face is chosen.
QM_PLATFORM_API void setNoGui(bool noGui);
// The process's face, chosen on first use: GTK when DISPLAY or WAYLAND_DISPLAY names a display
// that GTK opens and no --no-gui was given; headless otherwise.
QM_PLATFORM_API Face currentFace();
// Chooses the face now (tests, the host). False when the face was chosen already as another one,
// or GTK cannot open the display (the face is then headless).
QM_PLATFORM_API bool chooseFace(Face face);

// A control class whose content another layer supplies. createWidget runs when a window of the
// class is created and answers the face's widget for it (a GtkWidget* under GTK, floating or
// not; ignored headless, may be null); the window places it in its rectangle and owns it.
// windowProc, when given, is the class's window procedure (DefWindowProcW otherwise).
struct ControlFactory {
  std::function<void*(HWND window, Face face)> createWidget;
  WNDPROC windowProc = nullptr;
};
QM_PLATFORM_API void setControlFactory(const std::u16string& className, ControlFactory factory);

// The face's widget of a window: a GtkWidget* under GTK once the window is realised, else null.
QM_PLATFORM_API void* widgetOf(HWND window);

// Keys pressed in `topLevel` or its children go through `table` first, as the message loop of
// that window would call TranslateAcceleratorW. Null removes it; it goes with the window.
QM_PLATFORM_API void setWindowAccelerators(HWND topLevel, HACCEL table);

// Saves the window as it is drawn on the screen, as PNG. False headless or on failure (reported).
QM_PLATFORM_API bool saveWindowPicture(HWND window, const std::string& pngPath);

}  // namespace platform::ui
