#pragma once
// The dialogs of the print template, asked through the user interface: the print dialog
// (printer or file, copies, page range), the page setup, and the preview's toolbar.

#include <filesystem>

#include "engine/Printer.h"

struct PrintDialogAnswer {
  bool toFile = false;
  int copies = 1;
  PrintRange range;
};

// The print dialog. `answer` brings the defaults (the range from the scripting object) and
// takes the choice. A range with From above To shows "The 'From' value cannot be greater than
// the 'To' value." and asks again when `askAgain`, else answers false as a cancel does.
// `pages` is the laid-out page count, 0 when not known yet.
bool askPrintDialog(bool printerAvailable, int pages, bool askAgain, PrintDialogAnswer& answer);

// The page setup: orientation, margins, header and footer. False when cancelled.
bool askPageSetup(PageSettings& settings);

enum class PreviewAction { kPrint, kAttachments, kPageSetup, kClose };
// The preview toolbar over the previewed PDF; the attachments button does nothing when the item
// has no printable attachments (it is offered disabled).
PreviewAction askPreviewAction(const std::filesystem::path& pdf, int pages, bool hasAttachments);

// The text of a range with From above To.
quilstring fromAfterToText();
