// The window table, sent and posted messages, hooks, timers, focus and geometry.
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <utility>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>

#include "platform/loop/MessageLoop.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"
#include "platform/system/Tick.h"
#include "platform/ui/detail/Window.h"

namespace platform::ui::detail {
namespace {

constexpr DWORD kErrorInvalidWindowHandle = 1400;
constexpr DWORD kErrorCannotFindClass = 1407;
constexpr DWORD kErrorInvalidHookHandle = 1404;

struct ClassInfo {
  std::u16string name;
  WNDPROC proc = nullptr;
  Kind kind = Kind::kGeneric;
  bool custom = false;
};

struct Hook {
  HOOKPROC proc;
};

struct Desktop {
  std::unordered_map<HWND, WindowPtr> windows;
  std::uintptr_t next = 0x10010;
  std::map<std::u16string, ClassInfo> classes;  // by lower-case name
  // A module's own classes that share a name with a class of the system's: as on Windows, they
  // win for windows that module creates.
  std::map<std::pair<HINSTANCE, std::u16string>, ClassInfo> localClasses;
  std::map<std::u16string, ControlFactory> factories;
  std::vector<std::shared_ptr<Hook>> hooks;  // newest first
  int hookDepth = 0;
  HWND focus = nullptr;
  HWND active = nullptr;
  UINT_PTR nextTimerId = 0x7FF0;
};

Desktop& desktop() {
  static Desktop* d = [] {
    auto* made = new Desktop();
    auto add = [&](std::u16string name, WNDPROC proc, Kind kind) {
      ClassInfo info{name, proc, kind, false};
      made->classes[system::lowerCase(name)] = info;
    };
    add(u"Button", buttonProc, Kind::kButton);
    add(u"Edit", editProc, Kind::kEdit);
    add(u"Static", staticProc, Kind::kStatic);
    add(u"ComboBox", comboBoxProc, Kind::kComboBox);
    add(u"ListBox", listBoxProc, Kind::kListBox);
    add(u"SysListView32", listViewProc, Kind::kListView);
    add(u"msctls_updown32", upDownProc, Kind::kUpDown);
    add(u"#32770", dialogProc, Kind::kDialog);
    // The WebBrowser control, by its ProgID and by the CLSID a dialog template names it with.
    for (std::u16string name : {u"Shell.Explorer.2", u"{8856F961-340A-11D0-A96B-00C04FD705A2}"}) {
      const ControlFactory factory = htmlViewFactory();
      made->classes[system::lowerCase(name)] = ClassInfo{name, factory.windowProc, Kind::kCustom, true};
      made->factories[system::lowerCase(name)] = factory;
    }
    return made;
  }();
  return *d;
}


std::u16string classNameOf(LPCWSTR name) {
  if (!name) return {};
  if (IS_INTRESOURCE(name)) {
    return reinterpret_cast<std::uintptr_t>(name) == 0x8002 ? u"#32770" : u"";
  }
  return name;
}

LRESULT callProc(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!proc) return 0;
  return diag::guarded("window procedure", LRESULT{0}, [&] { return proc(window, message, wParam, lParam); });
}

int copyText(const std::u16string& text, LPWSTR buffer, int maxCount) {
  if (!buffer || maxCount <= 0) return 0;
  const int n = std::min<int>(static_cast<int>(text.size()), maxCount - 1);
  std::memcpy(buffer, text.data(), static_cast<std::size_t>(n) * sizeof(char16_t));
  buffer[n] = u'\0';
  return n;
}

void destroyTree(HWND handle);

}  // namespace

Window* find(HWND window) {
  auto& windows = desktop().windows;
  const auto it = windows.find(window);
  return it == windows.end() ? nullptr : it->second.get();
}

WindowPtr findShared(HWND window) {
  auto& windows = desktop().windows;
  const auto it = windows.find(window);
  return it == windows.end() ? nullptr : it->second;
}

void forEachWindow(const std::function<void(Window&)>& fn) {
  std::vector<WindowPtr> all;
  for (auto& [handle, window] : desktop().windows) all.push_back(window);
  for (auto& window : all) fn(*window);
}

LRESULT dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const Window* target = find(window);
  if (!target) return 0;
  return callProc(target->proc, window, message, wParam, lParam);
}

void changed(HWND window, Change what, int row) {
  if (Window* target = find(window)) face().changed(*target, what, row);
}

bool effectivelyEnabled(HWND window) {
  for (const Window* w = find(window); w; w = w->isChild() ? find(w->parent) : nullptr) {
    if (w->style & WS_DISABLED) return false;
  }
  return find(window) != nullptr;
}

bool effectivelyVisible(HWND window) {
  for (const Window* w = find(window); w; w = w->isChild() ? find(w->parent) : nullptr) {
    if (!(w->style & WS_VISIBLE)) return false;
  }
  return find(window) != nullptr;
}

Window* findForInput(HWND window) {
  Window* w = find(window);
  return w && effectivelyEnabled(window) && effectivelyVisible(window) ? w : nullptr;
}

Window* findForInput(HWND window, Kind kind) {
  Window* w = findForInput(window);
  return w && w->kind == kind ? w : nullptr;
}

HWND dialogOf(HWND window) {
  for (const Window* w = find(window); w; w = w->isChild() ? find(w->parent) : nullptr) {
    if (w->dialog) return w->handle;
  }
  return nullptr;
}

POINT clientOrigin(HWND window) {
  const Window* w = find(window);
  if (!w) return {0, 0};
  if (w->isChild()) {
    const POINT parent = clientOrigin(w->parent);
    return {parent.x + w->rect.left, parent.y + w->rect.top};
  }
  const RECT frame = face().frame(*w);
  return {w->rect.left + frame.left, w->rect.top + frame.top};
}

LRESULT notifyCommand(HWND control, WORD code) {
  const Window* w = find(control);
  if (!w || !w->isChild()) return 0;
  return SendMessageW(w->parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(w->id), code), reinterpret_cast<LPARAM>(control));
}

LRESULT notify(HWND control, NMHDR& header) {
  const Window* w = find(control);
  if (!w || !w->isChild()) return 0;
  header.hwndFrom = control;
  header.idFrom = static_cast<UINT_PTR>(w->id);
  return SendMessageW(w->parent, WM_NOTIFY, static_cast<WPARAM>(w->id), reinterpret_cast<LPARAM>(&header));
}

namespace {

void destroyTree(HWND handle) {
  WindowPtr w = findShared(handle);
  if (!w || w->destroying) return;
  w->destroying = true;
  Desktop& d = desktop();
  // Owned windows go first, as Windows destroys them with their owner.
  std::vector<HWND> owned;
  for (auto& [h, other] : d.windows) {
    if (other->owner == handle && !other->destroying) owned.push_back(h);
  }
  for (HWND h : owned) destroyTree(h);
  if (w->style & WS_VISIBLE) {
    w->style &= ~WS_VISIBLE;
    face().changed(*w, Change::kVisible, -1);
  }
  if (d.focus == handle || (d.focus && IsChild(handle, d.focus))) d.focus = nullptr;
  if (d.active == handle) d.active = nullptr;
  callProc(w->proc, handle, WM_DESTROY, 0, 0);
  const std::vector<HWND> children = w->children;
  for (HWND child : children) destroyTree(child);
  platform::loop::killTimers(handle);
  callProc(w->proc, handle, WM_NCDESTROY, 0, 0);
  face().destroyed(*w);
  // The menu bar goes with its window, as Windows destroys it.
  if (w->menu) DestroyMenu(std::exchange(w->menu, nullptr));
  if (Window* parent = find(w->parent)) {
    auto& siblings = parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), handle), siblings.end());
  }
  d.windows.erase(handle);
}

}  // namespace

void registerFactory(const std::u16string& className, ControlFactory factory) {
  Desktop& d = desktop();
  const std::u16string key = system::lowerCase(className);
  ClassInfo info{className, factory.windowProc ? factory.windowProc : DefWindowProcW, Kind::kCustom, true};
  d.classes[key] = info;
  d.factories[key] = std::move(factory);
}

const ControlFactory* factoryOf(const std::u16string& className) {
  Desktop& d = desktop();
  const auto it = d.factories.find(system::lowerCase(className));
  return it == d.factories.end() ? nullptr : &it->second;
}

}  // namespace platform::ui::detail

namespace platform::ui {

void setControlFactory(const std::u16string& className, ControlFactory factory) {
  detail::registerFactory(className, std::move(factory));
}

void* widgetOf(HWND window) {
  const detail::Window* w = detail::find(window);
  return w ? detail::face().widget(*w) : nullptr;
}

void setWindowAccelerators(HWND topLevel, HACCEL table) {
  if (detail::Window* w = detail::find(topLevel)) w->accelerators = table;
}

bool saveWindowPicture(HWND window, const std::string& pngPath) {
  const detail::Window* w = detail::find(window);
  if (!w) {
    diag::error("saveWindowPicture", "no such window");
    return false;
  }
  return detail::face().savePicture(*w, pngPath);
}

}  // namespace platform::ui

using namespace platform::ui::detail;

ATOM RegisterClassExW(const WNDCLASSEXW* windowClass) {
  if (!windowClass || windowClass->cbSize != sizeof(WNDCLASSEXW) || !windowClass->lpszClassName ||
      IS_INTRESOURCE(windowClass->lpszClassName) || !windowClass->lpfnWndProc) {
    SetLastError(87);
    return 0;
  }
  Desktop& d = desktop();
  const std::u16string key = platform::system::lowerCase(windowClass->lpszClassName);
  const ClassInfo info{windowClass->lpszClassName, windowClass->lpfnWndProc, Kind::kGeneric, true};
  const auto existing = d.classes.find(key);
  const bool systemClass = existing != d.classes.end() && (!existing->second.custom || existing->second.kind == Kind::kCustom);
  if (systemClass && windowClass->hInstance) {
    if (!d.localClasses.emplace(std::make_pair(windowClass->hInstance, key), info).second) {
      SetLastError(1410);  // ERROR_CLASS_ALREADY_EXISTS
      return 0;
    }
    return static_cast<ATOM>(0xC000 + d.classes.size() + d.localClasses.size());
  }
  if (existing != d.classes.end()) {
    SetLastError(1410);  // ERROR_CLASS_ALREADY_EXISTS
    return 0;
  }
  d.classes[key] = info;
  return static_cast<ATOM>(0xC000 + d.classes.size());
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance) {
  if (!className || IS_INTRESOURCE(className)) return FALSE;
  Desktop& d = desktop();
  if (d.localClasses.erase(std::make_pair(instance, platform::system::lowerCase(className)))) return TRUE;
  const auto it = d.classes.find(platform::system::lowerCase(className));
  if (it == d.classes.end() || !it->second.custom || it->second.kind == Kind::kCustom) return FALSE;
  d.classes.erase(it);
  return TRUE;
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menuOrId, HINSTANCE instance, LPVOID param) {
  Desktop& d = desktop();
  const std::u16string name = classNameOf(className);
  const std::u16string key = platform::system::lowerCase(name);
  const auto local = d.localClasses.find(std::make_pair(instance, key));
  const auto global = d.classes.find(key);
  if (local == d.localClasses.end() && global == d.classes.end()) {
    SetLastError(kErrorCannotFindClass);
    platform::diag::error("CreateWindowExW", "no window class \"" + platform::system::utf16ToUtf8(name) + "\"");
    return nullptr;
  }
  const bool messageOnly = parent == HWND_MESSAGE;
  if (messageOnly) parent = nullptr;
  if ((style & WS_CHILD) && !find(parent)) {
    SetLastError(1406);  // ERROR_TLW_WITH_WSCHILD
    platform::diag::error("CreateWindowExW", "a child window needs a parent");
    return nullptr;
  }
  if (parent && !find(parent)) {
    SetLastError(kErrorInvalidWindowHandle);
    return nullptr;
  }
  auto window = std::make_shared<Window>();
  window->handle = reinterpret_cast<HWND>(d.next);
  d.next += 4;
  const ClassInfo& cls = local != d.localClasses.end() ? local->second : global->second;
  window->className = cls.name;
  window->kind = cls.kind;
  window->proc = cls.proc;
  window->messageOnly = messageOnly;
  window->style = style & ~WS_VISIBLE;
  window->exStyle = exStyle;
  window->instance = instance;
  window->text = windowName && !IS_INTRESOURCE(windowName) ? windowName : u"";
  if (style & WS_CHILD) {
    window->parent = parent;
    window->id = static_cast<int>(reinterpret_cast<std::intptr_t>(menuOrId));
  } else if (parent) {
    window->owner = GetAncestor(parent, GA_ROOT);
  }
  if (x == CW_USEDEFAULT) x = y = 0;
  if (width == CW_USEDEFAULT) width = height = 0;
  window->rect = RECT{x, y, x + width, y + height};
  const HWND handle = window->handle;
  d.windows[handle] = window;
  if (Window* p = find(parent); p && window->isChild()) p->children.push_back(handle);

  CREATESTRUCTW create{param, instance, menuOrId, parent, height, width, y, x, static_cast<LONG>(style),
                       windowName, className, exStyle};
  const LRESULT nc = SendMessageW(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create));
  if (!find(handle) || !nc || SendMessageW(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1 ||
      !find(handle)) {
    destroyTree(handle);
    SetLastError(1400);
    return nullptr;
  }
  face().created(*window);
  // Children made while the window handled WM_CREATE (a container's control) came before the
  // face knew their parent: they get their place now, parents first.
  const std::function<void(Window&)> adopt = [&](Window& parentWindow) {
    for (HWND childHandle : parentWindow.children) {
      Window* child = find(childHandle);
      if (!child) continue;
      if (!child->peer) face().created(*child);
      adopt(*child);
    }
  };
  adopt(*window);
  if (style & WS_VISIBLE) ShowWindow(handle, SW_SHOW);
  return handle;
}

BOOL DestroyWindow(HWND window) {
  const Window* w = find(window);
  if (!w || w->destroying) {
    SetLastError(kErrorInvalidWindowHandle);
    return FALSE;
  }
  destroyTree(window);
  return TRUE;
}

BOOL IsWindow(HWND window) { return find(window) != nullptr; }

BOOL IsWindowVisible(HWND window) { return effectivelyVisible(window) ? TRUE : FALSE; }

BOOL IsWindowEnabled(HWND window) {
  const Window* w = find(window);
  return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

HWND GetParent(HWND window) {
  const Window* w = find(window);
  if (!w) return nullptr;
  return w->isChild() ? w->parent : ((w->style & WS_POPUP) ? w->owner : nullptr);
}

HWND GetAncestor(HWND window, UINT flags) {
  const Window* w = find(window);
  if (!w) return nullptr;
  switch (flags) {
    case GA_PARENT: return w->isChild() ? w->parent : nullptr;
    case GA_ROOT:
      while (w->isChild()) w = find(w->parent);
      return w->handle;
    case GA_ROOTOWNER: {
      HWND root = GetAncestor(window, GA_ROOT);
      while (const Window* r = find(root)) {
        if (!r->owner) break;
        root = r->owner;
      }
      return root;
    }
    default: return nullptr;
  }
}

HWND GetWindow(HWND window, UINT command) {
  const Window* w = find(window);
  if (!w) return nullptr;
  switch (command) {
    case GW_OWNER: return w->owner;
    case GW_CHILD: return w->children.empty() ? nullptr : w->children.front();
    case GW_HWNDNEXT:
    case GW_HWNDPREV: {
      // Siblings in z order: a dialog's children in template order, the first on top.
      const Window* parent = find(w->parent);
      if (!parent || !w->isChild()) return nullptr;
      const auto& siblings = parent->children;
      const auto at = std::find(siblings.begin(), siblings.end(), window);
      if (command == GW_HWNDNEXT) return at == siblings.end() || at + 1 == siblings.end() ? nullptr : *(at + 1);
      return at == siblings.begin() || at == siblings.end() ? nullptr : *(at - 1);
    }
    default: return nullptr;
  }
}

BOOL IsChild(HWND parent, HWND window) {
  for (const Window* w = find(window); w && w->isChild(); w = find(w->parent)) {
    if (w->parent == parent) return TRUE;
  }
  return FALSE;
}

int GetClassNameW(HWND window, LPWSTR buffer, int maxCount) {
  const Window* w = find(window);
  return w ? copyText(w->className, buffer, maxCount) : 0;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
  const Window* w = find(window);
  if (!w || !rect) return FALSE;
  if (face().screenRect(*w, *rect)) return TRUE;
  if (!w->isChild()) {
    *rect = w->rect;
    return TRUE;
  }
  const POINT origin = clientOrigin(w->parent);
  *rect = RECT{origin.x + w->rect.left, origin.y + w->rect.top, origin.x + w->rect.right, origin.y + w->rect.bottom};
  return TRUE;
}

BOOL GetClientRect(HWND window, RECT* rect) {
  const Window* w = find(window);
  if (!w || !rect) return FALSE;
  LONG width = w->rect.right - w->rect.left;
  LONG height = w->rect.bottom - w->rect.top;
  if (!w->isChild()) {
    const RECT frame = face().frame(*w);
    width -= frame.left + frame.right;
    height -= frame.top + frame.bottom;
  } else if (w->exStyle & WS_EX_CLIENTEDGE) {
    width -= 4;
    height -= 4;
  }
  *rect = RECT{0, 0, std::max<LONG>(width, 0), std::max<LONG>(height, 0)};
  return TRUE;
}

BOOL ClientToScreen(HWND window, POINT* point) {
  if (!find(window) || !point) return FALSE;
  const POINT origin = clientOrigin(window);
  point->x += origin.x;
  point->y += origin.y;
  return TRUE;
}

BOOL ScreenToClient(HWND window, POINT* point) {
  if (!find(window) || !point) return FALSE;
  const POINT origin = clientOrigin(window);
  point->x -= origin.x;
  point->y -= origin.y;
  return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL) {
  Window* w = find(window);
  if (!w) return FALSE;
  w->rect = RECT{x, y, x + width, y + height};
  face().changed(*w, Change::kGeometry, -1);
  SendMessageW(window, WM_SIZE, 0, MAKELPARAM(static_cast<WORD>(width), static_cast<WORD>(height)));
  return TRUE;
}

BOOL SetWindowPos(HWND window, HWND, int x, int y, int cx, int cy, UINT flags) {
  Window* w = find(window);
  if (!w) return FALSE;
  RECT r = w->rect;
  if (!(flags & SWP_NOMOVE)) {
    r.right += x - r.left;
    r.bottom += y - r.top;
    r.left = x;
    r.top = y;
  }
  if (!(flags & SWP_NOSIZE)) {
    r.right = r.left + cx;
    r.bottom = r.top + cy;
  }
  MoveWindow(window, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
  if (flags & SWP_SHOWWINDOW) ShowWindow(window, SW_SHOWNA);
  if (flags & SWP_HIDEWINDOW) ShowWindow(window, SW_HIDE);
  return TRUE;
}

BOOL SystemParametersInfoW(UINT action, UINT, void* value, UINT) {
  if (action != SPI_GETWORKAREA || !value) {
    SetLastError(87);  // ERROR_INVALID_PARAMETER
    return FALSE;
  }
  *static_cast<RECT*>(value) = face().workArea();
  return TRUE;
}

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN: return face().screenSize().cx;
    case SM_CYSCREEN: return face().screenSize().cy;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL: return 17;
    case SM_CYCAPTION: return 23;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXICON:
    case SM_CYICON: return 32;
    case SM_CYMENU: return 20;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    default: return 0;
  }
}

BOOL EnableWindow(HWND window, BOOL enable) {
  Window* w = find(window);
  if (!w) return FALSE;
  const BOOL wasDisabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
  if (static_cast<bool>(enable) == !wasDisabled) return wasDisabled;
  if (enable) {
    w->style &= ~WS_DISABLED;
  } else {
    w->style |= WS_DISABLED;
    if (desktop().focus == window) SetFocus(nullptr);
  }
  face().changed(*w, Change::kEnabled, -1);
  SendMessageW(window, WM_ENABLE, enable ? TRUE : FALSE, 0);
  return wasDisabled;
}

BOOL ShowWindow(HWND window, int command) {
  Window* w = find(window);
  if (!w) return FALSE;
  const bool wasVisible = (w->style & WS_VISIBLE) != 0;
  const bool show = command != SW_HIDE;
  if (w->messageOnly || show == wasVisible) return wasVisible ? TRUE : FALSE;
  SendMessageW(window, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
  if (!(w = find(window))) return FALSE;
  if (show) {
    w->style |= WS_VISIBLE;
  } else {
    w->style &= ~WS_VISIBLE;
  }
  face().changed(*w, Change::kVisible, -1);
  if (show && !w->isChild() && command != SW_SHOWNA && command != SW_SHOWNOACTIVATE) SetActiveWindow(window);
  return wasVisible ? TRUE : FALSE;
}

HWND SetFocus(HWND window) {
  Desktop& d = desktop();
  if (window && !find(window)) {
    SetLastError(kErrorInvalidWindowHandle);
    return nullptr;
  }
  const HWND old = d.focus;
  if (old == window) return old;
  d.focus = window;
  if (old && find(old)) SendMessageW(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
  if (window && find(window)) {
    const HWND root = GetAncestor(window, GA_ROOT);
    if (root != d.active) d.active = root;
    SendMessageW(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    changed(window, Change::kFocus);
  }
  return old;
}

HWND GetFocus() { return desktop().focus; }

HWND GetActiveWindow() { return desktop().active; }

HWND SetActiveWindow(HWND window) {
  Desktop& d = desktop();
  if (window && !find(window)) {
    SetLastError(kErrorInvalidWindowHandle);
    return nullptr;
  }
  const HWND old = d.active;
  if (window) window = GetAncestor(window, GA_ROOT);
  d.active = window;
  if (old != window) {
    if (old && find(old)) SendMessageW(old, WM_ACTIVATE, 0, reinterpret_cast<LPARAM>(window));
    if (window) SendMessageW(window, WM_ACTIVATE, 1, reinterpret_cast<LPARAM>(old));
  }
  return old;
}

BOOL SetWindowTextW(HWND window, LPCWSTR text) {
  if (!find(window)) return FALSE;
  return SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : u"")) ? TRUE : FALSE;
}

int GetWindowTextW(HWND window, LPWSTR buffer, int maxCount) {
  if (!find(window) || !buffer || maxCount <= 0) return 0;
  return static_cast<int>(SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(maxCount), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthW(HWND window) { return static_cast<int>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)); }

LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value) {
  Window* w = find(window);
  if (!w) {
    SetLastError(kErrorInvalidWindowHandle);
    return 0;
  }
  LONG_PTR old = 0;
  switch (index) {
    case GWLP_WNDPROC:
      old = reinterpret_cast<LONG_PTR>(w->proc);
      w->proc = reinterpret_cast<WNDPROC>(value);
      break;
    case GWLP_USERDATA:
      old = w->userData;
      w->userData = value;
      break;
    case GWLP_ID:
      old = w->id;
      w->id = static_cast<int>(value);
      break;
    case GWL_STYLE:
      old = static_cast<LONG_PTR>(w->style);
      w->style = static_cast<DWORD>(value);
      w->style = (w->style & ~WS_VISIBLE) | (static_cast<DWORD>(old) & WS_VISIBLE);
      face().changed(*w, Change::kStyle, -1);
      break;
    case GWL_EXSTYLE:
      old = static_cast<LONG_PTR>(w->exStyle);
      w->exStyle = static_cast<DWORD>(value);
      break;
    default:
      if (w->dialog && index == DWLP_MSGRESULT) {
        old = w->dialog->msgResult;
        w->dialog->msgResult = value;
      } else if (w->dialog && index == DWLP_USER) {
        old = w->dialog->user;
        w->dialog->user = value;
      } else if (w->dialog && index == DWLP_DLGPROC) {
        old = reinterpret_cast<LONG_PTR>(w->dialog->proc);
        w->dialog->proc = reinterpret_cast<DLGPROC>(value);
      } else {
        SetLastError(1413);  // ERROR_INVALID_INDEX
      }
  }
  return old;
}

LONG_PTR GetWindowLongPtrW(HWND window, int index) {
  const Window* w = find(window);
  if (!w) {
    SetLastError(kErrorInvalidWindowHandle);
    return 0;
  }
  switch (index) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_USERDATA: return w->userData;
    case GWLP_ID: return w->id;
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>(w->isChild() ? w->parent : w->owner);
    case GWL_STYLE: return static_cast<LONG_PTR>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(w->exStyle);
    default:
      if (w->dialog && index == DWLP_MSGRESULT) return w->dialog->msgResult;
      if (w->dialog && index == DWLP_USER) return w->dialog->user;
      if (w->dialog && index == DWLP_DLGPROC) return reinterpret_cast<LONG_PTR>(w->dialog->proc);
      SetLastError(1413);
      return 0;
  }
}

LRESULT CallWindowProcW(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return callProc(proc, window, message, wParam, lParam);
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = find(window);
  if (!w) return 0;
  switch (message) {
    case WM_NCCREATE: return TRUE;
    case WM_SETTEXT:
      w->text = lParam ? reinterpret_cast<LPCWSTR>(lParam) : u"";
      face().changed(*w, Change::kText, -1);
      return TRUE;
    case WM_GETTEXT: return copyText(w->text, reinterpret_cast<LPWSTR>(lParam), static_cast<int>(wParam));
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(w->text.size());
    case WM_SETFONT: w->font = reinterpret_cast<HFONT>(wParam); return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(w->font);
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageW(window, WM_CLOSE, 0, 0);
      return 0;
    case WM_CONTEXTMENU:
      if (w->isChild()) return SendMessageW(w->parent, WM_CONTEXTMENU, wParam, lParam);
      return 0;
    case WM_HELP:
      if (w->isChild()) return SendMessageW(w->parent, WM_HELP, wParam, lParam);
      if (w->owner) return SendMessageW(w->owner, WM_HELP, wParam, lParam);
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_F1) {
        HELPINFO help{sizeof(HELPINFO), HELPINFO_WINDOW, w->id, window, 0, {}};
        GetCursorPos(&help.MousePos);
        SendMessageW(window, WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
      }
      return 0;
    case WM_RBUTTONUP: {
      POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      ClientToScreen(window, &at);
      SendMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window), MAKELPARAM(static_cast<WORD>(at.x), static_cast<WORD>(at.y)));
      return 0;
    }
    default: return 0;
  }
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Desktop& d = desktop();
  if (!find(window)) {
    SetLastError(kErrorInvalidWindowHandle);
    return 0;
  }
  // Hooks see each message once; what a hook itself sends does not call them again.
  if (!d.hooks.empty() && d.hookDepth == 0) {
    CWPSTRUCT message_{lParam, wParam, message, window};
    const std::shared_ptr<Hook> first = d.hooks.front();
    ++d.hookDepth;
    platform::diag::guarded("WH_CALLWNDPROC hook", [&] {
      first->proc(HC_ACTION, 1, reinterpret_cast<LPARAM>(&message_));
    });
    --d.hookDepth;
  }
  const Window* w = find(window);
  if (!w) return 0;
  // Read after the hooks: a window subclassed inside a hook gets this very message.
  return callProc(w->proc, window, message, wParam, lParam);
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!window) return FALSE;
  platform::loop::post([=] {
    platform::diag::guarded("PostMessageW", [&] { dispatch(window, message, wParam, lParam); });
  });
  return TRUE;
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapseMs, TIMERPROC callback) {
  if (window && !find(window)) {
    SetLastError(kErrorInvalidWindowHandle);
    return 0;
  }
  if (!window) id = desktop().nextTimerId++;
  const UINT_PTR started = platform::loop::SetTimer(window, id, std::max<UINT>(elapseMs, 10), [window, callback](std::uintptr_t tick) {
    if (window && !find(window)) {
      platform::loop::KillTimer(window, tick);
      return;
    }
    if (callback) {
      platform::diag::guarded("TIMERPROC", [&] { callback(window, WM_TIMER, tick, ::GetTickCount()); });
    } else {
      dispatch(window, WM_TIMER, tick, 0);
    }
  });
  return started ? (window ? started : id) : 0;
}

BOOL KillTimer(HWND window, UINT_PTR id) { return platform::loop::KillTimer(window, id); }

BOOL GetCursorPos(POINT* point) {
  if (!point) return FALSE;
  *point = POINT{0, 0};
  if (const Window* w = find(GetFocus())) {
    RECT r{};
    GetWindowRect(w->handle, &r);
    *point = POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }
  return TRUE;
}

DWORD GetCurrentThreadId() { return static_cast<DWORD>(::gettid()); }


HHOOK SetWindowsHookExW(int type, HOOKPROC proc, HINSTANCE, DWORD threadId) {
  if (type != WH_CALLWNDPROC || !proc || (threadId != 0 && threadId != GetCurrentThreadId())) {
    SetLastError(1426);  // ERROR_INVALID_HOOK_FILTER
    platform::diag::error("SetWindowsHookExW", "only WH_CALLWNDPROC hooks on the UI thread are supported");
    return nullptr;
  }
  auto hook = std::make_shared<Hook>(Hook{proc});
  desktop().hooks.insert(desktop().hooks.begin(), hook);
  return reinterpret_cast<HHOOK>(hook.get());
}

BOOL UnhookWindowsHookEx(HHOOK hook) {
  auto& hooks = desktop().hooks;
  const auto it = std::find_if(hooks.begin(), hooks.end(), [&](const auto& h) { return reinterpret_cast<HHOOK>(h.get()) == hook; });
  if (it == hooks.end()) {
    SetLastError(kErrorInvalidHookHandle);
    return FALSE;
  }
  hooks.erase(it);
  return TRUE;
}

LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam) {
  const auto& hooks = desktop().hooks;
  const auto it = std::find_if(hooks.begin(), hooks.end(), [&](const auto& h) { return reinterpret_cast<HHOOK>(h.get()) == hook; });
  if (it == hooks.end() || it + 1 == hooks.end()) return 0;
  const std::shared_ptr<Hook> next = *(it + 1);
  return platform::diag::guarded("WH_CALLWNDPROC hook", LRESULT{0}, [&] { return next->proc(code, wParam, lParam); });
}
