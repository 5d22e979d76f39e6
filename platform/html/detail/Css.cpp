#include "platform/html/detail/Css.h"

#include "platform/html/detail/Tree.h"

namespace platform::html::detail {
namespace {

// Index just past the string that opens at `i` (its quote); a newline or the end also ends it.
std::size_t skipString(std::u16string_view s, std::size_t i) {
  const char16_t quote = s[i++];
  while (i < s.size()) {
    const char16_t c = s[i];
    if (c == u'\\' && i + 1 < s.size()) {
      i += 2;
      continue;
    }
    ++i;
    if (c == quote || c == u'\n') break;
  }
  return i;
}

std::u16string stripComments(std::u16string_view s) {
  std::u16string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    const char16_t c = s[i];
    if (c == u'"' || c == u'\'') {
      const std::size_t end = skipString(s, i);
      out.append(s.substr(i, end - i));
      i = end;
    } else if (c == u'/' && i + 1 < s.size() && s[i + 1] == u'*') {
      const std::size_t end = s.find(u"*/", i + 2);
      i = end == std::u16string_view::npos ? s.size() : end + 2;
      out += u' ';
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

// Index of the first of `stops` at bracket depth 0 outside strings, or the text's size.
std::size_t findTop(std::u16string_view s, std::size_t i, std::u16string_view stops) {
  int depth = 0;
  while (i < s.size()) {
    const char16_t c = s[i];
    if (c == u'"' || c == u'\'') {
      i = skipString(s, i);
      continue;
    }
    if (depth == 0 && stops.find(c) != std::u16string_view::npos) return i;
    if (c == u'(' || c == u'[') ++depth;
    if ((c == u')' || c == u']') && depth > 0) --depth;
    ++i;
  }
  return s.size();
}

// Index of the brace that closes the block opening at `open`, or the text's size.
std::size_t blockEnd(std::u16string_view s, std::size_t open) {
  int depth = 0;
  std::size_t i = open;
  while (i < s.size()) {
    const char16_t c = s[i];
    if (c == u'"' || c == u'\'') {
      i = skipString(s, i);
      continue;
    }
    if (c == u'{') ++depth;
    if (c == u'}' && --depth == 0) return i;
    ++i;
  }
  return s.size();
}

std::u16string collapseSpace(std::u16string_view s) {
  std::u16string out;
  bool space = false;
  for (char16_t c : trimSpace(s)) {
    if (isAsciiSpace(c)) {
      space = true;
      continue;
    }
    if (space) out += u' ';
    space = false;
    out += c;
  }
  return out;
}

}  // namespace

std::vector<CssRule> parseStyleSheet(std::u16string_view text) {
  const std::u16string s = stripComments(text);
  std::vector<CssRule> rules;
  std::size_t i = 0;
  while (i < s.size()) {
    if (isAsciiSpace(s[i]) || s[i] == u'}' || s[i] == u';') {
      ++i;
      continue;
    }
    if (s.compare(i, 4, u"<!--") == 0) {
      i += 4;
      continue;
    }
    if (s.compare(i, 3, u"-->") == 0) {
      i += 3;
      continue;
    }
    if (s[i] == u'@') {
      const std::size_t stop = findTop(s, i, u";{");
      i = stop < s.size() && s[stop] == u'{' ? blockEnd(s, stop) + 1 : stop + 1;
      continue;
    }
    const std::size_t open = findTop(s, i, u"{");
    if (open >= s.size()) break;
    const std::size_t close = blockEnd(s, open);
    const std::u16string_view prelude = std::u16string_view(s).substr(i, open - i);
    const std::u16string css =
        writeDeclarations(parseDeclarations(std::u16string_view(s).substr(open + 1, close - open - 1)));
    std::vector<std::u16string> selectors;
    bool valid = true;
    for (std::size_t from = 0; from <= prelude.size();) {
      const std::size_t comma = findTop(prelude, from, u",");
      std::u16string one = collapseSpace(prelude.substr(from, comma - from));
      if (one.empty()) valid = false;
      selectors.push_back(std::move(one));
      from = comma + 1;
    }
    if (valid)
      for (std::u16string& one : selectors) rules.push_back({std::move(one), css});
    i = close + 1;
  }
  return rules;
}

std::vector<CssDeclaration> parseDeclarations(std::u16string_view text) {
  const std::u16string s = stripComments(text);
  const std::u16string_view view(s);
  std::vector<CssDeclaration> out;
  for (std::size_t from = 0; from < view.size();) {
    const std::size_t semi = findTop(view, from, u";");
    const std::u16string_view piece = view.substr(from, semi - from);
    from = semi + 1;
    const std::size_t colon = piece.find(u':');
    if (colon == std::u16string_view::npos) continue;
    const std::u16string_view name = trimSpace(piece.substr(0, colon));
    const std::u16string_view value = trimSpace(piece.substr(colon + 1));
    if (name.empty() || value.empty()) continue;
    out.push_back({asciiLower(name), std::u16string(value)});
  }
  return out;
}

std::u16string writeDeclarations(const std::vector<CssDeclaration>& declarations) {
  std::u16string out;
  for (const CssDeclaration& d : declarations) {
    if (!out.empty()) out += u"; ";
    out += d.name;
    out += u": ";
    out += d.value;
  }
  return out;
}

bool isContainedRuleText(std::u16string_view text, bool selector) {
  if (selector && (trimSpace(text).empty() || trimSpace(text).front() == u'@')) return false;
  for (std::size_t i = 0; i < text.size();) {
    const char16_t c = text[i];
    if (c == u'"' || c == u'\'') {
      const std::size_t end = skipString(text, i);
      if (end > text.size() || text[end - 1] != c || end - i < 2) return false;  // unterminated
      i = end;
      continue;
    }
    if (c == u'{' || c == u'}' || c == u'<' || c == u'\\' || (selector && c == u';')) return false;
    if ((c == u'/' && i + 1 < text.size() && text[i + 1] == u'*') ||
        (c == u'*' && i + 1 < text.size() && text[i + 1] == u'/'))
      return false;
    ++i;
  }
  return true;
}

}  // namespace platform::html::detail
