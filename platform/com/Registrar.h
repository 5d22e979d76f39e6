#pragma once
// The class library's registrar: applies registration scripts (the ".rgs" text a module keeps as
// "REGISTRY" resources) to the registry, or takes back what they wrote.
//
// HKCR
// {
//   NoRemove CLSID
//   {
//     ForceRemove {…} = s 'Item Class'
//     {
//       InprocServer32 = s '%MODULE%'
//       {
//         val ThreadingModel = s 'Apartment'
//       }
//     }
//   }
// }
//
// Roots HKCR, HKCU, HKLM (or their long names). A key may carry a default value (`= s 'text'`,
// `= d 'number'`) and sub-keys in braces; `val name = …` is a named value. Registering creates
// every key and value; a ForceRemove key is deleted with everything below it first. Unregistering
// deletes a ForceRemove key with everything below it, a plain key when nothing of its own is left
// below it (keys others added stay), and never a NoRemove key, whose sub-keys it still visits; a
// `Delete` key is deleted on registration and left alone on unregistration. %NAME% is replaced by
// the value given with addReplacement, "%%" by "%"; names and texts in quotes double a quote.

#include <map>
#include <string>
#include <string_view>

#include "platform/Export.h"
#include "platform/com/HResult.h"

namespace platform::com {

class QM_PLATFORM_API CRegistrar {
 public:
  // %key% in the script stands for value (the key ignoring case).
  void addReplacement(std::u16string_view key, std::u16string_view value);

  // DISP_E_EXCEPTION for a script that cannot be read (nothing written then); otherwise S_OK or the
  // first registry failure as HRESULT_FROM_WIN32 (what was applied before it stays). Failures are
  // reported.
  HRESULT registerScript(std::u16string_view script);
  HRESULT unregisterScript(std::u16string_view script);

 private:
  HRESULT apply(std::u16string_view script, bool registering);

  std::map<std::u16string, std::u16string> m_replacements;  // lower-cased key -> value
};

}  // namespace platform::com
