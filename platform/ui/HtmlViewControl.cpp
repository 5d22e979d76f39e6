// The HTML view as a dialog control: the WebBrowser control's classes make a view of the
// process's face when the window is created, place its widget in the control's rectangle and
// hand Enter and Escape in it to the dialog, as the dialog keys of any other control.
#include <map>
#include <memory>

#include "platform/system/Diagnostics.h"
#include "platform/ui/HtmlView.h"
#include "platform/ui/detail/Window.h"

namespace platform::ui::detail {
namespace {

std::map<HWND, std::unique_ptr<IHtmlView>>& views() {
  static auto* held = new std::map<HWND, std::unique_ptr<IHtmlView>>();
  return *held;
}

std::unique_ptr<IHtmlView> makeView() {
  if (face().kind() == Face::kGtk) {
    if (std::unique_ptr<IHtmlView> view = makeGtkHtmlView()) return view;
  }
  return makeHeadlessHtmlView();
}

LRESULT htmlViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      std::unique_ptr<IHtmlView> view = makeView();
      view->setKeyHandler([window](unsigned key) {
        return (key == VK_RETURN || key == VK_ESCAPE) && translateKey(window, key, 0);
      });
      views()[window] = std::move(view);
      return 0;
    }
    case WM_NCDESTROY: views().erase(window); break;
    case WM_GETDLGCODE: return 0;  // the dialog keeps Enter and Escape
    default: break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

ControlFactory htmlViewFactory() {
  ControlFactory factory;
  factory.createWidget = [](HWND window, Face) -> void* {
    const auto it = views().find(window);
    return it == views().end() ? nullptr : it->second->nativeWidget();
  };
  factory.windowProc = htmlViewProc;
  return factory;
}

}  // namespace platform::ui::detail

namespace platform::ui {

IHtmlView* htmlViewOf(HWND control) {
  const auto it = detail::views().find(control);
  return it == detail::views().end() ? nullptr : it->second.get();
}

}  // namespace platform::ui
