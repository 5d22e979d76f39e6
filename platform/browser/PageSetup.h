#pragma once
// The page settings a print is laid out with: paper, orientation, margins, the header and
// footer strings; the default paper; and the template name under which a template's page
// settings are kept.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Export.h"
#include "platform/WinTypes.h"
#include "platform/browser/PrintEngine.h"

namespace platform::browser {

// Inches, portrait.
struct PaperSize {
  double width = 8.5;
  double height = 11.0;
};

inline constexpr PaperSize kLetter{8.5, 11.0};
inline constexpr PaperSize kA4{210.0 / 25.4, 297.0 / 25.4};

struct PageSetup {
  PaperSize paper;
  bool landscape = false;
  PageMargins margins{0.6, 0.6, 0.6, 0.6};
  // What the printer cannot reach at each edge: the header and footer areas start there.
  PageMargins unprintable{0.25, 0.25, 0.25, 0.25};
  std::u16string header;  // Internet Explorer header and footer strings
  std::u16string footer;
};

// The paper of the default CUPS printer, else Letter for US English (1033) and A4 elsewhere;
// without `askPrinter` (every page goes to a folder) the printer is never asked.
QM_PLATFORM_API PaperSize defaultPaperSize(LCID locale, bool askPrinter = true);

// Whether CUPS names a default printer (asked once per process, as for the default paper).
QM_PLATFORM_API bool hasDefaultPrinter();

// The file name without folder and extension of a template's path or file:// address: split at
// either separator, an address percent-decoded (UTF-8), the extension after the last dot dropped.
QM_PLATFORM_API std::u16string templateNameOfAddress(std::u16string_view address);

namespace detail {
// The paper named by the "media" or "PageSize" option of lpoptions' output; none when absent
// or not a size known here.
QM_PLATFORM_API std::optional<PaperSize> paperSizeOfCupsOptions(std::string_view options);
// Starts asking CUPS for the default printer's options in the background (once per process), so
// the first defaultPaperSize need not wait for lpstat.
QM_PLATFORM_API void startCupsQuery();
// Replaces the query of the default printer's options (the output of `lpoptions`, empty when
// there is no default printer); an empty function restores the real query.
QM_PLATFORM_API void setCupsOptionsQueryForTesting(std::function<std::string()> query);
}  // namespace detail

}  // namespace platform::browser
