#include "integration/OptionsWindow.h"

#include "foundation/Log.h"

void showOptionsWindow(HWND) { LOG_INFO(u"The options window is not available yet"); }
