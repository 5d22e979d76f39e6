#include <gtest/gtest.h>

#include "platform/com/TypeLib.h"

namespace {

using platform::com::TypeLibDescription;

constexpr const char* kLibrary = "library {6B1E42D0-3C0A-4F7B-9E25-8D41C7A2F310} 1.0 1033 lib Help text\n";

HRESULT parse(const std::string& text, TypeLibDescription& out) { return platform::com::parseTypeLib(text, out); }

TEST(TypeLibTest, ReadsTheLibraryAndRefusesEveryBrokenStatement) {
  TypeLibDescription library;
  ASSERT_EQ(parse(std::string("# comment\r\n") + kLibrary +
                      "interface {6B1E42D4-3C0A-4F7B-9E25-8D41C7A2F310} IItem\nmember 0 Value\nmember 7 Print\n\n",
                  library),
            S_OK);
  EXPECT_EQ(library.helpString, u"Help text");
  ASSERT_EQ(library.interfaces.size(), 1u);
  EXPECT_EQ(library.interfaces[0].members[1].id, 7);

  // Kinds, plain interfaces' methods, classes and help strings.
  TypeLibDescription full;
  ASSERT_EQ(parse(std::string(kLibrary) +
                      "interface {6B1E42D7-3C0A-4F7B-9E25-8D41C7A2F310} IPage dual nonextensible \"IPage Interface\"\n"
                      "member 3 action \"property action\"\n"
                      "interface {6B1E42DA-3C0A-4F7B-9E25-8D41C7A2F310} ICallback unknown\n"
                      "method onCallback(unsigned long id) \"method onCallback\"\n"
                      "coclass {6B1E42D1-3C0A-4F7B-9E25-8D41C7A2F310} Page IPage \"Page Class\"\n",
                  full),
            S_OK);
  ASSERT_EQ(full.interfaces.size(), 2u);
  EXPECT_EQ(full.interfaces[0].kind, platform::com::TypeLibInterfaceKind::kDual);
  EXPECT_TRUE(full.interfaces[0].nonextensible);
  EXPECT_EQ(full.interfaces[0].helpString, u"IPage Interface");
  EXPECT_EQ(full.interfaces[0].members[0].helpString, u"property action");
  EXPECT_EQ(full.interfaces[1].kind, platform::com::TypeLibInterfaceKind::kUnknown);
  EXPECT_EQ(full.interfaces[1].members[0].parameters, u"unsigned long id");
  ASSERT_EQ(full.coclasses.size(), 1u);
  EXPECT_EQ(full.coclasses[0].defaultInterface, u"IPage");
  // A plain interface answers no names.
  const char16_t* name[] = {u"onCallback"};
  DISPID id = 0;
  EXPECT_EQ(platform::com::getIDsOfNames(full, full.interfaces[1].iid, name, 1, &id), TYPE_E_ELEMENTNOTFOUND);

  const std::string item = "interface {6B1E42D4-3C0A-4F7B-9E25-8D41C7A2F310} IItem\n";
  for (const std::string& broken : {
           std::string("member 1 Print\n") + kLibrary,      // nothing before the library
           std::string(kLibrary) + kLibrary,                // a second library
           std::string(kLibrary) + "member 1 Print\n",      // a member outside an interface
           std::string(kLibrary) + item + "member 1 Print\nmember 2 PRINT\n",
           std::string(kLibrary) + item + "member 1 Print\nmember 1 Other\n",
           std::string(kLibrary) + item + item,
           std::string(kLibrary) + item + "member -1 Print\n",
           std::string(kLibrary) + item + "member 99999999999 Print\n",
           std::string(kLibrary) + item + "member 1 Pr-int\n",
           std::string(kLibrary) + item + "member 1 Print extra\n",
           std::string(kLibrary) + item + "member 1 Print \"open\n",
           std::string(kLibrary) + item + "method print()\n",  // a method of a dispatch interface
           std::string(kLibrary) + "interface {6B1E42DA-3C0A-4F7B-9E25-8D41C7A2F310} ICb unknown\nmember 1 Print\n",
           std::string(kLibrary) + "interface {6B1E42DA-3C0A-4F7B-9E25-8D41C7A2F310} ICb unknown\nmethod go(\n",
           std::string(kLibrary) + "coclass {6B1E42D1-3C0A-4F7B-9E25-8D41C7A2F310} X\n",
           std::string(kLibrary) + "interface {not-a-guid} IItem\n",
           std::string(kLibrary) + "coclass X\n",
           std::string("library {6B1E42D0-3C0A-4F7B-9E25-8D41C7A2F310} 1 1033 lib\n"),
           std::string(kLibrary) + item + "member\t1 Print\n",
           std::string(""),
       }) {
    TypeLibDescription untouched = library;
    EXPECT_EQ(parse(broken, untouched), TYPE_E_INVDATAREAD) << broken;
    EXPECT_EQ(untouched.interfaces.size(), 1u);
  }
  EXPECT_EQ(parse(std::string(kLibrary) + std::string(70 * 1024, '#'), library), TYPE_E_INVDATAREAD);
}

}  // namespace
