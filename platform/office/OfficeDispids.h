#pragma once
// The DISPIDs and member names of Office's command bars as this layer serves them, the event
// DISPID of a button's Click, Office's enumerations the callers pass, and Outlook's built-in
// control ids. Members are numbered as Office's type library numbers them as far as known; the
// add-in reaches them by name, so only the names must match Office's.

#include "platform/com/Dispatch.h"

namespace platform::office {

// _IMsoDispObj, the base of every command-bar object.
inline constexpr DISPID kDispidApplication = 0x60020000;
inline constexpr DISPID kDispidCreator = 0x60020001;

// _CommandBars.
inline constexpr DISPID kDispidBarsAdd = 0x60030002;
inline constexpr DISPID kDispidBarsCount = 0x60030003;
inline constexpr DISPID kDispidBarsFindControl = 0x6003000A;
inline constexpr DISPID kDispidBarsItem = DISPID_VALUE;
inline constexpr DISPID kDispidBarsParent = 0x60030013;

// CommandBar.
inline constexpr DISPID kDispidBarBuiltIn = 0x60030000;
inline constexpr DISPID kDispidBarControls = 0x60030003;
inline constexpr DISPID kDispidBarDelete = 0x60030004;
inline constexpr DISPID kDispidBarEnabled = 0x60030005;
inline constexpr DISPID kDispidBarFindControl = 0x60030007;
inline constexpr DISPID kDispidBarIndex = 0x6003000A;
inline constexpr DISPID kDispidBarName = 0x6003000E;
inline constexpr DISPID kDispidBarNameLocal = 0x60030010;
inline constexpr DISPID kDispidBarParent = 0x60030012;
inline constexpr DISPID kDispidBarPosition = 0x60030013;
inline constexpr DISPID kDispidBarType = 0x6003001D;
inline constexpr DISPID kDispidBarVisible = 0x6003001E;

// CommandBarControls.
inline constexpr DISPID kDispidControlsAdd = 0x60030000;
inline constexpr DISPID kDispidControlsCount = 0x60030001;
inline constexpr DISPID kDispidControlsItem = DISPID_VALUE;
inline constexpr DISPID kDispidControlsParent = 0x60030004;

// CommandBarControl (every control).
inline constexpr DISPID kDispidBeginGroup = 0x60030000;
inline constexpr DISPID kDispidBuiltIn = 0x60030002;
inline constexpr DISPID kDispidCaption = 0x60030003;
inline constexpr DISPID kDispidDelete = 0x60030007;
inline constexpr DISPID kDispidEnabled = 0x6003000A;
inline constexpr DISPID kDispidExecute = 0x6003000C;
inline constexpr DISPID kDispidId = 0x60030013;
inline constexpr DISPID kDispidIndex = 0x60030014;
inline constexpr DISPID kDispidParent = 0x6003001C;
inline constexpr DISPID kDispidParameter = 0x6003001D;
inline constexpr DISPID kDispidTag = 0x60030023;
inline constexpr DISPID kDispidTooltipText = 0x60030025;
inline constexpr DISPID kDispidType = 0x60030028;
inline constexpr DISPID kDispidVisible = 0x60030029;

// _CommandBarButton.
inline constexpr DISPID kDispidFaceId = 0x60040003;
inline constexpr DISPID kDispidStyle = 0x6004000A;

// CommandBarPopup.
inline constexpr DISPID kDispidPopupCommandBar = 0x60040000;
inline constexpr DISPID kDispidPopupControls = 0x60040001;

// _CommandBarButtonEvents: Click(Ctrl, CancelDefault), CancelDefault a VARIANT_BOOL by reference.
inline constexpr DISPID kDispidClick = 1;

// MsoControlType (the kinds this layer makes).
enum MsoControlType : LONG {
  msoControlButton = 1,
  msoControlPopup = 10,
};

// MsoBarPosition.
enum MsoBarPosition : LONG {
  msoBarLeft = 0,
  msoBarTop = 1,
  msoBarRight = 2,
  msoBarBottom = 3,
  msoBarFloating = 4,
  msoBarPopup = 5,
  msoBarMenuBar = 6,
};

// MsoBarType.
enum MsoBarType : LONG {
  msoBarTypeNormal = 0,
  msoBarTypeMenuBar = 1,
  msoBarTypePopup = 2,
};

// MsoButtonStyle.
enum MsoButtonStyle : LONG {
  msoButtonAutomatic = 0,
  msoButtonIcon = 1,
  msoButtonCaption = 2,
  msoButtonIconAndCaption = 3,
};

// Control ids: every custom control answers 1; the others are Outlook's built-in commands.
inline constexpr LONG kIdCustom = 1;
inline constexpr LONG kIdPrint = 4;
inline constexpr LONG kIdPrintPreview = 109;
inline constexpr LONG kIdQuickPrint = 2521;
inline constexpr LONG kIdFileMenu = 30002;

// Outlook's bar names.
inline constexpr std::u16string_view kBarMenuBar = u"Menu Bar";
inline constexpr std::u16string_view kBarStandard = u"Standard";
inline constexpr std::u16string_view kBarContextMenu = u"Context Menu";

}  // namespace platform::office
