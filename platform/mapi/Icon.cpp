// Icon handles: each points at a heap image known to a process-wide set, so that a handle
// destroyed twice or never handed out is refused rather than freed again.
#include "platform/mapi/Icon.h"

#include <mutex>
#include <unordered_set>

#include "platform/mapi/detail/Forms.h"

namespace platform::mapi::detail {
namespace {

struct IconSet {
  std::mutex mutex;
  std::unordered_set<const IconImage*> live;
};

IconSet& icons() {
  static IconSet* set = new IconSet;  // never destroyed: icons may be destroyed at process exit
  return *set;
}

}  // namespace

HICON createIcon(IconImage image) {
  auto* held = new IconImage(std::move(image));
  IconSet& set = icons();
  std::lock_guard lock(set.mutex);
  set.live.insert(held);
  return reinterpret_cast<HICON>(held);
}

ULONG liveIconCount() {
  IconSet& set = icons();
  std::lock_guard lock(set.mutex);
  return static_cast<ULONG>(set.live.size());
}

}  // namespace platform::mapi::detail

BOOL DestroyIcon(HICON hIcon) {
  auto* image = reinterpret_cast<const platform::mapi::IconImage*>(hIcon);
  auto& set = platform::mapi::detail::icons();
  {
    std::lock_guard lock(set.mutex);
    if (!image || set.live.erase(image) == 0) return FALSE;
  }
  delete image;
  return TRUE;
}

namespace platform::mapi {

std::optional<IconImage> iconImage(HICON hIcon) {
  auto* image = reinterpret_cast<const IconImage*>(hIcon);
  auto& set = detail::icons();
  std::lock_guard lock(set.mutex);
  if (!image || !set.live.count(image)) return std::nullopt;
  return *image;
}

}  // namespace platform::mapi
