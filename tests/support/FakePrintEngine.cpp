#include "tests/support/FakePrintEngine.h"

#include <algorithm>

namespace testsupport {

void FakePrintEngine::setAllowedFolders(std::vector<std::filesystem::path> folders) {
  allowedFolders = std::move(folders);
}

HRESULT FakePrintEngine::loadDocument(const std::filesystem::path& file, DWORD) {
  calls.push_back("load " + file.string());
  m_loaded = SUCCEEDED(loadResult);
  return loadResult;
}

void FakePrintEngine::printAhead(const std::filesystem::path& file, const std::string& css,
                                 const platform::browser::PdfSettings& settings) {
  calls.push_back("printAhead " + file.string());
  aheadStyle = css;
  aheadSettings = settings;
}

void FakePrintEngine::printDecorationAhead(const platform::browser::DecorationPage& page,
                                           const platform::browser::PdfSettings&) {
  calls.push_back("decorationAhead");
  aheadDecoration = page.html();
}

HRESULT FakePrintEngine::addStyleSheet(const std::string& css) {
  calls.push_back("style");
  if (!m_loaded) return E_UNEXPECTED;
  styles.push_back(css);
  return S_OK;
}

HRESULT FakePrintEngine::printBody(const platform::browser::PdfSettings& settings, const std::filesystem::path& out) {
  calls.push_back("printBody");
  if (!m_loaded) return E_UNEXPECTED;
  lastSettings = settings;
  if (SUCCEEDED(printResult)) m_pages[out] = bodyPages;
  return printResult;
}

HRESULT FakePrintEngine::measureHeights(const std::vector<std::string>& fragments, double,
                                        std::vector<double>& result) {
  calls.push_back("measure " + std::to_string(fragments.size()));
  result.clear();
  for (std::size_t i = 0; i < fragments.size(); ++i) result.push_back(i < heights.size() ? heights[i] : 0.0);
  return S_OK;
}

HRESULT FakePrintEngine::measureHeightsBeside(const std::vector<std::string>& fragments, double width,
                                              std::vector<double>& result) {
  result.clear();
  if (!besideAllowed) return S_FALSE;
  const HRESULT hr = measureHeights(fragments, width, result);
  calls.back() = "beside " + calls.back();
  return hr;
}

HRESULT FakePrintEngine::printDecoration(const std::string& html, const platform::browser::PdfSettings& settings,
                                         const std::filesystem::path& out) {
  calls.push_back("decoration");
  decorations.push_back(html);
  lastSettings = settings;
  if (SUCCEEDED(printResult)) m_pages[out] = bodyPages;
  return printResult;
}

HRESULT FakePrintEngine::overlay(const std::filesystem::path& body, const std::filesystem::path&,
                                 const std::filesystem::path& out, int fromPage, int toPage) {
  calls.push_back("overlay " + std::to_string(fromPage) + "-" + std::to_string(toPage));
  auto it = m_pages.find(body);
  if (it == m_pages.end()) return E_FAIL;
  const int pages = it->second;
  const int from = std::clamp(fromPage <= 0 ? 1 : fromPage, 1, pages);
  const int to = std::clamp(toPage <= 0 ? pages : toPage, 1, pages);
  if (from > to) return E_INVALIDARG;
  m_pages[out] = to - from + 1;
  return S_OK;
}

HRESULT FakePrintEngine::joinPdfs(const std::vector<std::filesystem::path>& parts, const std::filesystem::path&) {
  calls.push_back("join " + std::to_string(parts.size()));
  return S_OK;
}

HRESULT FakePrintEngine::pageCount(const std::filesystem::path& pdf, int& count) {
  auto it = m_pages.find(pdf);
  count = it == m_pages.end() ? 0 : it->second;
  return it == m_pages.end() ? E_FAIL : S_OK;
}

}  // namespace testsupport
