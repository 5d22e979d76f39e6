#pragma once
// CAttachmentPropertyFormatter: the names of the item's attachments (kind 0x00100000), in the
// order of its attachment table, joined by VALUE_SEPARATOR (", " by default). Inline pictures
// are left out; an embedded message is named by its subject.

#include <vector>

#include "engine/PropertyFormatter.h"

class CAttachmentPropertyFormatter : public CPropertyFormatter {
 public:
  explicit CAttachmentPropertyFormatter(DWORD key = 0) : CPropertyFormatter(key) {}

  bool format(CElementSettings& settings, CMessage& message, platform::html::CHtmlElement element) override;
  void registerPrototypes() override;

  // The names of the listed attachments of the message's attachment rows.
  static std::vector<quilstring> attachmentNames(CMessage& message);
  // The file-name part of a path ("C:\dir\report.pdf" gives "report.pdf"), of any length.
  static quilstring fileNamePart(const quilstring& path);
};
