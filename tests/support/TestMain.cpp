// The main of every test executable: the process gets its own folder before any test runs.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

namespace testsupport {
void makeProcessDir();
void removeProcessDir();
}

int main(int argc, char** argv) {
  ::testing::InitGoogleMock(&argc, argv);
  testsupport::makeProcessDir();
  const int result = RUN_ALL_TESTS();
  testsupport::removeProcessDir();
  return result;
}
