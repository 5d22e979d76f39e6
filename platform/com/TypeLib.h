#pragma once
// oleaut32's type libraries, as far as a module's dispatch interfaces need them: a module carries
// the description of its library (library id, version, locale, its interfaces with their members,
// its classes, and their help strings) as a "TYPELIB" resource, RegisterTypeLib enters it under HKCR\TypeLib and
// HKCR\Interface, and LoadRegTypeLib reads it back for GetIDsOfNames by name.
//
// The resource is text, one statement a line; '#' starts a comment line:
//
//   library {LIBID} 1.0 1033 quillMarkLib quillMark 1.0 Type Library
//   interface {IID} IItem dual nonextensible "IItem Interface"
//   member 1 Print "Print"
//   interface {IID} ICallback unknown "ICallback Interface"
//   method onCallback(unsigned long id)
//   coclass {CLSID} Item IItem "Item Class"
//
// "library" comes first and once: id, major.minor version, decimal locale, name, and the rest of
// the line as help string. An interface is a dispatch interface, "dual", or a plain one derived
// from IUnknown ("unknown"), optionally "nonextensible". Each "member" (a DISPID of 0 or more, and a
// name) belongs to the dispatch interface above it, each "method" (a name and its parameter list) to
// the plain one above it. A coclass names its default interface. A help string, in double quotes,
// may end an interface, member, method or coclass line. Names are identifiers; within an interface
// no name (ignoring case) nor DISPID comes twice, and no interface or class id twice in a library.

#include <string>
#include <string_view>
#include <vector>

#include "platform/Export.h"
#include "platform/com/Dispatch.h"
#include "platform/com/Guid.h"
#include "platform/com/HResult.h"

constexpr HRESULT TYPE_E_INVDATAREAD = static_cast<HRESULT>(0x80028018u);
constexpr HRESULT TYPE_E_REGISTRYACCESS = static_cast<HRESULT>(0x8002801Cu);
constexpr HRESULT TYPE_E_LIBNOTREGISTERED = static_cast<HRESULT>(0x8002801Du);

namespace platform::com {

struct TypeLibMember {
  DISPID id = 0;              // DISPID_UNKNOWN for a method of a plain interface
  std::u16string name;
  std::u16string parameters;  // a plain interface's method: its parameter list, without brackets
  std::u16string helpString;
};

enum class TypeLibInterfaceKind { kDispatch, kDual, kUnknown };

struct TypeLibInterface {
  IID iid{};
  std::u16string name;
  TypeLibInterfaceKind kind = TypeLibInterfaceKind::kDispatch;
  bool nonextensible = false;
  std::u16string helpString;
  std::vector<TypeLibMember> members;
};

struct TypeLibCoclass {
  CLSID clsid{};
  std::u16string name;
  std::u16string defaultInterface;
  std::u16string helpString;
};

struct TypeLibDescription {
  GUID libid{};
  WORD major = 0;
  WORD minor = 0;
  LCID lcid = 0;
  std::u16string name;
  std::u16string helpString;
  std::vector<TypeLibInterface> interfaces;
  std::vector<TypeLibCoclass> coclasses;

  const TypeLibInterface* find(REFIID iid) const;
};

// TYPE_E_INVDATAREAD for text that breaks any rule above (reported with its line); out then
// untouched.
QM_PLATFORM_API HRESULT parseTypeLib(std::string_view text, TypeLibDescription& out);

// The library's key HKCR\TypeLib\{LIBID}\major.minor (default value the help string, else the
// name) with FLAGS "0", HELPDIR the module's folder, <locale in hex>\linux the module, and the
// description's dispatch interfaces; HKCR\Interface\{IID} for each of them, naming the library.
// Plain interfaces and classes stay in the module's description, as Windows keeps them in the
// library file (the classes are registered by their own scripts). A version registered before is
// replaced. Failures answer HRESULT_FROM_WIN32 and are reported.
QM_PLATFORM_API HRESULT RegisterTypeLib(const TypeLibDescription& library, const std::u16string& modulePath);

// Removes what RegisterTypeLib wrote for that version: the version key, the Interface keys that
// name this library, and the library, TypeLib and Interface keys when nothing else is left in
// them. A version not registered answers TYPE_E_REGISTRYACCESS.
QM_PLATFORM_API HRESULT UnRegisterTypeLib(REFGUID libid, WORD major, WORD minor);

// The registered description of that version, with the module path it names.
// TYPE_E_LIBNOTREGISTERED when it is not registered (or incomplete).
QM_PLATFORM_API HRESULT LoadRegTypeLib(REFGUID libid, WORD major, WORD minor, TypeLibDescription& out,
                                       std::u16string* modulePath = nullptr);

// GetIDsOfNames against a dispatch interface of the library: names matched ignoring case. Unknown
// names get DISPID_UNKNOWN and the call answers DISP_E_UNKNOWNNAME; an interface not in the library,
// or not a dispatch one, TYPE_E_ELEMENTNOTFOUND.
QM_PLATFORM_API HRESULT getIDsOfNames(const TypeLibDescription& library, REFIID iid, const char16_t* const* names,
                                      UINT count, DISPID* ids);

}  // namespace platform::com
