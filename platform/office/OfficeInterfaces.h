#pragma once
// Office's command-bar interfaces as this layer serves them: dispatch interfaces (every member is
// reached through IDispatch by DISPID or name) with Office's own interface ids, and the event
// interface a button fires its Click through.

#include "platform/com/ComPtr.h"
#include "platform/com/Dispatch.h"
#include "platform/com/Guid.h"

QM_DISPINTERFACE(_CommandBars, "000C0302-0000-0000-C000-000000000046");
QM_DISPINTERFACE(CommandBar, "000C0304-0000-0000-C000-000000000046");
QM_DISPINTERFACE(CommandBarControls, "000C0306-0000-0000-C000-000000000046");
QM_DISPINTERFACE(CommandBarControl, "000C0308-0000-0000-C000-000000000046");
QM_DISPINTERFACE(CommandBarPopup, "000C030A-0000-0000-C000-000000000046");
QM_DISPINTERFACE(_CommandBarButton, "000C030E-0000-0000-C000-000000000046");


// The Click event of a button (found through IConnectionPointContainer on the button).
inline constexpr IID DIID__CommandBarButtonEvents = platform::com::guid("000C0351-0000-0000-C000-000000000046");

// The add-in's side of Office's add-in manager: a dual interface (IDispatch's seven slots, then
// these five) that the host calls on the object it created from an add-in's ProgID.
struct SAFEARRAY;
struct _IDTExtensibility2 : IDispatch {
  // ConnectMode: 0 after start-up, 1 at start-up, 2 external, 3 from the command line.
  STDMETHOD(OnConnection)(IDispatch* Application, LONG ConnectMode, IDispatch* AddInInst, SAFEARRAY** custom) = 0;
  // RemoveMode: 0 host shutting down, 1 the user disconnected the add-in.
  STDMETHOD(OnDisconnection)(LONG RemoveMode, SAFEARRAY** custom) = 0;
  STDMETHOD(OnAddInsUpdate)(SAFEARRAY** custom) = 0;
  STDMETHOD(OnStartupComplete)(SAFEARRAY** custom) = 0;
  STDMETHOD(OnBeginShutdown)(SAFEARRAY** custom) = 0;

 protected:
  ~_IDTExtensibility2() = default;
};
inline constexpr IID IID__IDTExtensibility2 = platform::com::guid("B65AD801-ABAF-11D0-BB8B-00A0C90F2744");
QM_DECLARE_INTERFACE_IID(_IDTExtensibility2, IID__IDTExtensibility2);
_COM_SMARTPTR_TYPEDEF(_IDTExtensibility2, __uuidof(_IDTExtensibility2));

// Outlook's add-in connect modes and remove modes.
enum ext_ConnectMode : LONG {
  ext_cm_AfterStartup = 0,
  ext_cm_Startup = 1,
  ext_cm_External = 2,
  ext_cm_CommandLine = 3,
};
enum ext_DisconnectMode : LONG {
  ext_dm_HostShutdown = 0,
  ext_dm_UserClosed = 1,
};
