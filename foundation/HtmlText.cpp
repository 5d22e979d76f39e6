#include "foundation/HtmlText.h"

#include <atomic>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#include <tidy/tidy.h>
#include <tidy/tidybuffio.h>

#include "foundation/Log.h"
#include "foundation/Utils.h"

namespace NUtils {
namespace {

std::atomic<std::size_t> g_tidyMemoryLimit{0};

// Tidy's own allocations, kept in one list so that whatever Tidy leaks on malformed input
// (it does, on some XML declarations) is freed with the session. A failed allocation throws
// instead of letting Tidy's default handler end the process.
class TidyArena {
 public:
  TidyArena() : m_base{&kVtbl} { m_head.prev = m_head.next = &m_head; }
  ~TidyArena() {
    while (m_head.next != &m_head) {
      Block* block = m_head.next;
      unlink(block);
      std::free(block);
    }
  }
  TidyArena(const TidyArena&) = delete;
  TidyArena& operator=(const TidyArena&) = delete;

  TidyAllocator* allocator() { return &m_base; }

 private:
  struct alignas(std::max_align_t) Block {
    Block* prev;
    Block* next;
  };

  static TidyArena& of(TidyAllocator* self) { return *reinterpret_cast<TidyArena*>(self); }
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

  void count(std::size_t size) {
    const std::size_t limit = g_tidyMemoryLimit.load(std::memory_order_relaxed);
    m_allocated += size;
    if (limit != 0 && m_allocated > limit) throw std::bad_alloc();
  }

  static void* TIDY_CALL alloc(TidyAllocator* self, size_t size) {
    if (size > SIZE_MAX - sizeof(Block)) throw std::bad_alloc();
    of(self).count(size);
    auto* block = static_cast<Block*>(std::malloc(sizeof(Block) + size));
    if (!block) throw std::bad_alloc();
    of(self).link(block);
    return block + 1;
  }
  static void* TIDY_CALL reallocate(TidyAllocator* self, void* data, size_t size) {
    if (!data) return alloc(self, size);
    if (size > SIZE_MAX - sizeof(Block)) throw std::bad_alloc();
    of(self).count(size);
    Block* old = blockOf(data);
    unlink(old);
    auto* block = static_cast<Block*>(std::realloc(old, sizeof(Block) + size));
    if (!block) {
      of(self).link(old);
      throw std::bad_alloc();
    }
    of(self).link(block);
    return block + 1;
  }
  static void TIDY_CALL release(TidyAllocator*, void* data) {
    if (!data) return;
    Block* block = blockOf(data);
    unlink(block);
    std::free(block);
  }
  static void TIDY_CALL panic(TidyAllocator*, ctmbstr) { throw std::bad_alloc(); }

  static constexpr TidyAllocatorVtbl kVtbl = {alloc, reallocate, release, panic};

  TidyAllocator m_base;  // first, so that Tidy's allocator pointer is the arena's address
  Block m_head;
  std::size_t m_allocated = 0;
};

// Owns one Tidy document and its two buffers. After an exception inside Tidy the document may
// be half-built: it is then never touched again, and the arena frees its memory.
class TidySession {
 public:
  TidySession() : m_doc(tidyCreateWithAllocator(m_arena.allocator())) {
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

}  // namespace

void tidyHTML(std::u16string& text) {
  try {
    std::string input;
    if (!WideToMultiByte(text, input)) return;
    dropLateDeclarations(input);
    TidySession tidy;
    const int rc = tidy.run(input);
    if (rc < 0) {
      LOG_ERROR(u"HTMLTidy: A severe error (%d) occurred.", rc);
      return;
    }
    if (rc > 0) LOG_DEBUG(u"HTMLTidy: Diagnostics: %S", tidy.diagnostics().c_str());
    quilstring cleaned;
    if (!MultiByteToWide(tidy.output(), cleaned)) {
      LOG_ERROR(u"HTMLTidy: Failed to convert Multibyte to Wide");
      return;
    }
    text.swap(cleaned);
  } catch (...) {
    LOG_ERROR(u"Exception caught in tidyHTML");
  }
}

void setTidyMemoryLimitForTesting(std::size_t bytes) { g_tidyMemoryLimit.store(bytes, std::memory_order_relaxed); }

void plainTextToHTML(std::u16string& text, bool noBreaks) {
  try {
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
  } catch (...) {
    LOG_ERROR(u"Exception caught in plainTextToHTML");
  }
}

void spacesToNbsp(std::u16string& text) {
  try {
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
  } catch (...) {
  }
}

}  // namespace NUtils
