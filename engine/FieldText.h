#pragma once
// NFieldText: how a field's value becomes page text: the element's FORMAT_STRING applied to it,
// and item text escaped as HTML.

#include "foundation/QuilString.h"

namespace NFieldText {

// The format with its first "%s" replaced by the value and each "%%" turned into "%"; anything
// else ("%d", a second "%s", a lone "%") stays as written. The format is template HTML: neither it
// nor the value is changed otherwise.
quilstring applyFormatString(const quilstring& format, const quilstring& value);

// The text with & < > " written as the numeric references &#38; &#60; &#62; &#34;, which no case
// mapping of the page text can break.
quilstring escapeHTML(const quilstring& text);

}  // namespace NFieldText
