#pragma once
// CUserPropertyFormatter: user-defined properties (kind 0x200000): the value of the item's user
// property named by NAME, as text; empty when it is missing or cannot be read.

#include "engine/PropertyFormatter.h"

class CUserPropertyFormatter : public CPropertyFormatter {
 public:
  explicit CUserPropertyFormatter(DWORD key = 0) : CPropertyFormatter(key) {}

  bool format(CElementSettings& settings, CMessage& message, platform::html::CHtmlElement element) override;
  void registerPrototypes() override;

  // format, reading the item through source.
  bool formatFrom(CElementSettings& settings, IFieldSource& source, platform::html::CHtmlElement element);
};
