#pragma once
// Item bodies on their way into a template: HTML cleaned with HTML Tidy, plain text turned into
// HTML. Every function leaves its input as it was when it fails, logs, and never throws.

#include <cstddef>
#include <string>

#include "foundation/QuilString.h"

namespace platform::html {
class CHtmlElement;
}

namespace NUtils {

// Repairs an HTML text into a whole document (UTF-8 through Tidy, output forced on errors).
// An empty or unconvertible text, a severe Tidy error, or a run that asks for far more memory
// than the text could need leaves the text unchanged.
void tidyHTML(std::u16string& text);

// Starts the repair of a text on a thread of its own: the tidyHTML of the same text, soon after,
// takes its result instead of running Tidy itself, and logs what that run found.
void tidyHTMLAhead(std::u16string text);

// Test seam: Tidy's allocations fail once one run would hold more than this many bytes (0 puts
// back the default limit, which grows with the text), as when memory runs out.
void setTidyMemoryLimitForTesting(std::size_t bytes);

// Turns a plain text into HTML: & < > " become entities and the lines (ending at a line feed,
// a carriage return before it dropped) are joined with "<BR>", or with a blank when noBreaks.
// The result is markup: it must not be escaped again.
void plainTextToHTML(std::u16string& text, bool noBreaks);

// Keeps runs of blanks visible: each run becomes blanks alternating with "&nbsp;", starting
// with a plain blank, so a lone blank is untouched and the line can still wrap.
void spacesToNbsp(std::u16string& text);

// Outlook's font of plain-text mail ("TextFontSimple" under the Office version's MailSettings
// key): the face and the size in points. False, both unchanged, when the key or value is
// missing or the record is too short to hold them.
bool GetPlainTextFormatting(quilstring& face, int& size);

// Shows a plain text in an element: escaped, lines broken, blanks kept, in a span with the
// plain-text mail font (Calibri 11 when Outlook has none). Failures are logged.
void setHTMLFromPlainTextToElement(const quilstring& text, platform::html::CHtmlElement element);

}  // namespace NUtils
