#include "platform/com/ComError.h"

#include <cstdio>

namespace {

struct Text {
  HRESULT hr;
  const char16_t* text;
};

constexpr Text kTexts[] = {
    {S_OK, u"No error"},
    {E_NOTIMPL, u"Not implemented"},
    {E_NOINTERFACE, u"No such interface supported"},
    {E_POINTER, u"Invalid pointer"},
    {E_ABORT, u"Operation aborted"},
    {E_FAIL, u"Unspecified error"},
    {E_UNEXPECTED, u"Catastrophic failure"},
    {E_ACCESSDENIED, u"General access denied error"},
    {E_HANDLE, u"Invalid handle"},
    {E_OUTOFMEMORY, u"Ran out of memory"},
    {E_INVALIDARG, u"The parameter is incorrect."},
    {CLASS_E_NOAGGREGATION, u"Class does not support aggregation (or class object is remote)"},
    {CLASS_E_CLASSNOTAVAILABLE, u"ClassFactory cannot supply requested class"},
    {REGDB_E_CLASSNOTREG, u"Class not registered"},
    {REGDB_E_READREGDB, u"Could not read key from registry"},
    {CO_E_CLASSSTRING, u"Invalid class string"},
    {CO_E_DLLNOTFOUND, u"DLL for class not found"},
    {CO_E_ERRORINDLL, u"Error in the DLL"},
    {DISP_E_UNKNOWNINTERFACE, u"Unknown interface."},
    {DISP_E_MEMBERNOTFOUND, u"Member not found."},
    {DISP_E_PARAMNOTFOUND, u"Parameter not found."},
    {DISP_E_TYPEMISMATCH, u"Type mismatch."},
    {DISP_E_UNKNOWNNAME, u"Unknown name."},
    {DISP_E_NONAMEDARGS, u"No named arguments."},
    {DISP_E_BADVARTYPE, u"Bad variable type."},
    {DISP_E_EXCEPTION, u"Exception occurred."},
    {DISP_E_OVERFLOW, u"Out of present range."},
    {DISP_E_BADINDEX, u"Invalid index."},
    {DISP_E_BADPARAMCOUNT, u"Invalid number of parameters."},
    {DISP_E_PARAMNOTOPTIONAL, u"Parameter not optional."},
    {CONNECT_E_NOCONNECTION, u"The connection point has no connection with this cookie."},
    {CONNECT_E_CANNOTCONNECT, u"The sink cannot be connected to this connection point."},
};

std::u16string messageOf(HRESULT hr) {
  for (const Text& t : kTexts)
    if (t.hr == hr) return t.text;
  char text[40];
  std::snprintf(text, sizeof text, "Unknown error 0x%08X", static_cast<unsigned>(hr));
  return std::u16string(text, text + std::char_traits<char>::length(text));
}

}  // namespace

_com_error::_com_error(HRESULT hr, std::u16string description)
    : m_hr(hr), m_message(messageOf(hr)), m_description(std::move(description)) {}

void _com_issue_error(HRESULT hr) { throw _com_error(hr); }
