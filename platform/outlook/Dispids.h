#pragma once
// The DISPIDs of Outlook item properties the system reads, and the table of item fields a
// template may name, each with its DISPID and the DISPID text the element settings store.
// Constants are named kDispid followed by the property's Outlook name.

#include <cstddef>
#include <string_view>

#include "platform/com/Dispatch.h"

namespace platform::outlook {

// Item access.
inline constexpr DISPID kDispidMessageClass = 0x001A;
inline constexpr DISPID kDispidHTMLBody = 0xF404;
inline constexpr DISPID kDispidBody = 0x9100;
inline constexpr DISPID kDispidBodyFormat = 0xFA49;
inline constexpr DISPID kDispidAttachments = 0xF815;
inline constexpr DISPID kDispidLinks = 0xF405;
inline constexpr DISPID kDispidUserProperties = 0xF816;
inline constexpr DISPID kDispidItemProperties = 0xFA09;
inline constexpr DISPID kDispidMAPIOBJECT = 0xF100;
inline constexpr DISPID kDispidSave = 0xF048;

// Item fields a template names.
inline constexpr DISPID kDispidSubject = 0x37;
inline constexpr DISPID kDispidCategories = 0x9001;
inline constexpr DISPID kDispidSensitivity = 0x0036;
inline constexpr DISPID kDispidImportance = 0x0017;
inline constexpr DISPID kDispidBillingInformation = 0x8535;
inline constexpr DISPID kDispidCompanies = 0x853B;
inline constexpr DISPID kDispidFlagRequest = 0x8530;
inline constexpr DISPID kDispidFlagStatus = 0x1090;
inline constexpr DISPID kDispidMileage = 0x8534;
inline constexpr DISPID kDispidSize = 0xE08;
inline constexpr DISPID kDispidFolderName = 0x3001;
inline constexpr DISPID kDispidVotingOptions = 0xF01B;
inline constexpr DISPID kDispidVotingResponse = 0x8524;
inline constexpr DISPID kDispidDeliveryReportRequested = 0x23;
inline constexpr DISPID kDispidReadReceiptRequested = 0x29;
inline constexpr DISPID kDispidCreationTime = 0x3007;
inline constexpr DISPID kDispidDeferredDeliveryTime = 0xF;
inline constexpr DISPID kDispidExpiryTime = 0x15;
inline constexpr DISPID kDispidFlagDueBy = 0x30;
inline constexpr DISPID kDispidLastModificationTime = 0x3008;
inline constexpr DISPID kDispidReminderTime = 0x8502;

// One item field: its Outlook name, DISPID, and the DISPID as the settings store it (as text,
// written as templates have always received it).
struct ItemFieldDispid {
  std::u16string_view name;
  DISPID dispid;
  std::u16string_view dispidText;
};

inline constexpr ItemFieldDispid kItemFieldDispids[] = {
    {u"Subject", kDispidSubject, u"0x37"},
    {u"Categories", kDispidCategories, u"0x9001"},
    {u"Sensitivity", kDispidSensitivity, u"0x0036"},
    {u"Importance", kDispidImportance, u"0x0017"},
    {u"BillingInformation", kDispidBillingInformation, u"0x8535"},
    {u"Companies", kDispidCompanies, u"0x853B"},
    {u"FlagRequest", kDispidFlagRequest, u"0x8530"},
    {u"FlagStatus", kDispidFlagStatus, u"0x1090"},
    {u"Mileage", kDispidMileage, u"0x8534"},
    {u"Size", kDispidSize, u"0xE08"},
    {u"FolderName", kDispidFolderName, u"0x3001"},
    {u"VotingOptions", kDispidVotingOptions, u"0xF01B"},
    {u"VotingResponse", kDispidVotingResponse, u"0x8524"},
    {u"DeliveryReportRequested", kDispidDeliveryReportRequested, u"0x23"},
    {u"ReadReceiptRequested", kDispidReadReceiptRequested, u"0x29"},
    {u"CreationTime", kDispidCreationTime, u"0x3007"},
    {u"DeferredDeliveryTime", kDispidDeferredDeliveryTime, u"0xF"},
    {u"ExpiryTime", kDispidExpiryTime, u"0x15"},
    {u"FlagDueBy", kDispidFlagDueBy, u"0x30"},
    {u"LastModificationTime", kDispidLastModificationTime, u"0x3008"},
    {u"ReminderTime", kDispidReminderTime, u"0x8502"},
};

// The field of that name, ignoring case (the names are ASCII); null when there is none.
inline const ItemFieldDispid* findItemFieldDispid(std::u16string_view name) noexcept {
  const auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 0x20) : c; };
  for (const ItemFieldDispid& field : kItemFieldDispids) {
    if (field.name.size() != name.size()) continue;
    std::size_t i = 0;
    while (i < name.size() && fold(field.name[i]) == fold(name[i])) ++i;
    if (i == name.size()) return &field;
  }
  return nullptr;
}

}  // namespace platform::outlook
