#include "engine/PrintDialog.h"

#include <algorithm>
#include <string>
#include <vector>

#include "engine/quilMarkShellHandler.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Log.h"
#include "platform/system/Text.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/PageSetupForm.h"
#include "platform/ui/PrintDialog.h"
#include "platform/ui/Ui.h"
#include "resources/resource.h"

namespace {

using platform::ui::ChoiceRequest;
using platform::ui::defaultUi;

quilstring caption() {
  quilstring text;
  if (!text.LoadString(NGlobals::moduleInstance(), IDS_LONG_PRODUCT_NAME)) text = u"Quillmark for Outlook";
  return text;
}

std::u16string number(long value) { return platform::system::utf8ToUtf16(std::to_string(value)); }

int choose(const std::u16string& title, const std::u16string& prompt, std::vector<std::u16string> options,
           int defaultIndex) {
  ChoiceRequest request;
  request.owner = GetActiveWindow();
  request.title = title;
  request.prompt = prompt;
  request.options = std::move(options);
  request.defaultIndex = std::clamp(defaultIndex, 0, static_cast<int>(request.options.size()) - 1);
  return defaultUi().choose(request);
}

// A page number among 1..count; -1 on cancel.
int choosePage(const std::u16string& prompt, int count, int current) {
  std::vector<std::u16string> options;
  for (int page = 1; page <= count; ++page) options.push_back(number(page));
  const int index = choose(u"Print", prompt, std::move(options), current - 1);
  return index < 0 ? -1 : index + 1;
}

// GTK's print dialog until it answers one range or is cancelled; a refused range is shown and,
// when `askAgain`, the dialog opens again.
bool askPrintDialogOnDisplay(int pages, bool askAgain, PrintDialogAnswer& answer) {
  platform::ui::PrintRequest request;
  request.pageCount = pages;
  if (answer.range.selected) {
    request.rangeFrom = answer.range.from;
    request.rangeTo = answer.range.to;
  }
  request.paperWidth = answer.paperWidth;
  request.paperHeight = answer.paperHeight;
  request.landscape = answer.landscape;
  if (!answer.fileOffered.empty()) {
    request.printer = "Print to File";
    request.outputPath = answer.fileOffered.string();
  }
  for (;;) {
    const platform::ui::PrintAnswer chosen = platform::ui::showPrintDialog(request);
    if (chosen.cancelled) return false;
    if (chosen.range.status == platform::ui::RangeStatus::kRefused) {
      LOG_INFO(u"The page range %s was refused", platform::system::utf8ToUtf16(chosen.rangeText).c_str());
      MessageBoxW(GetActiveWindow(), fromAfterToText().c_str(), caption().c_str(), MB_OK | MB_ICONEXCLAMATION);
      if (!askAgain) return false;
      request.printer = chosen.printer;
      if (!chosen.printToFile.empty()) request.outputPath = chosen.printToFile;
      continue;
    }
    answer.chosenOnDisplay = true;
    answer.printer = chosen.printer;
    answer.copies = chosen.copies;
    answer.collate = chosen.collate;
    answer.duplex = static_cast<int>(chosen.duplex);
    answer.toFile = !chosen.printToFile.empty();
    answer.file = chosen.printToFile;
    answer.range.selected = chosen.range.status == platform::ui::RangeStatus::kRange;
    if (answer.range.selected) {
      answer.range.from = chosen.range.from;
      // A range open at its end runs to the last page there is.
      answer.range.to = chosen.range.to == platform::ui::RangeChoice::kLastPage && pages > 0 ? pages : chosen.range.to;
    }
    return true;
  }
}

}  // namespace

bool printWindowsShown() { return platform::ui::currentFace() == platform::ui::Face::kGtk; }

quilstring fromAfterToText() { return CquilMarkShellHandler::fromAfterToMessage(); }

bool askPrintDialog(bool printerAvailable, int pages, bool askAgain, PrintDialogAnswer& answer) {
  if (printWindowsShown()) return askPrintDialogOnDisplay(pages, askAgain, answer);
  for (;;) {
    PrintDialogAnswer chosen = answer;
    if (printerAvailable) {
      const int where = choose(u"Print", u"Print to:", {u"The default printer", u"A PDF file"}, answer.toFile ? 1 : 0);
      if (where < 0) return false;
      chosen.toFile = where == 1;
    } else {
      chosen.toFile = true;
    }
    if (!chosen.toFile) {
      std::vector<std::u16string> copies;
      for (int n = 1; n <= 9; ++n) copies.push_back(number(n));
      const int index = choose(u"Print", u"Number of copies:", std::move(copies), answer.copies - 1);
      if (index < 0) return false;
      chosen.copies = index + 1;
    }
    const int which = choose(u"Print", u"Print range:", {u"All pages", u"Pages from ... to ..."},
                             answer.range.selected ? 1 : 0);
    if (which < 0) return false;
    chosen.range.selected = which == 1;
    if (chosen.range.selected) {
      // Without a layout yet the pages are not known: offer enough to reach the defaults.
      const int count = std::max({pages > 0 ? pages : 10, answer.range.from, answer.range.to, 1});
      const int from = choosePage(u"From page:", count, std::clamp(answer.range.from, 1, count));
      if (from < 0) return false;
      const int to = choosePage(u"To page:", count, std::clamp(answer.range.to, 1, count));
      if (to < 0) return false;
      chosen.range.from = from;
      chosen.range.to = to;
      if (from > to) {
        MessageBoxW(GetActiveWindow(), fromAfterToText().c_str(), caption().c_str(), MB_OK | MB_ICONEXCLAMATION);
        if (!askAgain) return false;
        answer.range = chosen.range;
        continue;
      }
    }
    answer = chosen;
    return true;
  }
}

bool askPageSetup(PageSettings& settings) {
  if (printWindowsShown()) {
    platform::ui::PageSetupValues values{settings.marginTop, settings.marginBottom, settings.marginLeft,
                                         settings.marginRight, settings.landscape, settings.header, settings.footer};
    if (!platform::ui::showPageSetupForm(values)) return false;
    settings.marginTop = values.marginTop;
    settings.marginBottom = values.marginBottom;
    settings.marginLeft = values.marginLeft;
    settings.marginRight = values.marginRight;
    settings.landscape = values.landscape;
    settings.header = quilstring(values.header);
    settings.footer = quilstring(values.footer);
    return true;
  }
  PageSettings chosen = settings;
  const int orientation = choose(u"Page Setup", u"Orientation:", {u"Portrait", u"Landscape"}, settings.landscape ? 1 : 0);
  if (orientation < 0) return false;
  chosen.landscape = orientation == 1;

  // Margins in hundredths of an inch; the current value is offered first when it is none of these.
  std::vector<long> margins{25, 50, 60, 75, 100, 150};
  const long current = settings.marginTop;
  if (std::find(margins.begin(), margins.end(), current) == margins.end()) margins.insert(margins.begin(), current);
  std::vector<std::u16string> labels;
  for (long m : margins) labels.push_back(number(m / 100) + u"." + (m % 100 < 10 ? u"0" : u"") + number(m % 100) + u" inch");
  const int margin = choose(u"Page Setup", u"Margins (all four):", labels,
                            static_cast<int>(std::find(margins.begin(), margins.end(), current) - margins.begin()));
  if (margin < 0) return false;
  chosen.marginTop = chosen.marginBottom = chosen.marginLeft = chosen.marginRight = margins[margin];

  // Internet Explorer's own header and footer strings, or none.
  struct Strings {
    const char16_t* label;
    const char16_t* header;
    const char16_t* footer;
  };
  static const Strings kStrings[] = {
      {u"Keep the current header and footer", nullptr, nullptr},
      {u"Title and page numbers; address and date", u"&w&bPage &p of &P", u"&u&b&d"},
      {u"None", u"", u""},
  };
  std::vector<std::u16string> strings;
  for (const Strings& s : kStrings) strings.push_back(s.label);
  const int which = choose(u"Page Setup", u"Header and footer:", std::move(strings), 0);
  if (which < 0) return false;
  if (kStrings[which].header) {
    chosen.header = kStrings[which].header;
    chosen.footer = kStrings[which].footer;
  }
  settings = chosen;
  return true;
}

PreviewAction askPreviewAction(const std::filesystem::path& pdf, int pages, bool hasAttachments) {
  const std::u16string prompt = u"Print preview of " + platform::system::utf8ToUtf16(pdf.string()) + u" (" +
                                number(pages) + (pages == 1 ? u" page)" : u" pages)");
  for (;;) {
    const int index = choose(u"Print Preview", prompt,
                             {u"Print Document (Alt+P)",
                              hasAttachments ? u"Print File Attachments (Alt+A)" : u"Print File Attachments (unavailable)",
                              u"Page Setup (Alt+U)", u"Close Print Preview (Alt+C)"},
                             3);
    switch (index) {
      case 0: return PreviewAction::kPrint;
      case 1:
        if (hasAttachments) return PreviewAction::kAttachments;
        continue;  // a disabled button does nothing
      case 2: return PreviewAction::kPageSetup;
      default: return PreviewAction::kClose;
    }
  }
}
