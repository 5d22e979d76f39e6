#pragma once
// CIntegerPropertyFormatter: whole numbers (kinds 2 and 3): the decimal value, 0 when nothing was
// read; NAME=AttachmentCount shows the number of printable attachments.

#include "engine/PropertyFormatter.h"

class CIntegerPropertyFormatter : public CPropertyFormatter {
 public:
  explicit CIntegerPropertyFormatter(DWORD key = 0) : CPropertyFormatter(key) {}

  bool format(CElementSettings& settings, CMessage& message, platform::html::CHtmlElement element) override;
  void registerPrototypes() override;

  // format, reading the item through source.
  bool formatFrom(CElementSettings& settings, IFieldSource& source, platform::html::CHtmlElement element);
};
