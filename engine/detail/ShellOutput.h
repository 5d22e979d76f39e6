#pragma once
// The printer's use of the shell: the PDF to the default printer, and where PDFs go otherwise.

#include <filesystem>

#include "platform/com/HResult.h"

namespace NPrintShell {
// Prints the PDF on the default printer, `copies` times. E_FAIL when no printer took it.
HRESULT printPdf(const std::filesystem::path& pdf, int copies);
// The user's documents folder; the current folder when there is none.
std::filesystem::path documentsFolder();
}  // namespace NPrintShell
