#pragma once
// ole32's activation of in-process servers: a ProgID or class id is looked up under HKCR, the
// module named by its InprocServer32 key is loaded once and asked for its class object, and
// modules that say they can go are unloaded again.

#include <string>

#include "platform/Export.h"
#include "platform/com/Guid.h"
#include "platform/com/Unknown.h"

using CLSCTX = DWORD;
constexpr CLSCTX CLSCTX_INPROC_SERVER = 0x1;
constexpr CLSCTX CLSCTX_INPROC_HANDLER = 0x2;
constexpr CLSCTX CLSCTX_LOCAL_SERVER = 0x4;
constexpr CLSCTX CLSCTX_ALL = 0x17;

// The exports of an in-process server, with their Windows signatures.
using LPFNGETCLASSOBJECT = HRESULT (*)(REFCLSID, REFIID, void**);
using LPFNCANUNLOADNOW = HRESULT (*)();
using LPFNREGISTERSERVER = HRESULT (*)();

// HKCR\<ProgID>\CLSID. CO_E_CLASSSTRING when the ProgID is not registered or names no valid id.
QM_PLATFORM_API HRESULT CLSIDFromProgID(const char16_t* progId, LPCLSID clsid);

// The class object of a registered class. Only in-process servers exist here: a context without
// CLSCTX_INPROC_SERVER, a class without HKCR\CLSID\{id}\InprocServer32 or one whose path is not
// absolute answers REGDB_E_CLASSNOTREG; a module that cannot be loaded CO_E_DLLNOTFOUND; one
// without DllGetClassObject CO_E_ERRORINDLL; otherwise what DllGetClassObject answers. The module
// stays loaded until CoFreeUnusedLibraries finds it unused. Every failure is reported.
QM_PLATFORM_API HRESULT CoGetClassObject(REFCLSID rclsid, CLSCTX context, void* serverInfo, REFIID riid, void** ppv);

// CoGetClassObject for IClassFactory, then CreateInstance(outer, riid).
QM_PLATFORM_API HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* outer, CLSCTX context, REFIID riid, void** ppv);

// Unloads every module loaded for a class object whose DllCanUnloadNow answers S_OK.
QM_PLATFORM_API void CoFreeUnusedLibraries();

namespace platform::com {

// What regsvr32 does: loads the module at path, calls DllRegisterServer (or DllUnregisterServer)
// and unloads it again unless it serves class objects. CO_E_DLLNOTFOUND or CO_E_ERRORINDLL when
// the module or the export is missing; otherwise the export's answer.
QM_PLATFORM_API HRESULT runServerRegistration(const std::u16string& path, bool registerServer);

// Whether the module at path is loaded for class objects now.
QM_PLATFORM_API bool isServerLoaded(const std::u16string& path);

}  // namespace platform::com
