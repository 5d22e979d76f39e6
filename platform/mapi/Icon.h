#pragma once
// user32's icon handle as far as MAPI forms hand icons out: an opaque handle onto an icon image
// (the bytes of an .ico file holding one image), destroyed with DestroyIcon.

#include <optional>
#include <string>

#include "platform/Export.h"
#include "platform/WinTypes.h"

struct HICON__;
using HICON = HICON__*;

// Frees the icon. FALSE for a null handle, one already destroyed or one never handed out.
QM_PLATFORM_API BOOL DestroyIcon(HICON hIcon);

namespace platform::mapi {

struct IconImage {
  int width = 0;
  int height = 0;
  std::string bytes;  // the whole .ico file: header, one directory entry and the image
};

// What a live icon holds; nothing for a handle that is not (or no longer) an icon.
QM_PLATFORM_API std::optional<IconImage> iconImage(HICON hIcon);

}  // namespace platform::mapi
