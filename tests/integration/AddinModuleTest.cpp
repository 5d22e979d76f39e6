#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "foundation/AddinGlobals.h"
#include "integration/Guids.h"
#include "platform/com/Activation.h"
#include "platform/com/Com.h"
#include "platform/com/TypeLib.h"
#include "platform/registry/RegKey.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/resources/Resources.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Locale.h"
#include "platform/system/Text.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;
using platform::system::utf8ToUtf16;

const char16_t* const kProgIds[] = {u"quillMark.Connect", u"quillMarkLib.quillMarkPP",
                                    u"quillMark.quillMarkShellHandler", u"quilMark.Quillmarker"};

// The real module, reached only through its registration, as the host reaches it.
class AddinModuleTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    // Windows always has HKCR\CLSID, with other servers' classes in it.
    CRegKey other;
    ASSERT_EQ(other.Create(HKEY_CLASSES_ROOT, u"CLSID\\{00000000-1111-2222-3333-444444444444}\\InprocServer32"),
              ERROR_SUCCESS);
    ASSERT_EQ(other.SetStringValue(nullptr, u"/usr/lib/other.so"), ERROR_SUCCESS);
  }
  void TearDown() override {
    CoFreeUnusedLibraries();
    EXPECT_FALSE(platform::com::isServerLoaded(module())) << "an object of the module was leaked";
  }
  static std::u16string module() { return utf8ToUtf16(QM_ADDIN_MODULE); }
  static HRESULT registerModule(bool registering) { return platform::com::runServerRegistration(module(), registering); }
  std::string classesRoot(const char* name) {
    const fs::path file = dir() / name;
    EXPECT_EQ(platform::registry::exportKey(HKEY_CLASSES_ROOT, file), ERROR_SUCCESS);
    return testsupport::readFile(file);
  }
  static CLSID clsidOf(const char16_t* progId) {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(progId, &clsid), S_OK) << platform::system::utf16ToUtf8(progId);
    return clsid;
  }
  // The module's own DllCanUnloadNow, asked without loading it.
  static HRESULT canUnloadNow() {
    void* handle = ::dlopen(QM_ADDIN_MODULE, RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return E_UNEXPECTED;
    const auto entry = reinterpret_cast<LPFNCANUNLOADNOW>(::dlsym(handle, "DllCanUnloadNow"));
    const HRESULT hr = entry ? entry() : E_UNEXPECTED;
    ::dlclose(handle);
    return hr;
  }
  static bool loadedInProcess() {
    void* handle = ::dlopen(QM_ADDIN_MODULE, RTLD_NOW | RTLD_NOLOAD);
    if (handle) ::dlclose(handle);
    return handle != nullptr;
  }
};

TEST_F(AddinModuleTest, RegistrationServesEveryClassByBothProgIdsFromTheModule) {
  ASSERT_EQ(registerModule(true), S_OK) << platform::diag::lastFailure();
  EXPECT_FALSE(loadedInProcess()) << "registration alone keeps the module loaded";
  std::set<std::u16string> ids;
  for (const char16_t* progId : kProgIds) {
    SCOPED_TRACE(platform::system::utf16ToUtf8(progId));
    const CLSID clsid = clsidOf(progId);
    EXPECT_EQ(clsidOf((std::u16string(progId) + u".1").c_str()), clsid);
    ids.insert(platform::com::formatGuid(clsid));

    CComPtr<IDispatch> object;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object)), S_OK);
    Dl_info info{};
    ASSERT_NE(::dladdr(*reinterpret_cast<void**>(object.p), &info), 0);
    EXPECT_EQ(fs::canonical(info.dli_fname), fs::canonical(QM_ADDIN_MODULE)) << "the object's code is the module's";

    const std::u16string server = u"CLSID\\" + platform::com::formatGuid(clsid) + u"\\InprocServer32";
    CRegKey key;
    ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, server.c_str(), KEY_READ), ERROR_SUCCESS);
    char16_t text[512];
    DWORD type = 0, size = sizeof text;
    ASSERT_EQ(key.QueryValue(u"ThreadingModel", &type, text, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(text), u"Apartment");
  }
  EXPECT_EQ(ids.size(), 4u);
  // The options page is the one class not programmable.
  CRegKey programmable;
  const std::u16string page = u"CLSID\\" + platform::com::formatGuid(clsidOf(kProgIds[1])) + u"\\Programmable";
  EXPECT_EQ(programmable.Open(HKEY_CLASSES_ROOT, page.c_str(), KEY_READ), ERROR_FILE_NOT_FOUND);
  const std::u16string connect = u"CLSID\\" + platform::com::formatGuid(clsidOf(kProgIds[0])) + u"\\Programmable";
  EXPECT_EQ(programmable.Open(HKEY_CLASSES_ROOT, connect.c_str(), KEY_READ), ERROR_SUCCESS);
  EXPECT_TRUE(platform::com::isServerLoaded(module()));
}

TEST_F(AddinModuleTest, ObjectsAndServerLocksKeepTheModuleLoadedUntilTheyGo) {
  ASSERT_EQ(registerModule(true), S_OK);
  const CLSID clsid = clsidOf(u"quillMark.Connect");
  CComPtr<IDispatch> object;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object)), S_OK);
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  CoFreeUnusedLibraries();
  EXPECT_TRUE(loadedInProcess());
  object.Release();
  EXPECT_EQ(canUnloadNow(), S_OK);

  CComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Release();
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  CoFreeUnusedLibraries();
  ASSERT_TRUE(loadedInProcess());
  ASSERT_EQ(CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  ASSERT_EQ(factory->LockServer(FALSE), S_OK);
  factory.Release();
  EXPECT_EQ(canUnloadNow(), S_OK);
  CoFreeUnusedLibraries();
  EXPECT_FALSE(loadedInProcess());
  EXPECT_FALSE(platform::com::isServerLoaded(module()));

  // Loaded again on the next creation.
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object)), S_OK);
  EXPECT_TRUE(loadedInProcess());
}

TEST_F(AddinModuleTest, UnregistrationLeavesClassesRootAsBeforeAndCreationFails) {
  const std::string before = classesRoot("before.reg");
  ASSERT_EQ(registerModule(true), S_OK);
  const CLSID clsid = clsidOf(u"quillMark.Connect");
  const std::string registered = classesRoot("registered.reg");

  // Under another thread locale the same keys are written, and the caller's locale comes back.
  ASSERT_TRUE(SetThreadLocale(1031));
  ASSERT_EQ(registerModule(true), S_OK);
  EXPECT_EQ(GetThreadLocale(), 1031u);
  platform::system::resetThreadLocaleForTesting();
  EXPECT_EQ(classesRoot("again.reg"), registered);

  ASSERT_EQ(registerModule(false), S_OK) << platform::diag::lastFailure();
  EXPECT_EQ(classesRoot("after.reg"), before);

  CLSID none{};
  EXPECT_EQ(CLSIDFromProgID(u"quillMark.Connect", &none), CO_E_CLASSSTRING);
  CComPtr<IDispatch> object;
  platform::diag::clearLastFailure();
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object)),
            REGDB_E_CLASSNOTREG);
  EXPECT_NE(platform::diag::lastFailure().find("not registered"), std::string::npos);
  EXPECT_FALSE(loadedInProcess());
}

TEST_F(AddinModuleTest, TypeLibraryAnswersDispatchIdsByNameUntilUnregistered) {
  const GUID libid = platform::com::guid("6B1E42D0-3C0A-4F7B-9E25-8D41C7A2F310");
  const IID quillmarker = platform::com::guid("6B1E42D4-3C0A-4F7B-9E25-8D41C7A2F310");
  ASSERT_EQ(registerModule(true), S_OK) << platform::diag::lastFailure();
  CRegKey key;
  ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, u"TypeLib\\{6B1E42D0-3C0A-4F7B-9E25-8D41C7A2F310}\\1.0\\409\\linux", KEY_READ),
            ERROR_SUCCESS);
  char16_t text[4096];
  DWORD type = 0, size = sizeof text;
  ASSERT_EQ(key.QueryValue(nullptr, &type, text, &size), ERROR_SUCCESS);
  EXPECT_EQ(fs::canonical(platform::system::utf16ToUtf8(text)), fs::canonical(QM_ADDIN_MODULE));
  key.Close();

  platform::com::TypeLibDescription library;
  std::u16string path;
  ASSERT_EQ(platform::com::LoadRegTypeLib(libid, 1, 0, library, &path), S_OK) << platform::diag::lastFailure();
  EXPECT_EQ(library.helpString, u"quillMark 1.0 Type Library");
  EXPECT_EQ(library.lcid, 1033u);
  EXPECT_EQ(library.interfaces.size(), 4u);
  // The ribbon's callbacks, by the names Office calls them.
  const char16_t* callbacks[] = {u"ribbonLoaded", u"CustomButton3GetLabel"};
  DISPID callbackIds[2] = {};
  EXPECT_EQ(platform::com::getIDsOfNames(library, platform::com::guid("6B1E42D8-3C0A-4F7B-9E25-8D41C7A2F310"),
                                         callbacks, 2, callbackIds),
            S_OK);
  EXPECT_EQ(callbackIds[0], 9);
  EXPECT_EQ(callbackIds[1], 28);
  const char16_t* names[] = {u"print", u"ENTRYID", u"printItem", u"Nothing"};
  DISPID ids[4] = {};
  EXPECT_EQ(platform::com::getIDsOfNames(library, quillmarker, names, 4, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[1], 4);
  EXPECT_EQ(ids[2], 5);
  EXPECT_EQ(ids[3], DISPID_UNKNOWN);
  ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, u"Interface\\{6B1E42D4-3C0A-4F7B-9E25-8D41C7A2F310}\\TypeLib", KEY_READ),
            ERROR_SUCCESS);
  key.Close();

  ASSERT_EQ(registerModule(false), S_OK) << platform::diag::lastFailure();
  EXPECT_EQ(platform::com::LoadRegTypeLib(libid, 1, 0, library), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, u"Interface", KEY_READ), ERROR_FILE_NOT_FOUND);
}

// The library the module carries: every interface and class in order, with its help string, and
// the help strings of the dispatch members.
TEST_F(AddinModuleTest, TypeLibraryDescribesEveryInterfaceAndClass) {
  const auto bytes = platform::resources::findResource(NGlobals::moduleInstance(), u"1", u"TYPELIB");
  platform::com::TypeLibDescription library;
  ASSERT_EQ(platform::com::parseTypeLib(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                                        library),
            S_OK)
      << platform::diag::lastFailure();
  std::vector<std::u16string> interfaces, classes;
  for (const auto& item : library.interfaces) interfaces.push_back(item.name + u": " + item.helpString);
  for (const auto& item : library.coclasses) classes.push_back(item.name + u" " + item.defaultInterface + u": " + item.helpString);
  EXPECT_EQ(interfaces, (std::vector<std::u16string>{
                            u"IquillMarkPP: IquillMarkPP Interface", u"IquillMarkShellHandler: IquillMarkShellHandler Interface",
                            u"IQuillmarker: IQuillmarker Interface", u"ITimerCallback: ITimerCallback Interface",
                            u"IAcceleratorCallback: IAcceleratorCallback Interface",
                            u"ICallbackInterface: ICallbackInterface Interface"}));
  EXPECT_EQ(classes, (std::vector<std::u16string>{u"Connect IDispatch: Connect Class",
                                                  u"quillMarkPP IquillMarkPP: quillMarkPP Class",
                                                  u"quillMarkShellHandler IquillMarkShellHandler: quillMarkShellHandler Class",
                                                  u"CallbackInterface ICallbackInterface: CallbackInterface Class",
                                                  u"Quillmarker IQuillmarker: Quillmarker Class"}));
  EXPECT_TRUE(IsEqualGUID(library.coclasses[3].clsid, CLSID_CallbackInterface));
  const auto find = [&](REFIID iid) -> const platform::com::TypeLibInterface* {
    for (const auto& item : library.interfaces)
      if (IsEqualIID(item.iid, iid)) return &item;
    return nullptr;
  };
  const auto* quillmarker = find(IID_IQuillmarker);
  ASSERT_TRUE(quillmarker);
  std::vector<std::u16string> help;
  for (const auto& member : quillmarker->members) help.push_back(member.helpString);
  EXPECT_EQ(help, (std::vector<std::u16string>{u"Print", u"GetAction", u"property action", u"property entryid", u"printItem"}));
  const auto* callbacks = find(IID_ICallbackInterface);
  ASSERT_TRUE(callbacks && callbacks->nonextensible);
  EXPECT_EQ(callbacks->members.front().helpString, u"method QuillmarkButtonClicked");
  const auto* accelerator = find(IID_IAcceleratorCallback);
  ASSERT_TRUE(accelerator);
  EXPECT_EQ(accelerator->members.at(0).name + u"(" + accelerator->members.at(0).parameters + u")",
            u"onAcceleratorCallback(unsigned long acceleratorId)");
}

TEST_F(AddinModuleTest, ServerPathMustBeAFullPathToALoadableModule) {
  ASSERT_EQ(registerModule(true), S_OK);
  const CLSID clsid = clsidOf(u"quillMark.Connect");
  const std::u16string server = u"CLSID\\" + platform::com::formatGuid(clsid) + u"\\InprocServer32";
  CRegKey key;
  ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, server.c_str()), ERROR_SUCCESS);
  CComPtr<IDispatch> object;
  ASSERT_EQ(key.SetStringValue(nullptr, u"libquillmark.so"), ERROR_SUCCESS);
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object)),
            REGDB_E_CLASSNOTREG);
  ASSERT_EQ(key.SetStringValue(nullptr, utf8ToUtf16((dir() / "missing.so").string()).c_str()), ERROR_SUCCESS);
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object)),
            CO_E_DLLNOTFOUND);
  EXPECT_NE(platform::diag::lastFailure().find("missing.so"), std::string::npos);
  EXPECT_EQ(platform::com::runServerRegistration(utf8ToUtf16((dir() / "missing.so").string()), true), CO_E_DLLNOTFOUND);
}

// An outer object that hands every interface but IUnknown to the object it aggregates.
class Outer : public IUnknown {
 public:
  ULONG refs = 1;
  IUnknown* inner = nullptr;
  STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
    if (IsEqualGUID(iid, IID_IUnknown)) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    return inner->QueryInterface(iid, ppv);
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
  STDMETHOD_(ULONG, Release)() override { return --refs; }
};

TEST_F(AddinModuleTest, OnlyTheAutomationObjectCanBeAggregated) {
  ASSERT_EQ(registerModule(true), S_OK);
  Outer outer;
  const CLSID quillmarker = clsidOf(u"quilMark.Quillmarker");
  IDispatch* refused = nullptr;
  EXPECT_EQ(CoCreateInstance(quillmarker, &outer, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&refused)),
            CLASS_E_NOAGGREGATION);
  ASSERT_EQ(CoCreateInstance(quillmarker, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)),
            S_OK);
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(outer.QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
  EXPECT_EQ(outer.refs, 2u) << "the aggregated interface counts on the outer object";
  IUnknown* identity = nullptr;
  ASSERT_EQ(dispatch->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, &outer);
  identity->Release();
  dispatch->Release();
  EXPECT_EQ(outer.refs, 1u);
  EXPECT_EQ(outer.inner->Release(), 0u);
  EXPECT_EQ(canUnloadNow(), S_OK);

  IUnknown* connect = nullptr;
  EXPECT_EQ(CoCreateInstance(clsidOf(u"quillMark.Connect"), &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&connect)),
            CLASS_E_NOAGGREGATION);
}

TEST_F(AddinModuleTest, ModuleExportsOnlyTheFourServerFunctions) {
  std::FILE* pipe = ::popen(("nm -D --defined-only " + std::string(QM_ADDIN_MODULE) + " 2>&1").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> names;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe)) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    names.insert(text.substr(text.rfind(' ') + 1));
  }
  ASSERT_EQ(::pclose(pipe), 0);
  EXPECT_EQ(names, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"}));
}

}  // namespace
