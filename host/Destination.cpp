#include "host/Destination.h"

#include <cstdio>

namespace host {

CCommandDestination::CCommandDestination(const std::filesystem::path& out)
    : m_previous(platform::browser::printDestination()) {
  platform::browser::PrintDestination& destination = platform::browser::printDestination();
  destination = {};
  if (!out.empty()) {
    destination.folder = out;
    destination.alwaysToFolder = true;
  }
  platform::browser::writtenPdfs().clear();
}

CCommandDestination::~CCommandDestination() { platform::browser::printDestination() = m_previous; }

void CCommandDestination::reportWritten(const char* command) const {
  for (const std::filesystem::path& pdf : platform::browser::writtenPdfs())
    std::printf("%s: wrote %s\n", command, pdf.string().c_str());
}

}  // namespace host
