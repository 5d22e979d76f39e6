#include "host/Destination.h"

#include <cstdio>

#include "platform/shell/Shell.h"
#include "platform/system/Text.h"

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
  platform::shell::takeFailedPrints();
}

CCommandDestination::~CCommandDestination() { platform::browser::printDestination() = m_previous; }

void CCommandDestination::reportWritten(const char* command) const {
  for (const std::filesystem::path& pdf : platform::browser::writtenPdfs())
    std::printf("%s: wrote %s\n", command, pdf.string().c_str());
}

bool CCommandDestination::reportNotPrinted(const char* command) const {
  const std::vector<platform::shell::FailedPrint> failed = platform::shell::takeFailedPrints();
  for (const platform::shell::FailedPrint& print : failed)
    std::fprintf(stderr, "%s: %s was not printed: %s\n", command, platform::system::utf16ToUtf8(print.file).c_str(),
                 print.reason.c_str());
  return !failed.empty();
}

}  // namespace host
