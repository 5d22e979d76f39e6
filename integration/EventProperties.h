#pragma once
// CEventProperties: where a clicked command-bar control sits. Office fires a built-in control's
// Click (and a custom control's, by Tag) in every window's sink, so each display manager builds
// one of these on the clicked control and acts only when the click emanates from its own window;
// the print mode says which of Outlook's commands, or the add-in's own controls, was clicked.

#include "platform/office/OfficeInterfaces.h"
#include "platform/outlook/OutlookInterfaces.h"

class CEventProperties {
 public:
  // Analyses the control at once; a null control, or one whose window cannot be found, gives an
  // object that emanates from no window. Never throws; Office's failures are logged at Debug.
  explicit CEventProperties(const CommandBarControlPtr& control);

  // Fills the fields from the control.
  void analyse(const CommandBarControlPtr& control);

  // True when the click's window and the argument are both known and the same COM object.
  bool emanatesFrom(_Inspector* inspector) const;
  bool emanatesFrom(_Explorer* explorer) const;

  // 1 quick print, 2 print with the printer dialog, 3 print preview (Outlook's commands), 4 the
  // add-in's own controls; 0 when the control's Id could not be read.
  int m_mode = 0;
  _ExplorerPtr m_pExplorer;    // the control's window when it is an explorer
  _InspectorPtr m_pInspector;  // the control's window when it is an inspector
};
