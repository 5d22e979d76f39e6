#include "platform/browser/PdfTools.h"

// The qpdf 11 headers warn unless the PointerHolder transition level is chosen.
#define POINTERHOLDER_TRANSITION 4

#include <algorithm>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <memory>
#include <string>

#include <qpdf/Buffer.hh>
#include <qpdf/Pl_String.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFJob.hh>
#include <qpdf/QPDFLogger.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include "platform/browser/OutputFile.h"
#include "platform/com/HResult.h"
#include "platform/system/Diagnostics.h"

namespace platform::browser {

namespace {

constexpr const char* kWhere = "pdf";

// A PDF made in memory written to `out`, every write checked: qpdf does not notice a write that
// fails when its file is flushed (a full disk).
HRESULT writeWhole(const std::string& made, const std::filesystem::path& out) {
  detail::COutputFile file(out);
  return file.write(made) && file.commit() ? S_OK : E_FAIL;
}

// Runs a qpdf job configured by `configure` (its output "-") and writes what it made into `out`.
// qpdf does not notice a write that fails when its file is flushed (a full disk): it writes into
// memory, and the file is written from there with every write checked. Its messages would go to
// the process's stdout and stderr; the answer is the result. `failure` names what failed.
HRESULT runIntoFile(const std::function<void(QPDFJob::Config&)>& configure, const std::filesystem::path& out,
                    const std::string& failure) {
  std::string made;
  try {
    QPDFJob job;
    auto logger = QPDFLogger::create();
    logger->setInfo(logger->discard());
    logger->setWarn(logger->discard());
    logger->setError(logger->discard());
    logger->setSave(std::make_shared<Pl_String>("qpdf output", nullptr, made), false);
    job.setLogger(logger);
    auto config = job.config();
    configure(*config);
    // The browser's streams are compressed already; decoding and compressing them again would
    // cost more than the rest of the job.
    config->streamData("preserve");
    config->outputFile("-");
    config->checkConfiguration();
    job.run();
    if (job.getExitCode() == QPDFJob::EXIT_ERROR) {
      diag::error(kWhere, failure);
      return E_FAIL;
    }
  } catch (const std::exception& e) {
    diag::error(kWhere, failure + ": " + e.what());
    return E_FAIL;
  }
  return writeWhole(made, out);
}

// What failure messages call a PDF.
std::string nameOf(const PdfInput& pdf) { return pdf.file.empty() ? std::string("a PDF in memory") : pdf.file.string(); }

// Opens `pdf` from its bytes in memory, else from its file read whole into `held` (qpdf reading
// a file itself seeks before nearly every read); what is read must outlive `q`.
void openWhole(QPDF& q, const PdfInput& pdf, std::string& held) {
  q.setSuppressWarnings(true);
  const std::string name = nameOf(pdf);
  if (pdf.bytes) return q.processMemoryFile(name.c_str(), pdf.bytes->data(), pdf.bytes->size());
  std::ifstream in(pdf.file, std::ios::binary);
  std::error_code ec;
  const auto size = std::filesystem::file_size(pdf.file, ec);
  if (!in || ec) throw std::runtime_error("cannot open it");
  held.resize(size);
  if (!in.read(held.data(), static_cast<std::streamsize>(size)) || in.peek() != EOF)
    throw std::runtime_error("it changed while being read");
  q.processMemoryFile(name.c_str(), held.data(), held.size());
}

}  // namespace

HRESULT pdfPageCount(const PdfInput& pdf, int& count) {
  count = 0;
  try {
    QPDF q;
    std::string held;
    openWhole(q, pdf, held);
    count = static_cast<int>(QPDFPageDocumentHelper(q).getAllPages().size());
    return S_OK;
  } catch (const std::exception& e) {
    diag::error(kWhere, "cannot read " + nameOf(pdf) + ": " + e.what());
    return E_FAIL;
  }
}


HRESULT overlayPdf(const PdfInput& body, const PdfInput& decoration, const std::filesystem::path& out, int fromPage,
                   int toPage) {
  std::string made;
  // What failed, as the reason says it.
  std::string failing = "cannot read " + nameOf(body);
  try {
    QPDF pdf;
    std::string bodyHeld;
    openWhole(pdf, body, bodyHeld);
    failing = "qpdf could not lay " + nameOf(decoration) + " over " + nameOf(body) + " into " + out.string();
    QPDFPageDocumentHelper document(pdf);
    const std::vector<QPDFPageObjectHelper> pages = document.getAllPages();
    const int count = static_cast<int>(pages.size());
    if (count < 1) {
      diag::error(kWhere, nameOf(body) + " has no pages");
      return E_FAIL;
    }
    const int from = std::clamp(fromPage <= 0 ? 1 : fromPage, 1, count);
    const int to = std::clamp(toPage <= 0 ? count : toPage, 1, count);
    if (from > to) return E_INVALIDARG;
    QPDF over;
    std::string overHeld;
    std::vector<QPDFPageObjectHelper> overPages;
    if (!decoration.empty()) {
      openWhole(over, decoration, overHeld);
      overPages = QPDFPageDocumentHelper(over).getAllPages();
    }
    for (int i = 0; i < count; ++i) {
      QPDFPageObjectHelper page = pages[static_cast<std::size_t>(i)];
      if (i + 1 < from || i + 1 > to) {
        document.removePage(page);
        continue;
      }
      if (static_cast<std::size_t>(i) >= overPages.size()) continue;
      // The decoration page as a form laid over the page's own content, which keeps its state to
      // itself.
      QPDFObjectHandle form = pdf.copyForeignObject(overPages[static_cast<std::size_t>(i)].getFormXObjectForPage());
      QPDFObjectHandle resources = page.getAttribute("/Resources", true);
      if (!resources.isDictionary()) {
        resources = QPDFObjectHandle::newDictionary();
        page.getObjectHandle().replaceKey("/Resources", resources);
      }
      QPDFObjectHandle xobjects = resources.getKey("/XObject");
      if (!xobjects.isDictionary()) {
        xobjects = QPDFObjectHandle::newDictionary();
        resources.replaceKey("/XObject", xobjects);
      }
      int suffix = 0;
      const std::string name = resources.getUniqueResourceName("/Fx", suffix);
      xobjects.replaceKey(name, form);
      const std::string placed = page.placeFormXObject(form, name, page.getTrimBox().getArrayAsRectangle());
      page.addPageContents(QPDFObjectHandle::newStream(&pdf, "q\n"), true);
      page.addPageContents(QPDFObjectHandle::newStream(&pdf, "\nQ\nq\n" + placed + "\nQ\n"), false);
    }
    // The browser's streams are compressed already; decoding and compressing them again would
    // cost more than the rest of the work.
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    writer.setStreamDataMode(qpdf_s_preserve);
    writer.write();
    const std::shared_ptr<Buffer> buffer = writer.getBufferSharedPointer();
    made.assign(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
  } catch (const std::exception& e) {
    diag::error(kWhere, failing + ": " + e.what());
    return E_FAIL;
  }
  return writeWhole(made, out);
}

HRESULT joinPdfs(const std::vector<std::filesystem::path>& parts, const std::filesystem::path& out) {
  if (parts.empty()) return E_INVALIDARG;
  return runIntoFile(
      [&](QPDFJob::Config& config) {
        config.emptyInput();
        auto pages = config.pages();
        for (const auto& part : parts) pages->pageSpec(part.string(), "1-z");
        pages->endPages();
      },
      out, "qpdf could not join the pages into " + out.string());
}

HRESULT copiesOfPdf(const std::filesystem::path& pdf, const std::filesystem::path& out, int copies, bool collate) {
  int count = 0;
  if (copies < 1 || FAILED(pdfPageCount(pdf, count))) return E_FAIL;
  if (count < 1) {
    diag::error(kWhere, pdf.string() + " has no pages");
    return E_FAIL;
  }
  return runIntoFile(
      [&](QPDFJob::Config& config) {
        config.emptyInput();
        auto pages = config.pages();
        if (collate) {
          for (int c = 0; c < copies; ++c) pages->pageSpec(pdf.string(), "1-z");
        } else {
          std::string each;
          for (int page = 1; page <= count; ++page)
            for (int c = 0; c < copies; ++c) each += (each.empty() ? "" : ",") + std::to_string(page);
          pages->pageSpec(pdf.string(), each);
        }
        pages->endPages();
      },
      out, "qpdf could not make " + std::to_string(copies) + " copies of " + pdf.string() + " in " + out.string());
}

HRESULT copyPdf(const std::filesystem::path& from, const std::filesystem::path& out) {
  return detail::copyFileWhole(from, out) ? S_OK : E_FAIL;
}

}  // namespace platform::browser
