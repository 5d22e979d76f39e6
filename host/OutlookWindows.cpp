#include "host/OutlookWindows.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <vector>

#include "host/OptionsDialog.h"
#include "host/OutlookDialogs.h"
#include "platform/com/DispatchDriver.h"
#include "platform/com/OleTime.h"
#include "platform/com/Variant.h"
#include "platform/office/OfficeDispids.h"
#include "platform/outlook/OutlookInterfaces.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"
#include "platform/ui/CommCtrl.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/HtmlView.h"

namespace host {

namespace office = platform::office;

namespace {

constexpr UINT kRenderMessage = WM_APP + 1;     // the command bars changed: draw them again
constexpr UINT kSelectionMessage = WM_APP + 2;  // the item list's selection changed
constexpr WORD kFirstCommand = 1000;            // menu and toolbar commands, by render
constexpr WORD kFirstRibbonCommand = 3000;      // the ribbon's tabs and buttons, by render
constexpr WORD kToolsOptionsId = 900;           // Outlook's own Tools > Options...
constexpr WORD kExitId = 901;                   // File > Exit
constexpr WORD kPropertiesId = 902;             // the item list's Properties
constexpr WORD kCloseInspectorId = 903;         // Esc in an inspector
constexpr int kFolderListId = 10;
constexpr int kItemListId = 11;
constexpr int kStatusId = 12;
constexpr int kBodyId = 13;
constexpr int kHeaderLabelId = 20;
constexpr int kHeaderValueId = 30;
constexpr int kToolbarHeight = 30;
constexpr int kStatusHeight = 20;
constexpr int kHeaderRowHeight = 20;
constexpr int kFolderListWidth = 190;
constexpr int kRibbonButtonHeight = kToolbarHeight - 6;
constexpr int kRibbonLabelHeight = 14;
constexpr int kRibbonRowHeight = kRibbonButtonHeight + kRibbonLabelHeight + 6;  // a row of groups

std::string narrow(std::u16string_view text) { return platform::system::utf16ToUtf8(text); }

std::u16string dateText(DATE date) {
  if (date <= 0 || date >= kOutlookNoDate - 1) return u"None";
  SYSTEMTIME time{};
  if (!VariantTimeToSystemTime(date, &time)) return {};
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour,
                time.wMinute);
  return platform::system::utf8ToUtf16(text);
}

// A property by name as the user reads it; empty when the object has no such property.
std::u16string textOf(IDispatch* object, const char16_t* name) {
  CComVariant value;
  if (!object || FAILED(CComDispatchDriver(object).GetPropertyByName(name, &value))) return {};
  if (value.vt == VT_DATE) return dateText(value.date);
  if (value.vt != VT_BSTR) {
    CComVariant converted;
    if (FAILED(VariantChangeType(&converted, &value, 0, VT_BSTR))) return {};
    value = converted;
  }
  return value.bstrVal ? std::u16string(value.bstrVal) : std::u16string();
}

CComPtr<IDispatch> objectOf(IDispatch* object, const char16_t* name) {
  CComVariant value;
  if (!object || FAILED(CComDispatchDriver(object).GetPropertyByName(name, &value)) || value.vt != VT_DISPATCH)
    return nullptr;
  return CComPtr<IDispatch>(value.pdispVal);
}

CComPtr<IUnknown> identity(IUnknown* object) {
  CComPtr<IUnknown> unknown;
  if (object) object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown.p));
  return unknown;
}

std::u16string withWindowsLineEnds(const std::u16string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) out.push_back(u'\r');
    out.push_back(text[i]);
  }
  return out;
}

// What the drawn bars depend on, so an unchanged model is not drawn again.
void describe(const std::vector<office::ControlView>& controls, std::u16string& out) {
  for (const office::ControlView& c : controls) {
    const office::ControlLayout& s = c.state;
    out += s.caption + u'|' + (s.visible ? u'v' : u'-') + (s.enabled ? u'e' : u'-') + (s.beginGroup ? u'g' : u'-') +
           platform::system::utf8ToUtf16(std::to_string(s.type) + ":" + std::to_string(reinterpret_cast<std::uintptr_t>(c.control.p)));
    out += u'[';
    describe(c.controls, out);
    out += u']';
  }
}

bool isBar(const office::BarView& bar, std::u16string_view name) {
  return platform::system::equalsNoCase(bar.name, name);
}

// What a ribbon's control does when clicked.
struct RibbonCommand {
  enum Kind { kTab, kOutlook, kAddIn, kOptions, kExit } kind = kTab;
  std::size_t tab = 0;
  std::u16string idMso;  // Outlook's command
  LONG id = 0;           // its command-bar id, for the status line
  ShownButton button;    // an add-in's
};

// Outlook's own print commands on the ribbon's File tab, which add-ins may take over.
struct OutlookRibbonCommand {
  const char16_t* label;
  const char16_t* idMso;
  LONG id;
};
constexpr OutlookRibbonCommand kOutlookRibbonCommands[] = {{u"Quick Print", u"FilePrintQuick", office::kIdQuickPrint},
                                                           {u"Print", u"FilePrint", office::kIdPrint},
                                                           {u"Print Preview", u"FilePrintPreview", office::kIdPrintPreview}};

int majorVersion(const std::u16string& version) {
  int major = 0;
  for (const char16_t c : version) {
    if (c < u'0' || c > u'9') break;
    major = major * 10 + (c - u'0');
    if (major > 1000) break;
  }
  return major;
}

}  // namespace

LONG countOf(IDispatch* collection) {
  CComVariant value;
  if (!collection || FAILED(CComDispatchDriver(collection).GetPropertyByName(u"Count", &value))) return 0;
  CComVariant number;
  return SUCCEEDED(VariantChangeType(&number, &value, 0, VT_I4)) ? number.lVal : 0;
}

CComPtr<IDispatch> itemOf(IDispatch* collection, LONG index) {
  CComVariant which(index);
  CComVariant value;
  if (!collection || FAILED(CComDispatchDriver(collection).Invoke1(u"Item", &which, &value)) || value.vt != VT_DISPATCH)
    return nullptr;
  return CComPtr<IDispatch>(value.pdispVal);
}

struct COutlookWindows::Frame {
  COutlookWindows* owner = nullptr;
  CComPtr<IDispatch> window;  // released when the window closes
  HWND handle = nullptr;
  bool explorer = false;
  bool shown = false;
  WNDPROC original = nullptr;
  CComPtr<IDispatch> commandBars;
  std::u16string drawn;  // the bars (and ribbon) as last drawn
  std::u16string ribbonType;  // empty: the window draws command bars
  int majorVersion = 0;       // of the Outlook the window belongs to
  std::size_t ribbonTab = 0;  // 0 File, then the add-ins' tabs
  std::vector<RibbonCommand> ribbonCommands;  // by id - kFirstRibbonCommand
  std::vector<HWND> ribbonControls;
  // The chosen tab's groups as drawn: placed by the layout, wrapping to a new row when the
  // window is too narrow for them.
  struct RibbonPiece {
    enum Kind { kButton, kLabel, kSeparator } kind = kButton;
    HWND control = nullptr;
    int width = 0;
    std::size_t group = 0;
  };
  std::vector<RibbonPiece> ribbonPieces;
  int ribbonRows = 1;
  bool renderPending = false;
  bool selectionPending = false;
  bool populating = false;
  std::vector<office::ControlView> commands;  // by id - kFirstCommand
  std::size_t drawnCommands = 0;              // those of the menu bar and toolbar; popups' follow
  std::vector<HWND> toolbar;
  HWND status = nullptr;
  HWND folderList = nullptr;
  HWND itemList = nullptr;
  HWND body = nullptr;
  std::vector<HWND> header;
  std::vector<CComPtr<IDispatch>> folders;  // the folder list's rows
  std::vector<CComPtr<IDispatch>> rows;     // the item list's rows
  std::u16string statusText;
};

// The windows' procedure and drawing, with the owner's state at hand.
struct FrameAccess {
  using Frame = COutlookWindows::Frame;

  static Frame* frameOf(HWND handle) { return reinterpret_cast<Frame*>(GetWindowLongPtrW(handle, GWLP_USERDATA)); }

  static LRESULT proc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    return platform::diag::guarded("Outlook window", LRESULT{0}, [&]() -> LRESULT {
      Frame* f = frameOf(handle);
      if (!f) return DefWindowProcW(handle, message, wParam, lParam);
      const WNDPROC original = f->original ? f->original : DefWindowProcW;
      if (handle_(*f, message, wParam, lParam)) return 0;
      return CallWindowProcW(original, handle, message, wParam, lParam);
    });
  }

  // True when the message was Outlook's own to handle. f may be gone when this returns.
  static bool handle_(Frame& f, UINT message, WPARAM wParam, LPARAM lParam) {
    COutlookWindows& o = *f.owner;
    switch (message) {
      case WM_CLOSE:
        if (o.m_outlook) o.m_outlook->close(f.window);
        return true;
      case WM_SIZE:
        layout(f);
        return false;
      case kRenderMessage:
        f.renderPending = false;
        render(f);
        return true;
      case kSelectionMessage:
        f.selectionPending = false;
        selectionChanged(f);
        return true;
      case WM_COMMAND: {
        const WORD id = LOWORD(wParam);
        if (id == kToolsOptionsId) {
          o.showOptions(f.handle);
          return true;
        }
        if (id == kExitId) {
          o.exitOutlook();
          return true;
        }
        if (id == kCloseInspectorId) {
          if (!f.explorer && o.m_outlook) o.m_outlook->close(f.window);
          return true;
        }
        if (id == kPrintAccelerator) {
          // Outlook's own Ctrl+P: its print dialog; reached only when no add-in took the command.
          o.outlookCommand(f, kPrintAccelerator);
          return true;
        }
        if (id >= kFirstCommand && id < kFirstCommand + f.commands.size()) {
          click(f, id, reinterpret_cast<HWND>(lParam));
          return true;
        }
        if (id >= kFirstRibbonCommand && id < kFirstRibbonCommand + f.ribbonCommands.size()) {
          ribbonClick(f, f.ribbonCommands[id - kFirstRibbonCommand]);
          return true;
        }
        if (f.folderList && reinterpret_cast<HWND>(lParam) == f.folderList && HIWORD(wParam) == LBN_SELCHANGE) {
          folderChosen(f);
          return true;
        }
        return false;
      }
      case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (!header || header->hwndFrom != f.itemList || !f.itemList) return false;
        if (header->code == LVN_ITEMCHANGED && !f.populating && !f.selectionPending) {
          // One SelectionChange for one click, however many rows it changed.
          f.selectionPending = true;
          PostMessageW(f.handle, kSelectionMessage, 0, 0);
        } else if (header->code == NM_DBLCLK) {
          const int row = reinterpret_cast<const NMITEMACTIVATE*>(lParam)->iItem;
          if (row >= 0 && row < static_cast<int>(f.rows.size()) && o.m_outlook) {
            const CComPtr<IDispatch> item = f.rows[static_cast<std::size_t>(row)];
            o.m_outlook->openInspector(item);
          }
        }
        return false;
      }
      case WM_CONTEXTMENU:
        if (f.itemList && reinterpret_cast<HWND>(wParam) == f.itemList) {
          contextMenu(f, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
          return true;
        }
        return false;
      default: return false;
    }
  }

  static HWND child(Frame& f, const char16_t* className, const char16_t* text, DWORD style, int id, DWORD exStyle = 0) {
    HWND made = CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, f.handle,
                                reinterpret_cast<HMENU>(static_cast<std::intptr_t>(id)), nullptr, nullptr);
    if (!made) platform::diag::error("Outlook window", "a control of the window could not be made");
    return made;
  }

  static void build(Frame& f) {
    f.status = child(f, WC_STATICW, u"", SS_LEFT, kStatusId);
    if (f.explorer) {
      f.folderList = child(f, WC_LISTBOXW, u"", WS_VSCROLL | WS_BORDER | LBS_NOTIFY, kFolderListId);
      f.itemList = child(f, WC_LISTVIEWW, u"", LVS_REPORT | LVS_SHOWSELALWAYS, kItemListId, WS_EX_CLIENTEDGE);
      const std::pair<const char16_t*, int> columns[] = {{u"From", 200}, {u"Subject", 360}, {u"Received", 130}};
      for (int i = 0; i < 3; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<LPWSTR>(columns[i].first);
        column.cx = columns[i].second;
        column.iSubItem = i;
        ListView_InsertColumn(f.itemList, i, &column);
      }
      ListView_SetExtendedListViewStyle(f.itemList, LVS_EX_FULLROWSELECT);
      fillFolders(f);
      fillItems(f);
    } else {
      const CComPtr<IDispatch> item = objectOf(f.window, u"CurrentItem");
      const std::u16string received = textOf(item, u"ReceivedTime");
      const bool wasReceived = !received.empty() && received != u"None";
      std::vector<std::pair<const char16_t*, std::u16string>> fields = {
          {u"From:", textOf(item, u"SenderName")},
          {u"To:", textOf(item, u"To")},
          {u"Cc:", textOf(item, u"CC")},
          {u"Subject:", textOf(item, u"Subject")},
          {wasReceived ? u"Received:" : u"Sent:", wasReceived ? received : textOf(item, u"SentOn")}};
      const std::u16string attachments = attachmentNames(item);
      if (!attachments.empty()) fields.emplace_back(u"Attachments:", attachments);
      int row = 0;
      for (const auto& [label, value] : fields) {
        f.header.push_back(child(f, WC_STATICW, label, SS_RIGHT, kHeaderLabelId + row));
        f.header.push_back(child(f, WC_STATICW, value.c_str(), SS_LEFT | SS_NOPREFIX, kHeaderValueId + row));
        ++row;
      }
      buildBody(f, item);
      const std::u16string subject = textOf(item, u"Subject");
      SetWindowTextW(f.handle, ((subject.empty() ? u"Untitled" : subject) + u" - Message").c_str());
    }
  }

  // The names of an item's attachments, as Outlook's header line shows them.
  static std::u16string attachmentNames(IDispatch* item) {
    const CComPtr<IDispatch> attachments = objectOf(item, u"Attachments");
    std::u16string names;
    for (LONG i = 1, n = countOf(attachments); i <= n && i <= 1000; ++i) {
      const CComPtr<IDispatch> attachment = itemOf(attachments, i);
      std::u16string name = textOf(attachment, u"DisplayName");
      if (name.empty()) name = textOf(attachment, u"FileName");
      if (name.empty()) continue;
      names += (names.empty() ? u"" : u"; ") + name;
    }
    return names;
  }

  // An HTML body in the inert HTML view (its scripts never run, nothing outside is fetched), as
  // Outlook's reading pane shows it; any other body as text.
  static void buildBody(Frame& f, IDispatch* item) {
    CComVariant format;
    if (item && SUCCEEDED(CComDispatchDriver(item).GetPropertyByName(u"BodyFormat", &format)) && format.vt == VT_I4 &&
        format.lVal == olFormatHTML) {
      const std::u16string html = textOf(item, u"HTMLBody");
      if (!html.empty()) {
        f.body = child(f, u"Shell.Explorer.2", u"", 0, kBodyId, WS_EX_CLIENTEDGE);
        if (platform::ui::IHtmlView* view = f.body ? platform::ui::htmlViewOf(f.body) : nullptr) {
          // No folder: the body's references to files resolve to nothing.
          view->loadHtml(narrow(html), {});
          return;
        }
        if (f.body) DestroyWindow(f.body);
        platform::diag::error("Outlook window", "the item's HTML body could not be shown; its text is shown instead");
      }
    }
    f.body = child(f, WC_EDITW, withWindowsLineEnds(textOf(item, u"Body")).c_str(),
                   ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL, kBodyId, WS_EX_CLIENTEDGE);
  }

  static void layout(Frame& f) {
    if (!f.shown) return;
    RECT client{};
    GetClientRect(f.handle, &client);
    const int width = client.right;
    const int height = client.bottom;
    if (!f.ribbonType.empty()) placeRibbon(f, width);
    const int top = (f.ribbonType.empty() ? kToolbarHeight : kToolbarHeight + f.ribbonRows * kRibbonRowHeight) + 2;
    const int bottom = std::max(top + 40, height - kStatusHeight - 2);
    if (f.status) MoveWindow(f.status, 6, bottom + 3, std::max(10, width - 12), kStatusHeight - 4, TRUE);
    if (f.explorer) {
      if (f.folderList) MoveWindow(f.folderList, 4, top, kFolderListWidth, bottom - top, TRUE);
      if (f.itemList)
        MoveWindow(f.itemList, kFolderListWidth + 8, top, std::max(10, width - kFolderListWidth - 12), bottom - top, TRUE);
      return;
    }
    for (std::size_t i = 0; i + 1 < f.header.size(); i += 2) {
      const int y = top + 4 + static_cast<int>(i / 2) * kHeaderRowHeight;
      MoveWindow(f.header[i], 6, y, 70, kHeaderRowHeight - 4, TRUE);
      MoveWindow(f.header[i + 1], 84, y, std::max(10, width - 92), kHeaderRowHeight - 4, TRUE);
    }
    const int bodyTop = top + 10 + static_cast<int>(f.header.size() / 2) * kHeaderRowHeight;
    if (f.body) MoveWindow(f.body, 4, bodyTop, std::max(10, width - 8), std::max(20, bottom - bodyTop), TRUE);
  }

  static void addFolder(Frame& f, IDispatch* folder, int depth) {
    if (!folder || f.folders.size() > 10000) return;
    const std::u16string name = std::u16string(static_cast<std::size_t>(depth) * 4, u' ') + textOf(folder, u"Name");
    SendMessageW(f.folderList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    f.folders.emplace_back(folder);
    const CComPtr<IDispatch> children = objectOf(folder, u"Folders");
    for (LONG i = 1, n = countOf(children); i <= n; ++i) addFolder(f, itemOf(children, i), depth + 1);
  }

  static void fillFolders(Frame& f) {
    SendMessageW(f.folderList, LB_RESETCONTENT, 0, 0);
    f.folders.clear();
    if (!f.owner->m_outlook) return;
    addFolder(f, f.owner->m_outlook->folder(u""), 0);
  }

  static void fillItems(Frame& f) {
    f.populating = true;
    ListView_DeleteAllItems(f.itemList);
    f.rows.clear();
    const CComPtr<IDispatch> folder = objectOf(f.window, u"CurrentFolder");
    const CComPtr<IDispatch> items = objectOf(folder, u"Items");
    for (LONG i = 1, n = countOf(items); i <= n; ++i) {
      const CComPtr<IDispatch> item = itemOf(items, i);
      if (!item) continue;
      const std::u16string from = textOf(item, u"SenderName");
      LVITEMW row{};
      row.mask = LVIF_TEXT;
      row.iItem = static_cast<int>(f.rows.size());
      row.pszText = const_cast<LPWSTR>(from.c_str());
      const int at = ListView_InsertItem(f.itemList, &row);
      if (at < 0) continue;
      ListView_SetItemText(f.itemList, at, 1, textOf(item, u"Subject").c_str());
      ListView_SetItemText(f.itemList, at, 2, textOf(item, u"ReceivedTime").c_str());
      f.rows.push_back(item);
    }
    // The explorer's selection, as it was opened or set.
    const CComPtr<IDispatch> selection = objectOf(f.window, u"Selection");
    std::set<IUnknown*> wanted;
    std::vector<CComPtr<IUnknown>> held;
    for (LONG i = 1, n = countOf(selection); i <= n; ++i) {
      held.push_back(identity(itemOf(selection, i)));
      if (held.back()) wanted.insert(held.back().p);
    }
    for (std::size_t row = 0; row < f.rows.size() && !wanted.empty(); ++row)
      if (wanted.contains(identity(f.rows[row]).p))
        ListView_SetItemState(f.itemList, static_cast<int>(row), LVIS_SELECTED, LVIS_SELECTED);
    f.populating = false;
    const std::u16string name = textOf(folder, u"Name");
    SetWindowTextW(f.handle, (name + u" - Outlook").c_str());
    for (std::size_t i = 0; i < f.folders.size(); ++i)
      if (identity(f.folders[i]) == identity(folder))
        SendMessageW(f.folderList, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
    setStatus(f, u"Items: " + platform::system::utf8ToUtf16(std::to_string(f.rows.size())));
  }

  static void folderChosen(Frame& f) {
    const auto row = SendMessageW(f.folderList, LB_GETCURSEL, 0, 0);
    if (row < 0 || static_cast<std::size_t>(row) >= f.folders.size() || !f.owner->m_outlook) return;
    const HWND handle = f.handle;
    const CComPtr<IDispatch> folder = f.folders[static_cast<std::size_t>(row)];
    f.owner->m_outlook->switchFolder(f.window, folder);
    // A FolderSwitch handler may have closed the window.
    if (Frame* still = frameOf(handle)) fillItems(*still);
  }

  static void selectionChanged(Frame& f) {
    if (!f.itemList || !f.owner->m_outlook) return;
    std::vector<IDispatch*> selected;
    for (int row = ListView_GetNextItem(f.itemList, -1, LVNI_SELECTED); row >= 0 && row < static_cast<int>(f.rows.size());
         row = ListView_GetNextItem(f.itemList, row, LVNI_SELECTED))
      selected.push_back(f.rows[static_cast<std::size_t>(row)]);
    const HWND handle = f.handle;
    const CComPtr<IDispatch> window = f.window;
    f.owner->m_outlook->select(window, selected);
    Frame* still = frameOf(handle);
    if (!still) return;
    if (selected.size() == 1) {
      setStatus(*still, u"Selected: " + textOf(selected.front(), u"Subject"));
    } else {
      setStatus(*still, platform::system::utf8ToUtf16(std::to_string(selected.size())) + u" items selected");
    }
  }

  static void setStatus(Frame& f, const std::u16string& text) {
    f.statusText = text;
    if (f.status) SetWindowTextW(f.status, text.c_str());
  }

  // The model's controls as menu items, each with a command id of this render.
  static void addMenuItems(Frame& f, HMENU menu, const std::vector<office::ControlView>& controls) {
    bool first = true;
    for (const office::ControlView& control : controls) {
      if (!control.state.visible) continue;
      if (control.state.beginGroup && !first) AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      first = false;
      const UINT grayed = control.state.enabled ? 0 : MF_GRAYED;
      if (control.state.type == office::msoControlPopup) {
        const HMENU popup = CreatePopupMenu();
        addMenuItems(f, popup, control.controls);
        if (control.state.id == office::kIdFileMenu && f.explorer) {
          // Outlook's own last entry of the File menu, not part of the command bars model.
          AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
          AppendMenuW(popup, MF_STRING, kExitId, u"E&xit");
        }
        AppendMenuW(menu, MF_POPUP | grayed, reinterpret_cast<UINT_PTR>(popup), control.state.caption.c_str());
        continue;
      }
      std::u16string caption = control.state.caption;
      if (control.state.id == office::kIdPrint) caption += u"\tCtrl+P";
      const auto id = static_cast<UINT>(kFirstCommand + f.commands.size());
      f.commands.push_back(control);
      AppendMenuW(menu, MF_STRING | grayed, id, caption.c_str());
    }
  }

  static void render(Frame& f) {
    if (!f.ribbonType.empty()) {
      renderRibbon(f);
      return;
    }
    const std::vector<office::BarView> bars = office::commandBarsView(f.commandBars);
    std::u16string drawn;
    for (const office::BarView& bar : bars) {
      drawn += bar.name + (bar.visible ? u"+" : u"-") + (bar.enabled ? u"+" : u"-") + u"{";
      describe(bar.controls, drawn);
      drawn += u"}";
    }
    if (drawn == f.drawn) return;
    f.drawn = drawn;
    f.commands.clear();
    for (HWND button : f.toolbar) DestroyWindow(button);
    f.toolbar.clear();

    HMENU menuBar = nullptr;
    int x = 4;
    for (const office::BarView& bar : bars) {
      if (!bar.visible || !bar.enabled) continue;
      if (bar.type == office::msoBarTypeMenuBar) {
        if (!menuBar) menuBar = CreatePopupMenu();
        addMenuItems(f, menuBar, bar.controls);
      } else if (bar.type == office::msoBarTypeNormal) {
        // Each visible bar on the one toolbar row, a gap between bars.
        for (const office::ControlView& control : bar.controls) {
          if (!control.state.visible) continue;
          if (control.state.beginGroup) x += 8;
          const auto id = static_cast<int>(kFirstCommand + f.commands.size());
          f.commands.push_back(control);
          std::u16string caption = control.state.caption;
          if (control.state.type == office::msoControlPopup) caption += u" \u25BE";
          const int width = 16 + 7 * static_cast<int>(caption.size());
          HWND button = CreateWindowExW(0, WC_BUTTONW, caption.c_str(),
                                        WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON | BS_FLAT | (control.state.enabled ? 0 : WS_DISABLED),
                                        x, 3, width, kToolbarHeight - 6, f.handle,
                                        reinterpret_cast<HMENU>(static_cast<std::intptr_t>(id)), nullptr, nullptr);
          if (button) f.toolbar.push_back(button);
          x += width + 2;
        }
        x += 10;
      }
    }
    f.drawnCommands = f.commands.size();
    if (!menuBar) menuBar = CreatePopupMenu();
    addToolsMenu(menuBar);
    const HMENU old = GetMenu(f.handle);
    SetMenu(f.handle, menuBar);
    if (old) DestroyMenu(old);
  }

  static HWND ribbonControl(Frame& f, const std::u16string& caption, int x, int y, bool label, const RibbonCommand* command) {
    const int width = 16 + 7 * static_cast<int>(caption.size());
    int id = 0;
    if (command) {
      id = static_cast<int>(kFirstRibbonCommand + f.ribbonCommands.size());
      f.ribbonCommands.push_back(*command);
    }
    HWND made = CreateWindowExW(0, label ? WC_STATICW : WC_BUTTONW, caption.c_str(),
                                WS_CHILD | WS_VISIBLE | (label ? SS_LEFT | SS_NOPREFIX : BS_PUSHBUTTON | BS_FLAT), x,
                                y + (label ? 5 : 0), width, kToolbarHeight - 6, f.handle,
                                reinterpret_cast<HMENU>(static_cast<std::intptr_t>(id)), nullptr, nullptr);
    if (made) f.ribbonControls.push_back(made);
    return made;
  }

  // The ribbon: a row of tabs (File, with Outlook's print commands, then the add-ins' visible
  // tabs) and the chosen tab's groups below it. Each render asks the add-ins' callbacks again.
  static void renderRibbon(Frame& f) {
    COutlookWindows& o = *f.owner;
    const HWND handle = f.handle;
    const CComPtr<IDispatch> window = f.window;
    const std::vector<ShownTab> tabs = o.m_ribbon.show(f.ribbonType, window);
    if (frameOf(handle) != &f) return;  // a callback closed the window
    if (f.ribbonTab > tabs.size()) f.ribbonTab = 0;
    std::u16string drawn = platform::system::utf8ToUtf16(std::to_string(f.ribbonTab)) + u"|";
    for (const ShownTab& tab : tabs) {
      drawn += tab.label + u"{";
      for (const ShownGroup& group : tab.groups) {
        drawn += group.label + u"[";
        for (const ShownButton& button : group.buttons) drawn += button.id + u"=" + button.label + u";";
        drawn += u"]";
      }
      drawn += u"}";
    }
    if (drawn == f.drawn) return;
    f.drawn = drawn;
    f.ribbonCommands.clear();
    for (HWND control : f.ribbonControls) DestroyWindow(control);
    f.ribbonControls.clear();
    f.ribbonPieces.clear();
    if (const HMENU old = GetMenu(f.handle)) {
      SetMenu(f.handle, nullptr);
      DestroyMenu(old);
    }

    int x = 4;
    RibbonCommand header;
    header.tab = 0;
    x += 2 + 16 + 7 * 4;
    ribbonControl(f, u"File", 4, 3, false, &header);
    for (std::size_t t = 0; t < tabs.size(); ++t) {
      header.tab = t + 1;
      const std::u16string caption = tabs[t].label;
      ribbonControl(f, caption, x, 3, false, &header);
      x += 2 + 16 + 7 * static_cast<int>(caption.size());
    }

    if (f.ribbonTab == 0) {
      for (const OutlookRibbonCommand& outlook : kOutlookRibbonCommands) {
        RibbonCommand command;
        command.kind = RibbonCommand::kOutlook;
        command.idMso = outlook.idMso;
        command.id = outlook.id;
        ribbonPiece(f, Frame::RibbonPiece::kButton, outlook.label, 0, &command);
      }
      // From Outlook 14 the File tab, not a Tools menu, leads to Outlook's Options.
      if (f.majorVersion >= 14 && f.explorer) {
        for (const auto& [label, kind] : {std::pair{u"Options", RibbonCommand::kOptions}, std::pair{u"Exit", RibbonCommand::kExit}}) {
          RibbonCommand command;
          command.kind = kind;
          ribbonPiece(f, Frame::RibbonPiece::kButton, label, 1, &command);
        }
      }
    } else {
      std::size_t number = 0;
      for (const ShownGroup& group : tabs[f.ribbonTab - 1].groups) {
        for (const ShownButton& button : group.buttons) {
          RibbonCommand command;
          command.kind = RibbonCommand::kAddIn;
          command.button = button;
          // No pictures of Office's images here: the button shows its label (its image name if none).
          const std::u16string caption = button.label.empty() ? button.imageMso : button.label;
          ribbonPiece(f, Frame::RibbonPiece::kButton, caption, number, &command);
        }
        // As Office shows it: the group's name under its buttons, a line between groups.
        if (!group.label.empty()) ribbonPiece(f, Frame::RibbonPiece::kLabel, group.label, number, nullptr);
        ribbonPiece(f, Frame::RibbonPiece::kSeparator, u"", number, nullptr);
        ++number;
      }
    }
    layout(f);
  }

  static void ribbonPiece(Frame& f, Frame::RibbonPiece::Kind kind, const std::u16string& caption, std::size_t group,
                          const RibbonCommand* command) {
    int id = 0;
    if (command) {
      id = static_cast<int>(kFirstRibbonCommand + f.ribbonCommands.size());
      f.ribbonCommands.push_back(*command);
    }
    // Without Office's pictures a button shows its frame, and a group's name is drawn dim, so that
    // neither is taken for the other.
    DWORD style = WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON;
    if (kind == Frame::RibbonPiece::kLabel) style = WS_CHILD | WS_VISIBLE | WS_DISABLED | SS_CENTER | SS_NOPREFIX;
    if (kind == Frame::RibbonPiece::kSeparator) style = WS_CHILD | WS_VISIBLE | SS_ETCHEDVERT;
    HWND made = CreateWindowExW(0, kind == Frame::RibbonPiece::kButton ? WC_BUTTONW : WC_STATICW, caption.c_str(), style, 0,
                                0, 1, 1, f.handle, reinterpret_cast<HMENU>(static_cast<std::intptr_t>(id)), nullptr, nullptr);
    if (!made) {
      platform::diag::error("Outlook window", "a control of the ribbon could not be made");
      return;
    }
    f.ribbonControls.push_back(made);
    f.ribbonPieces.push_back({kind, made, 16 + 7 * static_cast<int>(caption.size()), group});
  }

  // Each group as wide as its buttons or its name; a group that does not fit beside the last
  // one starts a new row, so none is cut off by a narrow window.
  static void placeRibbon(Frame& f, int clientWidth) {
    using Piece = Frame::RibbonPiece;
    const int right = std::max(clientWidth - 4, 100);
    const int band = kToolbarHeight + 1;
    int x = 4;
    int row = 0;
    for (std::size_t first = 0, end = 0; first < f.ribbonPieces.size(); first = end) {
      int buttons = -2;
      int label = 0;
      for (end = first; end < f.ribbonPieces.size() && f.ribbonPieces[end].group == f.ribbonPieces[first].group; ++end) {
        if (f.ribbonPieces[end].kind == Piece::kButton) buttons += f.ribbonPieces[end].width + 2;
        if (f.ribbonPieces[end].kind == Piece::kLabel) label = f.ribbonPieces[end].width;
      }
      buttons = std::max(buttons, 0);
      const int width = std::max(buttons, label);
      if (x > 4 && x + width > right) {
        x = 4;
        ++row;
      }
      const int y = band + row * kRibbonRowHeight;
      int at = x + (width - buttons) / 2;
      for (std::size_t i = first; i < end; ++i) {
        const Piece& piece = f.ribbonPieces[i];
        if (piece.kind == Piece::kButton) {
          MoveWindow(piece.control, at, y, piece.width, kRibbonButtonHeight, TRUE);
          at += piece.width + 2;
        } else if (piece.kind == Piece::kLabel) {
          MoveWindow(piece.control, x, y + kRibbonButtonHeight + 2, width, kRibbonLabelHeight, TRUE);
        } else {
          MoveWindow(piece.control, x + width + 5, y, 1, kRibbonRowHeight - 4, TRUE);
        }
      }
      x += width + 12;
    }
    f.ribbonRows = row + 1;
  }

  static void ribbonClick(Frame& f, const RibbonCommand& clicked) {
    const RibbonCommand command = clicked;  // the render below replaces the list
    COutlookWindows& o = *f.owner;
    const HWND handle = f.handle;
    const CComPtr<IDispatch> window = f.window;
    switch (command.kind) {
      case RibbonCommand::kTab:
        f.ribbonTab = command.tab;
        render(f);
        return;
      case RibbonCommand::kAddIn:
        o.m_ribbon.click(command.button, window);
        return;
      case RibbonCommand::kOptions:
        o.showOutlookOptions(handle);
        return;
      case RibbonCommand::kExit:
        o.exitOutlook();
        return;
      case RibbonCommand::kOutlook: {
        Frame* previous = o.m_clicking;
        o.m_clicking = &f;
        const bool cancelled = o.m_ribbon.runCommand(f.ribbonType, command.idMso, window);
        // The add-in may have closed this window.
        Frame* still = frameOf(handle) == &f ? &f : nullptr;
        o.m_clicking = still ? previous : nullptr;
        if (still && !cancelled) o.outlookCommand(*still, command.id);
        return;
      }
    }
  }

  // Outlook's own Tools menu, after the bars' menus: not part of the command bars model.
  static void addToolsMenu(HMENU menuBar) {
    const HMENU tools = CreatePopupMenu();
    AppendMenuW(tools, MF_STRING, kToolsOptionsId, u"&Options...");
    AppendMenuW(menuBar, MF_POPUP, reinterpret_cast<UINT_PTR>(tools), u"&Tools");
  }

  static void click(Frame& f, WORD id, HWND from) {
    const office::ControlView control = f.commands[id - kFirstCommand];
    if (control.state.type == office::msoControlPopup) {
      // A popup on the toolbar opens its menu below its button.
      RECT where{};
      if (from) GetWindowRect(from, &where);
      // The same ids each time a popup opens.
      f.commands.resize(f.drawnCommands);
      const HMENU popup = CreatePopupMenu();
      addMenuItems(f, popup, control.controls);
      const UINT picked = static_cast<UINT>(
          TrackPopupMenu(popup, TPM_RETURNCMD | TPM_LEFTALIGN, where.left, where.bottom, 0, f.handle, nullptr));
      DestroyMenu(popup);
      if (picked >= kFirstCommand && picked < kFirstCommand + f.commands.size()) click(f, static_cast<WORD>(picked), nullptr);
      return;
    }
    COutlookWindows& o = *f.owner;
    Frame* previous = o.m_clicking;
    o.m_clicking = &f;
    bool cancelled = false;
    const HRESULT hr = office::clickControl(control.control, cancelled);
    // The click may have closed this window: only the owner is sure to be there.
    o.m_clicking = o.m_frames.contains(f.handle) && o.m_frames[f.handle].get() == &f ? previous : nullptr;
    if (FAILED(hr)) platform::diag::error("Outlook window", "the command " + narrow(control.state.caption) + " could not run");
  }

  static void contextMenu(Frame& f, POINT at) {
    const std::vector<office::BarView> bars = office::commandBarsView(f.commandBars);
    const auto bar = std::find_if(bars.begin(), bars.end(), [](const office::BarView& b) { return isBar(b, office::kBarContextMenu); });
    f.commands.resize(f.drawnCommands);
    const HMENU popup = CreatePopupMenu();
    if (bar != bars.end() && bar->enabled) addMenuItems(f, popup, bar->controls);
    // Outlook's own last entry: the item's Properties, where its EntryID can be copied.
    if (GetMenuItemCount(popup) > 0) AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
    const bool one = SendMessageW(f.itemList, LVM_GETSELECTEDCOUNT, 0, 0) == 1;
    AppendMenuW(popup, MF_STRING | (one ? 0 : MF_GRAYED), kPropertiesId, u"P&roperties");
    const UINT picked =
        static_cast<UINT>(TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, f.handle, nullptr));
    DestroyMenu(popup);
    if (picked == kPropertiesId) {
      properties(f);
    } else if (picked >= kFirstCommand && picked < kFirstCommand + f.commands.size()) {
      click(f, static_cast<WORD>(picked), nullptr);
    }
  }

  // The selected item's Properties.
  static void properties(Frame& f) {
    const int row = ListView_GetNextItem(f.itemList, -1, LVNI_SELECTED);
    if (row < 0 || row >= static_cast<int>(f.rows.size())) return;
    const CComPtr<IDispatch> item = f.rows[static_cast<std::size_t>(row)];
    const std::u16string subject = textOf(item, u"Subject");
    const std::vector<PropertyLine> lines = {{u"Subject:", subject},
                                             {u"From:", textOf(item, u"SenderName")},
                                             {u"Folder:", textOf(objectOf(item, u"Parent"), u"FolderPath")},
                                             {u"Received:", textOf(item, u"ReceivedTime")},
                                             {u"Type:", textOf(item, u"MessageClass")},
                                             {u"EntryID:", textOf(item, u"EntryID")}};
    showItemProperties(f.handle, (subject.empty() ? u"Untitled" : subject) + u" Properties", lines);
  }
};

COutlookWindows::COutlookWindows(office::COfficeCommandBars& office) : m_office(office) {
  m_ribbon.setInvalidated([this](const std::u16string& type) {
    for (auto& [handle, frame] : m_frames) {
      if (!frame->shown || frame->ribbonType != type) continue;
      frame->drawn.clear();  // the callbacks are asked again even when nothing else changed
      if (frame->renderPending) continue;
      frame->renderPending = true;
      PostMessageW(handle, kRenderMessage, 0, 0);
    }
  });
  m_office.setDefaultCommand([this](IDispatch* control, LONG id) {
    platform::diag::guarded("Outlook's command", [&] { defaultCommand(control, id); });
  });
  m_office.setChangeHandler([this] {
    for (auto& [handle, frame] : m_frames) {
      if (!frame->shown || frame->renderPending) continue;
      frame->renderPending = true;
      PostMessageW(handle, kRenderMessage, 0, 0);
    }
  });
}

COutlookWindows::~COutlookWindows() {
  m_ribbon.setInvalidated({});
  m_office.setDefaultCommand({});
  m_office.setChangeHandler({});
  for (auto& [handle, frame] : m_frames) {
    if (IsWindow(handle)) SetWindowLongPtrW(handle, GWLP_USERDATA, 0);
    if (frame->commandBars) office::closeCommandBars(frame->commandBars);
  }
  if (m_accelerators) DestroyAcceleratorTable(m_accelerators);
  if (m_inspectorAccelerators) DestroyAcceleratorTable(m_inspectorAccelerators);
}

void COutlookWindows::prepare(platform::outlook::OutlookOptions& options, bool shown) {
  m_shown = shown;
  m_version = options.version;
  options.windows = shown;
  options.windowCreated = [this](IDispatch* window, HWND handle, bool explorer) {
    platform::diag::guarded("Outlook window", [&] { created(window, handle, explorer); });
  };
  options.windowClosed = [this](IDispatch* window, HWND handle) {
    platform::diag::guarded("Outlook window", [&] { closed(window, handle); });
  };
}

void COutlookWindows::created(IDispatch* window, HWND handle, bool explorer) {
  auto frame = std::make_unique<Frame>();
  Frame& f = *frame;
  f.owner = this;
  f.window = window;
  f.handle = handle;
  f.explorer = explorer;
  f.shown = m_shown;
  const std::u16string version = m_outlook ? textOf(m_outlook->application(), u"Version") : m_version;
  const int major = majorVersion(version.empty() ? m_version : version);
  f.majorVersion = major;
  if (major >= 14 || (!explorer && major >= 12)) f.ribbonType = host::ribbonTypeOf(window, explorer);
  f.commandBars = m_office.create(window, m_layouts[explorer ? 0 : 1]);
  if (m_outlook && f.commandBars) m_outlook->setCommandBars(window, f.commandBars);
  SetWindowLongPtrW(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&f));
  f.original = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FrameAccess::proc)));
  if (!m_accelerators) {
    const ACCEL keys[] = {{static_cast<BYTE>(FVIRTKEY | FCONTROL), 'P', kPrintAccelerator},
                          {FVIRTKEY, VK_ESCAPE, kCloseInspectorId}};
    m_accelerators = CreateAcceleratorTableW(keys, 1);
    // An inspector also closes with Esc.
    m_inspectorAccelerators = CreateAcceleratorTableW(keys, 2);
  }
  platform::ui::setWindowAccelerators(handle, explorer ? m_accelerators : m_inspectorAccelerators);
  m_frames[handle] = std::move(frame);
  if (explorer) ++m_explorers;
  if (!f.shown) return;
  const int offset = 30 * static_cast<int>(m_frames.size() - 1);
  // Outlook's own sizes as far as the work area holds them with the frame, caption and menu bar.
  RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int frameX = 2 * GetSystemMetrics(SM_CXDLGFRAME);
  const int frameY = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYMENU) + 2 * GetSystemMetrics(SM_CYDLGFRAME);
  const int width = std::max(200, std::min<int>(explorer ? 980 : 760, work.right - work.left - frameX));
  const int height = std::max(150, std::min<int>(explorer ? 620 : 560, work.bottom - work.top - frameY));
  const int x = std::max<int>(work.left, std::min<int>(work.left + (explorer ? 40 : 120) + offset, work.right - frameX - width));
  const int y = std::max<int>(work.top, std::min<int>(work.top + (explorer ? 40 : 80) + offset, work.bottom - frameY - height));
  MoveWindow(handle, x, y, width, height, TRUE);
  FrameAccess::build(f);
  FrameAccess::render(f);
  FrameAccess::layout(f);
}

void COutlookWindows::closed(IDispatch*, HWND handle) {
  const auto found = m_frames.find(handle);
  if (found == m_frames.end()) return;
  std::unique_ptr<Frame> frame = std::move(found->second);
  m_frames.erase(found);
  if (m_clicking == frame.get()) m_clicking = nullptr;
  if (IsWindow(handle)) SetWindowLongPtrW(handle, GWLP_USERDATA, 0);
  if (frame->commandBars) {
    // What the user kept of the bars is what the next window of this kind starts from.
    const office::CommandBarsLayout kept = office::persistentLayout(frame->commandBars);
    if (!kept.bars.empty()) m_layouts[frame->explorer ? 0 : 1] = kept;
    office::closeCommandBars(frame->commandBars);
  }
  if (frame->explorer && --m_explorers == 0 && m_lastExplorerClosed) m_lastExplorerClosed();
}

void COutlookWindows::defaultCommand(IDispatch*, LONG id) {
  Frame* f = m_clicking;
  if (!f) {
    for (auto& [handle, frame] : m_frames)
      if (frame->explorer) f = frame.get();
  }
  if (f) outlookCommand(*f, id);
}

void COutlookWindows::outlookCommand(Frame& f, LONG id) {
  std::vector<std::u16string> subjects;
  if (f.explorer) {
    const CComPtr<IDispatch> selection = objectOf(f.window, u"Selection");
    for (LONG i = 1, n = countOf(selection); i <= n; ++i) subjects.push_back(textOf(itemOf(selection, i), u"Subject"));
  } else {
    subjects.push_back(textOf(objectOf(f.window, u"CurrentItem"), u"Subject"));
  }
  std::u16string what = subjects.size() == 1 ? u"\"" + subjects.front() + u"\""
                                             : platform::system::utf8ToUtf16(std::to_string(subjects.size())) + u" items";
  std::u16string text;
  if (subjects.empty()) {
    text = u"Outlook has nothing selected to print";
  } else if (id == office::kIdPrintPreview) {
    text = u"Outlook shows its print preview of " + what;
  } else if (id == office::kIdQuickPrint) {
    text = u"Outlook prints " + what;
  } else if (id == office::kIdPrint || id == kPrintAccelerator) {
    text = u"Outlook prints " + what + u" after its Print dialog";
  } else {
    text = u"Outlook runs its command " + platform::system::utf8ToUtf16(std::to_string(id));
  }
  FrameAccess::setStatus(f, text);
  platform::diag::report(platform::diag::Level::kInfo, "Outlook", narrow(text));
  if (m_listener) m_listener(text);
}

void COutlookWindows::showOptions(HWND frame) {
  // Outlook's own page first, then what the add-ins add while OptionsPagesAdd fires.
  std::vector<OptionsPage> pages{{u"", u"Preferences"}};
  const CComPtr<IDispatch> collection = makePropertyPages(pages);
  if (m_outlook) {
    const HRESULT hr = m_outlook->fireOptionsPagesAdd(collection);
    if (FAILED(hr)) platform::diag::error("Options", "OptionsPagesAdd could not be raised");
  }
  COptionsDialog dialog(u"Options", std::move(pages));
  if (m_optionsOpened) m_optionsOpened(dialog);
  dialog.DoModal(frame);
}

void COutlookWindows::showOutlookOptions(HWND frame) {
  COutlookOptionsDialog dialog([this](HWND owner) { showAddInOptions(owner); });
  dialog.DoModal(frame);
}

void COutlookWindows::showAddInOptions(HWND owner) {
  std::vector<OptionsPage> pages;
  const CComPtr<IDispatch> collection = makePropertyPages(pages);
  if (m_outlook) {
    const HRESULT hr = m_outlook->fireOptionsPagesAdd(collection);
    if (FAILED(hr)) platform::diag::error("Options", "OptionsPagesAdd could not be raised");
  }
  if (pages.empty()) {
    MessageBoxW(owner, u"None of the add-ins Outlook has loaded has options to set.", u"Add-in Options",
                MB_OK | MB_ICONINFORMATION);
    return;
  }
  COptionsDialog dialog(u"Add-in Options", std::move(pages));
  if (m_optionsOpened) m_optionsOpened(dialog);
  dialog.DoModal(owner);
}

void COutlookWindows::exitOutlook() {
  if (!m_outlook) return;
  // Inspectors first, as Outlook closes them; each Close may close others, so by handle.
  std::vector<HWND> order;
  for (const bool explorers : {false, true})
    for (const auto& [handle, frame] : m_frames)
      if (frame->explorer == explorers) order.push_back(handle);
  for (const HWND handle : order) {
    const auto found = m_frames.find(handle);
    if (found == m_frames.end()) continue;
    const CComPtr<IDispatch> window = found->second->window;
    m_outlook->close(window);
  }
}

std::u16string COutlookWindows::statusOf(HWND frame) const {
  const auto found = m_frames.find(frame);
  return found == m_frames.end() ? std::u16string() : found->second->statusText;
}

HWND COutlookWindows::itemListOf(HWND frame) const {
  const auto found = m_frames.find(frame);
  return found == m_frames.end() ? nullptr : found->second->itemList;
}

HWND COutlookWindows::folderListOf(HWND frame) const {
  const auto found = m_frames.find(frame);
  return found == m_frames.end() ? nullptr : found->second->folderList;
}

std::u16string COutlookWindows::ribbonTypeOf(HWND frame) const {
  const auto found = m_frames.find(frame);
  return found == m_frames.end() ? std::u16string() : found->second->ribbonType;
}

HWND COutlookWindows::bodyOf(HWND frame) const {
  const auto found = m_frames.find(frame);
  return found == m_frames.end() ? nullptr : found->second->body;
}

}  // namespace host
