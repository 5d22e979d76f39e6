#include "engine/ElementSettings.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/AddinGlobals.h"
#include "foundation/Log.h"
#include "foundation/Utils.h"
#include "platform/com/Com.h"
#include "platform/outlook/Dispids.h"
#include "tests/support/TestEnvironment.h"

namespace {

using platform::com::CDispArgs;

// A dispatch object with one value property.
class CFakeProperty : public CComObjectRootEx<CComSingleThreadModel>,
                      public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  explicit CFakeProperty(const VARIANT& value) : m_value(value) {
    dispatchTable().property(DISPID_VALUE, u"Value", [this](const CDispArgs&, VARIANT* r) {
      return platform::com::putVariant(r, m_value);
    });
  }
  BEGIN_COM_MAP(CFakeProperty)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()
  CComVariant m_value;
};

// An item answering chosen properties by DISPID, and by name through its ItemProperties.
class CFakeItem : public CComObjectRootEx<CComSingleThreadModel>, public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CFakeItem)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()

  void set(DISPID id, const VARIANT& value) {
    const std::string name = "P" + std::to_string(id);
    dispatchTable().property(id, std::u16string(name.begin(), name.end()),
                             [v = CComVariant(value)](const CDispArgs&, VARIANT* r) {
                               return platform::com::putVariant(r, v);
                             });
  }
  void setThrowing(DISPID id) {
    dispatchTable().property(id, u"Throws" + std::u16string(1, u'0' + (id & 7)), [](const CDispArgs&, VARIANT*) -> HRESULT {
      throw std::runtime_error("item gone");
    });
  }
  // Installs ItemProperties, whose Item(name) answers the named values (ignoring case).
  void setNamed(const std::u16string& name, const VARIANT& value) {
    std::u16string key = name;
    for (auto& c : key) c = static_cast<char16_t>(c >= u'A' && c <= u'Z' ? c + 32 : c);
    m_named[key] = value;
    if (m_properties) return;
    auto collection = CComObject<CFakeCollection>::Make(this);
    m_properties = static_cast<IDispatch*>(collection.p);
    dispatchTable().property(platform::outlook::kDispidItemProperties, u"ItemProperties",
                             [this](const CDispArgs&, VARIANT* r) {
                               return platform::com::putDispatch(r, m_properties.p);
                             });
  }

 private:
  class CFakeCollection : public CComObjectRootEx<CComSingleThreadModel>,
                          public platform::com::IDispatchTableImpl<IDispatch> {
   public:
    explicit CFakeCollection(CFakeItem* owner) {
      dispatchTable().method(
          0x51, u"Item",
          [owner](const CDispArgs& args, VARIANT* r) -> HRESULT {
            std::u16string name;
            if (FAILED(args.getText(0, name))) return DISP_E_TYPEMISMATCH;
            for (auto& c : name) c = static_cast<char16_t>(c >= u'A' && c <= u'Z' ? c + 32 : c);
            const auto it = owner->m_named.find(name);
            if (it == owner->m_named.end()) return E_INVALIDARG;
            auto property = CComObject<CFakeProperty>::Make(it->second);
            return platform::com::putDispatch(r, property.p);
          },
          1, 1);
    }
    BEGIN_COM_MAP(CFakeCollection)
      COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()
  };

  std::map<std::u16string, CComVariant> m_named;
  CComPtr<IDispatch> m_properties;
};

CComVariant typed(VARTYPE vt) {
  CComVariant v;
  switch (vt) {
    case VT_EMPTY: break;
    case VT_BSTR: v = CComVariant(u"text"); break;
    case VT_I2: v = CComVariant(static_cast<SHORT>(2)); break;
    case VT_I4: v = CComVariant(static_cast<LONG>(4)); break;
    case VT_R4: v = CComVariant(1.5f); break;
    case VT_R8: v = CComVariant(2.5); break;
    case VT_DATE: v = CComVariant(45000.5, VT_DATE); break;
    case VT_BOOL: v = CComVariant(true); break;
    case VT_CY: v = CComVariant(CY{15000}); break;
    case VT_UI4: v = CComVariant(static_cast<ULONG>(7)); break;
    case VT_NULL: v.vt = VT_NULL; break;
    default: ADD_FAILURE() << "no sample for vt " << vt;
  }
  return v;
}

const std::vector<quilstring> kLevelNames = {u"Info", u"Error", u"Warning", u"Debug"};

class ElementSettingsTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    NGlobals::resetForTesting();
    CLogger::instance().resetForTesting();
    m_logPath = dir() / "log.txt";
    ASSERT_TRUE(CLogger::instance().redirectTo(quilstring::fromUtf8(m_logPath.string())));
    NLog::setLevels(kLevelNames, u"debug");
    m_item = CComObject<CFakeItem>::Make();
    m_item->set(platform::outlook::kDispidSubject, typed(VT_BSTR));
    m_item->set(platform::outlook::kDispidImportance, typed(VT_I4));
  }
  void TearDown() override {
    CLogger::instance().resetForTesting();
    NGlobals::resetForTesting();
  }

  CElementSettings parse(const quilstring& text) { return CElementSettings(text, m_item.p); }

  // The log's lines as "Level message", without time stamp and source.
  std::vector<std::string> logLines() const {
    std::vector<std::string> out;
    std::istringstream in(testsupport::readFile(m_logPath));
    for (std::string line; std::getline(in, line);) {
      line = line.substr(9, line.rfind(" (") - 9);
      const std::size_t levelEnd = line.find(' ');
      out.push_back(line.substr(0, levelEnd) + " " + line.substr(line.find_first_not_of(' ', levelEnd)));
    }
    return out;
  }

  std::filesystem::path m_logPath;
  CComPtr<CComObject<CFakeItem>> m_item;
};

struct TextCase {
  const char16_t* text;
  DWORD kind;
  DWORD flags;
  const char16_t* name;
  const char* hideAncestorTag;
  LONG recipientStyle;
  std::vector<std::string> log;
};

TEST_F(ElementSettingsTest, SettingsTextsParseAndLogAsDesigned) {
  const TextCase cases[] = {
      {u"NAME=Subject", 0x1F, 0, u"Subject", "", 0, {}},
      {u"name=subject", 0x1F, 0, u"subject", "", 0, {}},
      {u" NAME = To |UPPER_CASE", 0x10000, 1, u"To", "", 1, {}},
      {u"||NAME=To|||LOWER_CASE||", 0x10000, 2, u"To", "", 1, {}},
      {u"=x|NAME=To", 0x10000, 0, u"To", "", 1, {"Error Bad arg: \"=x\""}},
      {u"  =y|NAME=To", 0x10000, 0, u"To", "", 1, {"Error Bad arg: \"  =y\""}},
      {u"NAME=To|name=Cc", 0x10000, 0, u"To", "", 1, {"Error Duplicate arg: \"NAME\""}},
      {u"NAME=To|FOO=1", 0x10000, 0, u"To", "", 1,
       {"Warning Invalid named arguments specified:", "Warning \tFOO = 1"}},
      // Leftovers in key order, values as written.
      {u"zed= a b |NAME=To|abc", 0x10000, 0, u"To", "", 1,
       {"Warning Invalid named arguments specified:", "Warning \tABC = ", "Warning \tZED =  a b "}},
      {u"\x3000NAME\x3000=\x3000To\x3000|\tupper_case\n", 0x10000, 1, u"To", "", 1, {}},
      {u"NAME=To|HIDE_TABLE_IF_EMPTY", 0x10000, 0, u"To", "TABLE", 1, {}},
      {u"NAME=To|HIDE_ROW_IF_EMPTY=no", 0x10000, 0, u"To", "TR", 1, {}},
      {u"NAME=To|HIDE_TABLE_IF_EMPTY|HIDE_ROW_IF_EMPTY", 0x10000, 0, u"To", "TR", 1, {}},
      {u"HIDE_ROW_IF_EMPTY|NAME=To|HIDE_TABLE_IF_EMPTY", 0x10000, 0, u"To", "TR", 1, {}},
      {u"NAME=0x0E060040|PROP_TYPE=MAPI", 0x0E060040, 0, u"0x0E060040", "", 0, {}},
      {u"NAME= 0037001F |PROP_TYPE= mapi ", 0x0037001F, 0, u"0037001F", "", 0, {}},
      {u"NAME=zz|PROP_TYPE=MAPI", 0, 0, u"zz", "", 0, {}},
      {u"NAME=Body|UPPER_CASE|LOWER_CASE", 0x1000001F, 0x200, u"Body", "", 0, {}},
      {u"UPPER_CASE|LOWER_CASE|NAME=Subject", 0x1F, 3, u"Subject", "", 0, {}},
      {u"NAME=Nonesuch", 0, 0, u"Nonesuch", "", 0, {}},
      {u"NAME", 0, 0, u"", "", 0, {}},
      {u"", 0, 0, u"", "", 0, {}},
      {u"NAME=Importance|PROP_TYPE=bogus", 3, 0, u"Importance", "", 0, {}},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(quilstring(c.text).toUtf8());
    std::filesystem::resize_file(m_logPath, 0);
    const CElementSettings settings = parse(c.text);
    EXPECT_EQ(settings.kind(), c.kind);
    EXPECT_EQ(settings.flags(), c.flags);
    EXPECT_EQ(settings.name(), quilstring(c.name));
    EXPECT_EQ(settings.hideAncestorTag().toUtf8(), c.hideAncestorTag);
    EXPECT_EQ(settings.recipientStyle(), c.recipientStyle);
    EXPECT_EQ(logLines(), c.log);
  }
}

TEST_F(ElementSettingsTest, ValuesAreTrimmedOnlyWhereTheyAreNames) {
  const CElementSettings s = parse(
      u"NAME=To|VALUE_SEPARATOR=; |FORMAT_STRING= [ %s ] |DATE_FORMAT_FLAGS= 0x1 |DATE_FORMAT_PICTURE= dddd |"
      u"TIME_FORMAT_FLAGS=\t2 |TIME_FORMAT_PICTURE= HH:mm ");
  EXPECT_EQ(s.valueSeparator(), quilstring(u"; "));
  EXPECT_EQ(s.formatString(), quilstring(u" [ %s ] "));
  EXPECT_EQ(s.dateFlags(), quilstring(u"0x1"));
  EXPECT_EQ(s.datePicture(), quilstring(u" dddd "));
  EXPECT_EQ(s.timeFlags(), quilstring(u"2"));
  EXPECT_EQ(s.timePicture(), quilstring(u" HH:mm "));
  // Only the first "=" splits: the rest belongs to the value.
  EXPECT_EQ(parse(u"NAME=To|FORMAT_STRING=a=%s").formatString(), quilstring(u"a=%s"));
}

TEST_F(ElementSettingsTest, PossibleValuesArePairsOfTrimmedTokens) {
  using Map = std::map<quilstring, quilstring>;
  const struct {
    const char16_t* value;
    Map expected;
  } cases[] = {
      {u"0:Normal/1:Personal/2:Private/3:Confidential",
       {{u"0", u"Normal"}, {u"1", u"Personal"}, {u"2", u"Private"}, {u"3", u"Confidential"}}},
      {u"0,No;1,Yes\\2", {{u"0", u"No"}, {u"1", u"Yes"}}},
      {u"1:A:1:B", {{u"1", u"B"}}},
      {u" 0 : Not at all // 1 : Yes ", {{u"0", u"Not at all"}, {u"1", u"Yes"}}},
      {u"lonely", {}},
      {u"", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(quilstring(c.value).toUtf8());
    EXPECT_EQ(parse(u"NAME=Importance|POSSIBLE_VALUES=" + quilstring(c.value)).possibleValues(), c.expected);
  }
  CElementSettings s = parse(u"NAME=ReadReceiptRequested");
  s.setPossibleValues({{u"0", u"False"}, {u"1", u"True"}});
  EXPECT_EQ(s.possibleValues().size(), 2u);
}

TEST_F(ElementSettingsTest, EverySpecialNameResolvesIgnoringCase) {
  const struct {
    const char16_t* name;
    DWORD kind;
    LONG style;
    const char16_t* dispid;
    const char16_t* specialName;
  } cases[] = {
      {u"Body", 0x1000001F, 0, u"", u""},
      {u"Attachments", 0x00100000, 0, u"", u""},
      {u"ContactPicture", 0x02000000, 0, u"", u""},
      {u"From", 0x01000000, 1, u"", u""},
      {u"FromFull", 0x01000000, 3, u"", u""},
      {u"To", 0x00010000, 1, u"", u""},
      {u"ToFull", 0x00010000, 3, u"", u""},
      {u"Cc", 0x00020000, 1, u"", u""},
      {u"CcFull", 0x00020000, 3, u"", u""},
      {u"Bcc", 0x00030000, 1, u"", u""},
      {u"BccFull", 0x00030000, 3, u"", u""},
      {u"ReceivedBy", 0x00400000, 1, u"", u""},
      {u"ReceivedByFull", 0x00400000, 3, u"", u""},
      {u"Contacts", 0x00800000, 1, u"", u""},
      {u"ContactsAddress", 0x00800000, 3, u"", u""},
      {u"SentOn", 0x00390040, 0, u"", u""},
      {u"ReceivedTime", 0x0E060040, 0, u"", u""},
      {u"CurrentTime", 0x00000040, 0, u"0xFFFF", u""},
      {u"AttachmentCount", 0x00000002, 0, u"", u"AttachmentCount"},
  };
  for (const auto& c : cases) {
    quilstring upper = c.name;
    quilstring lower = c.name;
    for (auto& ch : upper) ch = static_cast<char16_t>(ch >= u'a' && ch <= u'z' ? ch - 32 : ch);
    for (auto& ch : lower) ch = static_cast<char16_t>(ch >= u'A' && ch <= u'Z' ? ch + 32 : ch);
    for (const quilstring& name : {quilstring(c.name), upper, lower}) {
      SCOPED_TRACE(name.toUtf8());
      const CElementSettings s = CElementSettings(u"NAME=" + name, nullptr);
      EXPECT_EQ(s.kind(), c.kind);
      EXPECT_EQ(s.recipientStyle(), c.style);
      EXPECT_EQ(s.dispid(), quilstring(c.dispid));
      EXPECT_EQ(s.specialName(), quilstring(c.specialName));
      EXPECT_EQ(s.flags(), c.kind == 0x1000001F ? 0x200u : 0u);
      EXPECT_TRUE(s.itemName().empty());
    }
  }
}

TEST_F(ElementSettingsTest, EveryTableNameGivesItsDispidAndTheValueTypesKind) {
  for (const auto& field : platform::outlook::kItemFieldDispids) m_item->set(field.dispid, typed(VT_DATE));
  for (const auto& field : platform::outlook::kItemFieldDispids) {
    quilstring upper(field.name);
    for (auto& ch : upper) ch = static_cast<char16_t>(ch >= u'a' && ch <= u'z' ? ch - 32 : ch);
    SCOPED_TRACE(upper.toUtf8());
    const CElementSettings s = parse(u"NAME=" + upper);
    EXPECT_EQ(s.dispid(), quilstring(field.dispidText));
    EXPECT_EQ(s.kind(), 0x40u);
    // An item without that property: the field is known, the kind stays 0.
    const CElementSettings missing(u"NAME=" + upper, nullptr);
    EXPECT_EQ(missing.dispid(), quilstring(field.dispidText));
    EXPECT_EQ(missing.kind(), 0u);
    EXPECT_EQ(NUtils::hexToLong(std::u16string(field.dispidText)), field.dispid);
  }
  EXPECT_EQ(platform::outlook::findItemFieldDispid(u"Siz"), nullptr);
}

TEST_F(ElementSettingsTest, VariantTypeGivesKindByDispidAndByName) {
  NGlobals::setOfficeMajorVersion(12);
  const struct {
    VARTYPE vt;
    DWORD byDispid;
    DWORD byName;
  } cases[] = {
      {VT_I2, 3, 3},       {VT_I4, 3, 3},      {VT_R4, 4, 4},     {VT_R8, 4, 4},    {VT_DATE, 0x40, 0x40},
      {VT_BSTR, 0x1F, 0x1F}, {VT_BOOL, 0xB, 0xB}, {VT_CY, 0, 6},  {VT_EMPTY, 0, 0}, {VT_NULL, 0, 0},
      {VT_UI4, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.vt);
    m_item->set(0x8001, typed(c.vt));
    m_item->setNamed(u"Prop", typed(c.vt));
    const CElementSettings byDispid = parse(u"NAME=0x8001|PROP_TYPE=DISPID");
    EXPECT_EQ(byDispid.kind(), c.byDispid);
    EXPECT_EQ(byDispid.dispid(), quilstring(u"0x8001"));
    const CElementSettings byName = parse(u"NAME=Prop|PROP_TYPE=Item");
    EXPECT_EQ(byName.kind(), c.byName);
    EXPECT_EQ(byName.itemName(), quilstring(u"Prop"));
  }
}

TEST_F(ElementSettingsTest, OutlookVersionChoosesHowUserAndItemTypesResolve) {
  m_item->setNamed(u"Mileage", typed(VT_BSTR));
  m_item->setNamed(u"Budget", typed(VT_CY));
  const struct {
    int version;
    const char16_t* text;
    DWORD kind;
    const char16_t* itemName;
  } cases[] = {
      {9, u"NAME=Mileage|PROP_TYPE=User", 0x00200000, u""},
      {9, u"NAME=Nothing at all|PROP_TYPE=USER", 0x00200000, u""},
      {9, u"NAME=0x0037001F|PROP_TYPE=ITEM", 0x0037001F, u""},
      {9, u"NAME=Mileage|PROP_TYPE=ITEM", 0, u""},
      {12, u"NAME=Mileage|PROP_TYPE=User", 0x1F, u"Mileage"},
      {12, u"NAME= budget |PROP_TYPE=user", 6, u"budget"},
      {12, u"NAME=Missing|PROP_TYPE=User", 0, u"Missing"},
      {12, u"NAME=Mileage|PROP_TYPE=Item", 0x1F, u"Mileage"},
      {16, u"NAME=0x0037001F|PROP_TYPE=ITEM", 0, u"0x0037001F"},
      {0, u"NAME=Budget|PROP_TYPE=item", 6, u"Budget"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(quilstring(c.text).toUtf8() + " on " + std::to_string(c.version));
    NGlobals::setOfficeMajorVersion(c.version);
    const CElementSettings s = parse(c.text);
    EXPECT_EQ(s.kind(), c.kind);
    EXPECT_EQ(s.itemName(), quilstring(c.itemName));
    EXPECT_TRUE(s.dispid().empty());
  }
}

TEST_F(ElementSettingsTest, FailingItemReadsGiveKindZero) {
  NGlobals::setOfficeMajorVersion(12);
  m_item->setThrowing(platform::outlook::kDispidSubject);
  EXPECT_EQ(parse(u"NAME=Subject").kind(), 0u);
  // No ItemProperties at all, then a collection without the name.
  EXPECT_EQ(parse(u"NAME=Mileage|PROP_TYPE=Item").kind(), 0u);
  m_item->setNamed(u"Other", typed(VT_BSTR));
  EXPECT_EQ(parse(u"NAME=Mileage|PROP_TYPE=Item").kind(), 0u);
  EXPECT_EQ(CElementSettings::kindFromItemProperty(nullptr, u"0x37"), 0u);
  EXPECT_EQ(CElementSettings::kindFromNamedProperty(nullptr, u"Mileage"), 0u);
}

// Kinds are unsigned: a tag with the high bit set is a kind, not a saturated or negative value.
TEST_F(ElementSettingsTest, MapiTagWithHighBitIsKeptWhole) {
  const CElementSettings s = parse(u"NAME=0x8005001F|PROP_TYPE=MAPI");
  EXPECT_EQ(s.kind(), 0x8005001Fu);
  EXPECT_EQ(s.kind() & 0xFFFF, kKindString);
  EXPECT_GT(s.kind(), kKindBody);
}

// Settings texts come from template documents: bounded, and never a crash.
TEST_F(ElementSettingsTest, OverlongTextIsIgnoredAndLogged) {
  quilstring text = u"NAME=Subject|FORMAT_STRING=";
  text.append(CElementSettings::kMaxTextLength, u'x');
  const CElementSettings s = parse(text);
  EXPECT_EQ(s.kind(), 0u);
  EXPECT_TRUE(s.name().empty());
  EXPECT_TRUE(s.formatString().empty());
  const auto log = logLines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].rfind("Error Settings text of ", 0), 0u) << log[0];
  // A text at the bound is read.
  text.resize(CElementSettings::kMaxTextLength);
  EXPECT_EQ(parse(text).kind(), 0x1Fu);
}

TEST_F(ElementSettingsTest, ArgumentsBeyondTheBoundAreDropped) {
  quilstring text = u"NAME=Subject";
  for (std::size_t i = 1; i < CElementSettings::kMaxArgs; ++i) text += u"|UPPER_CASE";
  text += u"|LOWER_CASE|HIDE_ROW_IF_EMPTY";
  const CElementSettings s = parse(text);
  EXPECT_EQ(s.kind(), 0x1Fu);
  EXPECT_EQ(s.flags(), CElementSettings::kUpperCase);
  EXPECT_TRUE(s.hideAncestorTag().empty());
  const auto log = logLines();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0], "Error Too many args (66): only the first 64 are read");
  // The rest are duplicates of one key, each logged.
  EXPECT_EQ(log.size(), 1u + CElementSettings::kMaxArgs - 2);
}

}  // namespace
