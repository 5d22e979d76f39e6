#include "platform/com/ComError.h"

#include <gtest/gtest.h>

#include "tests/support/TestEnvironment.h"

namespace {

class ComErrorTest : public testsupport::IsolatedTest {};

TEST_F(ComErrorTest, CarriesTheCodeAndItsText) {
  try {
    _com_issue_error(DISP_E_MEMBERNOTFOUND);
    FAIL() << "no exception";
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Error(), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(e.ErrorMessage(), u"Member not found.");
    EXPECT_TRUE(e.Description().empty());
  }
  EXPECT_EQ(_com_error(static_cast<HRESULT>(0x80001234u)).ErrorMessage(), u"Unknown error 0x80001234");
}

}  // namespace
