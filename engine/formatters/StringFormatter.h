#pragma once
// CStringPropertyFormatter: texts (kinds 0x1E, 0x1F and the multi-valued 0x101E, 0x101F): the text
// with its line breaks as <BR>; empty when nothing was read.

#include <cstddef>

#include "engine/PropertyFormatter.h"

class CStringPropertyFormatter : public CPropertyFormatter {
 public:
  explicit CStringPropertyFormatter(DWORD key = 0) : CPropertyFormatter(key) {}

  bool format(CElementSettings& settings, CMessage& message, platform::html::CHtmlElement element) override;
  void registerPrototypes() override;

  // format, reading the item through source.
  bool formatFrom(CElementSettings& settings, IFieldSource& source, platform::html::CHtmlElement element);

  // Long string properties are read through a stream up to this many bytes.
  static constexpr std::size_t kMaxStreamBytes = 32u * 1024u * 1024u;
};
