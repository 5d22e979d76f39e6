#pragma once
// The dialogs of the print template: with a display, GTK's print dialog and the page setup form;
// without one, the same questions through the user interface's prompts (terminal or scripted):
// the print dialog (printer or file, copies, page range), the page setup, and the preview's toolbar.

#include <filesystem>
#include <string>

#include "engine/Printer.h"

struct PrintDialogAnswer {
  bool toFile = false;
  int copies = 1;
  PrintRange range;
  // Chosen in the print dialog of a display: the printer, collation and duplex, and the file
  // "Print to File" writes (set: written there and not printed). `fileOffered` is what the
  // dialog offers at first; with it, the dialog starts on "Print to File".
  std::string printer;
  bool collate = false;
  int duplex = 0;  // 0 none, 1 long edge, 2 short edge
  std::filesystem::path file;
  std::filesystem::path fileOffered;
  bool chosenOnDisplay = false;  // the answer came from the display's dialog
  // The paper the pages are laid out on (inches, portrait; 0 not known) and its orientation,
  // which the display's dialog shows.
  double paperWidth = 0.0;
  double paperHeight = 0.0;
  bool landscape = false;
};

// Whether the print-time windows show on a display (the desktop's GTK face is up).
bool printWindowsShown();

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
