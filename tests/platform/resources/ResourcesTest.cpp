#include "platform/resources/Resources.h"

#include <gtest/gtest.h>

#include "tests/support/TestEnvironment.h"

namespace {

class ResourcesTest : public testsupport::IsolatedTest {};

TEST_F(ResourcesTest, LoadStringCutsToTheBufferAndTerminates) {
  char16_t buf[4];
  EXPECT_EQ(LoadStringW(testsupport::testModule(), 1, buf, 4), 3);
  EXPECT_EQ(std::u16string(buf), u"Hel");
  EXPECT_EQ(LoadStringW(testsupport::testModule(), 1, buf, 0), 0);
  EXPECT_EQ(LoadStringW(testsupport::testModule(), 99, buf, 4), 0);
  EXPECT_EQ(LoadStringW(nullptr, 1, buf, 4), 0);
}

}  // namespace
