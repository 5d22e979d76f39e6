#pragma once
// CImagePropertyFormatter: the contact's picture (kind 0x02000000): an IMG element showing the
// picture's temporary file, or, with a FORMAT_STRING, the file's path for the format. Empty when
// the item has no picture.

#include "engine/PropertyFormatter.h"

class CImagePropertyFormatter : public CPropertyFormatter {
 public:
  explicit CImagePropertyFormatter(DWORD key = 0) : CPropertyFormatter(key) {}

  bool format(CElementSettings& settings, CMessage& message, platform::html::CHtmlElement element) override;
  void registerPrototypes() override;

  // The HTML of a picture path: the path escaped, in an IMG element unless a format string
  // takes it.
  static quilstring pictureHTML(const quilstring& path, bool formatted);
};
