#pragma once
// A print template that takes any document, keeps no settings and "prints" one page of a fake
// PDF: tests override what they watch.

#include <filesystem>
#include <fstream>
#include <vector>

#include "engine/Printer.h"

namespace enginetest {

class CQuietPrintTemplate : public IPrintTemplate {
 public:
  HRESULT open(platform::html::CHtmlDocument&, const std::filesystem::path&, const std::vector<std::filesystem::path>&,
               const quilstring&) override {
    return S_OK;
  }
  PrintRange defaultRange() const override { return {}; }
  PageSettings pageSettings() const override { return {}; }
  void setPageSettings(const PageSettings&) override {}
  HRESULT print(const PrintRange&, const std::filesystem::path& pdf, const std::filesystem::path&, int& pages) override {
    std::ofstream(pdf) << "%PDF-fake";
    pages = 1;
    return S_OK;
  }
  bool hasAttachments() const override { return false; }
  HRESULT showAttachmentsDialog() override { return S_OK; }
  void close() override {}
};

}  // namespace enginetest
