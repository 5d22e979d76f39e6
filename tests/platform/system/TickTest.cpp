#include "platform/system/Tick.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/support/TestEnvironment.h"

namespace {

class TickTest : public testsupport::IsolatedTest {
 protected:
  void TearDown() override { platform::system::resetTickForTesting(); }
};

TEST_F(TickTest, CountWrapsAndStillSubtractsRight) {
  platform::system::setTickBaseForTesting(0xFFFFFFFFull - 5);
  const DWORD before = GetTickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const DWORD after = GetTickCount();
  EXPECT_LT(after, before);  // wrapped past zero
  const DWORD elapsed = after - before;
  EXPECT_GE(elapsed, 30u);
  EXPECT_LT(elapsed, 5000u);
  EXPECT_GT(GetTickCount64(), 0xFFFFFFFFull);
}

TEST_F(TickTest, RealCountAdvances) {
  const ULONGLONG before = GetTickCount64();
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_GE(GetTickCount64() - before, 10u);
  // The 32-bit count is the low part of the 64-bit one (two reads may straddle a millisecond).
  const DWORD low = GetTickCount();
  EXPECT_LE(static_cast<DWORD>(GetTickCount64()) - low, 1u);
}

}  // namespace
