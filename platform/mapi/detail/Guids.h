#pragma once
// Well-known GUID values as constants, for use inside the layer.

#include "platform/mapi/ComBase.h"

namespace platform::mapi::detail {

// {XXXXXXXX-0000-0000-C000-000000000046}: the OLE family of ids.
constexpr GUID oleGuid(DWORD data1) { return GUID{data1, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}; }

constexpr GUID kIID_IUnknown = oleGuid(0x00000000);
constexpr GUID kIID_IStream = oleGuid(0x0000000C);
constexpr GUID kIID_IMAPITable = oleGuid(0x00020301);
constexpr GUID kIID_IMAPIProp = oleGuid(0x00020303);
constexpr GUID kIID_IMessage = oleGuid(0x00020307);
constexpr GUID kIID_IAttachment = oleGuid(0x00020308);
constexpr GUID kPS_MAPI = oleGuid(0x00020328);
constexpr GUID kPS_PUBLIC_STRINGS = oleGuid(0x00020329);
constexpr GUID kPS_INTERNET_HEADERS = oleGuid(0x00020386);
constexpr GUID kPSETID_Appointment = oleGuid(0x00062002);
constexpr GUID kPSETID_Task = oleGuid(0x00062003);
constexpr GUID kPSETID_Address = oleGuid(0x00062004);
constexpr GUID kPSETID_Common = oleGuid(0x00062008);
constexpr GUID kPSETID_Log = oleGuid(0x0006200A);
constexpr GUID kPSETID_Note = oleGuid(0x0006200E);
constexpr GUID kPSETID_Meeting = {0x6ED8DA90, 0x450B, 0x101B, {0x98, 0xDA, 0x00, 0xAA, 0x00, 0x3F, 0x13, 0x05}};

}  // namespace platform::mapi::detail
