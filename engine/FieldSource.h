#pragma once
// IFieldSource: the reads a value formatter makes of the item being printed (typed object-model
// getters by DISPID and by property name, one-property MAPI reads and streams, the printable
// attachment count, the user properties). CMessageFieldSource answers them from a CMessage.

#include "foundation/QuilString.h"
#include "platform/WinTypes.h"
#include "platform/com/Dispatch.h"
#include "platform/com/OleTime.h"
#include "platform/mapi/MAPIDefs.h"

class CMessage;

// A date read from the item, and the clock it was read in: the object model hands out local
// times, MAPI hands out UTC.
struct FieldTime {
  FILETIME time{};
  bool utc = false;
};

class IFieldSource {
 public:
  virtual ~IFieldSource() = default;

  // The object-model getters answer false, output unchanged, when the item lacks the property or
  // its value does not convert (by DISPID) or is not of the getter's exact type (by name).
  virtual bool getLong(DISPID id, LONG& out) = 0;
  virtual bool getLongByName(const quilstring& name, LONG& out) = 0;
  virtual bool getFloat(DISPID id, float& out) = 0;
  virtual bool getFloatByName(const quilstring& name, float& out) = 0;
  virtual bool getBool(DISPID id, bool& out) = 0;
  virtual bool getBoolByName(const quilstring& name, bool& out) = 0;
  virtual bool getFileTime(DISPID id, FieldTime& out) = 0;
  virtual bool getFileTimeByName(const quilstring& name, FieldTime& out) = 0;
  virtual bool getCurrency(DISPID id, CY& out) = 0;
  virtual bool getCurrencyByName(const quilstring& name, CY& out) = 0;
  virtual bool getString(DISPID id, quilstring& out) = 0;
  virtual bool getStringByName(const quilstring& name, quilstring& out) = 0;

  // One MAPI property; the caller frees *value with MAPIFreeBuffer. False (and *value null) when
  // there is no MAPI message or the property cannot be read.
  virtual bool getMAPIProperty(ULONG tag, LPSPropValue* value) = 0;
  // IMAPIProp::OpenProperty on the item's MAPI message; the caller releases *object.
  virtual bool openMAPIProperty(ULONG tag, LPCIID iid, ULONG interfaceOptions, ULONG flags, LPUNKNOWN* object) = 0;
  // The code page of the item's 8-bit MAPI strings; 0 when it is not known.
  virtual UINT stringCodePage() = 0;

  // The number of the item's printable attachments (inline images not counted).
  virtual long getAttachmentCount() = 0;
  // The item's UserProperties collection; null when it has none. No reference is handed out.
  virtual IDispatch* getUserProperties() = 0;
};

// The reads of a CMessage, which must outlive this object.
class CMessageFieldSource final : public IFieldSource {
 public:
  explicit CMessageFieldSource(CMessage& message) : m_message(message) {}

  bool getLong(DISPID id, LONG& out) override;
  bool getLongByName(const quilstring& name, LONG& out) override;
  bool getFloat(DISPID id, float& out) override;
  bool getFloatByName(const quilstring& name, float& out) override;
  bool getBool(DISPID id, bool& out) override;
  bool getBoolByName(const quilstring& name, bool& out) override;
  bool getFileTime(DISPID id, FieldTime& out) override;
  bool getFileTimeByName(const quilstring& name, FieldTime& out) override;
  bool getCurrency(DISPID id, CY& out) override;
  bool getCurrencyByName(const quilstring& name, CY& out) override;
  bool getString(DISPID id, quilstring& out) override;
  bool getStringByName(const quilstring& name, quilstring& out) override;
  bool getMAPIProperty(ULONG tag, LPSPropValue* value) override;
  bool openMAPIProperty(ULONG tag, LPCIID iid, ULONG interfaceOptions, ULONG flags, LPUNKNOWN* object) override;
  UINT stringCodePage() override;
  long getAttachmentCount() override;
  IDispatch* getUserProperties() override;

 private:
  CMessage& m_message;
};
