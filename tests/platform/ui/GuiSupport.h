#pragma once
// For tests that need a screen: the test run's Xvfb, real input through XTEST (xdotool), and
// pictures of dialogs saved as PNG.

#include <string>

#include "platform/resources/Resources.h"

typedef struct _GtkWidget GtkWidget;
#include "platform/ui/WinUser.h"

namespace uitest {

// Points DISPLAY at the test run's Xvfb and brings the GTK face up; false (with the reason in
// `why`) when there is no such server, so the caller skips.
bool startGtkFace(std::string& why);

// Where pictures go: the build folder's "pictures", made on demand.
std::string picturePath(const std::string& name);

// Runs the loop until the window is on the screen, placed by the window manager and drawn.
void waitUntilShown(HWND window);
// Whether the top-level is mapped, taken by the window manager (when one runs), and where
// it stood at the last question: only then do clicks computed from its place land on it. Asked
// again and again (a timer's steps), it answers true once the window stays put.
bool settled(GtkWidget* toplevel);
bool settled(HWND window);

// Shows the dialog template (any id of the module, or a template of the test's own) under the
// GTK face with a procedure that only initialises it, saves its picture and destroys it.
bool saveDialogPicture(HINSTANCE module, const platform::resources::DialogTemplate& dialog, const std::string& pngPath);

// The top-level as the screen shows it, read with `xwd -id` (what a person sees, unlike drawing
// the widget off-screen), saved as PNG; answers how many colours it shows (0 when it could not be
// read, with the reason in `why`). One flat colour is a window that never painted.
int screenPicture(GtkWidget* toplevel, const std::string& pngPath, std::string& why);

// xdotool with the arguments; true when it succeeded.
bool xdotool(const std::string& arguments);
// A real click (XTEST) at a screen point, with the given button.
bool clickAt(POINT at, int button = 1);
POINT centreOf(HWND window);

// GTK widgets by what a test knows of them, and real input at them.
// The widget under `root` whose widget name or builder name is `name`, or null.
GtkWidget* widgetNamed(GtkWidget* root, const char* name);
// The settled top-level window titled `title`, or a settled message box when `title` is null.
GtkWidget* mappedToplevel(const char* title);
// Focus on the widget's window and the pointer on the widget's middle, as xdotool arguments.
std::string xdotoolAt(GtkWidget* widget);
// Select-all and the text typed by key names, as xdotool arguments (xdotool's "type" remaps keys
// on a server without a keyboard map of its own, and GTK can read the remapped keys wrong).
std::string typedKeys(const std::string& text);
// xdotool started beside the loop, so that the modal loop running at that moment sees its input;
// false (with a test failure) when it cannot start.
bool xdotoolAsync(const std::string& arguments);

}  // namespace uitest
