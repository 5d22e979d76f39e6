#pragma once
// CBooleanPropertyFormatter: booleans (kind 0xB): "1" or "0" translated by the element's possible
// values, which default to False and True; empty when nothing was read.

#include "engine/PropertyFormatter.h"

class CBooleanPropertyFormatter : public CPropertyFormatter {
 public:
  explicit CBooleanPropertyFormatter(DWORD key = 0) : CPropertyFormatter(key) {}

  bool format(CElementSettings& settings, CMessage& message, platform::html::CHtmlElement element) override;
  void registerPrototypes() override;

  // format, reading the item through source.
  bool formatFrom(CElementSettings& settings, IFieldSource& source, platform::html::CHtmlElement element);
};
