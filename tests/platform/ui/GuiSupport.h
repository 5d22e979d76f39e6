#pragma once
// For tests that need a screen: the test run's Xvfb, real input through XTEST (xdotool), and
// pictures of dialogs saved as PNG.

#include <string>

#include "platform/resources/Resources.h"
#include "platform/ui/WinUser.h"

namespace uitest {

// Points DISPLAY at the test run's Xvfb and brings the GTK face up; false (with the reason in
// `why`) when there is no such server, so the caller skips.
bool startGtkFace(std::string& why);

// Where pictures go: the build folder's "pictures", made on demand.
std::string picturePath(const std::string& name);

// Runs the loop until the window is on the screen and drawn.
void waitUntilShown(HWND window);

// Shows the dialog template (any id of the module, or a template of the test's own) under the
// GTK face with a procedure that only initialises it, saves its picture and destroys it.
bool saveDialogPicture(HINSTANCE module, const platform::resources::DialogTemplate& dialog, const std::string& pngPath);

// xdotool with the arguments; true when it succeeded.
bool xdotool(const std::string& arguments);
// A real click (XTEST) at a screen point, with the given button.
bool clickAt(POINT at, int button = 1);
POINT centreOf(HWND window);

}  // namespace uitest
