#pragma once
// The process-wide values that the add-in connection records when Outlook connects it: the
// Office major version, the thread locale id, and the module handle of every resource lookup.

#include "platform/WinTypes.h"

namespace NGlobals {

// The Office major version (11, 12, 14 ...); 0 until the connection sets it.
int officeMajorVersion();
void setOfficeMajorVersion(int version);

// The thread locale id; 1033 until the connection sets it.
LCID threadLocale();
void setThreadLocale(LCID lcid);

// The module's own handle (its resources); the add-in module's table by default.
HINSTANCE moduleInstance();
void setModuleInstance(HINSTANCE module);

// Puts every value back as at process start.
void resetForTesting();

}  // namespace NGlobals
