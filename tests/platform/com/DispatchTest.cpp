#include "platform/com/DispatchImpl.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "platform/com/ComObject.h"
#include "platform/com/DispatchDriver.h"
#include "tests/platform/com/TestObjects.h"
#include "tests/support/TestEnvironment.h"

namespace {

using platform::com::CDispArgs;

// An item-like object: a text property, a read-only number, an indexed collection method, a
// method that throws, and a child object for dotted paths.
class CFakeItem : public CComObjectRootEx<CComSingleThreadModel>, public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  CFakeItem() {
    dispatchTable()
        .property(
            0x37, u"Subject", [this](const CDispArgs&, VARIANT* r) { return platform::com::putText(r, m_subject); },
            [this](const CDispArgs& args, VARIANT*) {
              CComVariant v;
              const HRESULT hr = args.getPutValue(VT_BSTR, v);
              if (SUCCEEDED(hr)) m_subject.assign(v.bstrVal, SysStringLen(v.bstrVal));
              return hr;
            })
        .property(0x17, u"Importance", [](const CDispArgs&, VARIANT* r) { return platform::com::putLong(r, 2); })
        .method(
            0x51, u"Item",
            [](const CDispArgs& args, VARIANT* r) {
              LONG index = 0;
              const HRESULT hr = args.getLong(0, index);
              if (FAILED(hr)) return hr;
              LONG scale = 1;
              if (!args.isMissing(1) && FAILED(args.getLong(1, scale))) return DISP_E_TYPEMISMATCH;
              return platform::com::putLong(r, index * scale);
            },
            1, 2)
        .method(0x52, u"Explode", [](const CDispArgs&, VARIANT*) -> HRESULT { throw std::runtime_error("boom"); })
        .property(0x53, u"Session", [this](const CDispArgs&, VARIANT* r) {
          return platform::com::putDispatch(r, m_child ? static_cast<IDispatch*>(m_child.p) : nullptr);
        });
  }

  BEGIN_COM_MAP(CFakeItem)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()

  std::u16string m_subject = u"Hello";
  CComPtr<IDispatch> m_child;
};

class DispatchTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    m_item = CComObject<CFakeItem>::Make();
    m_driver.p = m_item.p;
  }

  HRESULT invoke(DISPID id, WORD flags, std::vector<VARIANT> lastFirst, VARIANT* result, UINT* argErr = nullptr,
                 std::vector<DISPID> named = {}) {
    DISPPARAMS params{lastFirst.empty() ? nullptr : lastFirst.data(), named.empty() ? nullptr : named.data(),
                      static_cast<UINT>(lastFirst.size()), static_cast<UINT>(named.size())};
    UINT err = 0;
    return m_item->Invoke(id, IID_NULL, 0x400, flags, &params, result, nullptr, argErr ? argErr : &err);
  }

  CComPtr<CComObject<CFakeItem>> m_item;
  CComDispatchDriver m_driver;
};

TEST_F(DispatchTest, NamesResolveIgnoringCase) {
  DISPID id = 0;
  EXPECT_EQ(m_driver.GetIDOfName(u"subject", &id), S_OK);
  EXPECT_EQ(id, 0x37);
  EXPECT_EQ(m_driver.GetIDOfName(u"NoSuchThing", &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);

  // Parameter names are not known: the member resolves, the parameter does not.
  LPOLESTR names[] = {const_cast<LPOLESTR>(u"Item"), const_cast<LPOLESTR>(u"Index")};
  DISPID ids[2] = {0, 0};
  EXPECT_EQ(m_item->GetIDsOfNames(IID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 0x51);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);
  EXPECT_EQ(m_item->GetIDsOfNames(IID_IDispatch, names, 1, 0, ids), DISP_E_UNKNOWNINTERFACE);
}

TEST_F(DispatchTest, PropertiesReadAndWriteByNameAndDispid) {
  CComVariant value;
  ASSERT_EQ(m_driver.GetProperty(0x37, &value), S_OK);
  EXPECT_TRUE(value == CComVariant(u"Hello"));

  const CComVariant number(LONG{42});
  ASSERT_EQ(m_driver.PutPropertyByName(u"SUBJECT", &number), S_OK);
  EXPECT_EQ(m_item->m_subject, u"42");  // the handler converted the value

  CComVariant subject;
  ASSERT_EQ(m_driver.GetPropertyByName(u"Subject", &subject), S_OK);
  EXPECT_TRUE(subject == CComVariant(u"42"));

  // Read-only: a put finds no member of that kind.
  EXPECT_EQ(m_driver.PutProperty(0x17, &number), DISP_E_MEMBERNOTFOUND);
  CComVariant unknown;
  EXPECT_EQ(m_driver.GetProperty(0x999, &unknown), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(m_driver.GetPropertyByName(u"Missing", &unknown), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(unknown.vt, VT_EMPTY);
}

TEST_F(DispatchTest, MethodsTakeTheirArgumentsInCallOrder) {
  CComVariant result;
  const CComVariant index(LONG{3}), scale(u"10");
  ASSERT_EQ(m_driver.Invoke2(u"Item", &index, &scale, &result), S_OK);
  EXPECT_EQ(result.lVal, 30);

  CComVariant single;
  ASSERT_EQ(m_driver.Invoke1(0x51, &index, &single), S_OK);
  EXPECT_EQ(single.lVal, 3);

  // An optional argument passed as "missing".
  const VARIANT args[] = {index, vtMissing};
  CComVariant withMissing;
  ASSERT_EQ(m_driver.InvokeArgs(0x51, DISPATCH_METHOD, args, &withMissing), S_OK);
  EXPECT_EQ(withMissing.lVal, 3);
}

TEST_F(DispatchTest, WrongCallsAnswerTheirErrors) {
  CComVariant result;
  EXPECT_EQ(m_driver.Invoke0(0x51, &result), DISP_E_BADPARAMCOUNT);
  const CComVariant a(LONG{1});
  const VARIANT three[] = {a, a, a};
  EXPECT_EQ(m_driver.InvokeArgs(0x51, DISPATCH_METHOD, three, &result), DISP_E_BADPARAMCOUNT);
  // A method is not a property, and a property is not a method.
  EXPECT_EQ(m_driver.GetProperty(0x51, &result), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(m_driver.Invoke0(0x37, &result), DISP_E_MEMBERNOTFOUND);
  // Scripts call with both flags: the getter serves them.
  EXPECT_EQ(invoke(0x37, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &result), S_OK);
  EXPECT_TRUE(result == CComVariant(u"Hello"));

  // A bad argument is reported at its DISPPARAMS position (last first).
  UINT argErr = 99;
  CComVariant bad(u"x");
  EXPECT_EQ(invoke(0x51, DISPATCH_METHOD, {a, bad}, &result, &argErr), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 1u);

  // A put needs its named value; named arguments elsewhere are refused.
  EXPECT_EQ(invoke(0x37, DISPATCH_PROPERTYPUT, {a}, nullptr), DISP_E_PARAMNOTOPTIONAL);
  EXPECT_EQ(invoke(0x37, DISPATCH_PROPERTYPUT, {}, nullptr), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(invoke(0x51, DISPATCH_METHOD, {a}, &result, nullptr, {7}), DISP_E_NONAMEDARGS);
  EXPECT_EQ(m_item->Invoke(0x37, IID_IDispatch, 0, DISPATCH_PROPERTYGET, nullptr, &result, nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
}

TEST_F(DispatchTest, ExceptionsBecomeDispatchErrors) {
  EXCEPINFO info{};
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  CComVariant result;
  EXPECT_EQ(m_item->Invoke(0x52, IID_NULL, 0, DISPATCH_METHOD, &none, &result, &info, nullptr), DISP_E_EXCEPTION);
  EXPECT_EQ(info.scode, E_FAIL);
  EXPECT_EQ(std::u16string(info.bstrDescription), u"boom");
  platform::com::clearExcepInfo(&info);
  // Without an EXCEPINFO the error still comes back and nothing leaks.
  EXPECT_EQ(m_driver.Invoke0(u"Explode"), DISP_E_EXCEPTION);
}

TEST_F(DispatchTest, DottedPathsWalkObjects) {
  auto child = CComObject<CFakeItem>::Make();
  child->m_subject = u"inner";
  m_item->m_child = child.p;
  CComVariant value;
  // The child's Session is a null object: no step can follow it.
  EXPECT_EQ(m_driver.GetPropertyByPath(u"Session.Session.Subject", &value), DISP_E_TYPEMISMATCH);
  ASSERT_EQ(m_driver.GetPropertyByPath(u"Session.Subject", &value), S_OK);
  EXPECT_TRUE(value == CComVariant(u"inner"));
  CComVariant other;
  EXPECT_EQ(m_driver.GetPropertyByPath(u"Subject.Session", &other), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(m_driver.GetPropertyByPath(u"Session..Subject", &other), E_INVALIDARG);
  EXPECT_EQ(CComDispatchDriver().GetPropertyByName(u"Subject", &other), E_POINTER);
  m_item->m_child.Release();
}

TEST_F(DispatchTest, NoTypeInformationIsOffered) {
  UINT count = 7;
  EXPECT_EQ(m_item->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(m_item->GetTypeInfo(0, 0, &info), DISP_E_BADINDEX);
  EXPECT_EQ(info, nullptr);
}

}  // namespace
