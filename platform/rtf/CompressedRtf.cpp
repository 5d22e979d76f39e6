#include "platform/rtf/Rtf.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace platform::rtf {
namespace {

constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kDictSize = 4096;
constexpr std::size_t kDictMask = kDictSize - 1;
constexpr std::size_t kMaxMatch = 17;  // 4-bit length + 2

// Every LZFu dictionary starts with these 207 bytes.
constexpr std::string_view kPrefix =
    "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss \\fmodern \\fscript "
    "\\fdecor MS Sans SerifSymbolArialTimes New RomanCourier{\\colortbl\\red0\\green0\\blue0\r\n\\par "
    "\\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";
static_assert(kPrefix.size() == 207);

constexpr std::array<std::uint32_t, 256> makeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = makeCrcTable();

std::uint32_t readLe32(std::string_view s, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(s[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24;
}

void putLe32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

struct Dictionary {
  std::array<unsigned char, kDictSize> bytes{};
  std::size_t write = kPrefix.size();
  Dictionary() { std::memcpy(bytes.data(), kPrefix.data(), kPrefix.size()); }
  void put(unsigned char c) {
    bytes[write] = c;
    write = (write + 1) & kDictMask;
  }
};

// Greedy LZFu encoder. Candidate positions come from hash chains over 3-byte prefixes; every
// candidate is verified against the live dictionary, so stale chain entries only cost time.
class Encoder {
 public:
  explicit Encoder(std::string_view input) : m_in(input) {
    m_head.fill(kNone);
    m_prev.fill(kNone);
    for (std::size_t p = 0; p + 2 < kPrefix.size(); ++p) link(p);
  }

  std::string run() {
    std::string out;
    out.reserve(m_in.size() + m_in.size() / 8 + 16);
    std::size_t pos = 0;
    bool done = false;
    while (!done) {
      const std::size_t controlAt = out.size();
      out.push_back('\0');
      unsigned char control = 0;
      for (int bit = 0; bit < 8; ++bit) {
        if (pos >= m_in.size()) {
          // End marker: a reference to the write position itself.
          control |= static_cast<unsigned char>(1u << bit);
          const std::size_t word = m_dict.write << 4;
          out.push_back(static_cast<char>((word >> 8) & 0xFF));
          out.push_back(static_cast<char>(word & 0xFF));
          done = true;
          break;
        }
        std::size_t offset = 0;
        const std::size_t length = longestMatch(pos, offset);
        if (length >= 3) {
          control |= static_cast<unsigned char>(1u << bit);
          const std::size_t word = (offset << 4) | (length - 2);
          out.push_back(static_cast<char>((word >> 8) & 0xFF));
          out.push_back(static_cast<char>(word & 0xFF));
          for (std::size_t i = 0; i < length; ++i) put(static_cast<unsigned char>(m_in[pos + i]));
          pos += length;
        } else {
          out.push_back(m_in[pos]);
          put(static_cast<unsigned char>(m_in[pos]));
          ++pos;
        }
      }
      out[controlAt] = static_cast<char>(control);
    }
    return out;
  }

 private:
  static constexpr std::uint16_t kNone = 0xFFFF;
  static constexpr int kChainLimit = 48;

  static std::size_t hash(unsigned a, unsigned b, unsigned c) { return ((a << 6) ^ (b << 3) ^ c) & 0xFFF; }

  void link(std::size_t p) {
    const std::size_t h = hash(m_dict.bytes[p], m_dict.bytes[(p + 1) & kDictMask], m_dict.bytes[(p + 2) & kDictMask]);
    m_prev[p] = m_head[h];
    m_head[h] = static_cast<std::uint16_t>(p);
  }

  void put(unsigned char c) {
    m_dict.put(c);
    // The 3-byte sequence starting two places back is now complete.
    link((m_dict.write + kDictSize - 3) & kDictMask);
  }

  // The byte a reference starting at `offset` would copy as its i-th byte: copying overwrites
  // the dictionary as it goes, so a reference may read back what it has just written.
  unsigned char copied(std::size_t offset, std::size_t i, std::size_t pos) const {
    const std::size_t d = (offset + i + kDictSize - m_dict.write) & kDictMask;
    if (d < i) return static_cast<unsigned char>(m_in[pos + d]);
    return m_dict.bytes[(offset + i) & kDictMask];
  }

  std::size_t longestMatch(std::size_t pos, std::size_t& bestOffset) const {
    const std::size_t limit = std::min(kMaxMatch, m_in.size() - pos);
    if (limit < 3) return 0;
    const auto* in = reinterpret_cast<const unsigned char*>(m_in.data()) + pos;
    std::size_t best = 0;
    std::uint16_t cand = m_head[hash(in[0], in[1], in[2])];
    for (int steps = 0; cand != kNone && steps < kChainLimit; ++steps, cand = m_prev[cand]) {
      const std::size_t offset = cand;
      if (offset == m_dict.write) continue;  // that would read as the end marker
      std::size_t n = 0;
      while (n < limit && copied(offset, n, pos) == in[n]) ++n;
      if (n > best) {
        best = n;
        bestOffset = offset;
        if (n == limit) break;
      }
    }
    return best;
  }

  std::string_view m_in;
  Dictionary m_dict;
  std::array<std::uint16_t, kDictSize> m_head{};
  std::array<std::uint16_t, kDictSize> m_prev{};
};

}  // namespace

std::uint32_t compressedRtfCrc(std::string_view bytes, std::uint32_t crc) {
  for (unsigned char c : bytes) crc = kCrcTable[(crc ^ c) & 0xFF] ^ (crc >> 8);
  return crc;
}

std::optional<DecompressedRtf> decompressRtf(std::string_view stream) {
  if (stream.size() < kHeaderSize) return std::nullopt;
  const std::uint32_t compSize = readLe32(stream, 0);
  const std::uint32_t rawSize = readLe32(stream, 4);
  const std::uint32_t type = readLe32(stream, 8);
  const std::uint32_t crc = readLe32(stream, 12);
  if (type != kCompressedType && type != kUncompressedType) return std::nullopt;

  // The content is what COMPSIZE announces, cut to what is really there.
  const std::size_t announced = compSize >= 12 ? compSize - 12 : 0;
  const bool sizeConsistent = compSize >= 12 && announced <= stream.size() - kHeaderSize;
  const std::string_view content = stream.substr(kHeaderSize, std::min<std::size_t>(announced, stream.size() - kHeaderSize));

  DecompressedRtf result;
  result.compressed = type == kCompressedType;
  if (!result.compressed) {
    result.crcMatches = crc == 0;
    result.rtf.assign(content.substr(0, rawSize));
    result.complete = sizeConsistent && result.rtf.size() == rawSize;
    return result;
  }

  result.crcMatches = compressedRtfCrc(content) == crc;
  // Each content byte yields at most 17 bytes, so this bounds the reservation whatever RAWSIZE says.
  result.rtf.reserve(std::min<std::size_t>(rawSize, content.size() * 9));
  Dictionary dict;
  std::size_t in = 0;
  bool ended = false;
  while (in < content.size() && !ended && result.rtf.size() < rawSize) {
    const unsigned char control = static_cast<unsigned char>(content[in++]);
    for (int bit = 0; bit < 8 && !ended; ++bit) {
      if (result.rtf.size() >= rawSize) break;
      if ((control & (1u << bit)) == 0) {
        if (in >= content.size()) {
          in = content.size();
          break;
        }
        const unsigned char c = static_cast<unsigned char>(content[in++]);
        result.rtf.push_back(static_cast<char>(c));
        dict.put(c);
        continue;
      }
      if (in + 2 > content.size()) {
        in = content.size();
        break;
      }
      const std::size_t word = static_cast<std::size_t>(static_cast<unsigned char>(content[in])) << 8 |
                               static_cast<unsigned char>(content[in + 1]);
      in += 2;
      const std::size_t offset = word >> 4;
      if (offset == dict.write) {
        ended = true;
        break;
      }
      const std::size_t length = std::min<std::size_t>((word & 0xF) + 2, rawSize - result.rtf.size());
      for (std::size_t i = 0; i < length; ++i) {
        const unsigned char c = dict.bytes[(offset + i) & kDictMask];
        result.rtf.push_back(static_cast<char>(c));
        dict.put(c);
      }
    }
  }
  result.complete = sizeConsistent && result.rtf.size() == rawSize;
  return result;
}

std::string compressRtf(std::string_view rtf, bool store) {
  std::string out(kHeaderSize, '\0');
  std::uint32_t crc = 0;
  if (store) {
    out.append(rtf);
  } else {
    const std::string body = Encoder(rtf).run();
    crc = compressedRtfCrc(body);
    out.append(body);
  }
  putLe32(out, 0, static_cast<std::uint32_t>(out.size() - 4));
  putLe32(out, 4, static_cast<std::uint32_t>(rtf.size()));
  putLe32(out, 8, store ? kUncompressedType : kCompressedType);
  putLe32(out, 12, crc);
  return out;
}

}  // namespace platform::rtf
