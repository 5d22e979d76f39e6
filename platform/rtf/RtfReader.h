#pragma once
// The RTF reading shared by de-encapsulation and conversion: tokens, groups and their state,
// destinations, the font and colour tables, code pages, \uN with its fallback skipping.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/WinTypes.h"

namespace platform::rtf::detail {

struct Token {
  enum class Kind { End, GroupStart, GroupEnd, Word, Symbol, Byte, Text };
  Kind kind = Kind::End;
  std::string_view text;  // Word: its name; Text: the run of bytes
  bool hasParam = false;
  std::int32_t param = 0;
  char symbol = 0;        // Symbol: the character after the backslash (escaped \ { } included)
  unsigned char byte = 0;  // Byte: the value of \'hh
};

class Tokenizer {
 public:
  explicit Tokenizer(std::string_view rtf) : m_in(rtf) {}
  Token next();
  // Skips the data of \binN.
  void skip(std::size_t count) { m_pos += std::min(count, m_in.size() - m_pos); }

 private:
  std::string_view m_in;
  std::size_t m_pos = 0;
};

// The code page of a font's \fcharsetN; 0 when the charset does not name one.
UINT codePageOfCharset(int charset);

// Text bytes become UTF-16 per code page. Bytes of multi-byte code pages are held until flush()
// so that a character written as several \'hh escapes converts whole.
class TextDecoder {
 public:
  explicit TextDecoder(std::u16string& out) : m_out(out) {}
  void addByte(unsigned char byte, UINT codePage);
  void flush();

 private:
  struct SingleByteTable {
    UINT codePage;
    std::u16string high;  // the characters of bytes 0x80..0xFF
  };
  const SingleByteTable* singleByteTable(UINT codePage);

  std::u16string& m_out;
  std::string m_pending;
  UINT m_pendingCodePage = 0;
  std::vector<SingleByteTable> m_tables;
  std::vector<UINT> m_multiByte;
};

struct Font {
  std::string nameBytes;
  std::u16string name;
  int charset = -1;
  UINT codePage = 0;  // \cpgN, or from the charset; 0 for the document's code page
  bool nameDone = false;
  bool settled = false;  // code page and name worked out at the end of the table
};

struct Color {
  unsigned char red = 0, green = 0, blue = 0;
  bool automatic = true;
};

enum class Destination : std::uint8_t { Body, Skip, FontTable, ColorTable, HtmlTag };

struct GroupState {
  Destination destination = Destination::Body;
  bool htmlrtf = false;
  int unicodeSkip = 1;  // \ucN
  int font = -1;
  // Character formatting.
  bool bold = false, italic = false, underline = false, strike = false;
  int fontSize = 0;  // half points; 0 while unset
  int color = 0, highlight = 0;
  // Paragraph formatting.
  char align = 'l';
};

// Walks a document and keeps its state; what becomes output is up to the subclass.
class RtfReader {
 public:
  explicit RtfReader(std::string_view rtf);
  virtual ~RtfReader() = default;
  // False when the input is not RTF or nests deeper than any real document.
  bool run();

 protected:
  static constexpr std::size_t kMaxDepth = 512;

  const GroupState& state() const { return m_stack.back(); }
  GroupState& state() { return m_stack.back(); }
  UINT ansiCodePage() const { return m_ansiCodePage; }
  int defaultFont() const { return m_defaultFont; }
  UINT fontCodePage() const;
  const Font* font(int number) const;
  const Color* color(int number) const;
  // Decoded text not yet taken by the subclass.
  std::u16string m_text;

  // Whether text in the current state is output.
  virtual bool textWanted() const = 0;
  // The code page of text in the current state.
  virtual UINT textCodePage() const { return fontCodePage(); }
  // The destination a {\*\word ...} group opens; unknown ones are skipped.
  virtual Destination starredDestination(std::string_view) { return Destination::Skip; }
  // Before any token other than text is applied; m_text holds all text decoded so far.
  virtual void beforeChange() {}
  // A control word or symbol the reader does not consume, in a group whose text is read.
  virtual void onControl(const Token&) {}

  void appendText(char16_t c);

 private:
  void groupStart();
  void groupEnd();
  void word(const Token& token);
  void symbol(const Token& token);
  void textByte(unsigned char byte);
  bool consumeSkip();
  void fontTableWord(const Token& token);
  void colorTableText(unsigned char byte);
  void finishFonts();
  bool supported(UINT codePage);

  Tokenizer m_tokens;
  TextDecoder m_decoder;
  std::u16string m_nameText;
  TextDecoder m_nameDecoder;
  std::vector<std::pair<UINT, bool>> m_supported;
  std::vector<GroupState> m_stack;
  std::map<int, Font> m_fonts;
  std::vector<Color> m_colors;
  Color m_nextColor;
  int m_fontBeingDefined = -1;
  int m_defaultFont = -1;
  UINT m_ansiCodePage = 1252;
  int m_skip = 0;  // fallback bytes of \uN still to skip
  bool m_groupJustOpened = false;
  bool m_starred = false;
  bool m_started = false;
};

}  // namespace platform::rtf::detail
