// The .reg reader and writer on their own: the forms regedit writes and the lines it must refuse.
#include <gtest/gtest.h>

#include "platform/registry/Registry.h"
#include "platform/registry/detail/RegText.h"
#include "platform/system/Text.h"
#include "tests/platform/registry/RegistryTestSupport.h"

namespace {

using platform::registry::detail::applyOp;
using platform::registry::detail::ExportTree;
using platform::registry::detail::parseRegText;
using platform::registry::detail::RegOp;
using platform::registry::detail::RootId;
using platform::registry::detail::RootSet;
using platform::registry::detail::writeRegText;

class RegTextTest : public testsupport::IsolatedTest {
 protected:
  static RootSet load(std::string_view bytes) {
    const auto parsed = parseRegText(bytes);
    EXPECT_TRUE(parsed.ok) << parsed.errorLine << ": " << platform::system::utf16ToUtf8(parsed.error);
    RootSet roots;
    for (const RegOp& op : parsed.ops) applyOp(roots, op);
    return roots;
  }

  static std::string writeAll(const RootSet& roots) {
    std::vector<ExportTree> trees;
    for (RootId id : {RootId::kLocalMachine, RootId::kCurrentUser, RootId::kClassesRoot}) {
      trees.push_back(ExportTree{std::u16string(platform::registry::detail::rootName(id)), &roots[id], true});
    }
    return writeRegText(trees);
  }

  static std::vector<BYTE> valueOf(const RootSet& roots, const char16_t* key, const char16_t* name, DWORD type) {
    RootSet& r = const_cast<RootSet&>(roots);
    const auto* node = platform::registry::detail::findKey(r[RootId::kCurrentUser], {key});
    const auto* value = node ? node->value(name) : nullptr;
    if (!value || value->type != type) return {0xEE};
    return value->data;
  }
};

TEST_F(RegTextTest, ReadsTheOlderAndUtf8Forms) {
  // REGEDIT4 keeps hex(2) and hex(7) in the ANSI code page; UTF-16 from here on.
  const RootSet four = load(
      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n\"Path\"=hex(2):25,54,25,00\r\n\"List\"=hex(7):61,00,62,00,00\r\n"
      "\"Caf\xe9\"=\"cr\xe8me\"\r\n");
  EXPECT_EQ(valueOf(four, u"K", u"Path", REG_EXPAND_SZ), (std::vector<BYTE>{'%', 0, 'T', 0, '%', 0, 0, 0}));
  EXPECT_EQ(valueOf(four, u"K", u"List", REG_MULTI_SZ), (std::vector<BYTE>{'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}));
  EXPECT_EQ(valueOf(four, u"K", u"Caf\u00e9", REG_SZ), (std::vector<BYTE>{'c', 0, 'r', 0, 0xE8, 0, 'm', 0, 'e', 0, 0, 0}));

  // UTF-8 with a BOM, LF endings, blanks around the parts, comments, upper-case prefixes.
  const RootSet eight = load(
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n; comment\n  [HKCU\\K]  \n"
      "\"Caf\xc3\xa9\" = \"cr\xc3\xa8me\"\n\"D\"=DWORD:ff\n\"H\"=HEX: 0a , b ,\\\n   ff\n");
  EXPECT_EQ(valueOf(eight, u"K", u"caf\u00c9", REG_SZ), (std::vector<BYTE>{'c', 0, 'r', 0, 0xE8, 0, 'm', 0, 'e', 0, 0, 0}));
  EXPECT_EQ(valueOf(eight, u"K", u"D", REG_DWORD), (std::vector<BYTE>{0xFF, 0, 0, 0}));
  EXPECT_EQ(valueOf(eight, u"K", u"H", REG_BINARY), (std::vector<BYTE>{0x0A, 0x0B, 0xFF}));
}

TEST_F(RegTextTest, RefusesWhatItDoesNotUnderstandWithTheLine) {
  struct Case {
    const char* text;
    unsigned line;
  };
  const Case cases[] = {
      {"", 1},
      {"Windows Registry Editor Version 4.00\n", 1},
      {"REGEDIT4\n\"v\"=\"before any key\"\n", 2},
      {"REGEDIT4\n[HKEY_USERS\\S]\n", 2},
      {"REGEDIT4\n[HKEY_CURRENT_USER\\A\n", 2},
      {"REGEDIT4\n[HKEY_CURRENT_USER\\A\\\\B]\n", 2},
      {"REGEDIT4\n[-HKEY_CURRENT_USER]\n", 2},
      {"REGEDIT4\n[HKCU\\A]\n\"v\"=\"open\n", 3},
      {"REGEDIT4\n[HKCU\\A]\n\"v\"=\"a\"b\"\n", 3},
      {"REGEDIT4\n[HKCU\\A]\n\"v\"\n", 3},
      {"REGEDIT4\n[HKCU\\A]\n\"v\"=dword:123456789\n", 3},
      {"REGEDIT4\n[HKCU\\A]\n\"v\"=dword:\n", 3},
      {"REGEDIT4\n[HKCU\\A]\n\"v\"=hex:1,2,300\n", 3},
      {"REGEDIT4\n[HKCU\\A]\n\"v\"=hex(x):00\n", 3},
      {"REGEDIT4\n[HKCU\\A]\n\"v\"=hex(2)00\n", 3},
      {"REGEDIT4\n[HKCU\\A]\n\"v\"=hex:00,\\\n  01,,02\n", 3},
      {"REGEDIT4\n[HKCU\\A]\n\"v\"=hex:00,\\\n", 3},
      {"REGEDIT4\n[HKCU\\A]\n\"v\"=qword:1\n", 3},
      {"REGEDIT4\n[HKCU\\A]\n\n\nstray text\n", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto parsed = parseRegText(c.text);
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ(parsed.errorLine, c.line);
    EXPECT_TRUE(parsed.ops.empty());
  }
  EXPECT_FALSE(parseRegText(std::string("\xFF\xFE\x41", 3)).ok);  // half a UTF-16 unit
  EXPECT_FALSE(parseRegText(std::string("\xFE\xFF\x00\x41", 4)).ok);
}

TEST_F(RegTextTest, WritesWhatReadsBackTheSame) {
  RootSet roots;
  auto& key = roots[RootId::kCurrentUser].ensureChild(u"Odd ]Names[").ensureChild(u"-dash");
  auto text = [](std::u16string_view s) {
    std::vector<BYTE> out;
    for (char16_t c : s) {
      out.push_back(static_cast<BYTE>(c & 0xFF));
      out.push_back(static_cast<BYTE>(c >> 8));
    }
    return out;
  };
  key.setValue(u"quote\"and\\slash", REG_SZ, text(std::u16string_view(u"a\"b\\c\0", 6)));
  key.setValue(u"", REG_SZ, text(std::u16string_view(u"\0", 1)));
  key.setValue(u"two lines", REG_SZ, text(std::u16string_view(u"a\r\nb\0", 5)));  // not writable as a text
  key.setValue(u"no terminator", REG_SZ, text(u"abc"));
  key.setValue(u"empty sz", REG_SZ, {});
  key.setValue(u"short dword", REG_DWORD, {1, 2});
  key.setValue(u"none", REG_NONE, {});
  key.setValue(u"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8});
  key.setValue(u"odd type", 0x12345, std::vector<BYTE>(100, 0xAB));
  key.setValue(u"\u00fcnicode \u4e2d", REG_EXPAND_SZ, text(std::u16string_view(u"\u00fc\0", 2)));
  roots[RootId::kCurrentUser].setValue(u"root value", REG_DWORD, {1, 0, 0, 0});
  roots[RootId::kClassesRoot].ensureChild(u"Empty");

  const std::string bytes = writeAll(roots);
  const RootSet back = load(bytes);
  for (RootId id : {RootId::kLocalMachine, RootId::kCurrentUser, RootId::kClassesRoot}) {
    EXPECT_TRUE(back[id].sameAs(roots[id])) << static_cast<int>(id);
  }
  EXPECT_EQ(writeAll(back), bytes);
}

}  // namespace
