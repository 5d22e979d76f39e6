#pragma once
// The print template's own page setup in the preview: margins, orientation, header and footer.

#include <string>

#include "platform/Export.h"

namespace platform::ui {

// As the print template's printer object holds them.
struct PageSetupValues {
  long marginTop = 60;  // hundredths of an inch
  long marginBottom = 60;
  long marginLeft = 60;
  long marginRight = 60;
  bool landscape = false;
  std::u16string header;  // header and footer strings with their & codes
  std::u16string footer;
};

// The paper the margins must leave room on, in hundredths of an inch, portrait.
struct PaperSize {
  long width = 850;
  long height = 1100;
};

// Shows the form modally. OK answers true with `values` changed; Cancel,
// closing the form, or no display answers false and leaves them as they were. OK is offered only
// while the margins leave room on the paper in the orientation chosen.
QM_PLATFORM_API bool showPageSetupForm(PageSetupValues& values, PaperSize paper = {});

}  // namespace platform::ui
