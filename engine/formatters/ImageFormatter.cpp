#include "engine/formatters/ImageFormatter.h"

#include <boost/make_shared.hpp>

#include "engine/FieldText.h"
#include "engine/Message.h"

void CImagePropertyFormatter::registerPrototypes() {
  add(boost::make_shared<CImagePropertyFormatter>(kKindContactPicture));
}

quilstring CImagePropertyFormatter::pictureHTML(const quilstring& path, bool formatted) {
  // The path lands in an attribute value: escaped, it cannot end the attribute or the tag.
  const quilstring escaped = NFieldText::escapeHTML(path);
  if (path.empty() || formatted) return escaped;
  return u"<IMG src=\"" + escaped + u"\"/>";
}

bool CImagePropertyFormatter::format(CElementSettings& settings, CMessage& message,
                                     platform::html::CHtmlElement element) {
  const quilstring path = message.getContactPicturePath();
  quilstring html = pictureHTML(path, !settings.formatString().empty());
  return finish(settings, path, std::move(html), std::move(element));
}
