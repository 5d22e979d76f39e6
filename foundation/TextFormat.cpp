#include "foundation/TextFormat.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/system/Text.h"

namespace NUtils {
namespace {

// Fields wider than this are cut to it: a template or a log format cannot make us allocate
// gigabytes for one conversion.
constexpr int kMaxField = 1 << 16;

enum class Size { Default, Char, Short, Long32, Long64, SizeT };

struct Directive {
  bool left = false, plus = false, space = false, alt = false, zero = false;
  int width = -1;      // -1: none
  int precision = -1;  // -1: none
  Size size = Size::Default;
  char16_t conv = 0;
};

// Argument sources: a C va_list, or a span of typed arguments.
class VaSource {
 public:
  explicit VaSource(va_list args) { va_copy(m_args, args); }
  ~VaSource() { va_end(m_args); }
  VaSource(const VaSource&) = delete;
  VaSource& operator=(const VaSource&) = delete;

  int nextInt() { return va_arg(m_args, int); }
  std::int64_t nextSigned(Size size) {
    switch (size) {
      case Size::Long64: return va_arg(m_args, long long);
      case Size::SizeT: return static_cast<std::int64_t>(va_arg(m_args, std::ptrdiff_t));
      default: return va_arg(m_args, int);
    }
  }
  std::uint64_t nextUnsigned(Size size) {
    switch (size) {
      case Size::Long64: return va_arg(m_args, unsigned long long);
      case Size::SizeT: return va_arg(m_args, std::size_t);
      default: return va_arg(m_args, unsigned int);
    }
  }
  double nextDouble() { return va_arg(m_args, double); }
  const char16_t* nextWide() { return va_arg(m_args, const char16_t*); }
  const char* nextNarrow() { return va_arg(m_args, const char*); }
  const void* nextPointer() { return va_arg(m_args, const void*); }

 private:
  va_list m_args;
};

class SpanSource {
 public:
  explicit SpanSource(std::span<const FormatArg> args) : m_args(args) {}

  int nextInt() { return static_cast<int>(nextSigned(Size::Default)); }
  std::int64_t nextSigned(Size size) { return static_cast<std::int64_t>(nextUnsigned(size)); }
  std::uint64_t nextUnsigned(Size) {
    const FormatArg* a = next();
    if (!a) return 0;
    if (auto v = std::get_if<std::int64_t>(a)) return static_cast<std::uint64_t>(*v);
    if (auto v = std::get_if<std::uint64_t>(a)) return *v;
    return 0;
  }
  double nextDouble() {
    const FormatArg* a = next();
    if (!a) return 0;
    if (auto v = std::get_if<double>(a)) return *v;
    return 0;
  }
  const char16_t* nextWide() {
    const FormatArg* a = next();
    auto v = a ? std::get_if<const char16_t*>(a) : nullptr;
    return v ? *v : u"";
  }
  const char* nextNarrow() {
    const FormatArg* a = next();
    auto v = a ? std::get_if<const char*>(a) : nullptr;
    return v ? *v : "";
  }
  const void* nextPointer() {
    const FormatArg* a = next();
    auto v = a ? std::get_if<const void*>(a) : nullptr;
    return v ? *v : nullptr;
  }

 private:
  const FormatArg* next() { return m_index < m_args.size() ? &m_args[m_index++] : nullptr; }
  std::span<const FormatArg> m_args;
  std::size_t m_index = 0;
};

void pad(std::u16string& out, int count, char16_t c) {
  if (count > 0) out.append(static_cast<std::size_t>(count), c);
}

// Appends text justified in the directive's width.
void appendField(std::u16string& out, std::u16string_view text, const Directive& dir) {
  const int fill = dir.width > static_cast<int>(text.size()) ? dir.width - static_cast<int>(text.size()) : 0;
  if (!dir.left) pad(out, fill, dir.zero ? u'0' : u' ');
  out.append(text);
  if (dir.left) pad(out, fill, u' ');
}

// Numeric conversions go to the C library with a format built here from the directive's flags only.
template <typename T>
void appendNumber(std::u16string& out, const Directive& dir, char conv, const char* length, T value) {
  char fmt[32];
  char* p = fmt;
  *p++ = '%';
  if (dir.left) *p++ = '-';
  if (dir.plus) *p++ = '+';
  if (dir.space) *p++ = ' ';
  if (dir.alt) *p++ = '#';
  if (dir.zero) *p++ = '0';
  *p++ = '*';
  if (dir.precision >= 0) { *p++ = '.'; *p++ = '*'; }
  for (const char* l = length; *l; ++l) *p++ = *l;
  *p++ = conv;
  *p = '\0';
  const int width = std::max(dir.width, 0);
  const int precision = std::max(dir.precision, 0);
  int n = dir.precision >= 0 ? std::snprintf(nullptr, 0, fmt, width, precision, value)
                              : std::snprintf(nullptr, 0, fmt, width, value);
  if (n <= 0) return;
  std::string buf(static_cast<std::size_t>(n) + 1, '\0');
  if (dir.precision >= 0) std::snprintf(buf.data(), buf.size(), fmt, width, precision, value);
  else std::snprintf(buf.data(), buf.size(), fmt, width, value);
  buf.resize(static_cast<std::size_t>(n));
  out.append(buf.begin(), buf.end());
}

std::u16string_view clip(std::u16string_view text, const Directive& dir) {
  if (dir.precision >= 0 && static_cast<std::size_t>(dir.precision) < text.size()) return text.substr(0, dir.precision);
  return text;
}

template <typename Source>
void convert(std::u16string& out, Directive dir, Source& src) {
  const bool wideString = dir.size == Size::Long32 || (dir.size != Size::Short && dir.size != Size::Char);
  switch (dir.conv) {
    case u'd':
    case u'i': {
      std::int64_t v = src.nextSigned(dir.size);
      if (dir.size == Size::Short) v = static_cast<std::int16_t>(v);
      else if (dir.size == Size::Char) v = static_cast<std::int8_t>(v);
      else if (dir.size != Size::Long64 && dir.size != Size::SizeT) v = static_cast<std::int32_t>(v);
      appendNumber(out, dir, 'd', "ll", static_cast<long long>(v));
      return;
    }
    case u'u':
    case u'x':
    case u'X':
    case u'o': {
      std::uint64_t v = src.nextUnsigned(dir.size);
      if (dir.size == Size::Short) v = static_cast<std::uint16_t>(v);
      else if (dir.size == Size::Char) v = static_cast<std::uint8_t>(v);
      else if (dir.size != Size::Long64 && dir.size != Size::SizeT) v = static_cast<std::uint32_t>(v);
      appendNumber(out, dir, static_cast<char>(dir.conv), "ll", static_cast<unsigned long long>(v));
      return;
    }
    case u'f': case u'F': case u'e': case u'E': case u'g': case u'G': case u'a': case u'A':
      appendNumber(out, dir, static_cast<char>(dir.conv), "", src.nextDouble());
      return;
    case u'p': {
      // As Windows: the address in upper-case hexadecimal, zero-padded to the pointer's width.
      const auto v = reinterpret_cast<std::uintptr_t>(src.nextPointer());
      Directive hex = dir;
      hex.precision = static_cast<int>(sizeof(void*) * 2);
      hex.alt = false;
      appendNumber(out, hex, 'X', "ll", static_cast<unsigned long long>(v));
      return;
    }
    case u'c':
    case u'C': {
      const int v = src.nextInt();
      const bool narrow = dir.conv == u'C' ? dir.size != Size::Long32 : (dir.size == Size::Short || dir.size == Size::Char);
      const char16_t c = narrow ? static_cast<char16_t>(static_cast<unsigned char>(v)) : static_cast<char16_t>(v);
      dir.zero = false;
      appendField(out, std::u16string_view(&c, 1), dir);
      return;
    }
    case u's':
    case u'S': {
      const bool wide = dir.conv == u's' ? wideString : dir.size == Size::Long32;
      dir.zero = false;
      if (wide) {
        const char16_t* s = src.nextWide();
        if (!s) s = u"(null)";
        // Never read past the precision: the text need not be terminated within it.
        std::size_t n = 0;
        const std::size_t limit = dir.precision >= 0 ? static_cast<std::size_t>(dir.precision) : SIZE_MAX;
        while (n < limit && s[n]) ++n;
        appendField(out, std::u16string_view(s, n), dir);
      } else {
        const char* s = src.nextNarrow();
        if (!s) s = "(null)";
        std::size_t n = 0;
        const std::size_t limit = dir.precision >= 0 ? static_cast<std::size_t>(dir.precision) : SIZE_MAX;
        while (n < limit && s[n]) ++n;
        std::u16string wideText = platform::system::utf8ToUtf16(std::string_view(s, n));
        appendField(out, clip(wideText, dir), dir);
      }
      return;
    }
    default:
      return;
  }
}

int readNumber(std::u16string_view f, std::size_t& i) {
  long long v = 0;
  while (i < f.size() && f[i] >= u'0' && f[i] <= u'9') {
    v = std::min<long long>(v * 10 + (f[i] - u'0'), kMaxField);
    ++i;
  }
  return static_cast<int>(v);
}

template <typename Source>
std::u16string run(std::u16string_view f, Source& src) {
  std::u16string out;
  out.reserve(f.size() + 16);
  std::size_t i = 0;
  while (i < f.size()) {
    const std::size_t pct = f.find(u'%', i);
    if (pct == std::u16string_view::npos) {
      out.append(f.substr(i));
      break;
    }
    out.append(f.substr(i, pct - i));
    i = pct + 1;
    if (i >= f.size()) break;  // a lone % at the end prints nothing
    if (f[i] == u'%') {
      out.push_back(u'%');
      ++i;
      continue;
    }
    const std::size_t start = pct;
    Directive dir;
    for (bool flags = true; flags && i < f.size();) {
      switch (f[i]) {
        case u'-': dir.left = true; ++i; break;
        case u'+': dir.plus = true; ++i; break;
        case u' ': dir.space = true; ++i; break;
        case u'#': dir.alt = true; ++i; break;
        case u'0': dir.zero = true; ++i; break;
        default: flags = false;
      }
    }
    if (i < f.size() && f[i] == u'*') {
      int w = src.nextInt();
      if (w < 0) { dir.left = true; w = w == INT32_MIN ? kMaxField : -w; }
      dir.width = std::min(w, kMaxField);
      ++i;
    } else if (i < f.size() && f[i] >= u'0' && f[i] <= u'9') {
      dir.width = readNumber(f, i);
    }
    if (i < f.size() && f[i] == u'.') {
      ++i;
      if (i < f.size() && f[i] == u'*') {
        const int p = src.nextInt();
        dir.precision = p < 0 ? -1 : std::min(p, kMaxField);
        ++i;
      } else {
        dir.precision = readNumber(f, i);
      }
    }
    if (i < f.size()) {
      const std::u16string_view rest = f.substr(i);
      if (rest.starts_with(u"I64")) { dir.size = Size::Long64; i += 3; }
      else if (rest.starts_with(u"I32")) { dir.size = Size::Long32; i += 3; }
      else if (rest.starts_with(u"ll")) { dir.size = Size::Long64; i += 2; }
      else if (rest.starts_with(u"hh")) { dir.size = Size::Char; i += 2; }
      else if (f[i] == u'l' || f[i] == u'w') { dir.size = Size::Long32; ++i; }
      else if (f[i] == u'h') { dir.size = Size::Short; ++i; }
      else if (f[i] == u'I' || f[i] == u'z' || f[i] == u't' || f[i] == u'j') {
        dir.size = f[i] == u'j' ? Size::Long64 : Size::SizeT;
        ++i;
      } else if (f[i] == u'L') { ++i; }  // long double is double, as on Windows
    }
    if (i >= f.size()) {
      out.append(f.substr(start));  // an unfinished conversion stays as written
      break;
    }
    dir.conv = f[i++];
    if (dir.left) dir.zero = false;
    static constexpr std::u16string_view kKnown = u"diuxXofFeEgGaApcCsS";
    if (kKnown.find(dir.conv) == std::u16string_view::npos) {
      // Unknown conversions (%n among them) are written as they stand and consume nothing.
      out.append(f.substr(start, i - start));
      continue;
    }
    convert(out, dir, src);
  }
  return out;
}

}  // namespace

std::u16string formatArgs(std::u16string_view format, std::span<const FormatArg> args) {
  SpanSource src(args);
  return run(format, src);
}

std::u16string formatVa(const char16_t* format, va_list args) {
  if (!format) return {};
  VaSource src(args);
  return run(std::u16string_view(format), src);
}

}  // namespace NUtils
