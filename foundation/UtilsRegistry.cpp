#include "foundation/Log.h"
#include "foundation/Utils.h"
#include "platform/registry/Registry.h"
#include "platform/registry/RegistryFiles.h"

namespace NUtils {

DWORD registryKeyAccessMaskOfCurrentUser(const quilstring& objectName) {
  LOG_DEBUG(u"NUtils::registryKeyAccessMaskOfCurrentUser");
  // The user's rights on a key are those on the hive file that holds it.
  ACCESS_MASK granted = 0;
  const LONG rc = platform::registry::keyAccessOfCurrentUser(objectName, granted);
  if (rc != ERROR_SUCCESS) {
    LOG_ERROR(u"GetNamedSecurityInfo returned fail (%#lX) trying to retrieve SD of %s", static_cast<DWORD>(rc),
              objectName.c_str());
    return 0;
  }
  LOG_DEBUG(u"Effective rights of client process for %s are %#lX (%s)", objectName.c_str(), granted,
            accessMaskToString(granted).c_str());
  return granted;
}

quilstring accessMaskToString(DWORD mask) {
  struct Bit {
    DWORD bit;
    const char16_t* name;
  };
  static constexpr Bit kBits[] = {
      {KEY_QUERY_VALUE, u"KEY_QUERY_VALUE"},
      {KEY_SET_VALUE, u"KEY_SET_VALUE"},
      {KEY_CREATE_SUB_KEY, u"KEY_CREATE_SUB_KEY"},
      {KEY_ENUMERATE_SUB_KEYS, u"KEY_ENUMERATE_SUB_KEYS"},
      {KEY_NOTIFY, u"KEY_NOTIFY"},
      {KEY_CREATE_LINK, u"KEY_CREATE_LINK"},
      {KEY_WOW64_32KEY, u"KEY_WOW64_32KEY"},
      {KEY_WOW64_64KEY, u"KEY_WOW64_64KEY"},
      {DELETE, u"DELETE"},
      {READ_CONTROL, u"READ_CONTROL"},
      {WRITE_DAC, u"WRITE_DAC"},
      {WRITE_OWNER, u"WRITE_OWNER"},
      {SYNCHRONIZE, u"SYNCHRONIZE"},
      {ACCESS_SYSTEM_SECURITY, u"ACCESS_SYSTEM_SECURITY"},
      {MAXIMUM_ALLOWED, u"MAXIMUM_ALLOWED"},
      {GENERIC_READ, u"GENERIC_READ"},
      {GENERIC_WRITE, u"GENERIC_WRITE"},
      {GENERIC_EXECUTE, u"GENERIC_EXECUTE"},
      {GENERIC_ALL, u"GENERIC_ALL"},
  };
  quilstring names;
  for (const Bit& b : kBits) {
    if (!(mask & b.bit)) continue;
    if (!names.empty()) names += u" | ";
    names += b.name;
  }
  return names;
}

}  // namespace NUtils
