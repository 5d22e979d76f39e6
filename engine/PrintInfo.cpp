#include "engine/PrintInfo.h"

#include <boost/make_shared.hpp>

#include "foundation/Guard.h"
#include "foundation/Log.h"

namespace {

constexpr DISPID kDispidDefaultMessageClass = 0x3107;

}  // namespace

CPrintInfo::CPrintInfo(IDispatch* item) : m_item(boost::make_shared<CMessage>(item)), m_single(true) {}

CPrintInfo::CPrintInfo(FolderJobTag, IDispatch* folder) : m_folder(folder), m_single(false) {}

quilstring CPrintInfo::getMessageClass() const {
  return NUtils::guarded(u"CPrintInfo::getMessageClass", quilstring(), [&]() -> quilstring {
    if (m_folder) {
      quilstring messageClass;
      if (!COutlookItem(m_folder).getString(kDispidDefaultMessageClass, messageClass)) return {};
      return messageClass;
    }
    if (m_item) return m_item->getItem().getMessageClass();
    return {};
  });
}
