#pragma once
// The records of the user-editable configuration and their defaults. Plain values with
// member-wise copy; lists keep the order read or built.

#include <map>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "foundation/QuilString.h"

struct PrintOptions {
  DWORD pageFrom = 1;
  DWORD pageTo = 1;
  DWORD printSelection = 0;  // 0 everything, 1 the page range, 2 the thread trimmed to responses
  DWORD responses = 0;       // earlier responses of a thread kept in the print

  bool operator==(const PrintOptions&) const = default;
};

struct TemplateDetail {
  quilstring displayName;
  quilstring printingTemplate;  // full path of the HTML template file
  // 0 prints one item (memo style), 1 a list of items (table style); a template stored with any
  // other value is kept as it is and never printed with.
  DWORD isFolder = 0;
  PrintOptions printOptions;

  bool operator==(const TemplateDetail&) const = default;
};

struct ActionDetail {
  bool templateEnabled = false;
  bool attachmentEnabled = false;
  bool useOutlookTemplate = true;
  DWORD attachmentState = 0;  // 1 all attachments, 2 those listed, 3 all but those listed
  quilstring displayName;
  quilstring printingTemplate;
  quilstring attachmentString;
  PrintOptions printOptions;

  bool operator==(const ActionDetail&) const = default;
};

struct CustomButton {
  DWORD printOperation = 0;  // 0 print with the print dialog, 1 print preview, 2 print at once
  bool showAttachmentDialog = true;
  bool selectAttachments = false;
  bool showTemplateSelectionDialog = false;
  bool showButton = false;
  ActionDetail action;
  quilstring displayName;
  DWORD faceId = 0;
  quilstring imageMso;

  bool operator==(const CustomButton&) const = default;
};

struct MessageClassSettings {
  std::vector<TemplateDetail> templates;

  bool operator==(const MessageClassSettings&) const = default;
};

using MessageClassSettingsPtr = boost::shared_ptr<MessageClassSettings>;

struct AutoprintSettings {
  std::vector<ActionDetail> actions;
  DWORD numSeconds = 4;

  bool operator==(const AutoprintSettings&) const = default;
};

struct ButtonSettings {
  std::vector<CustomButton> buttons;
  bool displaySelectionButton = true;
  bool displayPreviewButton = true;
  bool displayAttachmentsButton = true;
  bool displayOnlineHelpButton = true;
  bool useOutlookButtons = true;
  bool buttonsInMenu = false;
  bool createToolbar = true;
  bool attachmentsSelectionView = false;

  bool operator==(const ButtonSettings&) const = default;
};

struct OtherOptions {
  bool allowUsersToModifySettings = true;
  bool tidyHTML = true;
  bool enableLogging = false;
  quilstring logPath;

  bool operator==(const OtherOptions&) const = default;
};

// The block the options page copies and hands back. Copies share each class's settings until
// an entry is replaced.
struct SettingsData {
  std::map<quilstring, MessageClassSettingsPtr> messageClasses;
  AutoprintSettings autoprint;
  ButtonSettings buttons;
  OtherOptions otherOptions;

  // Equal when every class holds equal templates (not merely the same pointers).
  bool operator==(const SettingsData& other) const;
};

// The fallback class of items whose own class has no templates.
inline constexpr const char16_t* kDefaultMessageClass = u"<Default>";
