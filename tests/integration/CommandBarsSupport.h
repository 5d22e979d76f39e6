#pragma once
// What the integration tests ask of a window's command bars.

#include "integration/detail/Automation.h"
#include "platform/office/OfficeDispids.h"

namespace testsupport {

// bars.Item(bar).FindControl(msoControlButton, id, , , Recursive:=True); id 1 finds the add-in's
// own button. Null when there is none.
inline CComPtr<IDispatch> findControl(IDispatch* bars, const char16_t* bar, LONG id) {
  using namespace integration::detail;
  const VARIANT none = missing();
  try {
    const CComVariant found = call(itemOf(bars, bar), u"FindControl",
                                   {CComVariant(LONG{platform::office::msoControlButton}), CComVariant(id), none, none,
                                    CComVariant(true)});
    return found.vt == VT_DISPATCH ? CComPtr<IDispatch>(found.pdispVal) : nullptr;
  } catch (const _com_error&) {
    return nullptr;
  }
}

}  // namespace testsupport
