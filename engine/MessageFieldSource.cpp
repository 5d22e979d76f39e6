#include "engine/FieldSource.h"

// Placeholder until the message class is available: nothing can be read.
bool CMessageFieldSource::getLong(DISPID, LONG&) { return false; }
bool CMessageFieldSource::getLongByName(const quilstring&, LONG&) { return false; }
bool CMessageFieldSource::getFloat(DISPID, float&) { return false; }
bool CMessageFieldSource::getFloatByName(const quilstring&, float&) { return false; }
bool CMessageFieldSource::getBool(DISPID, bool&) { return false; }
bool CMessageFieldSource::getBoolByName(const quilstring&, bool&) { return false; }
bool CMessageFieldSource::getFileTime(DISPID, FieldTime&) { return false; }
bool CMessageFieldSource::getFileTimeByName(const quilstring&, FieldTime&) { return false; }
bool CMessageFieldSource::getCurrency(DISPID, CY&) { return false; }
bool CMessageFieldSource::getCurrencyByName(const quilstring&, CY&) { return false; }
bool CMessageFieldSource::getString(DISPID, quilstring&) { return false; }
bool CMessageFieldSource::getStringByName(const quilstring&, quilstring&) { return false; }
bool CMessageFieldSource::getMAPIProperty(ULONG, LPSPropValue* value) {
  if (value) *value = nullptr;
  return false;
}
bool CMessageFieldSource::openMAPIProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN* object) {
  if (object) *object = nullptr;
  return false;
}
UINT CMessageFieldSource::stringCodePage() { return 0; }
long CMessageFieldSource::getAttachmentCount() { return 0; }
IDispatch* CMessageFieldSource::getUserProperties() { return nullptr; }
