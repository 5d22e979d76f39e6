#include "platform/com/ComObject.h"

#include <gtest/gtest.h>

#include "tests/platform/com/TestObjects.h"
#include "tests/support/TestEnvironment.h"

namespace {

using comtest::CTwoFaces;
using comtest::ITestFirst;
using comtest::ITestSecond;

class ComObjectTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    m_live = comtest::g_liveObjects;
  }
  void TearDown() override { EXPECT_EQ(comtest::g_liveObjects, m_live) << "an object leaked"; }
  int m_live = 0;
};

TEST_F(ComObjectTest, LastReleaseDestroysTheObject) {
  CComObject<CTwoFaces>* raw = nullptr;
  ASSERT_EQ(CComObject<CTwoFaces>::CreateInstance(&raw), S_OK);
  EXPECT_EQ(raw->refCount(), 0);  // the creator's first AddRef owns it
  EXPECT_EQ(comtest::g_liveObjects, m_live + 1);
  EXPECT_EQ(raw->AddRef(), 1u);
  EXPECT_EQ(raw->AddRef(), 2u);
  EXPECT_EQ(raw->Release(), 1u);
  EXPECT_EQ(raw->Release(), 0u);
  EXPECT_EQ(comtest::g_liveObjects, m_live);
}

TEST_F(ComObjectTest, QueryInterfaceKeepsOneIdentity) {
  auto object = CComObject<CTwoFaces>::Make();
  CComPtr<ITestFirst> first;
  CComPtr<ITestSecond> second;
  ASSERT_EQ(object.QueryInterface(&first.p), S_OK);
  ASSERT_EQ(first.QueryInterface(&second.p), S_OK);
  EXPECT_EQ(second->second(), 2);
  EXPECT_NE(static_cast<void*>(first.p), static_cast<void*>(second.p));

  CComPtr<IUnknown> fromFirst, fromSecond;
  ASSERT_EQ(first->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(fromFirst.Receive())), S_OK);
  ASSERT_EQ(second->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(fromSecond.Receive())), S_OK);
  EXPECT_EQ(fromFirst.p, fromSecond.p);
  EXPECT_EQ(fromFirst.p, object->GetUnknown());
  EXPECT_TRUE(first.IsEqualObject(second));
  EXPECT_EQ(object->refCount(), 5);

  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(first->QueryInterface(IID_IDispatch, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(first->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(ComObjectTest, OwnersCountCopiesMovesAndHandOvers) {
  auto object = CComObject<CTwoFaces>::Make();
  CComPtr<ITestFirst> a = object;
  EXPECT_EQ(object->refCount(), 2);
  CComPtr<ITestFirst> b(a);
  CComPtr<ITestFirst> c(std::move(b));
  EXPECT_EQ(b.p, nullptr);
  EXPECT_EQ(object->refCount(), 3);
  c = a;  // the same object: no change
  EXPECT_EQ(object->refCount(), 3);
  c = c;
  EXPECT_EQ(object->refCount(), 3);

  ITestFirst* raw = c.Detach();
  EXPECT_EQ(object->refCount(), 3);
  CComPtr<ITestFirst> adopted;
  adopted.Attach(raw);
  EXPECT_EQ(object->refCount(), 3);
  ITestFirst* out = nullptr;
  ASSERT_EQ(adopted.CopyTo(&out), S_OK);
  EXPECT_EQ(object->refCount(), 4);
  out->Release();
  adopted.Release();
  a = nullptr;
  EXPECT_EQ(object->refCount(), 1);
}

TEST_F(ComObjectTest, QiOwnersAskForTheirInterface) {
  auto object = CComObject<CTwoFaces>::Make();
  CComPtr<ITestFirst> first = object;
  CComQIPtr<ITestSecond> second(first.p);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->second(), 2);
  CComQIPtr<IDispatch> none(first.p);
  EXPECT_FALSE(none);
  _com_ptr_t<ITestSecond> viaComdef(first);
  EXPECT_EQ(viaComdef.GetInterfacePtr(), second.p);
  IUnknownPtr unknown(second);
  EXPECT_EQ(unknown.GetInterfacePtr(), object->GetUnknown());
}

TEST_F(ComObjectTest, ReceiveFillsAnEmptyOwner) {
  auto object = CComObject<CTwoFaces>::Make();
  CComPtr<ITestFirst> out;
  ASSERT_EQ(object->QueryInterface(comtest::IID_ITestFirst, reinterpret_cast<void**>(&out)), S_OK);
  EXPECT_EQ(out->first(), 1);
}

TEST_F(ComObjectTest, ReceiveOnAHeldPointerStops) {
#ifdef NDEBUG
  GTEST_SKIP() << "checked in debug builds only";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto object = CComObject<CTwoFaces>::Make();
  CComPtr<ITestFirst> held = object;
  EXPECT_DEATH(held.Receive(), "not empty");
#endif
}

class CFailing : public CComObjectRootEx<CComSingleThreadModel>, public ITestFirst {
 public:
  CFailing() { ++comtest::g_liveObjects; }
  ~CFailing() { --comtest::g_liveObjects; }
  BEGIN_COM_MAP(CFailing)
    COM_INTERFACE_ENTRY(ITestFirst)
  END_COM_MAP()
  HRESULT FinalConstruct() {
    // Handing out and dropping a reference inside FinalConstruct must not destroy the object.
    CComPtr<ITestFirst> self(this);
    return E_OUTOFMEMORY;
  }
  STDMETHOD_(int, first)() override { return 0; }
};

TEST_F(ComObjectTest, FailedFinalConstructDestroysOnce) {
  CComObject<CFailing>* raw = reinterpret_cast<CComObject<CFailing>*>(1);
  EXPECT_EQ(CComObject<CFailing>::CreateInstance(&raw), E_OUTOFMEMORY);
  EXPECT_EQ(raw, nullptr);
  EXPECT_FALSE(CComObject<CFailing>::Make());
}

inline constexpr CLSID CLSID_TwoFaces = platform::com::guid("6F0A1C3E-2B1D-4C55-9E11-0A7B3C9D00C1");

class CCreatable : public CTwoFaces, public CComCoClass<CCreatable, &CLSID_TwoFaces> {};

TEST_F(ComObjectTest, ClassFactoryCreatesAndLocksTheModule) {
  CAtlModule module;
  CComPtr<IClassFactory> factory = CComObject<CComClassFactoryT<CCreatable>>::Make();
  EXPECT_EQ(module.GetLockCount(), 1);  // the factory itself is an object

  CComPtr<ITestSecond> second;
  ASSERT_EQ(factory->CreateInstance(nullptr, comtest::IID_ITestSecond, reinterpret_cast<void**>(&second)), S_OK);
  EXPECT_EQ(second->second(), 2);
  EXPECT_EQ(module.GetLockCount(), 2);

  CComPtr<IUnknown> outer = second;
  void* aggregated = nullptr;
  EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, &aggregated), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, &aggregated), E_NOINTERFACE);
  EXPECT_EQ(aggregated, nullptr);

  factory->LockServer(TRUE);
  EXPECT_EQ(module.GetLockCount(), 3);
  factory->LockServer(FALSE);
  second.Release();
  outer.Release();
  factory.Release();
  EXPECT_EQ(module.GetLockCount(), 0);
  EXPECT_TRUE(IsEqualCLSID(CCreatable::GetObjectCLSID(), CLSID_TwoFaces));
}

}  // namespace
