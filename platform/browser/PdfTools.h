#pragma once
// PDF page counting, overlay and page selection (libqpdf, kept out of this header).

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/Export.h"
#include "platform/WinTypes.h"

namespace platform::browser {

// A PDF to read: its bytes where they are held in memory, else its file (which names it either
// way). Nothing at all for neither.
struct PdfInput {
  PdfInput() = default;
  PdfInput(std::filesystem::path f) : file(std::move(f)) {}  // NOLINT: a file is an input
  PdfInput(std::filesystem::path f, std::shared_ptr<const std::string> b) : file(std::move(f)), bytes(std::move(b)) {}
  bool empty() const { return file.empty() && !bytes; }

  std::filesystem::path file;
  std::shared_ptr<const std::string> bytes;
};

// S_OK and the page count; E_FAIL for a file that is missing or not a readable PDF.
QM_PLATFORM_API HRESULT pdfPageCount(const PdfInput& pdf, int& count);

// Lays page i of `decoration` over page i of `body` (an empty decoration overlays nothing)
// and keeps pages fromPage..toPage of the result, clamped to the body's pages; fromPage 0 means
// the first page and toPage 0 the last. E_INVALIDARG when fromPage > toPage after clamping.
QM_PLATFORM_API HRESULT overlayPdf(const PdfInput& body, const PdfInput& decoration, const std::filesystem::path& out,
                                   int fromPage, int toPage);

// Copies a finished PDF to `out`, which appears only once complete and synced. E_FAIL (reported)
// when it cannot be read or written.
// The pages of `parts`, in order, into `out` (a layout's intermediate file).
QM_PLATFORM_API HRESULT joinPdfs(const std::vector<std::filesystem::path>& parts, const std::filesystem::path& out);
// The pages of `pdf` `copies` times into `out`: the whole document again and again when
// `collate`, else each page its copies times before the next.
QM_PLATFORM_API HRESULT copiesOfPdf(const std::filesystem::path& pdf, const std::filesystem::path& out, int copies,
                                    bool collate);
QM_PLATFORM_API HRESULT copyPdf(const std::filesystem::path& from, const std::filesystem::path& out);

}  // namespace platform::browser
