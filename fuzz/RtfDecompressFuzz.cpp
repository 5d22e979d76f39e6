// Random compressed-RTF streams: decoding must stay inside its buffers and bounded by the header;
// and any bytes must survive our compressor and decoder unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/rtf/Rtf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  if (const auto out = platform::rtf::decompressRtf(input)) {
    const std::uint32_t rawSize = size >= 8 ? static_cast<std::uint32_t>(data[4] | data[5] << 8 | data[6] << 16 |
                                                                          static_cast<std::uint32_t>(data[7]) << 24)
                                            : 0;
    if (out->rtf.size() > rawSize) std::abort();
  }
  for (bool store : {false, true}) {
    const auto back = platform::rtf::decompressRtf(platform::rtf::compressRtf(input, store));
    if (!back || back->rtf != input || !back->crcMatches || !back->complete) std::abort();
  }
  return 0;
}
