// Menus from MENU templates, popup menus, icons from ICON resources, accelerator tables.
#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "platform/mapi/detail/Forms.h"
#include "platform/system/Diagnostics.h"
#include "platform/ui/UserInput.h"
#include "platform/ui/detail/Window.h"

namespace platform::ui::detail {
namespace {

struct MenuSet {
  std::set<Menu*> live;
};

MenuSet& menus() {
  static MenuSet* set = new MenuSet();
  return *set;
}

HMENU newMenu() {
  auto* made = new Menu();
  menus().live.insert(made);
  return reinterpret_cast<HMENU>(made);
}

struct AcceleratorTable {
  std::vector<ACCEL> entries;
};
std::set<AcceleratorTable*>& acceleratorTables() {
  static auto* tables = new std::set<AcceleratorTable*>();
  return *tables;
}

thread_local BYTE t_modifiers = 0;

std::deque<UINT>& menuPicks() {
  static std::deque<UINT> picks;
  return picks;
}

std::vector<input::ShownMenuItem>& shownMenu() {
  static std::vector<input::ShownMenuItem> shown;
  return shown;
}

void describe(HMENU handle, int depth, std::vector<input::ShownMenuItem>& out) {
  const Menu* m = menu(handle);
  if (!m) return;
  for (const MenuItem& item : m->items) {
    out.push_back({item.id, item.text, (item.flags & MF_CHECKED) != 0, (item.flags & (MF_GRAYED | MF_DISABLED)) != 0,
                   (item.flags & MF_SEPARATOR) != 0, depth});
    if (item.popup) describe(item.popup, depth + 1, out);
  }
}

// The item by id anywhere in the menu tree, or by position in this menu.
MenuItem* locate(HMENU handle, UINT item, UINT flags) {
  Menu* m = menu(handle);
  if (!m) return nullptr;
  if (flags & MF_BYPOSITION) return item < m->items.size() ? &m->items[item] : nullptr;
  for (MenuItem& entry : m->items) {
    if (!entry.popup && entry.id == item && !(entry.flags & MF_SEPARATOR)) return &entry;
    if (entry.popup) {
      if (MenuItem* inner = locate(entry.popup, item, flags)) return inner;
    }
  }
  return nullptr;
}

bool pickable(HMENU handle, UINT id) {
  const MenuItem* item = locate(handle, id, MF_BYCOMMAND);
  return item && !(item->flags & (MF_GRAYED | MF_DISABLED | MF_SEPARATOR | MF_POPUP));
}

// One image of an .ico file as an .ico file of its own: the one nearest the size asked (0: 32).
std::string pickIconImage(const unsigned char* data, std::size_t size, int wanted) {
  auto u16 = [&](std::size_t at) { return static_cast<unsigned>(data[at] | (data[at + 1] << 8)); };
  auto u32 = [&](std::size_t at) { return static_cast<std::size_t>(u16(at) | (u16(at + 2) << 16)); };
  if (size < 6 || u16(0) != 0 || u16(2) != 1) return {};
  const unsigned count = u16(4);
  if (count == 0 || size < 6 + 16u * count) return {};
  if (wanted <= 0) wanted = 32;
  int best = -1;
  int bestScore = 1 << 30;
  for (unsigned i = 0; i < count; ++i) {
    const std::size_t entry = 6 + 16u * i;
    const int width = data[entry] ? data[entry] : 256;
    const std::size_t bytes = u32(entry + 8);
    const std::size_t offset = u32(entry + 12);
    if (offset > size || bytes > size - offset) continue;
    const int score = std::abs(width - wanted) * 64 - static_cast<int>(u16(entry + 6));
    if (score < bestScore) {
      bestScore = score;
      best = static_cast<int>(i);
    }
  }
  if (best < 0) return {};
  const std::size_t entry = 6 + 16u * static_cast<unsigned>(best);
  const std::size_t bytes = u32(entry + 8);
  const std::size_t offset = u32(entry + 12);
  std::string out;
  out.append("\0\0\1\0\1\0", 6);
  out.append(reinterpret_cast<const char*>(data + entry), 12);
  const std::size_t newOffset = 22;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((newOffset >> (8 * i)) & 0xFF));
  out.append(reinterpret_cast<const char*>(data + offset), bytes);
  return out;
}

std::u16string resourceName(LPCWSTR name) {
  if (IS_INTRESOURCE(name)) {
    const std::string digits = std::to_string(reinterpret_cast<std::uintptr_t>(name));
    return std::u16string(digits.begin(), digits.end());
  }
  return name;
}

}  // namespace

Menu* menu(HMENU handle) {
  auto* held = reinterpret_cast<Menu*>(handle);
  return menus().live.count(held) ? held : nullptr;
}

UINT nextMenuPick(HMENU handle) {
  auto& picks = menuPicks();
  if (picks.empty()) return 0;
  const UINT id = picks.front();
  picks.pop_front();
  if (id && !pickable(handle, id)) {
    platform::diag::warning("TrackPopupMenu", "the queued pick " + std::to_string(id) + " is not an enabled item of the menu");
    return 0;
  }
  return id;
}

void setKeyModifiers(BYTE modifiers) { t_modifiers = modifiers; }

std::string iconBytes(HICON icon) {
  const std::optional<platform::mapi::IconImage> image = platform::mapi::iconImage(icon);
  return image ? image->bytes : std::string();
}

}  // namespace platform::ui::detail

namespace platform::ui::input {

void queueMenuPick(UINT id) { detail::menuPicks().push_back(id); }

std::vector<ShownMenuItem> lastShownMenu() { return detail::shownMenu(); }

}  // namespace platform::ui::input

using namespace platform::ui::detail;

HMENU CreatePopupMenu() { return newMenu(); }

HMENU LoadMenuW(HINSTANCE module, LPCWSTR name) {
  if (!IS_INTRESOURCE(name)) return nullptr;
  const auto id = static_cast<UINT>(reinterpret_cast<std::uintptr_t>(name));
  const platform::resources::MenuTemplate* found = platform::resources::findMenu(module, id);
  if (!found) {
    platform::diag::error("LoadMenuW", "no menu template " + std::to_string(id));
    return nullptr;
  }
  const HMENU root = newMenu();
  std::vector<HMENU> levels{root};
  for (std::size_t i = 0; i < found->entryCount; ++i) {
    const platform::resources::MenuEntry& entry = found->entries[i];
    const auto depth = static_cast<std::size_t>(std::max(entry.depth, 0));
    if (depth >= levels.size()) continue;  // a malformed depth: the entry has no popup to go in
    levels.resize(depth + 1);
    MenuItem item;
    item.id = entry.id;
    item.text = entry.text ? entry.text : u"";
    item.flags = entry.flags;
    if (entry.flags & MF_POPUP) item.popup = newMenu();
    menu(levels[depth])->items.push_back(item);
    if (item.popup) levels.push_back(item.popup);
  }
  return root;
}

BOOL AppendMenuW(HMENU handle, UINT flags, UINT_PTR idOrPopup, LPCWSTR text) {
  Menu* m = menu(handle);
  if (!m) return FALSE;
  MenuItem item;
  item.flags = flags;
  item.text = text && !(flags & MF_SEPARATOR) ? text : u"";
  if (flags & MF_POPUP) {
    item.popup = reinterpret_cast<HMENU>(idOrPopup);
  } else {
    item.id = static_cast<UINT>(idOrPopup);
  }
  m->items.push_back(item);
  return TRUE;
}

BOOL DestroyMenu(HMENU handle) {
  Menu* m = menu(handle);
  if (!m) return FALSE;
  for (const MenuItem& item : m->items) {
    if (item.popup) DestroyMenu(item.popup);
  }
  menus().live.erase(m);
  delete m;
  return TRUE;
}

HMENU GetSubMenu(HMENU handle, int position) {
  const Menu* m = menu(handle);
  if (!m || position < 0 || position >= static_cast<int>(m->items.size())) return nullptr;
  return m->items[static_cast<std::size_t>(position)].popup;
}

int GetMenuItemCount(HMENU handle) {
  const Menu* m = menu(handle);
  return m ? static_cast<int>(m->items.size()) : -1;
}

UINT GetMenuItemID(HMENU handle, int position) {
  const Menu* m = menu(handle);
  if (!m || position < 0 || position >= static_cast<int>(m->items.size())) return static_cast<UINT>(-1);
  const MenuItem& item = m->items[static_cast<std::size_t>(position)];
  return item.popup ? static_cast<UINT>(-1) : item.id;
}

UINT GetMenuState(HMENU handle, UINT item, UINT flags) {
  const MenuItem* found = locate(handle, item, flags);
  return found ? (found->flags & (MF_CHECKED | MF_GRAYED | MF_DISABLED | MF_SEPARATOR | MF_POPUP)) : static_cast<UINT>(-1);
}

DWORD CheckMenuItem(HMENU handle, UINT item, UINT flags) {
  MenuItem* found = locate(handle, item, flags);
  if (!found) return static_cast<DWORD>(-1);
  const DWORD old = found->flags & MF_CHECKED;
  found->flags = (found->flags & ~MF_CHECKED) | (flags & MF_CHECKED);
  return old;
}

BOOL EnableMenuItem(HMENU handle, UINT item, UINT flags) {
  MenuItem* found = locate(handle, item, flags);
  if (!found) return -1;
  const BOOL old = static_cast<BOOL>(found->flags & (MF_GRAYED | MF_DISABLED));
  found->flags = (found->flags & ~(MF_GRAYED | MF_DISABLED)) | (flags & (MF_GRAYED | MF_DISABLED));
  return old;
}

BOOL SetMenu(HWND window, HMENU handle) {
  Window* w = find(window);
  if (!w || w->isChild() || (handle && !menu(handle))) return FALSE;
  w->menu = handle;
  face().changed(*w, Change::kMenu, -1);
  return TRUE;
}

HMENU GetMenu(HWND window) {
  const Window* w = find(window);
  return w && !w->isChild() ? w->menu : nullptr;
}

BOOL DrawMenuBar(HWND window) {
  Window* w = find(window);
  if (!w || w->isChild()) return FALSE;
  face().changed(*w, Change::kMenu, -1);
  return TRUE;
}

BOOL TrackPopupMenu(HMENU handle, UINT flags, int x, int y, int, HWND owner, const RECT*) {
  if (!menu(handle) || (owner && !IsWindow(owner))) {
    platform::diag::error("TrackPopupMenu", "no such menu or owner window");
    return FALSE;
  }
  if (owner && !(flags & TPM_NONOTIFY)) SendMessageW(owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(handle), 0);
  auto& shown = shownMenu();
  shown.clear();
  describe(handle, 0, shown);
  const UINT picked = face().trackPopup(handle, owner, POINT{x, y});
  const UINT id = picked && pickable(handle, picked) ? picked : 0;
  if (flags & TPM_RETURNCMD) return static_cast<BOOL>(id);
  if (id && owner) PostMessageW(owner, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
  return TRUE;
}

HANDLE LoadImageW(HINSTANCE module, LPCWSTR name, UINT type, int cx, int, UINT flags) {
  if (type != IMAGE_ICON || (flags & LR_LOADFROMFILE)) {
    platform::diag::error("LoadImageW", "only icons from the module's resources are supported");
    return nullptr;
  }
  static std::map<std::tuple<HINSTANCE, std::u16string, int>, HICON> shared;
  const std::u16string key = resourceName(name);
  if (flags & LR_SHARED) {
    const auto it = shared.find({module, key, cx});
    if (it != shared.end() && platform::mapi::iconImage(it->second)) return it->second;
  }
  const std::span<const unsigned char> data = platform::resources::findResource(module, key.c_str(), u"ICON");
  const std::string bytes = pickIconImage(data.data(), data.size(), cx);
  if (bytes.empty()) {
    platform::diag::error("LoadImageW", "no icon resource " + std::string(key.begin(), key.end()));
    return nullptr;
  }
  platform::mapi::IconImage image;
  image.width = static_cast<unsigned char>(bytes[6]) ? static_cast<unsigned char>(bytes[6]) : 256;
  image.height = static_cast<unsigned char>(bytes[7]) ? static_cast<unsigned char>(bytes[7]) : 256;
  image.bytes = bytes;
  const HICON icon = platform::mapi::detail::createIcon(std::move(image));
  if (flags & LR_SHARED) shared[{module, key, cx}] = icon;
  return icon;
}

HICON LoadIconW(HINSTANCE module, LPCWSTR name) {
  return static_cast<HICON>(LoadImageW(module, name, IMAGE_ICON, 32, 32, LR_SHARED));
}

HACCEL CreateAcceleratorTableW(const ACCEL* entries, int count) {
  if (!entries || count <= 0) return nullptr;
  auto* table = new AcceleratorTable{std::vector<ACCEL>(entries, entries + count)};
  acceleratorTables().insert(table);
  return reinterpret_cast<HACCEL>(table);
}

BOOL DestroyAcceleratorTable(HACCEL handle) {
  auto* table = reinterpret_cast<AcceleratorTable*>(handle);
  if (!acceleratorTables().erase(table)) return FALSE;
  forEachWindow([&](Window& w) {
    if (w.accelerators == handle) w.accelerators = nullptr;
  });
  delete table;
  return TRUE;
}

int TranslateAcceleratorW(HWND window, HACCEL handle, const MSG* message) {
  auto* table = reinterpret_cast<AcceleratorTable*>(handle);
  if (!message || !IsWindow(window) || !acceleratorTables().count(table)) return 0;
  if (message->message != WM_KEYDOWN && message->message != WM_SYSKEYDOWN) return 0;
  const BYTE held = t_modifiers & (FSHIFT | FCONTROL | FALT);
  for (const ACCEL& entry : table->entries) {
    if (!(entry.fVirt & FVIRTKEY) || entry.key != message->wParam) continue;
    if ((entry.fVirt & (FSHIFT | FCONTROL | FALT)) != held) continue;
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(entry.cmd, 1), 0);
    return 1;
  }
  return 0;
}
