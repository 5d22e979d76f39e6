// The list view (report, list and icon views, check boxes, image lists) and image lists.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/system/Diagnostics.h"
#include "platform/ui/detail/Window.h"

namespace platform::ui::detail {
namespace {

constexpr int kHeaderHeight = 24;
constexpr int kCheckBoxWidth = 18;

UINT stateImageOf(UINT state) { return (state & LVIS_STATEIMAGEMASK) >> 12; }

int rowHeight(const Window& w) {
  const ImageList* small = imageList(w.imageLists[LVSIL_SMALL]);
  return std::max(17, small ? small->cy + 1 : 0);
}

bool isIconView(const Window& w) { return (w.style & LVS_TYPEMASK) == LVS_ICON; }

// Where the model puts a row, in the list's client area.
RECT modelRowRect(const Window& w, int row) {
  RECT client{};
  GetClientRect(w.handle, &client);
  if (isIconView(w)) {
    const ImageList* normal = imageList(w.imageLists[LVSIL_NORMAL]);
    const int cellWidth = 75;
    const int cellHeight = (normal ? normal->cy : 32) + 34;
    const int perRow = std::max<int>(1, static_cast<int>(client.right) / cellWidth);
    const int x = (row % perRow) * cellWidth;
    const int y = (row / perRow) * cellHeight;
    return RECT{x, y, x + cellWidth, y + cellHeight};
  }
  const int top = ((w.style & LVS_TYPEMASK) == LVS_REPORT && !(w.style & LVS_NOCOLUMNHEADER) ? kHeaderHeight : 0) +
                  row * rowHeight(w);
  int width = 0;
  for (const ListViewColumn& column : w.columns) width += column.width;
  if (width == 0) width = static_cast<int>(client.right);
  return RECT{0, top, width, top + rowHeight(w)};
}

// The point of a row's label (past its check box and image), in the client area.
POINT labelPoint(const Window& w, int row) {
  RECT r{};
  if (!face().rowRect(w, row, r)) r = modelRowRect(w, row);
  if (isIconView(w)) return POINT{(r.left + r.right) / 2, r.bottom - 10};
  int x = r.left + 4;
  if (w.lvExStyle & LVS_EX_CHECKBOXES) x += kCheckBoxWidth;
  if (w.imageLists[LVSIL_SMALL]) x += 18;
  return POINT{x + 4, (r.top + r.bottom) / 2};
}

void sendItemActivate(HWND list, UINT code, int row, POINT at) {
  const Window* w = find(list);
  if (!w) return;
  NMITEMACTIVATE info{};
  info.hdr.code = code;
  info.iItem = row;
  info.ptAction = at;
  if (row >= 0 && row < static_cast<int>(w->items.size())) {
    info.uNewState = w->items[static_cast<std::size_t>(row)].state;
    info.lParam = w->items[static_cast<std::size_t>(row)].param;
  }
  notify(list, info.hdr);
}

int copyOut(const std::u16string& text, LPWSTR buffer, int room) {
  if (!buffer || room <= 0) return 0;
  const int n = std::min<int>(static_cast<int>(text.size()), room - 1);
  std::memcpy(buffer, text.data(), static_cast<std::size_t>(n) * sizeof(char16_t));
  buffer[n] = u'\0';
  return n;
}

const std::u16string& textOf(const ListViewItem& item, int subItem) {
  static const std::u16string empty;
  return subItem >= 0 && subItem < static_cast<int>(item.texts.size()) ? item.texts[static_cast<std::size_t>(subItem)] : empty;
}

void setText(ListViewItem& item, int subItem, LPCWSTR text) {
  if (subItem < 0) return;
  if (static_cast<int>(item.texts.size()) <= subItem) item.texts.resize(static_cast<std::size_t>(subItem) + 1);
  item.texts[static_cast<std::size_t>(subItem)] = text ? text : u"";
}

int insertItem(HWND list, const LVITEMW& in) {
  Window* w = find(list);
  if (!w || in.iSubItem != 0) return -1;
  const int count = static_cast<int>(w->items.size());
  const int at = std::clamp(in.iItem, 0, count);
  ListViewItem item;
  if (in.mask & LVIF_TEXT) setText(item, 0, in.pszText);
  if (in.mask & LVIF_IMAGE) item.image = in.iImage;
  if (in.mask & LVIF_PARAM) item.param = in.lParam;
  if (w->lvExStyle & LVS_EX_CHECKBOXES) item.state = INDEXTOSTATEIMAGEMASK(1);
  const UINT wantedState = (in.mask & LVIF_STATE) ? (in.state & in.stateMask) : 0;
  const UINT wantedMask = (in.mask & LVIF_STATE) ? in.stateMask : 0;
  item.state = (item.state & ~(wantedMask & LVIS_STATEIMAGEMASK)) | (wantedState & LVIS_STATEIMAGEMASK);
  w->items.insert(w->items.begin() + at, std::move(item));
  changed(list, Change::kRowInserted, at);
  NMLISTVIEW info{};
  info.hdr.code = LVN_INSERTITEM;
  info.iItem = at;
  notify(list, info.hdr);
  const UINT selection = wantedState & (LVIS_SELECTED | LVIS_FOCUSED);
  if (selection) setListItemState(list, at, selection, wantedMask & (LVIS_SELECTED | LVIS_FOCUSED));
  return at;
}

bool deleteItem(HWND list, int row) {
  Window* w = find(list);
  if (!w || row < 0 || row >= static_cast<int>(w->items.size())) return false;
  NMLISTVIEW info{};
  info.hdr.code = LVN_DELETEITEM;
  info.iItem = row;
  info.lParam = w->items[static_cast<std::size_t>(row)].param;
  notify(list, info.hdr);
  if (!(w = find(list)) || row >= static_cast<int>(w->items.size())) return false;
  w->items.erase(w->items.begin() + row);
  changed(list, Change::kRowDeleted, row);
  return true;
}

bool moveSelection(HWND list, int step) {
  const Window* w = find(list);
  if (!w || w->items.empty()) return false;
  int focused = ListView_GetNextItem(list, -1, LVNI_FOCUSED);
  if (focused < 0) focused = ListView_GetNextItem(list, -1, LVNI_SELECTED);
  const int last = static_cast<int>(w->items.size()) - 1;
  const int next = focused < 0 ? 0 : std::clamp(focused + step, 0, last);
  if (next == focused && (ListView_GetItemState(list, next, LVIS_SELECTED) & LVIS_SELECTED)) return true;
  for (int row = 0; row <= last; ++row) {
    if (row != next) setListItemState(list, row, 0, LVIS_SELECTED);
  }
  setListItemState(list, next, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  return true;
}

}  // namespace

void setListItemState(HWND list, int row, UINT state, UINT mask) {
  Window* w = find(list);
  if (!w) return;
  if (row < 0) {
    for (int i = 0; i < static_cast<int>(w->items.size()); ++i) setListItemState(list, i, state, mask);
    return;
  }
  if (row >= static_cast<int>(w->items.size())) return;
  const UINT old = w->items[static_cast<std::size_t>(row)].state;
  const UINT next = (old & ~mask) | (state & mask);
  if (next == old) return;
  // One focused row in every list; one selected row in a single-selection list.
  if ((next & LVIS_FOCUSED) && !(old & LVIS_FOCUSED)) {
    for (int i = 0; i < static_cast<int>(w->items.size()); ++i) {
      if (i != row && (w->items[static_cast<std::size_t>(i)].state & LVIS_FOCUSED)) setListItemState(list, i, 0, LVIS_FOCUSED);
      if (!(w = find(list))) return;
    }
  }
  if ((next & LVIS_SELECTED) && !(old & LVIS_SELECTED) && (w->style & LVS_SINGLESEL)) {
    for (int i = 0; i < static_cast<int>(w->items.size()); ++i) {
      if (i != row && (w->items[static_cast<std::size_t>(i)].state & LVIS_SELECTED)) setListItemState(list, i, 0, LVIS_SELECTED);
      if (!(w = find(list))) return;
    }
  }
  if (row >= static_cast<int>(w->items.size())) return;
  NMLISTVIEW info{};
  info.hdr.code = LVN_ITEMCHANGING;
  info.iItem = row;
  info.uChanged = LVIF_STATE;
  info.uOldState = w->items[static_cast<std::size_t>(row)].state;
  info.uNewState = (info.uOldState & ~mask) | (state & mask);
  info.lParam = w->items[static_cast<std::size_t>(row)].param;
  if (notify(list, info.hdr)) return;
  if (!(w = find(list)) || row >= static_cast<int>(w->items.size())) return;
  info.uOldState = w->items[static_cast<std::size_t>(row)].state;
  w->items[static_cast<std::size_t>(row)].state = info.uNewState;
  changed(list, Change::kState, row);
  info.hdr.code = LVN_ITEMCHANGED;
  notify(list, info.hdr);
}

LRESULT listViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = find(window);
  if (!w) return 0;
  const int row = static_cast<int>(static_cast<std::intptr_t>(wParam));
  const int count = static_cast<int>(w->items.size());
  auto* item = reinterpret_cast<LVITEMW*>(lParam);
  switch (message) {
    case LVM_GETITEMCOUNT: return count;
    case LVM_INSERTCOLUMNW: {
      const auto* column = reinterpret_cast<const LVCOLUMNW*>(lParam);
      if (!column) return -1;
      const int at = std::clamp(row, 0, static_cast<int>(w->columns.size()));
      ListViewColumn made;
      if (column->mask & LVCF_TEXT) made.text = column->pszText ? column->pszText : u"";
      if (column->mask & LVCF_WIDTH) made.width = column->cx;
      if (column->mask & LVCF_FMT) made.fmt = column->fmt;
      w->columns.insert(w->columns.begin() + at, std::move(made));
      changed(window, Change::kColumns);
      return at;
    }
    case LVM_GETCOLUMNWIDTH:
      return row >= 0 && row < static_cast<int>(w->columns.size()) ? w->columns[static_cast<std::size_t>(row)].width : 0;
    case LVM_SETCOLUMNWIDTH:
      if (row < 0 || row >= static_cast<int>(w->columns.size())) return FALSE;
      w->columns[static_cast<std::size_t>(row)].width = static_cast<int>(static_cast<short>(LOWORD(static_cast<std::uintptr_t>(lParam))));
      changed(window, Change::kColumns);
      return TRUE;
    case LVM_INSERTITEMW: return item ? insertItem(window, *item) : -1;
    case LVM_SETITEMTEXTW:
      if (!item || row < 0 || row >= count) return FALSE;
      setText(w->items[static_cast<std::size_t>(row)], item->iSubItem, item->pszText);
      changed(window, Change::kItems, row);
      return TRUE;
    case LVM_GETITEMTEXTW:
      if (!item || row < 0 || row >= count) return 0;
      return copyOut(textOf(w->items[static_cast<std::size_t>(row)], item->iSubItem), item->pszText, item->cchTextMax);
    case LVM_GETITEMW: {
      if (!item || item->iItem < 0 || item->iItem >= count) return FALSE;
      const ListViewItem& held = w->items[static_cast<std::size_t>(item->iItem)];
      if (item->mask & LVIF_TEXT) copyOut(textOf(held, item->iSubItem), item->pszText, item->cchTextMax);
      if (item->mask & LVIF_IMAGE) item->iImage = held.image;
      if (item->mask & LVIF_PARAM) item->lParam = held.param;
      if (item->mask & LVIF_STATE) item->state = held.state & item->stateMask;
      return TRUE;
    }
    case LVM_SETITEMW: {
      if (!item || item->iItem < 0 || item->iItem >= count) return FALSE;
      ListViewItem& held = w->items[static_cast<std::size_t>(item->iItem)];
      if (item->mask & LVIF_TEXT) setText(held, item->iSubItem, item->pszText);
      if (item->mask & LVIF_IMAGE) held.image = item->iImage;
      if (item->mask & LVIF_PARAM) held.param = item->lParam;
      changed(window, Change::kItems, item->iItem);
      if (item->mask & LVIF_STATE) setListItemState(window, item->iItem, item->state, item->stateMask);
      return TRUE;
    }
    case LVM_DELETEITEM: return deleteItem(window, row) ? TRUE : FALSE;
    case LVM_DELETEALLITEMS: {
      NMLISTVIEW info{};
      info.hdr.code = LVN_DELETEALLITEMS;
      info.iItem = -1;
      const bool quiet = notify(window, info.hdr) != 0;
      if (!(w = find(window))) return FALSE;
      if (quiet) {
        w->items.clear();
        changed(window, Change::kItems);
      } else {
        while (find(window) && !find(window)->items.empty()) deleteItem(window, 0);
      }
      return TRUE;
    }
    case LVM_GETNEXTITEM: {
      const UINT flags = LOWORD(static_cast<std::uintptr_t>(lParam));
      UINT wanted = 0;
      if (flags & LVNI_SELECTED) wanted |= LVIS_SELECTED;
      if (flags & LVNI_FOCUSED) wanted |= LVIS_FOCUSED;
      for (int i = std::max(row + 1, 0); i < count; ++i) {
        if ((w->items[static_cast<std::size_t>(i)].state & wanted) == wanted) return i;
      }
      return -1;
    }
    case LVM_GETSELECTEDCOUNT:
      return std::count_if(w->items.begin(), w->items.end(), [](const ListViewItem& i) { return (i.state & LVIS_SELECTED) != 0; });
    case LVM_SETITEMSTATE:
      if (!item || row >= count) return FALSE;
      setListItemState(window, row, item->state, item->stateMask);
      return TRUE;
    case LVM_GETITEMSTATE:
      if (row < 0 || row >= count) return 0;
      return static_cast<LRESULT>(w->items[static_cast<std::size_t>(row)].state & static_cast<UINT>(lParam));
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
      const DWORD old = w->lvExStyle;
      const DWORD mask = wParam ? static_cast<DWORD>(wParam) : 0xFFFFFFFFu;
      w->lvExStyle = (old & ~mask) | (static_cast<DWORD>(lParam) & mask);
      if ((w->lvExStyle & LVS_EX_CHECKBOXES) && !(old & LVS_EX_CHECKBOXES)) {
        for (ListViewItem& held : w->items) {
          if (!stateImageOf(held.state)) held.state |= INDEXTOSTATEIMAGEMASK(1);
        }
      }
      changed(window, Change::kStyle);
      return old;
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE: return w->lvExStyle;
    case LVM_SETIMAGELIST: {
      if (row < 0 || row > 2) return 0;
      const HIMAGELIST old = w->imageLists[row];
      w->imageLists[row] = reinterpret_cast<HIMAGELIST>(lParam);
      changed(window, Change::kItems);
      return reinterpret_cast<LRESULT>(old);
    }
    case LVM_GETIMAGELIST: return row >= 0 && row <= 2 ? reinterpret_cast<LRESULT>(w->imageLists[row]) : 0;
    case LVM_GETITEMRECT: {
      auto* rect = reinterpret_cast<RECT*>(lParam);
      if (!rect || row < 0 || row >= count) return FALSE;
      if (!face().rowRect(*w, row, *rect)) *rect = modelRowRect(*w, row);
      return TRUE;
    }
    case LVM_ENSUREVISIBLE: return row >= 0 && row < count ? TRUE : FALSE;
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_KEYDOWN: {
      NMLVKEYDOWN key{};
      key.hdr.code = LVN_KEYDOWN;
      key.wVKey = static_cast<WORD>(wParam);
      notify(window, key.hdr);
      if (!(w = find(window))) return 0;
      const bool icons = isIconView(*w);
      switch (wParam) {
        case VK_DOWN: moveSelection(window, 1); return 0;
        case VK_UP: moveSelection(window, -1); return 0;
        case VK_RIGHT: if (icons) moveSelection(window, 1); return 0;
        case VK_LEFT: if (icons) moveSelection(window, -1); return 0;
        case VK_HOME: moveSelection(window, -count); return 0;
        case VK_END: moveSelection(window, count); return 0;
        case VK_SPACE: {
          const int focused = ListView_GetNextItem(window, -1, LVNI_FOCUSED);
          if (focused >= 0 && (w->lvExStyle & LVS_EX_CHECKBOXES)) userToggleListCheck(window, focused);
          return 0;
        }
        default: break;
      }
      break;
    }
    default: break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool userClickListRow(HWND list, int row, bool doubleClick, POINT at) {
  Window* w = findForInput(list, Kind::kListView);
  if (!w) return false;
  if (row >= static_cast<int>(w->items.size())) return false;
  if (row >= 0 && at.x < 0) at = labelPoint(*w, row);
  if (row < 0 && at.x < 0) {
    RECT client{};
    GetClientRect(list, &client);
    at = POINT{client.right / 2, client.bottom - 2};
  }
  SetFocus(list);
  if (doubleClick) {
    sendItemActivate(list, NM_DBLCLK, row, at);
    if (row >= 0 && find(list)) sendItemActivate(list, LVN_ITEMACTIVATE, row, at);
    return true;
  }
  if (row < 0) {
    setListItemState(list, -1, 0, LVIS_SELECTED);
  } else {
    for (int i = 0; find(list) && i < static_cast<int>(find(list)->items.size()); ++i) {
      if (i != row) setListItemState(list, i, 0, LVIS_SELECTED);
    }
    setListItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  }
  if (find(list)) sendItemActivate(list, NM_CLICK, row, at);
  return true;
}

bool userToggleListCheck(HWND list, int row) {
  Window* w = find(list);
  if (!w || w->kind != Kind::kListView || !(w->lvExStyle & LVS_EX_CHECKBOXES) || !effectivelyEnabled(list) ||
      !effectivelyVisible(list) || row < 0 || row >= static_cast<int>(w->items.size())) {
    return false;
  }
  SetFocus(list);
  const UINT image = stateImageOf(w->items[static_cast<std::size_t>(row)].state);
  setListItemState(list, row, INDEXTOSTATEIMAGEMASK(image == 2 ? 1 : 2), LVIS_STATEIMAGEMASK);
  if (find(list)) {
    RECT r{};
    if (!face().rowRect(*find(list), row, r)) r = modelRowRect(*find(list), row);
    sendItemActivate(list, NM_CLICK, row, POINT{r.left + 6, (r.top + r.bottom) / 2});
  }
  return true;
}

// Image lists.
namespace {

struct ImageLists {
  std::mutex mutex;
  std::set<ImageList*> live;
};

ImageLists& imageLists() {
  static ImageLists* lists = new ImageLists();
  return *lists;
}

}  // namespace

ImageList* imageList(HIMAGELIST list) {
  auto* held = reinterpret_cast<ImageList*>(list);
  ImageLists& lists = imageLists();
  std::lock_guard lock(lists.mutex);
  return lists.live.count(held) ? held : nullptr;
}

}  // namespace platform::ui::detail

using platform::ui::detail::ImageList;

HIMAGELIST ImageList_Create(int cx, int cy, UINT, int, int) {
  if (cx <= 0 || cy <= 0) return nullptr;
  auto* list = new ImageList{cx, cy, {}};
  auto& lists = platform::ui::detail::imageLists();
  std::lock_guard lock(lists.mutex);
  lists.live.insert(list);
  return reinterpret_cast<HIMAGELIST>(list);
}

BOOL ImageList_Destroy(HIMAGELIST list) {
  auto* held = reinterpret_cast<ImageList*>(list);
  auto& lists = platform::ui::detail::imageLists();
  {
    std::lock_guard lock(lists.mutex);
    if (!lists.live.erase(held)) return FALSE;
  }
  delete held;
  return TRUE;
}

int ImageList_ReplaceIcon(HIMAGELIST list, int index, HICON icon) {
  ImageList* held = platform::ui::detail::imageList(list);
  if (!held) return -1;
  std::string bytes = platform::ui::detail::iconBytes(icon);
  if (bytes.empty()) {
    platform::diag::error("ImageList_ReplaceIcon", "not an icon");
    return -1;
  }
  if (index < 0) {
    held->icons.push_back(std::move(bytes));
    return static_cast<int>(held->icons.size()) - 1;
  }
  if (index >= static_cast<int>(held->icons.size())) return -1;
  held->icons[static_cast<std::size_t>(index)] = std::move(bytes);
  return index;
}

int ImageList_AddIcon(HIMAGELIST list, HICON icon) { return ImageList_ReplaceIcon(list, -1, icon); }

int ImageList_GetImageCount(HIMAGELIST list) {
  const ImageList* held = platform::ui::detail::imageList(list);
  return held ? static_cast<int>(held->icons.size()) : 0;
}

BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy) {
  const ImageList* held = platform::ui::detail::imageList(list);
  if (!held || !cx || !cy) return FALSE;
  *cx = held->cx;
  *cy = held->cy;
  return TRUE;
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) { return init && init->dwSize == sizeof(INITCOMMONCONTROLSEX); }

HRESULT SHAutoComplete(HWND edit, DWORD) {
  platform::ui::detail::Window* w = platform::ui::detail::find(edit);
  if (!w || w->kind != platform::ui::detail::Kind::kEdit) return static_cast<HRESULT>(0x80070057);  // E_INVALIDARG
  w->autoComplete = true;
  platform::ui::detail::changed(edit, platform::ui::detail::Change::kStyle);
  return 0;
}
