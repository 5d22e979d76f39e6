#pragma once
// A shell that records each request and answers a set error code; installed as the process's
// shell for its lifetime.

#include <vector>

#include "platform/shell/Shell.h"

namespace testsupport {

class FakeShell : public platform::shell::IShell {
 public:
  FakeShell();
  ~FakeShell() override;
  FakeShell(const FakeShell&) = delete;
  FakeShell& operator=(const FakeShell&) = delete;

  DWORD execute(const platform::shell::ShellRequest& request) override;

  // ERROR_SUCCESS until set.
  void setAnswer(DWORD code) { m_answer = code; }
  // Makes execute throw, as a broken helper binding might.
  void setThrows(bool throws) { m_throws = throws; }
  const std::vector<platform::shell::ShellRequest>& requests() const { return m_requests; }

 private:
  std::vector<platform::shell::ShellRequest> m_requests;
  DWORD m_answer = 0;
  bool m_throws = false;
};

}  // namespace testsupport
