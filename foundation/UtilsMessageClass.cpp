#include "foundation/Utils.h"

#include <string>

#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "platform/com/ComPtr.h"
#include "platform/mapi/FormInfo.h"
#include "platform/mapi/PropTags.h"
#include "platform/system/CodePage.h"
#include "platform/system/Locale.h"

namespace NUtils {
namespace {

constexpr const char16_t* kFallbackClass = u"IPM.Note";

// Resolves the class and takes the form's icon (and display name, when asked for). False when
// the class has no form.
bool formData(IMAPIFormMgr* formMgr, const quilstring& messageClass, quilstring* displayName, HICON& icon,
              bool small) {
  // The form library takes classes in the thread's ANSI code page, as MAPI does.
  const std::string ansi = platform::system::fromUtf16(platform::system::threadAnsiCodePage(), messageClass)
                               .value_or(messageClass.toUtf8());
  CComPtr<IMAPIFormInfo> formInfo;
  if (FAILED(formMgr->ResolveMessageClass(ansi.c_str(), 0, nullptr, &formInfo)) || !formInfo) return false;
  if (displayName) {
    LPSPropValue value = nullptr;
    if (SUCCEEDED(HrGetOneProp(formInfo, PR_DISPLAY_NAME_W, &value)) && value->Value.lpszW)
      displayName->assign(value->Value.lpszW);
    MAPIFreeBuffer(value);
  }
  formInfo->MakeIconFromBinary(small ? PR_MINI_ICON : PR_ICON, &icon);
  return true;
}

}  // namespace

void getMessageClassData(IMAPIFormMgr* formMgr, const quilstring& messageClass, quilstring& displayName, HICON& icon,
                         bool small) {
  LOG_DEBUG(u" >> NUtils::getMessageClassData");
  guarded(u"getMessageClassData", [&] {
    icon = nullptr;
    displayName = messageClass;
    // "IPM.Note" is tried once: when the class was "IPM.Note" itself there is nothing to fall back to.
    if (formMgr && !formData(formMgr, messageClass, &displayName, icon, small) &&
        !equalsNoCase(messageClass, std::u16string(kFallbackClass))) {
      formData(formMgr, kFallbackClass, nullptr, icon, small);
    }
  });
  LOG_DEBUG(u" << NUtils::getMessageClassData");
}

}  // namespace NUtils
