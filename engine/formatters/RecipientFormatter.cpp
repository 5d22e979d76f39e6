#include "engine/formatters/RecipientFormatter.h"

#include <boost/make_shared.hpp>

#include "engine/FieldText.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Utils.h"
#include "resources/resource.h"

namespace {

constexpr LONG kFullStyleBit = 0x2;

}  // namespace

void CRecipientPropertyFormatter::registerPrototypes() {
  for (DWORD key : {kKindTo, kKindCc, kKindBcc, kKindReceivedBy, kKindContacts, kKindFrom})
    add(boost::make_shared<CRecipientPropertyFormatter>(key));
}

quilstring CRecipientPropertyFormatter::entryText(const RecipientDetails& recipient, LONG style) {
  const bool full = (style & kFullStyleBit) != 0;
  if (full && !recipient.address.empty() && !NUtils::equalsNoCase(recipient.addressType, u"EX")) {
    if (recipient.name.empty() || recipient.name.find(recipient.address) != quilstring::npos)
      return recipient.address;
    return recipient.name + u" [" + recipient.address + u"]";
  }
  return recipient.name.empty() ? recipient.address : recipient.name;
}

CRecipientPropertyFormatter::ListText CRecipientPropertyFormatter::writeList(const RecipientList& list, LONG style,
                                                                             const quilstring& separator) {
  ListText out;
  for (const RecipientDetails& recipient : list) {
    const quilstring entry = entryText(recipient, style);
    if (entry.empty()) continue;
    if (!out.text.empty()) {
      out.text += separator;
      out.html += separator;
    }
    out.text += entry;
    out.html += NFieldText::escapeHTML(entry);
  }
  return out;
}

bool CRecipientPropertyFormatter::sentOnBehalf(const RecipientDetails& sender, const RecipientDetails& representing) {
  const auto differ = [](const quilstring& a, const quilstring& b) {
    return !a.empty() && !b.empty() && !NUtils::equalsNoCase(a, b);
  };
  return differ(sender.address, representing.address) || differ(sender.name, representing.name);
}

bool CRecipientPropertyFormatter::format(CElementSettings& settings, CMessage& message,
                                         platform::html::CHtmlElement element) {
  if (key() == kKindContacts) {
    quilstring names = message.getContactNames();
    return finish(settings, std::move(names), std::move(element));
  }
  const quilstring& separator =
      settings.valueSeparator().empty() ? NUtils::listSeparator() : settings.valueSeparator();
  const LONG style = settings.recipientStyle();
  const RecipientListPtr list = message.getRecipients(key());
  ListText out = writeList(*list, style, separator);

  if (key() == kKindFrom) {
    const RecipientListPtr representing = message.getRecipients(kRecipientSentRepresenting);
    quilstring format;
    if (!list->empty() && !representing->empty() && sentOnBehalf(list->front(), representing->front()) &&
        format.LoadString(NGlobals::moduleInstance(), IDS_ON_BEHALF_OF)) {
      const ListText principal = writeList(*representing, style, separator);
      quilstring text, html;
      text.Format(format.c_str(), out.text.c_str(), principal.text.c_str());
      html.Format(format.c_str(), out.html.c_str(), principal.html.c_str());
      out = {std::move(text), std::move(html)};
    }
  }
  return finish(settings, std::move(out.text), std::move(out.html), std::move(element));
}
