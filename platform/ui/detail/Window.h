#pragma once
// The desktop's windows as the layer holds them: one model that both faces show. The model is
// the truth; a face mirrors it into widgets and turns what the user does back into the same
// model operations the headless input uses, so both faces send the same notifications.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/resources/Resources.h"
#include "platform/ui/CommCtrl.h"
#include "platform/ui/Desktop.h"

namespace platform::ui::detail {

enum class Kind { kGeneric, kDialog, kButton, kEdit, kStatic, kComboBox, kListBox, kListView, kUpDown, kCustom };

struct ListViewColumn {
  std::u16string text;
  int width = 0;
  int fmt = 0;
};

struct ListViewItem {
  std::vector<std::u16string> texts;  // one per column, the label first
  int image = -1;
  UINT state = 0;
  LPARAM param = 0;
};

struct DialogData {
  DLGPROC proc = nullptr;
  LONG_PTR msgResult = 0;
  LONG_PTR user = 0;
  bool ended = false;
  INT_PTR result = 0;
  int baseX = 6;  // dialog base units of the template's font, in pixels
  int baseY = 13;
  int defId = 0;  // DM_SETDEFID; 0: the BS_DEFPUSHBUTTON or IDOK
  bool modal = false;  // run by DialogBox: keys and clicks reach only it
};

struct Window {
  HWND handle = nullptr;
  std::u16string className;
  Kind kind = Kind::kGeneric;
  HWND parent = nullptr;  // children only
  HWND owner = nullptr;   // top-level windows only
  bool messageOnly = false;
  std::vector<HWND> children;  // creation order: the tab and z order
  std::u16string text;
  RECT rect{};  // a child: in its parent's client area; a top-level window: on the screen
  DWORD style = 0;
  DWORD exStyle = 0;
  int id = 0;
  HINSTANCE instance = nullptr;
  WNDPROC proc = nullptr;
  LONG_PTR userData = 0;
  HACCEL accelerators = nullptr;
  HMENU menu = nullptr;  // a top-level window's menu bar
  bool destroying = false;
  HFONT font = nullptr;
  std::unique_ptr<DialogData> dialog;

  // Controls.
  int check = 0;
  int textLimit = 0;
  bool autoComplete = false;
  std::vector<std::u16string> strings;  // combo and list box rows
  std::vector<LPARAM> itemData;
  int curSel = -1;
  std::vector<ListViewColumn> columns;
  std::vector<ListViewItem> items;
  DWORD lvExStyle = 0;
  HIMAGELIST imageLists[3]{};
  int udLower = 100;  // an up-down's range as Windows starts it: 100 down to 0
  int udUpper = 0;
  int udPos = 0;
  HWND buddy = nullptr;
  HICON icon = nullptr;

  void* peer = nullptr;  // the face's own data

  bool isChild() const { return (style & WS_CHILD) != 0 && parent != nullptr; }
  DWORD buttonType() const { return style & BS_TYPEMASK; }
};

using WindowPtr = std::shared_ptr<Window>;

// What a face is told changed in a window. kItems with a row: that row's texts or image;
// kRowInserted / kRowDeleted: one list row came or went at that index, the rest are as they were.
enum class Change { kText, kEnabled, kVisible, kGeometry, kState, kItems, kFocus, kColumns, kStyle, kMenu, kRowInserted, kRowDeleted };

class IFace {
 public:
  virtual ~IFace() = default;
  virtual Face kind() const = 0;
  // After WM_CREATE succeeded; before WM_DESTROY of the window itself.
  virtual void created(Window& window) = 0;
  virtual void destroyed(Window& window) = 0;
  // row: the list row concerned, -1 for all of them.
  virtual void changed(Window& window, Change what, int row) = 0;
  // The frame around a top-level window's client area (left, top, right, bottom).
  virtual RECT frame(const Window& window) = 0;
  // Where the face really has the window or a list row on the screen; false: take the model's.
  virtual bool screenRect(const Window&, RECT&) { return false; }
  virtual bool rowRect(const Window&, int, RECT&) { return false; }
  virtual SIZE screenSize() = 0;
  // The screen less the desktop's panels, where windows go.
  virtual RECT workArea() {
    const SIZE size = screenSize();
    return RECT{0, 0, size.cx, size.cy};
  }
  // Base units of a dialog font (face name, points) in pixels.
  virtual void baseUnits(const std::u16string& face, int points, int& x, int& y) = 0;
  // Shows the popup menu at a screen point; answers the picked item's id, 0 for none.
  virtual UINT trackPopup(HMENU menu, HWND owner, POINT at) = 0;
  // Runs a nested loop until done() (a modal dialog, a menu).
  virtual void runModal(const std::function<bool()>& done) = 0;
  virtual void* widget(const Window&) { return nullptr; }
  virtual bool savePicture(const Window&, const std::string&) { return false; }
};

IFace& face();
IFace* makeGtkFace();  // null when GTK cannot open the display
// A face going at exit hands its windows' last calls to the headless face, which never goes.
void faceDestroyed(IFace* face);

// The live window of a handle, or null.
Window* find(HWND window);
WindowPtr findShared(HWND window);
void forEachWindow(const std::function<void(Window&)>& fn);

// Calls the window procedure without the hooks (posted messages, input dispatched by a loop).
LRESULT dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Tells the face, unless the window is gone.
void changed(HWND window, Change what, int row = -1);
// Whether the window and every ancestor are enabled / visible.
bool effectivelyEnabled(HWND window);
bool effectivelyVisible(HWND window);
// The window a person can act on now (it and its ancestors enabled and shown), or null; with a
// kind, only a window of that kind.
Window* findForInput(HWND window);
Window* findForInput(HWND window, Kind kind);
// The nearest dialog at or above the window.
HWND dialogOf(HWND window);
// The client area's origin on the screen.
POINT clientOrigin(HWND window);

// WM_COMMAND / WM_NOTIFY from a control to its parent.
LRESULT notifyCommand(HWND control, WORD code);
LRESULT notify(HWND control, NMHDR& header);

// Control procedures and the dialog's.
LRESULT buttonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT editProc(HWND, UINT, WPARAM, LPARAM);
LRESULT staticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT comboBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT listBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT listViewProc(HWND, UINT, WPARAM, LPARAM);
LRESULT upDownProc(HWND, UINT, WPARAM, LPARAM);
LRESULT dialogProc(HWND, UINT, WPARAM, LPARAM);

// What user input does to controls, for both faces (see UserInput.h).
bool userClick(HWND button);
bool userSetText(HWND edit, const std::u16string& text);  // the whole text, one EN_CHANGE
bool userSelectCombo(HWND combo, int index);
bool userSelectListBox(HWND list, int row, bool doubleClick);
// A list-view row clicked (-1: the empty area), with the click's point in the list's client area.
bool userClickListRow(HWND list, int row, bool doubleClick, POINT at);
bool userToggleListCheck(HWND list, int row);
bool userUpDown(HWND upDown, bool upper);
// A key with modifiers (FSHIFT, FCONTROL, FALT): accelerators, dialog keys, then the window.
bool userKey(HWND window, UINT virtualKey, BYTE modifiers);
// Accelerators and dialog keys only; true when they took the key (the face then drops it).
bool translateKey(HWND window, UINT virtualKey, BYTE modifiers);
// The modifiers held while TranslateAcceleratorW looks at a key.
void setKeyModifiers(BYTE modifiers);
bool userContextMenu(HWND window, POINT screenPoint);
bool userHelp(HWND window);
bool userClose(HWND topLevel);

// List view: sets a row's state bits with LVN_ITEMCHANGING / LVN_ITEMCHANGED, keeping a
// single-selection list to one selected row.
void setListItemState(HWND list, int row, UINT state, UINT mask);

// The icon bytes (.ico of one image) behind an icon handle, empty when none.
std::string iconBytes(HICON icon);
// Image lists.
struct ImageList {
  int cx = 16;
  int cy = 16;
  std::vector<std::string> icons;  // .ico bytes
};
ImageList* imageList(HIMAGELIST list);

// Menus.
struct MenuItem {
  UINT id = 0;
  std::u16string text;
  UINT flags = 0;
  HMENU popup = nullptr;
};
struct Menu {
  std::vector<MenuItem> items;
};
Menu* menu(HMENU handle);

// The headless choice of a popup: the next queued pick.
UINT nextMenuPick(HMENU menu);

}  // namespace platform::ui::detail

namespace platform::ui {
class IUserInterface;
namespace detail {
// The GTK face's boxes and pickers, or null when the face is headless.
IUserInterface* gtkUserInterface();
// Registers a control class supplied by another layer.
void registerFactory(const std::u16string& className, ControlFactory factory);
const ControlFactory* factoryOf(const std::u16string& className);
// The WebBrowser control's classes: an HTML view of the process's face (HtmlViewControl.cpp).
ControlFactory htmlViewFactory();
}  // namespace detail
}  // namespace platform::ui
