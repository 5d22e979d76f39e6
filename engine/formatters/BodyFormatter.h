#pragma once
// CBodyPropertyFormatter: the item's body (kind 0x1000001F): the body document's HTML, inline
// images pointed at their files, made inert again in the element it lands in; the body's style
// rules are collected for the template. An empty body leaves the element untouched.

#include "engine/formatters/StringFormatter.h"

class CBodyPropertyFormatter : public CStringPropertyFormatter {
 public:
  explicit CBodyPropertyFormatter(DWORD key = 0) : CStringPropertyFormatter(key) {}

  bool format(CElementSettings& settings, CMessage& message, platform::html::CHtmlElement element) override;
  void registerPrototypes() override;
};
