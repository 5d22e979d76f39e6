#include "tests/platform/ui/GuiSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/loop/MessageLoop.h"
#include "platform/ui/Desktop.h"

// GTK's, fontconfig's and D-Bus's own allocations live until exit; LeakSanitizer is told so.
extern "C" const char* __lsan_default_options() { return "suppressions=" QM_LSAN_SUPPRESSIONS ":print_suppressions=0"; }

namespace uitest {

bool startGtkFace(std::string& why) {
  // Only the test run's own server: never the desktop of whoever runs the tests.
  ::unsetenv("WAYLAND_DISPLAY");
  const char* dir = std::getenv("QM_GUI_TEST_DIR");
  std::ifstream file(std::string(dir ? dir : "") + "/xvfb/display");
  std::string number;
  if (!dir || !(file >> number)) {
    why = "no Xvfb for this test run (is xvfb installed?)";
    return false;
  }
  ::setenv("DISPLAY", (":" + number).c_str(), 1);
  if (!platform::ui::chooseFace(platform::ui::Face::kGtk)) {
    why = "GTK cannot open the display :" + number;
    return false;
  }
  return true;
}

std::string picturePath(const std::string& name) {
  const char* dir = std::getenv("QM_GUI_TEST_DIR");
  const std::filesystem::path folder = std::filesystem::path(dir ? dir : ".") / "pictures";
  std::filesystem::create_directories(folder);
  return (folder / name).string();
}

void waitUntilShown(HWND window) {
  RECT before{};
  for (int i = 0; i < 40; ++i) {
    platform::loop::runFor(25);
    RECT now{};
    GetWindowRect(window, &now);
    if (i > 4 && now.left == before.left && now.top == before.top && now.right == before.right) break;
    before = now;
  }
}

namespace {
INT_PTR initOnly(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG ? TRUE : FALSE; }
}  // namespace

bool saveDialogPicture(HINSTANCE module, const platform::resources::DialogTemplate& dialog, const std::string& pngPath) {
  const HWND shown = CreateDialogIndirectParamW(module, &dialog, nullptr, initOnly, 0);
  if (!shown) return false;
  ShowWindow(shown, SW_SHOW);
  waitUntilShown(shown);
  const bool saved = platform::ui::saveWindowPicture(shown, pngPath);
  DestroyWindow(shown);
  platform::loop::runFor(20);
  return saved;
}

bool xdotool(const std::string& arguments) { return std::system(("xdotool " + arguments + " >/dev/null 2>&1").c_str()) == 0; }

bool clickAt(POINT at, int button) {
  return xdotool("mousemove --sync " + std::to_string(at.x) + " " + std::to_string(at.y) + " click " + std::to_string(button));
}

POINT centreOf(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

}  // namespace uitest
