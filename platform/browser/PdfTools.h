#pragma once
// PDF page counting, overlay and page selection (libqpdf, kept out of this header).

#include <filesystem>
#include <vector>

#include "platform/Export.h"
#include "platform/WinTypes.h"

namespace platform::browser {

// S_OK and the page count; E_FAIL for a file that is missing or not a readable PDF.
QM_PLATFORM_API HRESULT pdfPageCount(const std::filesystem::path& pdf, int& count);

// Lays page i of `decoration` over page i of `body` (an empty decoration path overlays nothing)
// and keeps pages fromPage..toPage of the result, clamped to the body's pages; fromPage 0 means
// the first page and toPage 0 the last. E_INVALIDARG when fromPage > toPage after clamping.
QM_PLATFORM_API HRESULT overlayPdf(const std::filesystem::path& body, const std::filesystem::path& decoration,
                                   const std::filesystem::path& out, int fromPage, int toPage);

// Copies a finished PDF to `out`, which appears only once complete and synced. E_FAIL (reported)
// when it cannot be read or written.
// The pages of `parts`, in order, into `out` (a layout's intermediate file).
QM_PLATFORM_API HRESULT joinPdfs(const std::vector<std::filesystem::path>& parts, const std::filesystem::path& out);
QM_PLATFORM_API HRESULT copyPdf(const std::filesystem::path& from, const std::filesystem::path& out);

}  // namespace platform::browser
