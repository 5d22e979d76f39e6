#include "platform/html/detail/Parser.h"

#include <gumbo.h>

#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "platform/com/HResult.h"
#include "platform/html/HtmlDocument.h"
#include "platform/system/Text.h"

namespace platform::html::detail {
namespace {

std::atomic<long long> g_documentParses{0};
std::atomic<long long> g_fragmentParses{0};

using platform::system::utf8ToUtf16;

// ---- Input preparation -------------------------------------------------------------------

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool inSet(std::string_view name, std::initializer_list<std::string_view> set) {
  return std::find(set.begin(), set.end(), name) != set.end();
}

// Elements that never hold children, or that the tree builder closes when a sibling of the same
// kind opens: they never deepen the tree on their own.
bool neverNests(std::string_view n) {
  return inSet(n, {"area", "base", "basefont", "bgsound", "br", "col", "embed", "frame", "hr", "image", "img",
                   "input", "keygen", "link", "meta", "param", "source", "track", "wbr", "p", "li", "dt", "dd",
                   "option", "optgroup", "tr", "td", "th", "tbody", "thead", "tfoot", "colgroup", "caption",
                   "rb", "rt", "rp", "rtc", "html", "head", "body", "a", "nobr", "button", "form"});
}

bool isRawText(std::string_view n) {
  return inSet(n, {"script", "style", "xmp", "iframe", "noembed", "noframes", "textarea", "title"});
}

class Scanner {
 public:
  explicit Scanner(const std::string& in) : m_in(in), m_n(in.size()) { m_out.reserve(m_n + 1); }

  std::string run() {
    std::size_t i = 0;
    while (i < m_n) {
      const std::size_t lt = m_in.find('<', i);
      if (lt == std::string::npos) {
        copy(i, m_n);
        break;
      }
      copy(i, lt);
      i = lt;
      const char next = i + 1 < m_n ? m_in[i + 1] : '\0';
      if (m_in.compare(i, 4, "<!--") == 0) {
        i = copyTo(i, commentEnd(i + 4));
      } else if (next == '!' || next == '?') {
        const std::size_t gt = m_in.find('>', i);
        i = copyTo(i, gt == std::string::npos ? m_n : gt + 1);
      } else if (next == '/' && i + 2 < m_n && isAlpha(m_in[i + 2])) {
        i = endTag(i);
      } else if (isAlpha(next)) {
        i = startTag(i);
      } else {
        m_out += '<';
        ++i;
      }
    }
    return std::move(m_out);
  }

 private:
  struct Tag {
    std::size_t nameEnd = 0;
    std::vector<std::size_t> attrEnds;  // where each attribute ends
    std::size_t end = 0;                // just past '>'
    bool selfClosing = false;
    bool eof = false;
  };

  void copy(std::size_t from, std::size_t to) { m_out.append(m_in, from, to - from); }
  std::size_t copyTo(std::size_t from, std::size_t to) {
    copy(from, to);
    return to;
  }

  std::size_t commentEnd(std::size_t p) const {
    if (p < m_n && m_in[p] == '>') return p + 1;
    if (m_in.compare(p, 2, "->") == 0) return p + 2;
    for (;;) {
      p = m_in.find("--", p);
      if (p == std::string::npos) return m_n;
      if (p + 2 < m_n && m_in[p + 2] == '>') return p + 3;
      if (m_in.compare(p + 2, 2, "!>") == 0) return p + 4;
      ++p;
    }
  }

  // The tokenizer's reading of a tag from its name on: attributes, quotes, the closing '>'.
  Tag readTag(std::size_t nameStart) const {
    Tag t;
    std::size_t p = nameStart;
    while (p < m_n && !isSpace(m_in[p]) && m_in[p] != '/' && m_in[p] != '>') ++p;
    t.nameEnd = p;
    for (;;) {
      while (p < m_n && (isSpace(m_in[p]) || m_in[p] == '/')) {
        t.selfClosing = m_in[p] == '/' && p + 1 < m_n && m_in[p + 1] == '>';
        ++p;
      }
      if (p >= m_n) {
        t.eof = true;
        return t;
      }
      if (m_in[p] == '>') {
        t.end = p + 1;
        return t;
      }
      t.selfClosing = false;
      ++p;  // the first character of a name may be anything, '=' included
      while (p < m_n && !isSpace(m_in[p]) && m_in[p] != '/' && m_in[p] != '>' && m_in[p] != '=') ++p;
      std::size_t q = p;
      while (q < m_n && isSpace(m_in[q])) ++q;
      if (q < m_n && m_in[q] == '=') {
        ++q;
        while (q < m_n && isSpace(m_in[q])) ++q;
        if (q < m_n && (m_in[q] == '"' || m_in[q] == '\'')) {
          const std::size_t close = m_in.find(m_in[q], q + 1);
          if (close == std::string::npos) {
            t.eof = true;
            return t;
          }
          p = close + 1;
        } else {
          while (q < m_n && !isSpace(m_in[q]) && m_in[q] != '>') ++q;
          p = q;
        }
      }
      t.attrEnds.push_back(p);
    }
  }

  std::string nameOf(std::size_t from, std::size_t to) const {
    std::string name(m_in, from, to - from);
    for (char& c : name) c = lower(c);
    return name;
  }

  std::size_t startTag(std::size_t i) {
    const Tag t = readTag(i + 1);
    if (t.eof) return copyTo(i, m_n);  // the parser drops a tag cut off by the end
    const std::string name = nameOf(i + 1, t.nameEnd);
    const bool foreignRoot = name == "svg" || name == "math";
    const bool nests = !neverNests(name) && !(t.selfClosing && (m_foreign > 0 || foreignRoot));
    if (nests && m_stack.size() >= kMaxOpenElements) return t.end;  // too deep: left out
    if (t.attrEnds.size() > kMaxAttributes) {
      copy(i, t.attrEnds[kMaxAttributes - 1]);
      m_out += t.selfClosing ? "/>" : ">";
    } else {
      copy(i, t.end);
    }
    if (nests) {
      m_stack.push_back(name);
      ++m_open[name];
      if (foreignRoot) ++m_foreign;
    }
    if (m_foreign > 0) return t.end;
    if (name == "plaintext") return copyTo(t.end, m_n);
    if (isRawText(name)) return copyTo(t.end, rawTextEnd(t.end, name));
    return t.end;
  }

  std::size_t rawTextEnd(std::size_t p, const std::string& name) const {
    for (;;) {
      p = m_in.find("</", p);
      if (p == std::string::npos) return m_n;
      std::size_t k = 0;
      while (k < name.size() && p + 2 + k < m_n && lower(m_in[p + 2 + k]) == name[k]) ++k;
      const std::size_t after = p + 2 + k;
      if (k == name.size() && (after >= m_n || isSpace(m_in[after]) || m_in[after] == '/' || m_in[after] == '>'))
        return p;
      p += 2;
    }
  }

  std::size_t endTag(std::size_t i) {
    const Tag t = readTag(i + 2);
    if (t.eof) return copyTo(i, m_n);
    const std::string name = nameOf(i + 2, t.nameEnd);
    auto found = m_open.find(name);
    if (found != m_open.end() && found->second > 0) {
      for (;;) {
        const std::string top = std::move(m_stack.back());
        m_stack.pop_back();
        --m_open[top];
        if (top == "svg" || top == "math") --m_foreign;
        if (top == name) break;
      }
    }
    return copyTo(i, t.end);
  }

  const std::string& m_in;
  const std::size_t m_n;
  std::string m_out;
  std::vector<std::string> m_stack;
  std::unordered_map<std::string, int> m_open;
  int m_foreign = 0;
};

// ---- The parse under a memory budget --------------------------------------------------------

// Every allocation of one parse, so that a parse over budget can be abandoned (by a jump out of
// the allocator, through the parser's C frames only) and all of its memory freed; this also
// frees what the parser itself would leak.
class ParseArena {
 public:
  explicit ParseArena(std::size_t budget) : m_budget(budget) { m_head.prev = m_head.next = &m_head; }
  ~ParseArena() {
    while (m_head.next != &m_head) {
      Header* h = m_head.next;
      unlink(h);
      std::free(h);
    }
  }
  ParseArena(const ParseArena&) = delete;
  ParseArena& operator=(const ParseArena&) = delete;

  static void* allocate(void* self, std::size_t size) {
    auto* arena = static_cast<ParseArena*>(self);
    if (size > arena->m_budget - arena->m_live) std::longjmp(arena->m_jump, 1);
    auto* h = static_cast<Header*>(std::malloc(sizeof(Header) + size));
    if (!h) std::longjmp(arena->m_jump, 1);
    h->size = size;
    h->prev = &arena->m_head;
    h->next = arena->m_head.next;
    h->next->prev = h;
    arena->m_head.next = h;
    arena->m_live += size;
    return h + 1;
  }

  static void deallocate(void* self, void* p) {
    if (!p) return;
    auto* arena = static_cast<ParseArena*>(self);
    Header* h = static_cast<Header*>(p) - 1;
    arena->m_live -= h->size;
    unlink(h);
    std::free(h);
  }

  std::jmp_buf m_jump;

 private:
  struct alignas(16) Header {
    Header* prev;
    Header* next;
    std::size_t size;
  };
  static void unlink(Header* h) {
    h->prev->next = h->next;
    h->next->prev = h->prev;
  }

  Header m_head{};
  std::size_t m_budget;
  std::size_t m_live = 0;
};

// Memory for one parse: ordinary markup needs a small multiple of its size; what needs more is
// an amplification (each text run re-opening hundreds of formatting elements).
std::size_t budgetFor(std::size_t inputBytes) {
  const std::size_t budget = 64u * 1024u * 1024u + 40u * inputBytes;
  return std::min<std::size_t>(budget, 768u * 1024u * 1024u);
}

// Nothing with a destructor lives in this frame: the allocator may jump back into it.
GumboOutput* guardedParse(ParseArena& arena, const GumboOptions* options, const std::string& input) {
  if (setjmp(arena.m_jump) != 0) return nullptr;
  return gumbo_parse_with_options(options, input.c_str(), input.size());
}

// ---- Conversion into the tree --------------------------------------------------------------

std::u16string fromPiece(const GumboStringPiece& piece) {
  return utf8ToUtf16(std::string_view(piece.data, piece.length));
}

std::u16string elementName(const GumboElement& e) {
  std::string name;
  if (e.tag != GUMBO_TAG_UNKNOWN) {
    name = gumbo_normalized_tagname(e.tag);
  } else if (e.original_tag.length > 0) {
    GumboStringPiece piece = e.original_tag;
    gumbo_tag_from_original_text(&piece);
    name.assign(piece.data, piece.length);
    for (char& c : name) c = lower(c);
  }
  if (e.tag_namespace == GUMBO_NAMESPACE_SVG) {
    GumboStringPiece piece{name.c_str(), name.size()};
    if (const char* adjusted = gumbo_normalize_svg_tagname(&piece)) name = adjusted;
  }
  return utf8ToUtf16(name);
}

Node* convertOne(const GumboNode* g, DocumentData& doc) {
  switch (g->type) {
    case GUMBO_NODE_ELEMENT:
    case GUMBO_NODE_TEMPLATE: {
      const GumboElement& e = g->v.element;
      std::u16string name = elementName(e);
      if (name.empty()) return nullptr;
      const Namespace ns = e.tag_namespace == GUMBO_NAMESPACE_SVG      ? Namespace::Svg
                           : e.tag_namespace == GUMBO_NAMESPACE_MATHML ? Namespace::MathMl
                                                                      : Namespace::Html;
      Node* n = doc.makeElement(std::move(name), ns);
      n->attributes.reserve(e.attributes.length);
      for (unsigned i = 0; i < e.attributes.length; ++i) {
        const auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
        Attribute attr;
        attr.name = a->original_name.length ? fromPiece(a->original_name) : utf8ToUtf16(a->name);
        // Looked up by the name as written: the parser keeps only the local name of a foreign
        // attribute ("href" of xlink:href), which would answer for the plain attribute too.
        attr.lname = asciiLower(attr.name);
        // For a valueless attribute the parser points original_value at the name.
        attr.hasValue = a->original_value.data != a->original_name.data;
        if (attr.hasValue) attr.value = utf8ToUtf16(a->value);
        n->attributes.push_back(std::move(attr));
      }
      return n;
    }
    case GUMBO_NODE_TEXT:
    case GUMBO_NODE_WHITESPACE:
    case GUMBO_NODE_CDATA: {
      Node* n = doc.make(NodeKind::Text);
      n->text = utf8ToUtf16(g->v.text.text);
      return n;
    }
    case GUMBO_NODE_COMMENT: {
      Node* n = doc.make(NodeKind::Comment);
      n->text = utf8ToUtf16(g->v.text.text);
      return n;
    }
    case GUMBO_NODE_DOCUMENT:
      break;
  }
  return nullptr;
}

const GumboVector* childrenOf(const GumboNode* g) {
  if (g->type == GUMBO_NODE_ELEMENT || g->type == GUMBO_NODE_TEMPLATE) return &g->v.element.children;
  if (g->type == GUMBO_NODE_DOCUMENT) return &g->v.document.children;
  return nullptr;
}

// Converts the children of `from` into `into` (or into `out` when `into` is null), without
// recursion; elements deeper than the tree allows are unwrapped into their parent.
void convertChildren(const GumboNode* from, Node* into, std::size_t depth, DocumentData& doc,
                     std::vector<Node*>* out) {
  struct Frame {
    const GumboVector* kids;
    unsigned next;
    Node* into;
    std::size_t depth;  // depth of the nodes made in this frame
  };
  std::vector<Frame> stack{{childrenOf(from), 0, into, depth}};
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next == f.kids->length) {
      stack.pop_back();
      continue;
    }
    const auto* g = static_cast<const GumboNode*>(f.kids->data[f.next++]);
    const GumboVector* kids = childrenOf(g);
    const bool element = g->type == GUMBO_NODE_ELEMENT || g->type == GUMBO_NODE_TEMPLATE;
    Node* target = f.into;
    const std::size_t depthHere = f.depth;
    if (element && depthHere >= kMaxTreeDepth) {
      if (kids && kids->length) stack.push_back({kids, 0, target, depthHere});
      continue;
    }
    Node* n = convertOne(g, doc);
    if (!n) continue;
    if (target)
      appendChild(target, n);
    else
      out->push_back(n);
    if (kids && kids->length) stack.push_back({kids, 0, n, depthHere + 1});
  }
}

struct Parsed {
  ParseArena arena;
  GumboOptions options = kGumboDefaultOptions;
  GumboOutput* output = nullptr;

  explicit Parsed(std::size_t inputBytes) : arena(budgetFor(inputBytes)) {
    options.max_errors = 0;  // every recorded error copies the open-element stack
    options.allocator = &ParseArena::allocate;
    options.deallocator = &ParseArena::deallocate;
    options.userdata = &arena;
  }
  ~Parsed() {
    if (output) gumbo_destroy_output(&options, output);
  }
  Parsed(const Parsed&) = delete;
  Parsed& operator=(const Parsed&) = delete;
};

}  // namespace

std::string prepareInput(std::u16string_view html) {
  std::string in = platform::system::utf16ToUtf8(html);
  // Inside SVG or MathML a CDATA section can leave text pending where the table rules assert
  // there is none, and the parser aborts; everywhere else it is a bogus comment already.
  for (std::size_t p = 0; (p = in.find("<![CDATA[", p)) != std::string::npos; p += 9) in[p + 2] = '-';
  return Scanner(in).run();
}

HRESULT parseDocument(std::u16string_view html, DocumentData& doc) {
  g_documentParses.fetch_add(1, std::memory_order_relaxed);
  if (html.size() > kMaxHtmlLength) return E_OUTOFMEMORY;
  const std::string input = prepareInput(html);
  Parsed parsed(input.size());
  parsed.output = guardedParse(parsed.arena, &parsed.options, input);
  if (!parsed.output) return E_OUTOFMEMORY;

  const GumboDocument& gd = parsed.output->document->v.document;
  doc.doctype = {};
  if (gd.has_doctype) {
    doc.doctype.present = true;
    doc.doctype.name = utf8ToUtf16(gd.name);
    doc.doctype.publicId = utf8ToUtf16(gd.public_identifier);
    doc.doctype.systemId = utf8ToUtf16(gd.system_identifier);
  }
  removeChildren(doc.document);
  convertChildren(parsed.output->document, doc.document, 0, doc, nullptr);
  return S_OK;
}

HRESULT parseFragment(std::u16string_view html, DocumentData& doc, const Node* context, std::size_t depth,
                      std::vector<Node*>& out) {
  g_fragmentParses.fetch_add(1, std::memory_order_relaxed);
  if (html.size() > kMaxHtmlLength) return E_OUTOFMEMORY;
  const std::string input = prepareInput(html);
  Parsed parsed(input.size());
  // The namespace must match the context tag, or the parser aborts.
  switch (context->ns) {
    case Namespace::Html: {
      const std::string tag = platform::system::utf16ToUtf8(context->tag);
      const GumboTag t = gumbo_tagn_enum(tag.c_str(), static_cast<unsigned>(tag.size()));
      parsed.options.fragment_context = t == GUMBO_TAG_UNKNOWN ? GUMBO_TAG_DIV : t;
      parsed.options.fragment_namespace = GUMBO_NAMESPACE_HTML;
      break;
    }
    case Namespace::Svg:
      parsed.options.fragment_context = GUMBO_TAG_SVG;
      parsed.options.fragment_namespace = GUMBO_NAMESPACE_SVG;
      break;
    case Namespace::MathMl:
      parsed.options.fragment_context = GUMBO_TAG_MATH;
      parsed.options.fragment_namespace = GUMBO_NAMESPACE_MATHML;
      break;
  }
  parsed.output = guardedParse(parsed.arena, &parsed.options, input);
  if (!parsed.output) return E_OUTOFMEMORY;
  // The fragment's nodes are the children of a made-up root element.
  convertChildren(parsed.output->root, nullptr, depth, doc, &out);
  return S_OK;
}

}  // namespace platform::html::detail

namespace platform::html {

ParseCounts parseCounts() {
  return ParseCounts{detail::g_documentParses.load(std::memory_order_relaxed),
                     detail::g_fragmentParses.load(std::memory_order_relaxed)};
}

}  // namespace platform::html
