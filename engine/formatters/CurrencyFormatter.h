#pragma once
// CCurrencyPropertyFormatter: currency amounts (kind 6) in the locale's currency format; empty when
// nothing was read.

#include "engine/PropertyFormatter.h"

class CCurrencyPropertyFormatter : public CPropertyFormatter {
 public:
  explicit CCurrencyPropertyFormatter(DWORD key = 0) : CPropertyFormatter(key) {}

  bool format(CElementSettings& settings, CMessage& message, platform::html::CHtmlElement element) override;
  void registerPrototypes() override;

  // format, reading the item through source.
  bool formatFrom(CElementSettings& settings, IFieldSource& source, platform::html::CHtmlElement element);

  // The amount in ten-thousandths as decimal text with four fraction digits (12345 gives
  // "1.2345", 5000 gives ".5000").
  static quilstring amountText(LONGLONG amount);
};
