#include "platform/browser/PrintDestination.h"

namespace platform::browser {

PrintDestination& printDestination() {
  static PrintDestination value;
  return value;
}

std::vector<std::filesystem::path>& writtenPdfs() {
  static std::vector<std::filesystem::path> value;
  return value;
}

}  // namespace platform::browser
