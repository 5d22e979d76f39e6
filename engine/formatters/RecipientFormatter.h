#pragma once
// CRecipientPropertyFormatter: recipient lists (To, Cc, Bcc, ReceivedBy, From, and the linked
// contacts), by the formatter's own key, in the short style (names) or the full style
// ("name [address]"); From shows "%s on behalf of %s" when a delegate sent the item.

#include "engine/Message.h"
#include "engine/PropertyFormatter.h"

class CRecipientPropertyFormatter : public CPropertyFormatter {
 public:
  explicit CRecipientPropertyFormatter(DWORD key = 0) : CPropertyFormatter(key) {}

  bool format(CElementSettings& settings, CMessage& message, platform::html::CHtmlElement element) override;
  void registerPrototypes() override;

  // One list as text (raw) and as HTML (each entry escaped, joined by the separator, which is
  // template HTML).
  struct ListText {
    quilstring text;
    quilstring html;
  };
  static ListText writeList(const RecipientList& list, LONG style, const quilstring& separator);
  // The text of one recipient in a style; empty when it has neither name nor address.
  static quilstring entryText(const RecipientDetails& recipient, LONG style);
  // Whether the sent-representing entry names someone else than the sender.
  static bool sentOnBehalf(const RecipientDetails& sender, const RecipientDetails& representing);
};
