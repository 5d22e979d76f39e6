#pragma once
// A scripted IPrintEngine for unit tests of the print layout: records every call, answers with
// the results the test set, and keeps page counts of the "PDFs" it makes without writing them.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/browser/PrintEngine.h"

namespace testsupport {

class FakePrintEngine : public platform::browser::IPrintEngine {
 public:
  // What the test sets.
  HRESULT loadResult = S_OK;
  HRESULT printResult = S_OK;
  int bodyPages = 1;                 // pages of each printed body
  std::vector<double> heights;       // answered by measureHeights, one per fragment (0 past the end)
  std::vector<std::string> calls;    // "load <file>", "style", "printBody", "measure <n>", "decoration", "overlay <from>-<to>"
  std::vector<std::string> styles;   // style sheets added
  std::vector<std::string> decorations;  // decoration pages printed
  std::vector<std::filesystem::path> allowedFolders;
  platform::browser::PdfSettings lastSettings;
  // The last print ahead asked for ("printAhead <file>" in calls).
  std::string aheadStyle;
  platform::browser::PdfSettings aheadSettings;
  std::string aheadDecoration;  // the last decoration page printed ahead ("decorationAhead")

  void setAllowedFolders(std::vector<std::filesystem::path> folders) override;
  HRESULT loadDocument(const std::filesystem::path& file, DWORD timeoutMs) override;
  void printAhead(const std::filesystem::path& file, const std::string& css,
                  const platform::browser::PdfSettings& settings) override;
  void printDecorationAhead(const platform::browser::DecorationPage& page,
                            const platform::browser::PdfSettings& settings) override;
  HRESULT addStyleSheet(const std::string& css) override;
  HRESULT printBody(const platform::browser::PdfSettings& settings, const std::filesystem::path& out) override;
  HRESULT measureHeights(const std::vector<std::string>& fragments, double widthInches,
                         std::vector<double>& result) override;
  HRESULT printDecoration(const std::string& html, const platform::browser::PdfSettings& settings,
                          const std::filesystem::path& out) override;
  HRESULT overlay(const std::filesystem::path& body, const std::filesystem::path& decoration,
                  const std::filesystem::path& out, int fromPage, int toPage) override;
  HRESULT pageCount(const std::filesystem::path& pdf, int& count) override;
  // Measures as measureHeights does while `besideAllowed`, else refuses (S_FALSE).
  HRESULT measureHeightsBeside(const std::vector<std::string>& fragments, double widthInches,
                               std::vector<double>& result) override;
  bool besideAllowed = true;
  HRESULT joinPdfs(const std::vector<std::filesystem::path>& parts, const std::filesystem::path& out) override;

 private:
  std::map<std::filesystem::path, int> m_pages;
  bool m_loaded = false;
};

}  // namespace testsupport
