#include "platform/com/Registrar.h"

#include <gtest/gtest.h>

#include "platform/registry/RegKey.h"
#include "platform/system/Diagnostics.h"
#include "tests/support/TestEnvironment.h"

namespace {

class RegistrarTest : public testsupport::IsolatedTest {
 protected:
  static bool exists(const char16_t* path) {
    CRegKey key;
    return key.Open(HKEY_CLASSES_ROOT, path, KEY_READ) == ERROR_SUCCESS;
  }
  static std::u16string text(const char16_t* path, const char16_t* name) {
    CRegKey key;
    if (key.Open(HKEY_CLASSES_ROOT, path, KEY_READ) != ERROR_SUCCESS) return u"<missing>";
    char16_t buffer[256];
    DWORD type = 0, size = sizeof buffer;
    if (key.QueryValue(name, &type, buffer, &size) != ERROR_SUCCESS) return u"<missing>";
    return buffer;
  }
};

constexpr char16_t kScript[] = uR"(HKCR
{
	Item.1 = s 'It''s an item'
	NoRemove Shared
	{
		ForceRemove {6B1E42D9-3C0A-4F7B-9E25-8D41C7A2F310} = s 'Item Class'
		{
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
				val Count = d '7'
			}
		}
		Plain
		{
			Leaf = s '100%%'
		}
	}
})";

TEST_F(RegistrarTest, RegisterWritesAndUnregisterTakesBackByTheRules) {
  CRegKey seed;
  // A stale sub-key of the ForceRemove key goes at registration; a key someone else added under a
  // plain key keeps that key at unregistration.
  ASSERT_EQ(seed.Create(HKEY_CLASSES_ROOT, u"Shared\\{6B1E42D9-3C0A-4F7B-9E25-8D41C7A2F310}\\Stale"), ERROR_SUCCESS);
  ASSERT_EQ(seed.Create(HKEY_CLASSES_ROOT, u"Shared\\Plain\\Theirs"), ERROR_SUCCESS);
  seed.Close();

  platform::com::CRegistrar registrar;
  registrar.addReplacement(u"module", u"/opt/item.so");
  ASSERT_EQ(registrar.registerScript(kScript), S_OK);
  EXPECT_EQ(text(u"Item.1", nullptr), u"It's an item");
  EXPECT_FALSE(exists(u"Shared\\{6B1E42D9-3C0A-4F7B-9E25-8D41C7A2F310}\\Stale"));
  const char16_t* server = u"Shared\\{6B1E42D9-3C0A-4F7B-9E25-8D41C7A2F310}\\InprocServer32";
  EXPECT_EQ(text(server, nullptr), u"/opt/item.so");
  EXPECT_EQ(text(server, u"ThreadingModel"), u"Apartment");
  CRegKey key;
  ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, server, KEY_READ), ERROR_SUCCESS);
  DWORD count = 0;
  EXPECT_EQ(key.QueryDWORDValue(u"Count", count), ERROR_SUCCESS);
  EXPECT_EQ(count, 7u);
  key.Close();
  EXPECT_EQ(text(u"Shared\\Plain\\Leaf", nullptr), u"100%");

  ASSERT_EQ(registrar.unregisterScript(kScript), S_OK);
  EXPECT_FALSE(exists(u"Item.1"));
  EXPECT_FALSE(exists(u"Shared\\{6B1E42D9-3C0A-4F7B-9E25-8D41C7A2F310}"));
  EXPECT_FALSE(exists(u"Shared\\Plain\\Leaf"));
  EXPECT_TRUE(exists(u"Shared\\Plain\\Theirs"));
  EXPECT_TRUE(exists(u"Shared"));
}

TEST_F(RegistrarTest, UnreadableScriptWritesNothingAndSaysWhy) {
  platform::com::CRegistrar registrar;
  const struct {
    const char16_t* script;
    const char* why;
  } cases[] = {
      {u"HKCR { Item = s '%MODULE%' }", "no replacement for %MODULE%"},
      {u"HKCR { Item = s 'open", "unterminated text"},
      {u"HKXX { Item }", "unknown root key"},
      {u"HKCR { Item = x '1' }", "unknown value type"},
      {u"HKCR { Item { val Count = d 'many' } }", "bad number"},
      {u"HKCR { A\\B = s 'x' }", "separator"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    platform::diag::clearLastFailure();
    EXPECT_EQ(registrar.registerScript(c.script), DISP_E_EXCEPTION);
    EXPECT_NE(platform::diag::lastFailure().find(c.why), std::string::npos) << platform::diag::lastFailure();
  }
  EXPECT_FALSE(exists(u"Item"));
  EXPECT_FALSE(exists(u"A"));
}

}  // namespace
