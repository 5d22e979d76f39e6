#pragma once
// What the session, form library and icon files of the layer share.

#include <atomic>

#include "platform/mapi/Icon.h"
#include "platform/mapi/Session.h"

namespace platform::mapi::detail {

// A new icon handle owning the image.
HICON createIcon(IconImage image);
ULONG liveIconCount();

struct LiveCounters {
  std::atomic<ULONG> sessions{0};
  std::atomic<ULONG> formMgrs{0};
  std::atomic<ULONG> formInfos{0};
};
LiveCounters& liveCounters();

// Whether the session is one of this layer's and was logged off.
bool isLoggedOff(IMAPISession* session);

}  // namespace platform::mapi::detail
