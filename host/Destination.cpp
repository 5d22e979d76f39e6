#include "host/Destination.h"

#include <cstdio>
#include <system_error>

#include "platform/shell/Shell.h"
#include "platform/system/Text.h"

namespace host {

CCommandDestination::CCommandDestination(const std::filesystem::path& out)
    : m_previous(platform::browser::printDestination()) {
  platform::browser::PrintDestination& destination = platform::browser::printDestination();
  destination = {};
  if (!out.empty()) {
    // The windows name the files they show and write by URI, which only an absolute path makes.
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(out, ec);
    destination.folder = (ec ? out : absolute).lexically_normal();
    destination.alwaysToFolder = true;
  }
  platform::browser::writtenPdfs().clear();
  platform::shell::takeFailedPrints();
}

CCommandDestination::~CCommandDestination() { platform::browser::printDestination() = m_previous; }

void CCommandDestination::reportWritten(const char* command) const {
  for (const std::filesystem::path& pdf : platform::browser::writtenPdfs()) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(pdf, ec))
      std::printf("%s: wrote %s\n", command, pdf.string().c_str());
    else
      std::fprintf(stderr, "%s: %s was not written\n", command, pdf.string().c_str());
  }
}

bool CCommandDestination::reportNotPrinted(const char* command) const {
  const std::vector<platform::shell::FailedPrint> failed = platform::shell::takeFailedPrints();
  for (const platform::shell::FailedPrint& print : failed)
    std::fprintf(stderr, "%s: %s was not printed: %s\n", command, platform::system::utf16ToUtf8(print.file).c_str(),
                 print.reason.c_str());
  return !failed.empty();
}

}  // namespace host
