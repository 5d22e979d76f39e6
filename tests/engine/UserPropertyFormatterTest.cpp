#include "engine/formatters/UserPropertyFormatter.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "platform/com/DispatchImpl.h"
#include "tests/engine/FormatterTestSupport.h"

namespace {

using formattertest::CFakeFieldSource;
using formattertest::utf8;
using platform::com::CDispArgs;

// A user property: its Value answers the stored VARIANT, or throws.
class CFakeUserProperty : public CComObjectRootEx<CComSingleThreadModel>,
                          public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  CFakeUserProperty(const VARIANT& value, bool fails) : m_value(value) {
    dispatchTable().property(DISPID_VALUE, u"Value", [this, fails](const CDispArgs&, VARIANT* r) -> HRESULT {
      if (fails) throw std::runtime_error("property gone");
      return platform::com::putVariant(r, m_value);
    });
  }
  BEGIN_COM_MAP(CFakeUserProperty)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()
  CComVariant m_value;
};

// UserProperties: Item(name) answers the named property; an unknown name fails.
class CFakeUserProperties : public CComObjectRootEx<CComSingleThreadModel>,
                            public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  CFakeUserProperties() {
    dispatchTable().method(
        0x51, u"Item",
        [this](const CDispArgs& args, VARIANT* r) -> HRESULT {
          std::u16string name;
          if (FAILED(args.getText(0, name))) return DISP_E_TYPEMISMATCH;
          const auto it = m_properties.find(name);
          if (it == m_properties.end()) return E_INVALIDARG;
          return platform::com::putDispatch(r, it->second.p);
        },
        1, 1);
  }
  BEGIN_COM_MAP(CFakeUserProperties)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()

  void add(const std::u16string& name, const VARIANT& value, bool fails = false) {
    auto property = CComObject<CFakeUserProperty>::Make(value, fails);
    m_properties[name] = static_cast<IDispatch*>(property.p);
  }

 private:
  std::map<std::u16string, CComPtr<IDispatch>> m_properties;
};

class UserPropertyFormatterTest : public formattertest::FormatterTest {
 protected:
  void SetUp() override {
    FormatterTest::SetUp();
    m_properties = CComObject<CFakeUserProperties>::Make();
    m_source.userProperties = m_properties.p;
  }
  CComPtr<CComObject<CFakeUserProperties>> m_properties;
  CFakeFieldSource m_source;
};

TEST_F(UserPropertyFormatterTest, ShowsTheValueAsText) {
  m_properties->add(u"Text", CComVariant(u"plain"));
  m_properties->add(u"Number", CComVariant(LONG{42}));
  m_properties->add(u"Date", CComVariant(45366.5, VT_DATE));
  m_properties->add(u"Yes", CComVariant(true));
  m_properties->add(u"Hostile", CComVariant(u"<img src=x onerror=alert(1)>"));
  m_properties->add(u"Empty", CComVariant(u""));
  struct Case {
    const char16_t* settings;
    const char* html;
  };
  const Case cases[] = {
      {u"NAME=Text|PROP_TYPE=USER", "plain"},
      {u"NAME=Number|PROP_TYPE=USER", "42"},
      {u"NAME=Date|PROP_TYPE=USER", "3/15/2024 12:00:00 PM"},
      {u"NAME=Yes|PROP_TYPE=USER", "-1"},
      {u"NAME=Hostile|PROP_TYPE=USER", "&lt;img src=x onerror=alert(1)&gt;"},
      {u"NAME=Empty|PROP_TYPE=USER", ""},
      {u"NAME=Missing|PROP_TYPE=USER", ""},
      {u"PROP_TYPE=USER", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(utf8(c.settings));
    CUserPropertyFormatter formatter(kKindUserProperty);
    bool answer = false;
    EXPECT_EQ(utf8(run(formatter, c.settings, m_source, &answer)), c.html);
    EXPECT_EQ(answer, *c.html != '\0');
    EXPECT_EQ(m_last.all().tags(u"img").length(), 0);
  }
}

// A property whose read fails shows nothing; the fill goes on with the next element.
TEST_F(UserPropertyFormatterTest, AFailingReadFormatsAsEmpty) {
  m_properties->add(u"Broken", CComVariant(u"x"), true);
  CUserPropertyFormatter formatter(kKindUserProperty);
  bool answer = true;
  EXPECT_NO_THROW(EXPECT_EQ(run(formatter, u"NAME=Broken|PROP_TYPE=USER", m_source, &answer), u""));
  EXPECT_FALSE(answer);

  m_source.userProperties = nullptr;
  EXPECT_EQ(run(formatter, u"NAME=Broken|PROP_TYPE=USER", m_source, &answer), u"");
  EXPECT_FALSE(answer);
}

}  // namespace
