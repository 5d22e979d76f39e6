#include "foundation/Utils.h"

#include "foundation/Log.h"
#include "platform/com/ComPtr.h"

namespace NUtils {

bool CompareInterfaces(IUnknown* first, IUnknown* second) {
  if (!first || !second) return false;
  CComPtr<IUnknown> a, b;
  if (FAILED(first->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(a.Receive())))) return false;
  if (FAILED(second->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(b.Receive())))) return false;
  return a && a == b.p;
}

bool CompareExplorerInterfaces(IUnknown* first, IUnknown* second) {
  LOG_DEBUG(u"NUtils::CompareExplorerInterfaces");
  return CompareInterfaces(first, second);
}

}  // namespace NUtils
