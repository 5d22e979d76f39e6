#pragma once
// The whole COM layer in one include.

#include "platform/com/Bstr.h"
#include "platform/com/ComError.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/com/Dispatch.h"
#include "platform/com/DispatchDriver.h"
#include "platform/com/DispatchImpl.h"
#include "platform/com/Guid.h"
#include "platform/com/HResult.h"
#include "platform/com/OleTime.h"
#include "platform/com/Unknown.h"
#include "platform/com/Variant.h"
