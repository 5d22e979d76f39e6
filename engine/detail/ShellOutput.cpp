#include "engine/detail/ShellOutput.h"

#include <cstdint>
#include <string>

#include "platform/shell/Shell.h"
#include "platform/system/Text.h"

namespace NPrintShell {

HRESULT printPdf(const std::filesystem::path& pdf, int copies) {
  const std::u16string file = platform::system::utf8ToUtf16(pdf.string());
  for (int i = 0; i < copies; ++i) {
    const auto answer = reinterpret_cast<std::intptr_t>(ShellExecuteW(nullptr, u"print", file.c_str(), nullptr, nullptr, SW_HIDE));
    if (answer <= 32) return E_FAIL;
  }
  return S_OK;
}

std::filesystem::path documentsFolder() {
  char16_t path[MAX_PATH] = {};
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, path)))
    return std::filesystem::path(platform::system::utf16ToUtf8(path));
  return std::filesystem::current_path();
}

}  // namespace NPrintShell
