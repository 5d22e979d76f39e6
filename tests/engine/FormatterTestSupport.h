#pragma once
// What the formatter tests share: a field source answering from tables, a stream over bytes, a
// template element to write into, and the log's lines.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "engine/ElementSettings.h"
#include "engine/FieldSource.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Log.h"
#include "platform/com/Com.h"
#include "platform/html/HtmlDocument.h"
#include "platform/mapi/ComBase.h"
#include "platform/mapi/MAPIDefs.h"
#include "platform/system/TimeZone.h"
#include "tests/support/TestEnvironment.h"

namespace formattertest {

// A read-only stream over bytes. Stat may report another size than the bytes have, and the
// stream may be endless (it then repeats its bytes).
class CBytesStream final : public IStream {
 public:
  explicit CBytesStream(std::string bytes, std::optional<ULONGLONG> statSize = std::nullopt, bool endless = false)
      : m_bytes(std::move(bytes)), m_statSize(statSize), m_endless(endless) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IStream) {
      *object = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    const ULONG refs = --m_refs;
    if (refs == 0) delete this;
    return refs;
  }
  HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override {
    ULONG n = 0;
    while (n < cb && (m_endless || m_pos < m_bytes.size()) && !m_bytes.empty()) {
      static_cast<char*>(pv)[n++] = m_bytes[m_pos++ % m_bytes.size()];
    }
    m_read += n;
    if (pcbRead) *pcbRead = n;
    return S_OK;
  }
  HRESULT Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
  HRESULT Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  HRESULT SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  HRESULT Commit(DWORD) override { return S_OK; }
  HRESULT Revert() override { return E_NOTIMPL; }
  HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT Stat(STATSTG* stat, DWORD) override {
    *stat = STATSTG{};
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = m_statSize ? *m_statSize : m_bytes.size();
    return S_OK;
  }
  HRESULT Clone(IStream**) override { return E_NOTIMPL; }

  std::size_t bytesRead() const { return m_read; }

 private:
  ~CBytesStream() = default;
  std::string m_bytes;
  std::optional<ULONGLONG> m_statSize;
  bool m_endless;
  std::size_t m_pos = 0;
  std::size_t m_read = 0;
  ULONG m_refs = 1;
};

// One MAPI value of the fake: a scalar, a text, a list of texts, or an error.
struct MapiError {
  HRESULT code;
};
using MapiValue = std::variant<short, LONG, bool, CY, FILETIME, std::u16string, std::string,
                               std::vector<std::u16string>, std::vector<std::string>, MapiError>;

// Answers every read from its tables and records the reads made, in order.
class CFakeFieldSource : public IFieldSource {
 public:
  using ItemValue = std::variant<LONG, float, bool, FieldTime, CY, quilstring>;

  std::map<DISPID, ItemValue> byId;
  std::map<quilstring, ItemValue> byName;
  std::map<ULONG, MapiValue> mapi;  // by the tag asked for
  std::map<ULONG, std::string> streams;
  std::map<ULONG, std::optional<ULONGLONG>> streamStatSizes;
  std::map<ULONG, bool> endlessStreams;
  UINT codePage = 0;
  long attachmentCount = 0;
  IDispatch* userProperties = nullptr;
  std::vector<std::string> reads;

  bool getLong(DISPID id, LONG& out) override { return get("long", id, out); }
  bool getLongByName(const quilstring& name, LONG& out) override { return get("long", name, out); }
  bool getFloat(DISPID id, float& out) override { return get("float", id, out); }
  bool getFloatByName(const quilstring& name, float& out) override { return get("float", name, out); }
  bool getBool(DISPID id, bool& out) override { return get("bool", id, out); }
  bool getBoolByName(const quilstring& name, bool& out) override { return get("bool", name, out); }
  bool getFileTime(DISPID id, FieldTime& out) override { return get("time", id, out); }
  bool getFileTimeByName(const quilstring& name, FieldTime& out) override { return get("time", name, out); }
  bool getCurrency(DISPID id, CY& out) override { return get("currency", id, out); }
  bool getCurrencyByName(const quilstring& name, CY& out) override { return get("currency", name, out); }
  bool getString(DISPID id, quilstring& out) override { return get("string", id, out); }
  bool getStringByName(const quilstring& name, quilstring& out) override { return get("string", name, out); }

  bool getMAPIProperty(ULONG tag, LPSPropValue* value) override;
  bool openMAPIProperty(ULONG tag, LPCIID iid, ULONG, ULONG, LPUNKNOWN* object) override {
    reads.push_back("stream " + hex(tag));
    *object = nullptr;
    const auto it = streams.find(tag);
    if (it == streams.end() || !iid || *iid != IID_IStream) return false;
    *object = new CBytesStream(it->second, streamStatSizes[tag], endlessStreams[tag]);
    return true;
  }
  UINT stringCodePage() override { return codePage; }
  long getAttachmentCount() override {
    reads.push_back("attachments");
    return attachmentCount;
  }
  IDispatch* getUserProperties() override { return userProperties; }

  static std::string hex(ULONG value) {
    char text[16];
    std::snprintf(text, sizeof text, "%#lx", static_cast<unsigned long>(value));
    return text;
  }

 private:
  template <class T>
  bool get(const char* what, DISPID id, T& out) {
    reads.push_back(std::string(what) + " id " + hex(static_cast<ULONG>(id)));
    return take(byId, id, out);
  }
  template <class T>
  bool get(const char* what, const quilstring& name, T& out) {
    reads.push_back(std::string(what) + " name " + name.toUtf8());
    return take(byName, name, out);
  }
  template <class Map, class Key, class T>
  static bool take(const Map& map, const Key& key, T& out) {
    const auto it = map.find(key);
    if (it == map.end() || !std::holds_alternative<T>(it->second)) return false;
    out = std::get<T>(it->second);
    return true;
  }
};

inline bool CFakeFieldSource::getMAPIProperty(ULONG tag, LPSPropValue* value) {
  reads.push_back("mapi " + hex(tag));
  *value = nullptr;
  const auto it = mapi.find(tag);
  if (it == mapi.end()) return false;
  void* buffer = nullptr;
  MAPIAllocateBuffer(sizeof(SPropValue), &buffer);
  auto* prop = static_cast<SPropValue*>(buffer);
  *prop = SPropValue{};
  prop->ulPropTag = tag;
  const auto copyW = [&](const std::u16string& text) {
    void* more = nullptr;
    MAPIAllocateMore(static_cast<ULONG>((text.size() + 1) * 2), buffer, &more);
    std::memcpy(more, text.c_str(), (text.size() + 1) * 2);
    return static_cast<char16_t*>(more);
  };
  const auto copyA = [&](const std::string& text) {
    void* more = nullptr;
    MAPIAllocateMore(static_cast<ULONG>(text.size() + 1), buffer, &more);
    std::memcpy(more, text.c_str(), text.size() + 1);
    return static_cast<char*>(more);
  };
  std::visit(
      [&](const auto& v) {
        using V = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<V, short>) prop->Value.i = v;
        else if constexpr (std::is_same_v<V, LONG>) prop->Value.l = v;
        else if constexpr (std::is_same_v<V, bool>) prop->Value.b = v ? 1 : 0;
        else if constexpr (std::is_same_v<V, CY>) prop->Value.cur = v;
        else if constexpr (std::is_same_v<V, FILETIME>) prop->Value.ft = v;
        else if constexpr (std::is_same_v<V, std::u16string>) prop->Value.lpszW = copyW(v);
        else if constexpr (std::is_same_v<V, std::string>) prop->Value.lpszA = copyA(v);
        else if constexpr (std::is_same_v<V, std::vector<std::u16string>>) {
          void* more = nullptr;
          MAPIAllocateMore(static_cast<ULONG>(sizeof(char16_t*) * (v.size() + 1)), buffer, &more);
          auto** array = static_cast<char16_t**>(more);
          for (std::size_t i = 0; i < v.size(); ++i) array[i] = copyW(v[i]);
          prop->Value.MVszW = {static_cast<ULONG>(v.size()), array};
        } else if constexpr (std::is_same_v<V, std::vector<std::string>>) {
          void* more = nullptr;
          MAPIAllocateMore(static_cast<ULONG>(sizeof(char*) * (v.size() + 1)), buffer, &more);
          auto** array = static_cast<char**>(more);
          for (std::size_t i = 0; i < v.size(); ++i) array[i] = copyA(v[i]);
          prop->Value.MVszA = {static_cast<ULONG>(v.size()), array};
        } else {
          prop->ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(tag));
          prop->Value.err = v.code;
        }
      },
      it->second);
  *value = prop;
  return true;
}

// A FILETIME of a calendar time.
inline FILETIME fileTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
  SYSTEMTIME st{year, month, 0, day, hour, minute, second, 0};
  FILETIME ft{};
  EXPECT_TRUE(SystemTimeToFileTime(&st, &ft));
  return ft;
}

const std::vector<quilstring> kLevelNames = {u"Info", u"Error", u"Warning", u"Debug"};

// Each test: a log file at Debug, the default globals, and a template element to fill.
class FormatterTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    NGlobals::resetForTesting();
    CLogger::instance().resetForTesting();
    m_logPath = dir() / "log.txt";
    ASSERT_TRUE(CLogger::instance().redirectTo(quilstring::fromUtf8(m_logPath.string())));
    NLog::setLevels(kLevelNames, u"debug");
  }
  void TearDown() override {
    CLogger::instance().resetForTesting();
    NLog::switchOff();
    NGlobals::resetForTesting();
    platform::system::setSystemTimeForTesting(nullptr);
    setenv("TZ", "UTC", 1);
  }

  // A fresh element of a template document, holding text that formatting replaces.
  platform::html::CHtmlElement element() {
    m_document = platform::html::CHtmlDocument();
    EXPECT_EQ(m_document.loadFromString(u"<html><body><p><span id=field>old</span></p></body></html>"), S_OK);
    return m_document.all().item(u"field").item(0);
  }

  // The settings of a text, made without an item.
  static CElementSettings settings(const quilstring& text) { return CElementSettings(text, nullptr); }

  // Formats with a formatter's formatFrom into a fresh element; answers its innerHTML.
  template <class Formatter>
  std::u16string run(Formatter& formatter, const quilstring& text, IFieldSource& source, bool* answer = nullptr) {
    CElementSettings s = settings(text);
    auto target = element();
    const bool result = formatter.formatFrom(s, source, target);
    if (answer) *answer = result;
    m_last = target;
    return target.innerHTML();
  }

  // The log's lines as "Level message", without time stamp and source.
  std::vector<std::string> logLines() const {
    std::vector<std::string> out;
    std::istringstream in(testsupport::readFile(m_logPath));
    for (std::string line; std::getline(in, line);) {
      line = line.substr(9, line.rfind(" (") - 9);
      const std::size_t levelEnd = line.find(' ');
      out.push_back(line.substr(0, levelEnd) + " " + line.substr(line.find_first_not_of(' ', levelEnd)));
    }
    return out;
  }
  bool logged(const std::string& line) const {
    for (const auto& l : logLines()) {
      if (l == line) return true;
    }
    return false;
  }

  std::filesystem::path m_logPath;
  platform::html::CHtmlDocument m_document;
  platform::html::CHtmlElement m_last;
};

inline std::string utf8(const std::u16string& text) { return quilstring(text).toUtf8(); }

}  // namespace formattertest
