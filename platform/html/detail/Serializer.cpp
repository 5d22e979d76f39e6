#include "platform/html/detail/Serializer.h"

#include <algorithm>
#include <initializer_list>

namespace platform::html::detail {
namespace {

bool htmlTagIn(const Node* n, std::initializer_list<std::u16string_view> set) {
  return n->isElement() && n->ns == Namespace::Html && std::find(set.begin(), set.end(), n->tag) != set.end();
}

bool isVoid(const Node* n) {
  return htmlTagIn(n, {u"area", u"base", u"basefont", u"bgsound", u"br", u"col", u"embed", u"frame", u"hr",
                       u"img", u"input", u"keygen", u"link", u"meta", u"param", u"source", u"track", u"wbr"});
}

bool holdsRawText(const Node* n) {
  return htmlTagIn(n, {u"style", u"script", u"xmp", u"iframe", u"noembed", u"noframes", u"plaintext"});
}

void escapeText(std::u16string_view text, std::u16string& out) {
  for (char16_t c : text) {
    switch (c) {
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case 0xA0: out += u"&nbsp;"; break;
      default: out += c;
    }
  }
}

void escapeAttribute(std::u16string_view text, std::u16string& out) {
  for (char16_t c : text) {
    switch (c) {
      case u'&': out += u"&amp;"; break;
      case u'"': out += u"&quot;"; break;
      case 0xA0: out += u"&nbsp;"; break;
      default: out += c;
    }
  }
}

// Raw text is written as it is, except a closing tag of its own element, which would end the
// element early when read back (a rule added to a sheet could carry one): "</style" becomes
// "<\/style", which CSS and script read the same.
void writeRawText(std::u16string_view text, std::u16string_view tag, std::u16string& out) {
  std::size_t from = 0;
  for (std::size_t p = text.find(u"</"); p != std::u16string_view::npos; p = text.find(u"</", p + 2)) {
    if (equalsNoCase(text.substr(p + 2, tag.size()), tag)) {
      out.append(text.substr(from, p + 1 - from));
      out += u'\\';
      from = p + 1;
    }
  }
  out.append(text.substr(from));
}

void writeDoctypeId(std::u16string_view id, std::u16string& out) {
  // An identifier may hold one kind of quote; write it between the other kind.
  const char16_t quote = id.find(u'"') == std::u16string_view::npos ? u'"' : u'\'';
  out += u' ';
  out += quote;
  for (char16_t c : id)
    if (c != quote) out += c;
  out += quote;
}

// ---- Rendered text -------------------------------------------------------------------------

bool isBlock(const Node* n) {
  return htmlTagIn(n, {u"address", u"article", u"aside", u"blockquote", u"body", u"caption", u"center", u"dd",
                       u"details", u"dialog", u"dir", u"div", u"dl", u"dt", u"fieldset", u"figcaption", u"figure",
                       u"footer", u"form", u"h1", u"h2", u"h3", u"h4", u"h5", u"h6", u"header", u"hgroup", u"hr",
                       u"html", u"li", u"listing", u"main", u"menu", u"nav", u"ol", u"p", u"plaintext", u"pre",
                       u"section", u"summary", u"table", u"tbody", u"tfoot", u"thead", u"tr", u"ul", u"xmp"});
}

class TextWriter {
 public:
  void text(std::u16string_view t, bool preformatted) {
    for (char16_t c : t) {
      if (preformatted) {
        if (c == u'\r') continue;
        if (c == u'\n') {
          flush();
          m_out += u"\r\n";
          continue;
        }
      } else if (isAsciiSpace(c)) {
        if (!m_out.empty()) m_space = true;
        continue;
      }
      flush();
      m_out += c;
    }
  }
  void block() {
    if (!m_out.empty()) m_breaks = std::max(m_breaks, 1);
  }
  void lineBreak() {
    if (!m_out.empty()) ++m_breaks;
  }
  void cell() {
    if (!m_out.empty()) m_tab = true;
  }
  std::u16string take() { return std::move(m_out); }

 private:
  void flush() {
    if (m_breaks > 0) {
      for (int i = 0; i < m_breaks; ++i) m_out += u"\r\n";
    } else if (m_tab) {
      m_out += u'\t';
    } else if (m_space) {
      m_out += u' ';
    }
    m_breaks = 0;
    m_tab = m_space = false;
  }

  std::u16string m_out;
  int m_breaks = 0;
  bool m_tab = false;
  bool m_space = false;
};

void renderInto(const Node* n, TextWriter& w, bool preformatted) {
  for (const Node* c : n->children) {
    if (c->kind == NodeKind::Text) {
      w.text(c->text, preformatted);
      continue;
    }
    if (!c->isElement()) continue;
    if (htmlTagIn(c, {u"script", u"style", u"head", u"title", u"template"})) continue;
    if (c->isHtml(u"br")) {
      w.lineBreak();
      continue;
    }
    const bool block = isBlock(c);
    const bool cell = htmlTagIn(c, {u"td", u"th"});
    if (block) w.block();
    if (cell) w.cell();
    renderInto(c, w, preformatted || htmlTagIn(c, {u"pre", u"textarea", u"listing", u"plaintext", u"xmp"}));
    if (block) w.block();
  }
}

}  // namespace

void serializeChildren(const Node* node, std::u16string& out) {
  const bool raw = holdsRawText(node);
  for (const Node* c : node->children) {
    if (c->kind == NodeKind::Text) {
      if (raw)
        writeRawText(c->text, node->tag, out);
      else
        escapeText(c->text, out);
    } else {
      serializeNode(c, out);
    }
  }
}

void serializeNode(const Node* node, std::u16string& out) {
  switch (node->kind) {
    case NodeKind::Text:
      escapeText(node->text, out);
      return;
    case NodeKind::Comment:
      out += u"<!--";
      out += node->text;
      out += u"-->";
      return;
    case NodeKind::Document:
      serializeChildren(node, out);
      return;
    case NodeKind::Element:
      break;
  }
  out += u'<';
  out += node->tag;
  for (const Attribute& a : node->attributes) {
    out += u' ';
    out += a.name;
    if (a.hasValue) {
      out += u"=\"";
      escapeAttribute(a.value, out);
      out += u'"';
    }
  }
  out += u'>';
  if (isVoid(node)) return;
  // The parser drops one newline right after these start tags; write it back so a leading
  // newline of the content survives a round trip.
  if (htmlTagIn(node, {u"pre", u"textarea", u"listing"}) && !node->children.empty() &&
      node->children.front()->kind == NodeKind::Text && !node->children.front()->text.empty() &&
      node->children.front()->text.front() == u'\n')
    out += u'\n';
  serializeChildren(node, out);
  out += u"</";
  out += node->tag;
  out += u'>';
}

void serializeDocument(const DocumentData& doc, std::u16string& out) {
  if (doc.doctype.present) {
    out += u"<!DOCTYPE ";
    out += doc.doctype.name.empty() ? u"html" : doc.doctype.name;
    if (!doc.doctype.publicId.empty()) {
      out += u" PUBLIC";
      writeDoctypeId(doc.doctype.publicId, out);
      if (!doc.doctype.systemId.empty()) writeDoctypeId(doc.doctype.systemId, out);
    } else if (!doc.doctype.systemId.empty()) {
      out += u" SYSTEM";
      writeDoctypeId(doc.doctype.systemId, out);
    }
    out += u'>';
  }
  serializeChildren(doc.document, out);
}

std::u16string renderedText(const Node* node) {
  TextWriter w;
  renderInto(node, w, htmlTagIn(node, {u"pre", u"textarea", u"listing", u"plaintext", u"xmp"}));
  return w.take();
}

std::u16string childText(const Node* node) {
  std::u16string text;
  for (const Node* c : node->children)
    if (c->kind == NodeKind::Text) text += c->text;
  return text;
}

}  // namespace platform::html::detail
