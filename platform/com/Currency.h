#pragma once
// CY: OLE's currency, a 64-bit count of ten-thousandths, shared by VARIANT and MAPI values.

#include "platform/WinTypes.h"

union CY {
  LONGLONG int64;  // first, so CY{value} sets the amount
  struct {
    ULONG Lo;
    LONG Hi;
  } s;
};
using CURRENCY = CY;
