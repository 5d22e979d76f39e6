#pragma once
// CSysTimePropertyFormatter: dates and times (kind 0x40, and MAPI time tags by their type): the
// local date and time by the element's flags and pictures in the stored locale; empty when nothing
// was read.

#include "engine/PropertyFormatter.h"

class CSysTimePropertyFormatter : public CPropertyFormatter {
 public:
  explicit CSysTimePropertyFormatter(DWORD key = 0) : CPropertyFormatter(key) {}

  bool format(CElementSettings& settings, CMessage& message, platform::html::CHtmlElement element) override;
  void registerPrototypes() override;

  // format, reading the item through source.
  bool formatFrom(CElementSettings& settings, IFieldSource& source, platform::html::CHtmlElement element);

  // The time as the page shows it: a UTC time is shifted to local time by the zone's rule for
  // that date, a local one is taken as it is. False for a time that cannot be converted.
  static bool toLocalSystemTime(const FieldTime& time, SYSTEMTIME& local);
  // The date text, two spaces and the time text; a failed part is logged and left out.
  static quilstring dateTimeText(const CElementSettings& settings, const SYSTEMTIME& local);
};
