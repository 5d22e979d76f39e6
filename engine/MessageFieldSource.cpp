#include "engine/FieldSource.h"

#include "engine/Message.h"
#include "platform/mapi/MsgFile.h"

namespace {

bool takeTime(bool read, const FILETIME& time, TimeBasis basis, FieldTime& out) {
  if (!read) return false;
  out.time = time;
  out.utc = basis == TimeBasis::UTC;
  return true;
}

}  // namespace

bool CMessageFieldSource::getLong(DISPID id, LONG& out) { return m_message.getItem().getLong(id, out); }
bool CMessageFieldSource::getLongByName(const quilstring& name, LONG& out) {
  return m_message.getItem().getLongByName(name, out);
}
bool CMessageFieldSource::getFloat(DISPID id, float& out) { return m_message.getItem().getFloat(id, out); }
bool CMessageFieldSource::getFloatByName(const quilstring& name, float& out) {
  return m_message.getItem().getFloatByName(name, out);
}
bool CMessageFieldSource::getBool(DISPID id, bool& out) { return m_message.getItem().getBool(id, out); }
bool CMessageFieldSource::getBoolByName(const quilstring& name, bool& out) {
  return m_message.getItem().getBoolByName(name, out);
}
bool CMessageFieldSource::getFileTime(DISPID id, FieldTime& out) {
  FILETIME time{};
  TimeBasis basis = TimeBasis::Local;
  return takeTime(m_message.getItem().getFileTime(id, time, &basis), time, basis, out);
}
bool CMessageFieldSource::getFileTimeByName(const quilstring& name, FieldTime& out) {
  FILETIME time{};
  TimeBasis basis = TimeBasis::Local;
  return takeTime(m_message.getItem().getFileTimeByName(name, time, &basis), time, basis, out);
}
bool CMessageFieldSource::getCurrency(DISPID id, CY& out) { return m_message.getItem().getCurrency(id, out); }
bool CMessageFieldSource::getCurrencyByName(const quilstring& name, CY& out) {
  return m_message.getItem().getCurrencyByName(name, out);
}
bool CMessageFieldSource::getString(DISPID id, quilstring& out) { return m_message.getItem().getString(id, out); }
bool CMessageFieldSource::getStringByName(const quilstring& name, quilstring& out) {
  return m_message.getItem().getStringByName(name, out);
}
bool CMessageFieldSource::getMAPIProperty(ULONG tag, LPSPropValue* value) {
  return m_message.getMAPIProperty(tag, value);
}
bool CMessageFieldSource::openMAPIProperty(ULONG tag, LPCIID iid, ULONG interfaceOptions, ULONG flags,
                                           LPUNKNOWN* object) {
  return m_message.openMAPIProperty(tag, iid, interfaceOptions, flags, object);
}
UINT CMessageFieldSource::stringCodePage() {
  IMessage* message = m_message.getMAPIMessage();
  return message ? platform::mapi::stringCodePage(message) : 0;
}
long CMessageFieldSource::getAttachmentCount() { return static_cast<long>(m_message.getAttachments().size()); }
IDispatch* CMessageFieldSource::getUserProperties() { return m_message.getUserProperties(); }
