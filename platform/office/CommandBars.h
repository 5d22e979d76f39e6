#pragma once
// Office's command bars for the host's explorer and inspector windows: one CommandBars object per
// window (bars, controls, popups, FindControl, buttons' Click events with CancelDefault), built
// from a layout: Outlook's built-in bars, or what an earlier window or session kept.
//
// Temporary and persistent controls: the model of a window lives as long as the window. When it
// closes, persistentLayout() is what Office would keep of the user's customisation (every bar and
// control that was not added as temporary, with its current state); the host builds its next
// window, and its next session, from that layout. Temporary bars and controls never reach it, so
// they go with the window that made them. A control's Delete always removes it for good (its
// Temporary argument is accepted and not kept). Controls.Add makes buttons and popups; other
// control types, and built-in ids other than Outlook's File, Print, Print Preview and quick Print,
// raise.
//
// All calls on the thread of the windows.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Export.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Dispatch.h"
#include "platform/office/OfficeDispids.h"

namespace platform::office {

namespace detail {
struct Office;
}

struct ControlLayout {
  LONG type = msoControlButton;
  LONG id = kIdCustom;  // not 1: a built-in command
  std::u16string caption;
  std::u16string tag;
  std::u16string tooltipText;
  std::u16string parameter;
  bool enabled = true;
  bool visible = true;
  bool beginGroup = false;
  LONG style = msoButtonAutomatic;
  LONG faceId = 0;
  std::vector<ControlLayout> controls;  // a popup's own bar
};

struct BarLayout {
  std::u16string name;
  std::u16string nameLocal;
  LONG type = msoBarTypeNormal;
  LONG position = msoBarTop;
  bool visible = true;
  bool builtIn = false;
  std::vector<ControlLayout> controls;
};

struct CommandBarsLayout {
  std::vector<BarLayout> bars;
};

// Outlook's bars as a window has them at first: "Menu Bar" with the File popup (Print, Print
// Preview), "Standard" with quick Print, "Context Menu" with quick Print.
QM_PLATFORM_API CommandBarsLayout outlookCommandBars();

// Office's share of one host process: the windows' command bars know each other through it, as a
// built-in command's Click reaches the sinks of every window.
class QM_PLATFORM_API COfficeCommandBars {
 public:
  // Runs for a built-in control's click that no sink cancelled: Outlook's own command.
  using DefaultCommand = std::function<void(IDispatch* control, LONG id)>;

  COfficeCommandBars();
  COfficeCommandBars(const COfficeCommandBars&) = delete;
  COfficeCommandBars& operator=(const COfficeCommandBars&) = delete;
  ~COfficeCommandBars();

  // A window's CommandBars (the _CommandBars object); its top-level bars answer window as their
  // Parent. The model holds the window until closeCommandBars. Null when window is null.
  CComPtr<IDispatch> create(IDispatch* window, const CommandBarsLayout& layout = outlookCommandBars());
  void setDefaultCommand(DefaultCommand command);
  // Runs after every change a caller makes to any window's bars through their objects (a
  // property set, an Add, a Delete), so the windows can draw them again. It runs inside the
  // caller's call: draw later, not from it.
  void setChangeHandler(std::function<void()> changed);

 private:
  std::shared_ptr<detail::Office> m_office;
};

// The window went away: its bars let the window go, every sink of its buttons is disconnected and
// no click reaches them any more. Objects the add-in still holds stay valid but belong to no
// window. A second call does nothing.
QM_PLATFORM_API void closeCommandBars(IDispatch* commandBars);

// A control as a window draws it: its state, and the object a click goes to.
struct ControlView {
  CComPtr<IDispatch> control;  // for clickControl
  ControlLayout state;         // state.controls stays empty: see controls
  std::vector<ControlView> controls;  // a popup's own
};

struct BarView {
  std::u16string name;
  LONG type = msoBarTypeNormal;
  LONG position = msoBarTop;
  bool visible = true;
  bool enabled = true;
  std::vector<ControlView> controls;
};

// Every bar of a window's CommandBars as it is now, temporary ones included; empty when
// commandBars is not a CommandBars of this layer or its window is closed.
QM_PLATFORM_API std::vector<BarView> commandBarsView(IDispatch* commandBars);

// What survives the window (see above); empty when commandBars is not a CommandBars of this layer.
QM_PLATFORM_API CommandBarsLayout persistentLayout(IDispatch* commandBars);

// The user clicks a control (the host's menus and toolbars, and a control's Execute): Click fires
// in every sink of every open window's button that has the clicked built-in Id, or, for a custom
// control, the same non-empty Tag (a custom control without a Tag reaches only its own sinks),
// the clicked control's own sinks first. Each sink gets the clicked control and the one
// CancelDefault all of them share. cancelled says whether a sink set it; when none did and the
// control is built in, the default command runs. E_INVALIDARG for an object that is not a control
// of this layer, E_FAIL for a control that is deleted, in no open window, or disabled (reported).
QM_PLATFORM_API HRESULT clickControl(IDispatch* control, bool& cancelled);

}  // namespace platform::office
