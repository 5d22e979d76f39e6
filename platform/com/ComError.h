#pragma once
// _com_error: a failed HRESULT raised as an exception, as the generated dispatch wrappers do.

#include <string>

#include "platform/Export.h"
#include "platform/com/HResult.h"

class QM_PLATFORM_API _com_error {
 public:
  explicit _com_error(HRESULT hr, std::u16string description = {});

  HRESULT Error() const noexcept { return m_hr; }
  // The system's text of the code, or "Unknown error 0xXXXXXXXX" for a code without one.
  const std::u16string& ErrorMessage() const noexcept { return m_message; }
  // The object's own description of the failure (from its EXCEPINFO); empty when it gave none.
  const std::u16string& Description() const noexcept { return m_description; }

 private:
  HRESULT m_hr;
  std::u16string m_message;
  std::u16string m_description;
};

// Throws _com_error for hr.
[[noreturn]] QM_PLATFORM_API void _com_issue_error(HRESULT hr);
