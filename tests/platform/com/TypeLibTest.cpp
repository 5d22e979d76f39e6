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
