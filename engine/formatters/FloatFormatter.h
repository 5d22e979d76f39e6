#pragma once
// CFloatPropertyFormatter: floating-point numbers (kind 4): two decimals with a point, 0.00 when
// nothing was read.

#include "engine/PropertyFormatter.h"

class CFloatPropertyFormatter : public CPropertyFormatter {
 public:
  explicit CFloatPropertyFormatter(DWORD key = 0) : CPropertyFormatter(key) {}

  bool format(CElementSettings& settings, CMessage& message, platform::html::CHtmlElement element) override;
  void registerPrototypes() override;

  // format, reading the item through source.
  bool formatFrom(CElementSettings& settings, IFieldSource& source, platform::html::CHtmlElement element);
};
