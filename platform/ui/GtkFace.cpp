// The GTK face (placeholder until the widgets land): no display is opened.
#include "platform/ui/detail/Window.h"

namespace platform::ui::detail {

IFace* makeGtkFace() { return nullptr; }
IUserInterface* gtkUserInterface() { return nullptr; }

}  // namespace platform::ui::detail
