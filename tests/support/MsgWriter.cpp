// Writes .msg fixtures with libgsf's compound-file writer.
#include "tests/support/MsgWriter.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-utils.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>

#include "platform/mapi/PropTags.h"
#include "platform/system/CodePage.h"

namespace testsupport {
namespace {

void putU32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void putU16(std::string& out, std::uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

template <class T>
std::string rawBytes(const T& value, std::size_t size = 8) {
  std::string out(size, '\0');
  std::memcpy(out.data(), &value, std::min(size, sizeof value));
  return out;
}

std::string utf16Bytes(std::u16string_view text, bool terminate) {
  std::string out;
  for (char16_t c : text) putU16(out, c);
  if (terminate) putU16(out, 0);
  return out;
}

std::string guidBytes(const GUID& g) {
  std::string out;
  putU32(out, g.Data1);
  putU16(out, g.Data2);
  putU16(out, g.Data3);
  out.append(reinterpret_cast<const char*>(g.Data4), 8);
  return out;
}

bool isVariable(ULONG type) {
  return type == PT_STRING8 || type == PT_UNICODE || type == PT_BINARY || type == PT_CLSID || type == PT_OBJECT;
}

std::string substg(ULONG tag) {
  char name[32];
  std::snprintf(name, sizeof name, "__substg1.0_%08X", static_cast<unsigned>(tag));
  return name;
}

const GUID kPsMapi = {0x00020328, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID kPsPublicStrings = {0x00020329, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const guint8 kMessageClsid[16] = {0x0B, 0x0D, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};

class Writer {
 public:
  bool ok = true;

  void stream(GsfOutfile* dir, const std::string& name, const std::string& bytes) {
    GsfOutput* child = gsf_outfile_new_child(dir, name.c_str(), FALSE);
    if (!child) {
      ok = false;
      return;
    }
    if (!bytes.empty() && !gsf_output_write(child, bytes.size(), reinterpret_cast<const guint8*>(bytes.data())))
      ok = false;
    if (!gsf_output_close(child)) ok = false;
    g_object_unref(child);
  }

  GsfOutfile* storage(GsfOutfile* dir, const std::string& name) {
    GsfOutput* child = gsf_outfile_new_child(dir, name.c_str(), TRUE);
    if (!child) ok = false;
    return child ? GSF_OUTFILE(child) : nullptr;
  }

  void close(GsfOutfile* dir) {
    if (!dir) return;
    if (!gsf_output_close(GSF_OUTPUT(dir))) ok = false;
    g_object_unref(dir);
  }

  // The property stream (after its header) and the value streams of a list of properties.
  void properties(GsfOutfile* dir, std::string header, const std::vector<MsgValue>& props,
                  const std::map<std::string, std::string>& raw) {
    std::map<std::string, std::string> streams;
    for (const MsgValue& p : props) {
      const ULONG type = PROP_TYPE(p.tag);
      putU32(header, p.tag);
      putU32(header, 6);  // readable, writable
      std::string value;
      if (type & MV_FLAG) {
        const ULONG base = type & ~MV_FLAG;
        std::string lengths;
        if (base == PT_STRING8 || base == PT_UNICODE || base == PT_BINARY) {
          for (std::size_t i = 0; i < p.values.size(); ++i) {
            putU32(lengths, static_cast<std::uint32_t>(p.values[i].size()));
            if (base == PT_BINARY) putU32(lengths, 0);
            char name[48];
            std::snprintf(name, sizeof name, "__substg1.0_%08X-%08X", static_cast<unsigned>(p.tag),
                          static_cast<unsigned>(i));
            if (!p.omitStream) streams[name] = p.values[i];
          }
        } else {
          for (const auto& v : p.values) lengths += v;
        }
        putU32(value, p.claimedSize.value_or(static_cast<ULONG>(lengths.size())));
        putU32(value, 0);
        if (!p.omitStream) streams[substg(p.tag)] = lengths;
      } else if (isVariable(type)) {
        putU32(value, p.claimedSize.value_or(type == PT_OBJECT ? 0xFFFFFFFFu : static_cast<ULONG>(p.bytes.size())));
        putU32(value, 0);
        if (type != PT_OBJECT && !p.omitStream) streams[substg(p.tag)] = p.bytes;
      } else {
        value = p.bytes;
        value.resize(8, '\0');
      }
      header += value;
    }
    streams["__properties_version1.0"] = header;
    for (const auto& [name, bytes] : raw) streams[name] = bytes;
    for (const auto& [name, bytes] : streams) stream(dir, name, bytes);
  }

  void message(GsfOutfile* dir, const MsgDescription& d, bool embedded) {
    std::vector<MsgValue> props = d.props;
    if (!d.messageClass.empty()) {
      std::u16string cls(d.messageClass.begin(), d.messageClass.end());
      props.insert(props.begin(), unicodeProp(PR_MESSAGE_CLASS_W, cls));
    }
    for (std::size_t i = 0; i < d.named.size(); ++i) {
      MsgValue v = d.named[i].value;
      v.tag = namedTag(static_cast<ULONG>(i), PROP_TYPE(v.tag));
      props.push_back(std::move(v));
    }
    std::string header(8, '\0');
    putU32(header, static_cast<std::uint32_t>(d.recipients.size()));
    putU32(header, static_cast<std::uint32_t>(d.attachments.size()));
    putU32(header, static_cast<std::uint32_t>(d.recipients.size()));
    putU32(header, static_cast<std::uint32_t>(d.attachments.size()));
    if (!embedded) header.append(8, '\0');
    if (!embedded && !d.named.empty()) nameMap(dir, d.named);
    for (std::size_t i = 0; i < d.recipients.size(); ++i) {
      char name[48];
      std::snprintf(name, sizeof name, "__recip_version1.0_#%08X", static_cast<unsigned>(i));
      GsfOutfile* child = storage(dir, name);
      if (!child) continue;
      properties(child, std::string(8, '\0'), d.recipients[i].props, {});
      close(child);
    }
    for (std::size_t i = 0; i < d.attachments.size(); ++i) {
      const MsgAttachment& a = d.attachments[i];
      char name[48];
      std::snprintf(name, sizeof name, "__attach_version1.0_#%08X", static_cast<unsigned>(i));
      GsfOutfile* child = storage(dir, name);
      if (!child) continue;
      std::vector<MsgValue> attachProps = a.props;
      if (a.embedded) {
        MsgValue object;
        object.tag = PR_ATTACH_DATA_OBJ;
        attachProps.push_back(object);
        GsfOutfile* inner = storage(child, substg(PR_ATTACH_DATA_OBJ));
        if (inner) {
          gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(inner), kMessageClsid);
          message(inner, *a.embedded, true);
          close(inner);
        }
      }
      properties(child, std::string(8, '\0'), attachProps, {});
      close(child);
    }
    properties(dir, header, props, d.rawStreams);
  }

  void nameMap(GsfOutfile* root, const std::vector<MsgNamed>& named) {
    GsfOutfile* dir = storage(root, "__nameid_version1.0");
    if (!dir) return;
    std::string guids, entries, strings;
    std::vector<GUID> custom;
    for (std::size_t i = 0; i < named.size(); ++i) {
      const MsgNamed& n = named[i];
      unsigned guidIndex = 0;
      if (IsEqualGUID(n.guid, kPsMapi)) {
        guidIndex = 1;
      } else if (IsEqualGUID(n.guid, kPsPublicStrings)) {
        guidIndex = 2;
      } else {
        std::size_t k = 0;
        while (k < custom.size() && !IsEqualGUID(custom[k], n.guid)) ++k;
        if (k == custom.size()) {
          custom.push_back(n.guid);
          guids += guidBytes(n.guid);
        }
        guidIndex = static_cast<unsigned>(k + 3);
      }
      if (n.lid) {
        putU32(entries, static_cast<std::uint32_t>(*n.lid));
        putU16(entries, static_cast<std::uint16_t>(guidIndex << 1));
      } else {
        putU32(entries, static_cast<std::uint32_t>(strings.size()));
        putU16(entries, static_cast<std::uint16_t>((guidIndex << 1) | 1));
        const std::string text = utf16Bytes(n.name, false);
        putU32(strings, static_cast<std::uint32_t>(text.size()));
        strings += text;
        while (strings.size() % 4) strings.push_back('\0');
      }
      putU16(entries, static_cast<std::uint16_t>(i));
    }
    stream(dir, substg(0x00020102), guids);
    stream(dir, substg(0x00030102), entries);
    stream(dir, substg(0x00040102), strings);
    close(dir);
  }
};

}  // namespace

MsgValue longProp(ULONG tag, LONG value) { return MsgValue{CHANGE_PROP_TYPE(tag, PT_LONG), rawBytes(value), {}, {}, false}; }
MsgValue shortProp(ULONG tag, short value) { return MsgValue{CHANGE_PROP_TYPE(tag, PT_I2), rawBytes(value), {}, {}, false}; }
MsgValue boolProp(ULONG tag, bool value) {
  return MsgValue{CHANGE_PROP_TYPE(tag, PT_BOOLEAN), rawBytes(static_cast<std::uint16_t>(value ? 1 : 0)), {}, {}, false};
}
MsgValue i8Prop(ULONG tag, LONGLONG value) { return MsgValue{CHANGE_PROP_TYPE(tag, PT_I8), rawBytes(value), {}, {}, false}; }
MsgValue doubleProp(ULONG tag, double value) { return MsgValue{CHANGE_PROP_TYPE(tag, PT_DOUBLE), rawBytes(value), {}, {}, false}; }
MsgValue currencyProp(ULONG tag, LONGLONG value) {
  return MsgValue{CHANGE_PROP_TYPE(tag, PT_CURRENCY), rawBytes(value), {}, {}, false};
}
MsgValue timeProp(ULONG tag, FILETIME value) {
  std::string bytes;
  putU32(bytes, value.dwLowDateTime);
  putU32(bytes, value.dwHighDateTime);
  return MsgValue{CHANGE_PROP_TYPE(tag, PT_SYSTIME), bytes, {}, {}, false};
}
MsgValue unicodeProp(ULONG tag, std::u16string_view text) {
  return MsgValue{CHANGE_PROP_TYPE(tag, PT_UNICODE), utf16Bytes(text, true), {}, {}, false};
}
MsgValue string8Prop(ULONG tag, std::string_view bytes) {
  return MsgValue{CHANGE_PROP_TYPE(tag, PT_STRING8), std::string(bytes) + '\0', {}, {}, false};
}
MsgValue ansiProp(ULONG tag, std::u16string_view text, UINT codePage) {
  return string8Prop(tag, platform::system::fromUtf16(codePage, text).value_or(std::string()));
}
MsgValue binaryProp(ULONG tag, std::string_view bytes) {
  return MsgValue{CHANGE_PROP_TYPE(tag, PT_BINARY), std::string(bytes), {}, {}, false};
}
MsgValue clsidProp(ULONG tag, const GUID& value) {
  return MsgValue{CHANGE_PROP_TYPE(tag, PT_CLSID), guidBytes(value), {}, {}, false};
}
MsgValue mvLongProp(ULONG tag, const std::vector<LONG>& values) {
  MsgValue v{CHANGE_PROP_TYPE(tag, PT_MV_LONG), {}, {}, {}, false};
  for (LONG x : values) v.values.push_back(rawBytes(x, 4));
  return v;
}
MsgValue mvUnicodeProp(ULONG tag, const std::vector<std::u16string>& values) {
  MsgValue v{CHANGE_PROP_TYPE(tag, PT_MV_UNICODE), {}, {}, {}, false};
  for (const auto& s : values) v.values.push_back(utf16Bytes(s, true));
  return v;
}
MsgValue mvString8Prop(ULONG tag, const std::vector<std::string>& values) {
  MsgValue v{CHANGE_PROP_TYPE(tag, PT_MV_STRING8), {}, {}, {}, false};
  for (const auto& s : values) v.values.push_back(s + '\0');
  return v;
}
MsgValue mvBinaryProp(ULONG tag, const std::vector<std::string>& values) {
  MsgValue v{CHANGE_PROP_TYPE(tag, PT_MV_BINARY), {}, values, {}, false};
  return v;
}

FILETIME fileTimeFromUnix(long long seconds) {
  const unsigned long long ticks = static_cast<unsigned long long>(seconds + 11644473600LL) * 10000000ULL;
  return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

std::string buildMsg(const MsgDescription& description) {
  static std::once_flag once;
  std::call_once(once, [] { gsf_init(); });
  GsfOutput* memory = gsf_output_memory_new();
  GsfOutfile* root = gsf_outfile_msole_new(memory);
  if (!root) {
    g_object_unref(memory);
    return {};
  }
  gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(root), kMessageClsid);
  Writer writer;
  writer.message(root, description, false);
  writer.close(root);
  std::string bytes;
  // Closing the compound file closes its sink as well.
  if (!gsf_output_is_closed(memory) && !gsf_output_close(memory)) writer.ok = false;
  if (writer.ok) {
    const guint8* data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(memory));
    bytes.assign(reinterpret_cast<const char*>(data), static_cast<std::size_t>(gsf_output_size(memory)));
  }
  g_object_unref(memory);
  return bytes;
}

bool writeMsgFile(const MsgDescription& description, const std::filesystem::path& path) {
  const std::string bytes = buildMsg(description);
  if (bytes.empty()) return false;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

}  // namespace testsupport
