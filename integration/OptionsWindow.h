#pragma once
// The options window: the options page in a window of its own, modal over its owner (what the
// ribbon's options button and `quillmark options` open).

#include "platform/WinTypes.h"

void showOptionsWindow(HWND owner);
