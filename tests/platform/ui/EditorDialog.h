#pragma once
// A dialog procedure written for the tests, in the way the system's dialogs are: a list of
// template names that the user adds to, renames, removes and reorders, with a context menu and
// an OK that is refused while the name box holds text not yet added.

#include <string>
#include <vector>

#include "platform/resources/Resources.h"
#include "platform/ui/CommCtrl.h"

namespace uitest {

constexpr int kList = 101;
constexpr int kUpDown = 102;
constexpr int kName = 103;
constexpr int kAdd = 104;
constexpr int kRename = 105;
constexpr int kRemove = 106;
constexpr int kAtOnce = 107;
constexpr UINT kMoveUp = 110;

struct EditorState {
  std::vector<std::u16string> rows;  // in: the initial rows; out: the rows on IDOK
  bool atOnce = false;
  int refusals = 0;   // message boxes shown by OK
  int menusShown = 0;
  int helpCalls = 0;
  HWND dialog = nullptr;
};

const platform::resources::DialogTemplate& editorTemplate();
INT_PTR editorProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace uitest
