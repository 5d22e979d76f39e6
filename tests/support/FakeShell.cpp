#include "tests/support/FakeShell.h"

#include <stdexcept>

namespace testsupport {

FakeShell::FakeShell() { platform::shell::SetForTesting(this); }

FakeShell::~FakeShell() { platform::shell::SetForTesting(nullptr); }

DWORD FakeShell::execute(const platform::shell::ShellRequest& request) {
  m_requests.push_back(request);
  if (m_throws) throw std::runtime_error("shell failure");
  return m_answer;
}

}  // namespace testsupport
