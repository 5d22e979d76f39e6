#pragma once
// Item bodies on their way into a template: HTML cleaned with HTML Tidy, plain text turned into
// HTML. Every function leaves its input as it was when it fails, logs, and never throws.

#include <cstddef>
#include <string>

namespace NUtils {

// Repairs an HTML text into a whole document (UTF-8 through Tidy, output forced on errors).
// An empty or unconvertible text, or a severe Tidy error, leaves the text unchanged.
void tidyHTML(std::u16string& text);

// Test seam: Tidy's allocations fail once one run has asked for more than this many bytes
// (0, the default, for no limit), as they would when memory runs out.
void setTidyMemoryLimitForTesting(std::size_t bytes);

// Turns a plain text into HTML: & < > " become entities and the lines (ending at a line feed,
// a carriage return before it dropped) are joined with "<BR>", or with a blank when noBreaks.
// The result is markup: it must not be escaped again.
void plainTextToHTML(std::u16string& text, bool noBreaks);

// Keeps runs of blanks visible: each run becomes blanks alternating with "&nbsp;", starting
// with a plain blank, so a lone blank is untouched and the line can still wrap.
void spacesToNbsp(std::u16string& text);

}  // namespace NUtils
