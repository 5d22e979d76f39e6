// The choice of the face, once per process, and the headless face.
#include <cstdlib>
#include <mutex>

#include "platform/loop/MessageLoop.h"
#include "platform/ui/detail/Window.h"

namespace platform::ui::detail {
namespace {

class HeadlessFace : public IFace {
 public:
  Face kind() const override { return Face::kHeadless; }
  void created(Window&) override {}
  void destroyed(Window&) override {}
  void changed(Window&, Change, int) override {}
  RECT frame(const Window& window) override {
    if (window.isChild() || window.messageOnly) return RECT{};
    // Windows' classic metrics: a 3-pixel fixed frame and a 23-pixel caption.
    if ((window.style & WS_CAPTION) == WS_CAPTION) return RECT{3, 26, 3, 3};
    if (window.style & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME) || (window.style & DS_MODALFRAME)) return RECT{3, 3, 3, 3};
    return RECT{};
  }
  SIZE screenSize() override { return SIZE{1024, 768}; }
  void baseUnits(const std::u16string&, int points, int& x, int& y) override {
    // MS Shell Dlg at 8 points on a 96-dpi screen gives 6 x 13; other sizes scale with it.
    y = (points * 13 + 4) / 8;
    x = (points * 6 + 4) / 8;
  }
  UINT trackPopup(HMENU menu, HWND, POINT) override { return nextMenuPick(menu); }
  void runModal(const std::function<bool()>& done) override { platform::loop::runUntil(done); }
};

std::mutex g_choiceMutex;
IFace* g_face = nullptr;
bool g_noGui = false;

bool displayNamed() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

IFace* headless() {
  // Never destroyed: windows of modules unloaded at exit (an add-in's pulse) go after every
  // static of this library.
  static HeadlessFace* const face = new HeadlessFace;
  return face;
}

}  // namespace

void faceDestroyed(IFace* gone) {
  std::lock_guard lock(g_choiceMutex);
  if (g_face == gone) g_face = headless();
}

IFace& face() {
  std::lock_guard lock(g_choiceMutex);
  if (!g_face) {
    if (!g_noGui && displayNamed()) g_face = makeGtkFace();
    if (!g_face) g_face = headless();
  }
  return *g_face;
}

}  // namespace platform::ui::detail

namespace platform::ui {

void setNoGui(bool noGui) {
  std::lock_guard lock(detail::g_choiceMutex);
  detail::g_noGui = noGui;
}

Face currentFace() { return detail::face().kind(); }

bool chooseFace(Face wanted) {
  {
    std::lock_guard lock(detail::g_choiceMutex);
    if (!detail::g_face) {
      if (wanted == Face::kGtk && detail::displayNamed()) detail::g_face = detail::makeGtkFace();
      if (!detail::g_face) detail::g_face = detail::headless();
    }
  }
  return detail::face().kind() == wanted;
}

}  // namespace platform::ui
