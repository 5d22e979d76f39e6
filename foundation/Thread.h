#pragma once
// Conversation threads: a reply's body cut to its latest response and a number of earlier ones.
// Earlier messages begin at a header line ("From:" of the string table, after quoting marks).

#include <string>
#include <vector>

#include "foundation/QuilString.h"

namespace platform::html {
class CHtmlDocument;
}

namespace NUtils {

// Keeps the lines before the (responses + 1)-th header line, joined with CR LF (a line's own CR
// is dropped); a text with fewer headers stays whole. A negative count counts as 0. Answers
// false, the text unchanged, when an exception stops it.
bool convertTextToThread(std::u16string& text, int responses);

// The same with the characters that may stand before a header (quoting marks, blanks) and the
// header texts given; a header matches exactly, case included.
bool convertTextToThread(std::u16string& text, int responses, const std::u16string& prefixChars,
                         const std::vector<quilstring>& headers);

// The header texts of plain-text bodies, built once per process: the string-table text "From"
// followed by ":" and by " :". Empty when the text is missing from the string table.
const std::vector<quilstring>& threadHeaderTexts();

// Cuts an HTML body before the (responses + 1)-th header element: an element whose text,
// upper-cased, begins with a thread text match after the prefix characters. An element counts
// only when its text starts after the last counted one's, so the nested elements of one header
// count once. A body with fewer headers stays whole. Failures are logged.
void changeBodyToThread(platform::html::CHtmlDocument document, int responses);
void changeBodyToThread(platform::html::CHtmlDocument document, int responses, const std::u16string& prefixChars,
                        const std::vector<quilstring>& matches);

// The characters that may stand before a header, lower-cased.
quilstring threadPrefixChars();

// The header words of HTML bodies, upper-cased: the string-table text "From" by default.
std::vector<quilstring> threadTextMatches();

}  // namespace NUtils
