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
