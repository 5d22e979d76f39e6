#include "foundation/HtmlText.h"

#include <atomic>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <new>
#include <string>
#include <vector>
#include <algorithm>

#include <tidy/tidy.h>
#include <tidy/tidybuffio.h>

#include "foundation/AddinGlobals.h"
#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "foundation/Utils.h"
#include "platform/com/HResult.h"
#include "platform/html/HtmlDocument.h"
#include "platform/registry/Registry.h"

namespace NUtils {
namespace {

std::atomic<std::size_t> g_tidyMemoryLimit{0};

// What one run may hold at once: Tidy 5.6 loops allocating without end on some malformed
// tables, and a normal run stays far below this.
std::size_t tidyMemoryLimit(std::size_t inputSize) {
  const std::size_t forTesting = g_tidyMemoryLimit.load(std::memory_order_relaxed);
  if (forTesting != 0) return forTesting;
  constexpr std::size_t kBase = 64u * 1024u * 1024u;
  constexpr std::size_t kPerInputByte = 256;
  return inputSize > (SIZE_MAX - kBase) / kPerInputByte ? SIZE_MAX : kBase + inputSize * kPerInputByte;
}

// Tidy's own allocations, kept in one list so that whatever Tidy leaks on malformed input
// (it does, on some XML declarations) is freed with the session. A failed allocation, or one
// that would pass the run's limit, throws instead of letting Tidy's default handler end the
// process.
class TidyArena {
 public:
  explicit TidyArena(std::size_t limit) : m_handle{{&kVtbl}, this}, m_limit(limit) { m_head.prev = m_head.next = &m_head; }
  ~TidyArena() {
    while (m_head.next != &m_head) {
      Block* block = m_head.next;
      unlink(block);
      std::free(block);
    }
  }
  TidyArena(const TidyArena&) = delete;
  TidyArena& operator=(const TidyArena&) = delete;

  TidyAllocator* allocator() { return &m_handle.base; }

 private:
  struct alignas(std::max_align_t) Block {
    Block* prev;
    Block* next;
    std::size_t size;
  };

  // What Tidy holds: its allocator first, so Tidy's pointer leads back to the arena.
  struct Handle {
    TidyAllocator base;
    TidyArena* arena;
  };

  static TidyArena& of(TidyAllocator* self) { return *reinterpret_cast<Handle*>(self)->arena; }
  static Block* blockOf(void* data) { return static_cast<Block*>(data) - 1; }

  void link(Block* block) {
    block->prev = &m_head;
    block->next = m_head.next;
    m_head.next->prev = block;
    m_head.next = block;
  }
  static void unlink(Block* block) {
    block->prev->next = block->next;
    block->next->prev = block->prev;
  }

  // Takes a block of `size` bytes into the live total, or throws when it would pass the limit.
  void take(std::size_t size) {
    if (size > m_limit - m_live) throw std::bad_alloc();
    m_live += size;
  }

  static void* TIDY_CALL alloc(TidyAllocator* self, size_t size) {
    TidyArena& arena = of(self);
    arena.take(size);
    auto* block = static_cast<Block*>(std::malloc(sizeof(Block) + size));
    if (!block) {
      arena.m_live -= size;
      throw std::bad_alloc();
    }
    block->size = size;
    arena.link(block);
    return block + 1;
  }
  static void* TIDY_CALL reallocate(TidyAllocator* self, void* data, size_t size) {
    if (!data) return alloc(self, size);
    TidyArena& arena = of(self);
    Block* old = blockOf(data);
    const std::size_t oldSize = old->size;
    arena.m_live -= oldSize;
    arena.take(size);
    unlink(old);
    auto* block = static_cast<Block*>(std::realloc(old, sizeof(Block) + size));
    if (!block) {
      arena.m_live += oldSize - size;
      arena.link(old);
      throw std::bad_alloc();
    }
    block->size = size;
    arena.link(block);
    return block + 1;
  }
  static void TIDY_CALL release(TidyAllocator* self, void* data) {
    if (!data) return;
    Block* block = blockOf(data);
    of(self).m_live -= block->size;
    unlink(block);
    std::free(block);
  }
  static void TIDY_CALL panic(TidyAllocator*, ctmbstr) { throw std::bad_alloc(); }

  static constexpr TidyAllocatorVtbl kVtbl = {alloc, reallocate, release, panic};

  Handle m_handle;
  Block m_head;
  std::size_t m_limit;
  std::size_t m_live = 0;  // bytes of the blocks Tidy holds now
};

// Owns one Tidy document and its two buffers. After an exception inside Tidy the document may
// be half-built: it is then never touched again, and the arena frees its memory.
class TidySession {
 public:
  explicit TidySession(std::size_t inputSize)
      : m_arena(tidyMemoryLimit(inputSize)), m_doc(tidyCreateWithAllocator(m_arena.allocator())) {
    tidyBufInitWithAllocator(&m_output, m_arena.allocator());
    tidyBufInitWithAllocator(&m_errors, m_arena.allocator());
  }
  ~TidySession() {
    if (m_broken) return;
    tidyBufFree(&m_output);
    tidyBufFree(&m_errors);
    tidyRelease(m_doc);
  }
  TidySession(const TidySession&) = delete;
  TidySession& operator=(const TidySession&) = delete;

  // Runs the repair; the answer is Tidy's status (0 clean, 1 warnings, 2 errors) or negative.
  int run(const std::string& input) {
    m_broken = true;
    int rc = tidyOptSetValue(m_doc, TidyCharEncoding, "utf8") ? 0 : -1;
    if (rc >= 0) rc = tidySetErrorBuffer(m_doc, &m_errors);
    if (rc >= 0) rc = tidyParseString(m_doc, input.c_str());
    if (rc >= 0) rc = tidyCleanAndRepair(m_doc);
    if (rc >= 0) rc = tidyRunDiagnostics(m_doc);
    if (rc > 1) rc = tidyOptSetBool(m_doc, TidyForceOutput, yes) ? rc : -1;
    if (rc >= 0) rc = tidySaveBuffer(m_doc, &m_output);
    m_broken = false;
    return rc;
  }

  // Tidy's buffers are not terminated: both are read by their length.
  static std::string text(const TidyBuffer& buffer) {
    return buffer.bp ? std::string(reinterpret_cast<const char*>(buffer.bp), buffer.size) : std::string();
  }
  std::string output() const { return text(m_output); }
  std::string diagnostics() const { return text(m_errors); }

 private:
  TidyArena m_arena;  // first: outlives the document and buffers it holds
  TidyDoc m_doc;
  TidyBuffer m_output;
  TidyBuffer m_errors;
  bool m_broken = false;
};

// Tidy 5.6 recurses without end on a DOCTYPE inside some elements ("<button><!DOCTYPE a><p"),
// which would take the whole process down. Declarations after the first element are dropped
// first; Tidy discards them from its output anyway.
void dropLateDeclarations(std::string& html) {
  std::size_t at = html.find('<');
  while (at != std::string::npos && at + 1 < html.size() && !std::isalpha(static_cast<unsigned char>(html[at + 1])))
    at = html.find('<', at + 1);
  if (at == std::string::npos) return;
  std::string out;
  std::size_t copied = 0;
  for (at = html.find("<!", at); at != std::string::npos; at = html.find("<!", at)) {
    if (at + 2 < html.size() && (html[at + 2] == 'd' || html[at + 2] == 'D')) {
      out.append(html, copied, at - copied);
      const std::size_t close = html.find('>', at);
      copied = at = close == std::string::npos ? html.size() : close + 1;
    } else {
      at += 2;
    }
  }
  if (copied == 0) return;
  out.append(html, copied, std::string::npos);
  html.swap(out);
}

void appendEscaped(std::u16string& out, std::u16string_view text) {
  for (const char16_t c : text) {
    switch (c) {
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'"': out += u"&quot;"; break;
      default: out += c;
    }
  }
}

// Closes a registry key on every path.
struct KeyCloser {
  HKEY key = nullptr;
  ~KeyCloser() {
    if (key) RegCloseKey(key);
  }
};

// A face name goes into a CSS string inside an HTML attribute: nothing that could end either.
quilstring cssFontFamily(const quilstring& face) {
  quilstring family;
  for (const char16_t c : face) {
    if (c < 0x20 || c == 0x7F || c == u'"' || c == u'\'' || c == u'\\' || c == u'<' || c == u'>' || c == u'&' ||
        c == u';' || c == u'{' || c == u'}')
      continue;
    family += c;
  }
  return family;
}

// What one run of Tidy made of a text. Not run (`ran` false) for an empty or unconvertible text.
struct Tidied {
  bool ran = false;
  int status = 0;  // Tidy's: 0 clean, 1 warnings, 2 errors, negative severe
  std::string diagnostics;
  bool converted = false;  // `text` holds the repaired document
  quilstring text;
};

// Runs Tidy on a text. It logs nothing itself, so that it may run on any thread.
Tidied tidy(const std::u16string& text) {
  Tidied result;
  std::string input;
  if (!WideToMultiByte(text, input)) return result;
  // Tidy reads its input up to the first zero byte: a NUL in a body would lose the rest of it.
  std::erase(input, '\0');
  if (input.empty()) return result;
  dropLateDeclarations(input);
  TidySession session(input.size());
  result.ran = true;
  result.status = session.run(input);
  if (result.status < 0) return result;
  if (result.status > 0) result.diagnostics = session.diagnostics();
  result.converted = MultiByteToWide(session.output(), result.text);
  return result;
}

// Texts being repaired ahead, each on a thread of its own, until tidyHTML takes the result. A few
// only: the oldest not taken is dropped for a new one.
class CTidiedAhead {
 public:
  static constexpr std::size_t kMaxTexts = 4;

  void start(std::u16string text) {
    std::future<Tidied> dropped;  // waited for once the lock is let go
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const Kept& kept : m_kept)
      if (*kept.text == text) return;
    if (m_kept.size() >= kMaxTexts) {
      dropped = std::move(m_kept.front().result);
      m_kept.pop_front();
    }
    auto input = std::make_shared<const std::u16string>(std::move(text));
    m_kept.push_back({input, std::async(std::launch::async, [input] { return tidy(*input); })});
  }

  // The result for this very text, waited for; none where it was not started. What the run threw
  // is thrown here.
  std::optional<Tidied> take(const std::u16string& text) {
    std::future<Tidied> result;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      const auto it = std::find_if(m_kept.begin(), m_kept.end(), [&](const Kept& kept) { return *kept.text == text; });
      if (it == m_kept.end()) return std::nullopt;
      result = std::move(it->result);
      m_kept.erase(it);
    }
    return result.get();
  }

 private:
  struct Kept {
    std::shared_ptr<const std::u16string> text;
    std::future<Tidied> result;
  };
  std::mutex m_mutex;
  std::deque<Kept> m_kept;
};

// Never destroyed: at exit the process does not wait for runs nobody took, and a forked child
// that exits never joins threads it does not have.
CTidiedAhead& tidiedAhead() {
  static auto* ahead = new CTidiedAhead();
  return *ahead;
}

}  // namespace

void tidyHTML(std::u16string& text) {
  guarded(u"tidyHTML", [&] {
    std::optional<Tidied> tidied = tidiedAhead().take(text);
    if (!tidied) tidied = tidy(text);
    if (tidied->status < 0) {
      LOG_ERROR(u"HTMLTidy: A severe error (%d) occurred.", tidied->status);
      return;
    }
    if (tidied->status > 0) LOG_DEBUG(u"HTMLTidy: Diagnostics: %S", tidied->diagnostics.c_str());
    if (!tidied->converted) {
      if (tidied->ran) LOG_ERROR(u"HTMLTidy: Failed to convert Multibyte to Wide");
      return;
    }
    text.swap(tidied->text);
  });
}

void tidyHTMLAhead(std::u16string text) {
  guarded(u"tidyHTMLAhead", [&] { tidiedAhead().start(std::move(text)); });
}

void setTidyMemoryLimitForTesting(std::size_t bytes) { g_tidyMemoryLimit.store(bytes, std::memory_order_relaxed); }

void plainTextToHTML(std::u16string& text, bool noBreaks) {
  guarded(u"plainTextToHTML", [&] {
    if (text.empty()) return;
    std::u16string html;
    html.reserve(text.size() + text.size() / 8);
    std::size_t start = 0;
    while (start < text.size()) {
      const std::size_t feed = text.find(u'\n', start);
      std::size_t end = feed == std::u16string::npos ? text.size() : feed;
      if (end > start && text[end - 1] == u'\r') --end;
      if (start > 0) html += noBreaks ? u" " : u"<BR>";
      appendEscaped(html, std::u16string_view(text).substr(start, end - start));
      if (feed == std::u16string::npos) break;
      start = feed + 1;
    }
    text.swap(html);
  });
}

void spacesToNbsp(std::u16string& text) {
  guarded(u"spacesToNbsp", [&] {
    if (text.find(u"  ") == std::u16string::npos) return;
    std::u16string out;
    out.reserve(text.size() * 2);
    std::size_t run = 0;
    for (const char16_t c : text) {
      if (c != u' ') {
        run = 0;
        out += c;
      } else {
        out += (run++ % 2 == 0) ? u" " : u"&nbsp;";
      }
    }
    text.swap(out);
  });
}

bool GetPlainTextFormatting(quilstring& face, int& size) {
  return guarded(u"GetPlainTextFormatting", false, [&] {
    // A CHARFORMAT record (60 bytes): the height in twips at byte 12, the face name of up to 32
    // bytes from byte 26. A value of another type or a shorter one is no such record.
    constexpr DWORD kRecordSize = 60;
    constexpr DWORD kHeightOffset = 12;
    constexpr DWORD kFaceOffset = 26;
    constexpr DWORD kFaceSize = 32;
    quilstring path;
    path.Format(u"Software\\Microsoft\\Office\\%d.0\\Common\\MailSettings", NGlobals::officeMajorVersion());
    KeyCloser key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key.key) != ERROR_SUCCESS) return false;
    DWORD type = 0;
    DWORD length = 0;
    if (RegQueryValueExW(key.key, u"TextFontSimple", nullptr, &type, nullptr, &length) != ERROR_SUCCESS || length == 0)
      return false;
    if (type != REG_BINARY || length < kRecordSize) {
      LOG_WARNING(u"TextFontSimple of type %lu and %lu bytes is not a font record: ignored", type, length);
      return false;
    }
    std::vector<BYTE> record(length);
    if (RegQueryValueExW(key.key, u"TextFontSimple", nullptr, &type, record.data(), &length) != ERROR_SUCCESS ||
        type != REG_BINARY || length < kRecordSize)
      return false;

    const unsigned height = record[kHeightOffset] | (static_cast<unsigned>(record[kHeightOffset + 1]) << 8);
    if (height / 20 != 0) size = static_cast<int>(height / 20);
    face.clear();
    for (std::size_t i = kFaceOffset; i < kFaceOffset + kFaceSize && record[i] != 0; ++i)
      face += static_cast<char16_t>(record[i]);
    return true;
  });
}

void setHTMLFromPlainTextToElement(const quilstring& text, platform::html::CHtmlElement element) {
  guarded(u"setHTMLFromPlainTextToElement", [&] {
    quilstring face(u"Calibri");
    int size = 11;
    GetPlainTextFormatting(face, size);
    quilstring open;
    open.Format(u"<span style=\"font-size:%dpt; font-family:'%s'\">", size, cssFontFamily(face).c_str());

    std::vector<std::u16string> lines;
    for (std::size_t start = 0;;) {
      const std::size_t feed = text.find(u'\n', start);
      std::size_t end = feed == std::u16string::npos ? text.size() : feed;
      if (end > start && text[end - 1] == u'\r') --end;
      std::u16string line;
      appendEscaped(line, std::u16string_view(text).substr(start, end - start));
      spacesToNbsp(line);
      lines.push_back(std::move(line));
      if (feed == std::u16string::npos) break;
      start = feed + 1;
    }
    const auto blank = [](const std::u16string& line) {
      return line.find_first_not_of(u" \t\f\r") == std::u16string::npos;
    };

    // Chromium lays one span of <BR> lines out in time growing with the square of its length
    // when it breaks it into pages, so the middle lines are blocks of their own. A block boundary
    // stands for a <BR>: a blank line keeps its own <BR> to keep its height. Each line keeps the
    // span inside the block, so its line box is built from the same fonts as before. The first
    // and the last two shown lines stay together, as the one block's orphans and widows kept
    // them; between them a page may break after any line, as it could before.
    std::u16string html;
    html.reserve(text.size() + text.size() / 2);
    const auto group = [&](std::size_t from, std::size_t to, const char16_t* style, bool final) {
      html += style;
      html += open;
      for (std::size_t i = from; i < to; ++i) {
        if (i > from) html += u"<br>";
        html += lines[i];
      }
      if (!final && blank(lines[to - 1])) html += u"<br>";
      html += u"</span></div>";
    };
    // Nothing shows after the last line feed when only blanks follow it.
    const std::size_t tail = lines.size() > 1 && blank(lines.back()) ? 3 : 2;
    if (lines.size() <= 2 + tail) {
      group(0, lines.size(), u"<div>", true);
    } else {
      const std::size_t last = lines.size() - tail;
      group(0, 2, u"<div style=\"widows:1\">", false);
      html += u"<div style=\"orphans:1; widows:1\">";
      // The line blocks go in runs of kRun inside blocks of their own: Chromium's page breaking
      // of a few hundred thousand sibling blocks grows faster than their number.
      constexpr std::size_t kRun = 128;
      for (std::size_t i = 2; i < last; ++i) {
        if ((i - 2) % kRun == 0) html += u"<div>";
        group(i, i + 1, u"<div>", false);
        if ((i - 2) % kRun == kRun - 1 || i + 1 == last) html += u"</div>";
      }
      html += u"</div>";
      group(last, lines.size(), u"<div style=\"orphans:1\">", true);
    }
    if (FAILED(element.setInnerHTML(html))) LOG_ERROR(u"Exception caught in setHTMLFromPlainTextToElement");
  });
}

}  // namespace NUtils
