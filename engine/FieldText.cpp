#include "engine/FieldText.h"

namespace NFieldText {

quilstring applyFormatString(const quilstring& format, const quilstring& value) {
  quilstring out;
  out.reserve(format.size() + value.size());
  bool valuePlaced = false;
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char16_t c = format[i];
    if (c == u'%' && i + 1 < format.size()) {
      const char16_t next = format[i + 1];
      if (next == u'%') {
        out += u'%';
        ++i;
        continue;
      }
      if (next == u's' && !valuePlaced) {
        out += value;
        valuePlaced = true;
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

quilstring escapeHTML(const quilstring& text) {
  quilstring out;
  out.reserve(text.size());
  for (const char16_t c : text) {
    switch (c) {
      case u'&': out += u"&#38;"; break;
      case u'<': out += u"&#60;"; break;
      case u'>': out += u"&#62;"; break;
      case u'"': out += u"&#34;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace NFieldText
