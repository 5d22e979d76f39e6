// The GTK face of the HTML view lives in a module of its own, loaded on the first view: WebKitGTK
// and what it pulls in take about 60 ms to load and bind, which every `quillmark` process paid
// at its start though only the selection dialog shows such a view.

#include <dlfcn.h>

#include <filesystem>
#include <mutex>
#include <string>

#include "platform/system/Diagnostics.h"
#include "platform/ui/HtmlView.h"

namespace platform::ui {

namespace {

constexpr char kModule[] = "libquillmark_htmlview.so";
constexpr char kEntry[] = "qmMakeGtkHtmlView";

using MakeView = IHtmlView* (*)();

// The module beside this library, loaded once and kept: the types it registers with GLib stay.
MakeView moduleEntry() {
  static std::once_flag once;
  static MakeView entry = nullptr;
  std::call_once(once, [] {
    Dl_info self{};
    if (::dladdr(reinterpret_cast<void*>(&moduleEntry), &self) == 0 || !self.dli_fname) {
      diag::error("makeGtkHtmlView", "the platform library's own path is unknown");
      return;
    }
    const std::filesystem::path path = std::filesystem::path(self.dli_fname).parent_path() / kModule;
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
      const char* why = ::dlerror();
      diag::error("makeGtkHtmlView", "cannot load " + path.string() + ": " + (why ? why : "unknown reason"));
      return;
    }
    entry = reinterpret_cast<MakeView>(::dlsym(module, kEntry));
    if (!entry) diag::error("makeGtkHtmlView", path.string() + " has no " + kEntry);
  });
  return entry;
}

}  // namespace

std::unique_ptr<IHtmlView> makeGtkHtmlView() {
  return diag::guarded("makeGtkHtmlView", std::unique_ptr<IHtmlView>(), [] {
    const MakeView make = moduleEntry();
    return std::unique_ptr<IHtmlView>(make ? make() : nullptr);
  });
}

}  // namespace platform::ui
