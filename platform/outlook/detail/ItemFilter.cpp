#include "platform/outlook/ItemFilter.h"

#include <cmath>
#include <stdexcept>

#include "platform/system/Text.h"

namespace platform::outlook {
namespace {

struct Token {
  enum Kind { End, Name, Text, Word, Op, Open, Close } kind = End;
  std::u16string text;
  CItemFilter::Op op = CItemFilter::Op::Equal;
};

bool isSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

std::string narrow(std::u16string_view text) { return platform::system::utf16ToUtf8(text); }

}  // namespace

class CItemFilterParser {
 public:
  CItemFilterParser(std::u16string_view text, CItemFilter& out) : m_text(text), m_out(out) {}

  bool run(std::u16string& error) {
    if (m_text.size() > CItemFilter::kMaxLength) return fail(error, u"The condition is too long.");
    if (!next(error)) return false;
    const int root = parseOr(0, error);
    if (root < 0) return false;
    if (m_token.kind != Token::End) return fail(error, u"Cannot parse condition: unexpected text.");
    m_out.m_root = root;
    return true;
  }

 private:
  bool fail(std::u16string& error, std::u16string_view message) {
    if (error.empty()) error = message;
    return false;
  }

  bool next(std::u16string& error) {
    while (m_pos < m_text.size() && isSpace(m_text[m_pos])) ++m_pos;
    m_token = Token{};
    if (m_pos >= m_text.size()) return true;
    const char16_t c = m_text[m_pos];
    if (c == u'[') {
      const std::size_t close = m_text.find(u']', m_pos + 1);
      if (close == std::u16string_view::npos) return fail(error, u"Cannot parse condition: missing ].");
      m_token.kind = Token::Name;
      m_token.text = std::u16string(m_text.substr(m_pos + 1, close - m_pos - 1));
      m_pos = close + 1;
      if (m_token.text.empty()) return fail(error, u"Cannot parse condition: empty property name.");
      return true;
    }
    if (c == u'\'' || c == u'"') {
      // A quote inside the value is written twice.
      m_token.kind = Token::Text;
      ++m_pos;
      for (;;) {
        if (m_pos >= m_text.size()) return fail(error, u"Cannot parse condition: unterminated text.");
        if (m_text[m_pos] == c) {
          if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == c) {
            m_token.text += c;
            m_pos += 2;
            continue;
          }
          ++m_pos;
          return true;
        }
        m_token.text += m_text[m_pos++];
      }
    }
    if (c == u'(' || c == u')') {
      m_token.kind = c == u'(' ? Token::Open : Token::Close;
      ++m_pos;
      return true;
    }
    if (c == u'=' || c == u'<' || c == u'>') {
      m_token.kind = Token::Op;
      const char16_t d = m_pos + 1 < m_text.size() ? m_text[m_pos + 1] : 0;
      using Op = CItemFilter::Op;
      if (c == u'=') {
        m_token.op = Op::Equal;
        m_pos += 1;
      } else if (c == u'<' && d == u'>') {
        m_token.op = Op::NotEqual;
        m_pos += 2;
      } else if (d == u'=') {
        m_token.op = c == u'<' ? Op::LessEqual : Op::GreaterEqual;
        m_pos += 2;
      } else {
        m_token.op = c == u'<' ? Op::Less : Op::Greater;
        m_pos += 1;
      }
      return true;
    }
    // A bare word: And, Or, Not, a number, True or False.
    const std::size_t start = m_pos;
    while (m_pos < m_text.size() && !isSpace(m_text[m_pos]) && m_text[m_pos] != u'(' && m_text[m_pos] != u')' &&
           m_text[m_pos] != u'=' && m_text[m_pos] != u'<' && m_text[m_pos] != u'>' && m_text[m_pos] != u'[' &&
           m_text[m_pos] != u'\'' && m_text[m_pos] != u'"')
      ++m_pos;
    m_token.kind = Token::Word;
    m_token.text = std::u16string(m_text.substr(start, m_pos - start));
    return true;
  }

  bool isWord(std::u16string_view word) const { return m_token.kind == Token::Word && platform::system::lowerCase(m_token.text) == word; }

  int add(CItemFilter::Node node) {
    m_out.m_nodes.push_back(std::move(node));
    return static_cast<int>(m_out.m_nodes.size()) - 1;
  }

  int parseOr(int depth, std::u16string& error) {
    const int first = parseAnd(depth, error);
    if (first < 0 || !isWord(u"or")) return first;
    CItemFilter::Node chain{CItemFilter::Node::Or, {first}};
    while (isWord(u"or")) {
      if (!next(error)) return -1;
      const int right = parseAnd(depth, error);
      if (right < 0) return -1;
      chain.children.push_back(right);
    }
    return add(std::move(chain));
  }

  int parseAnd(int depth, std::u16string& error) {
    const int first = parseUnary(depth, error);
    if (first < 0 || !isWord(u"and")) return first;
    CItemFilter::Node chain{CItemFilter::Node::And, {first}};
    while (isWord(u"and")) {
      if (!next(error)) return -1;
      const int right = parseUnary(depth, error);
      if (right < 0) return -1;
      chain.children.push_back(right);
    }
    return add(std::move(chain));
  }

  int parseUnary(int depth, std::u16string& error) {
    if (depth >= CItemFilter::kMaxDepth) return fail(error, u"The condition is nested too deeply."), -1;
    if (isWord(u"not")) {
      if (!next(error)) return -1;
      const int inner = parseUnary(depth + 1, error);
      if (inner < 0) return -1;
      return add({CItemFilter::Node::Not, {inner}});
    }
    if (m_token.kind == Token::Open) {
      if (!next(error)) return -1;
      const int inner = parseOr(depth + 1, error);
      if (inner < 0) return -1;
      if (m_token.kind != Token::Close) return fail(error, u"Cannot parse condition: missing )."), -1;
      if (!next(error)) return -1;
      return inner;
    }
    if (m_token.kind != Token::Name) return fail(error, u"Cannot parse condition: a [property] is expected."), -1;
    CItemFilter::Comparison comparison;
    comparison.property = m_token.text;
    if (!next(error)) return -1;
    if (m_token.kind != Token::Op) return fail(error, u"Cannot parse condition: an operator is expected."), -1;
    comparison.op = m_token.op;
    if (!next(error)) return -1;
    if (m_token.kind != Token::Text && (m_token.kind != Token::Word || isWord(u"and") || isWord(u"or") ||
                                        isWord(u"not")))
      return fail(error, u"Cannot parse condition: a value is expected."), -1;
    comparison.value = m_token.text;
    if (!next(error)) return -1;
    m_out.m_comparisons.push_back(std::move(comparison));
    return add({CItemFilter::Node::Compare, {}, static_cast<int>(m_out.m_comparisons.size()) - 1});
  }

  std::u16string_view m_text;
  CItemFilter& m_out;
  std::size_t m_pos = 0;
  Token m_token;
};

std::optional<CItemFilter> CItemFilter::parse(std::u16string_view text, std::u16string* error) {
  CItemFilter filter;
  std::u16string reason;
  CItemFilterParser parser(text, filter);
  if (!parser.run(reason)) {
    if (error) *error = reason;
    return std::nullopt;
  }
  return filter;
}

bool CItemFilter::matches(const Getter& get) const {
  if (m_root < 0) return false;
  return eval(m_root, get);
}

namespace {

template <class T>
bool compare(const T& a, const T& b, CItemFilter::Op op) {
  switch (op) {
    case CItemFilter::Op::Equal: return a == b;
    case CItemFilter::Op::NotEqual: return a != b;
    case CItemFilter::Op::Less: return a < b;
    case CItemFilter::Op::LessEqual: return a <= b;
    case CItemFilter::Op::Greater: return a > b;
    case CItemFilter::Op::GreaterEqual: return a >= b;
  }
  return false;
}

}  // namespace

bool CItemFilter::eval(int index, const Getter& get) const {
  const Node& node = m_nodes[index];
  switch (node.kind) {
    case Node::And:
      for (int child : node.children)
        if (!eval(child, get)) return false;
      return true;
    case Node::Or:
      for (int child : node.children)
        if (eval(child, get)) return true;
      return false;
    case Node::Not: return !eval(node.children.front(), get);
    case Node::Compare: break;
  }
  const Comparison& c = m_comparisons[node.comparison];
  CComVariant value;
  if (!get(c.property, value))
    throw std::runtime_error("The property \"" + narrow(c.property) + "\" in the condition is not valid.");
  switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL: return compare(std::u16string(), platform::system::lowerCase(c.value), c.op);
    case VT_BSTR:
      return compare(platform::system::lowerCase(std::u16string_view(value.bstrVal ? value.bstrVal : u"", SysStringLen(value.bstrVal))),
                     platform::system::lowerCase(c.value), c.op);
    default: break;
  }
  CComVariant literal(std::u16string_view(c.value));
  const VARTYPE type = value.vt == VT_I2 ? VARTYPE(VT_I4) : value.vt;
  if (FAILED(literal.ChangeType(type)))
    throw std::runtime_error("Type mismatch in the condition on \"" + narrow(c.property) + "\".");
  switch (type) {
    case VT_I4: return compare(value.vt == VT_I2 ? LONG(value.iVal) : value.lVal, literal.lVal, c.op);
    case VT_BOOL: return compare(value.boolVal != 0, literal.boolVal != 0, c.op);
    case VT_R8: return compare(value.dblVal, literal.dblVal, c.op);
    case VT_R4: return compare(value.fltVal, literal.fltVal, c.op);
    case VT_DATE:
      // Outlook compares times to the minute.
      return compare(std::llround(value.date * 1440.0), std::llround(literal.date * 1440.0), c.op);
    case VT_CY: return compare(value.cyVal.int64, literal.cyVal.int64, c.op);
    default: throw std::runtime_error("The property \"" + narrow(c.property) + "\" cannot be compared.");
  }
}

}  // namespace platform::outlook
