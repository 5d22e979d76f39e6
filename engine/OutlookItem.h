#pragma once
// COutlookItem: the print engine's handle on one Outlook item through its late-bound dispatch
// interface. Every getter answers false (or null, or an empty text) instead of failing, leaves its
// output as it was, and never throws; nothing is cached, every call reads the item again.
// Used on Outlook's user-interface thread only.

#include "foundation/QuilString.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Dispatch.h"
#include "platform/com/OleTime.h"
#include "platform/com/Variant.h"

// Which clock a date was read in. The object model hands out local times, MAPI hands out UTC;
// formatters shift only what is UTC.
enum class TimeBasis { Local, UTC };

// Outlook's "no date" (1 January 4501, also after a time-zone shift of a day): not a date.
bool isOutlookNoDate(const SYSTEMTIME& time);
bool isOutlookNoDate(const FILETIME& time);

class COutlookItem {
 public:
  COutlookItem() = default;
  // Holds one counted reference to the item (null allowed: every getter then answers false).
  explicit COutlookItem(IDispatch* item) : m_item(item) {}

  IDispatch* getDispatch() const { return m_item; }

  // Property get by DISPID (no arguments, LOCALE_USER_DEFAULT). The caller clears out.
  bool getVariant(DISPID id, VARIANT* out) const;
  // The value converted to the getter's type (any type that converts is accepted).
  bool getLong(DISPID id, LONG& out) const;
  bool getFloat(DISPID id, float& out) const;
  bool getBool(DISPID id, bool& out) const;
  // The item's date, taken unchanged (Outlook's dates are local: basis, when asked, says Local).
  // Outlook's "no date" answers false.
  bool getFileTime(DISPID id, FILETIME& out, TimeBasis* basis = nullptr) const;
  // Only a VT_CY value; no conversion.
  bool getCurrency(DISPID id, CY& out) const;
  // The value as text; an empty value gives an empty text.
  bool getString(DISPID id, quilstring& out) const;

  // Reads through ItemProperties.Item(name).Value, accepting only the exact VARIANT types of
  // each kind (I2/I4; R4/R8; BOOL; DATE; CY; BSTR), without conversion.
  bool getLongByName(const quilstring& name, LONG& out) const;
  bool getFloatByName(const quilstring& name, float& out) const;
  bool getBoolByName(const quilstring& name, bool& out) const;
  bool getFileTimeByName(const quilstring& name, FILETIME& out, TimeBasis* basis = nullptr) const;
  bool getCurrencyByName(const quilstring& name, CY& out) const;
  bool getStringByName(const quilstring& name, quilstring& out) const;

  // Objects of the item; null when they cannot be read.
  CComPtr<IUnknown> getMAPIOBJECT() const;
  CComPtr<IDispatch> getUserProperties() const;
  CComPtr<IDispatch> getItemProperties() const;
  CComPtr<IDispatch> getLinks() const;

  // Empty when it cannot be read.
  quilstring getMessageClass() const;
  // The HTML body, cleaned by HTML Tidy when the "Tidy HTML" option is on; empty on failure.
  quilstring getHTMLBody() const;
  // Starts cleaning the HTML body beside the caller's work, where the option is on: the
  // getHTMLBody that follows takes that result.
  void cleanHTMLBodyAhead() const;
  // The HTML body for a document whose BODY the item's plain text replaces: where the BODY holds
  // nothing but text and line breaks, it comes empty (its attributes and the head as they are),
  // so a long text is neither tidied nor parsed for nothing.
  quilstring getHTMLBodyAroundText() const;

  // Attachments.Count > 0.
  bool hasAttachments() const;
  // Whether an attachment of the collection has Type 6 (olOLE); false when any step fails.
  bool hasOLEAttachment() const;

  // Makes a new, never saved item store its attachments: reads Companies and writes it back,
  // then saves. An item that reports itself saved (Saved is true, as one opened from a file or
  // from a folder) is left untouched, so printing never writes to it.
  void touchAndSave() const;

 private:
  // The named property's value; false when the collection, the member or its value fails.
  bool getValueByName(const quilstring& name, CComVariant& value) const;
  // The value converted to vt; false when the read or the conversion fails.
  bool getConverted(DISPID id, VARTYPE vt, CComVariant& value) const;

  CComPtr<IDispatch> m_item;
};
