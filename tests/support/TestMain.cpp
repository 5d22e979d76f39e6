// The main of every test executable: the process gets its own folder before any test runs.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <cstring>

namespace testsupport {
void makeProcessDir(bool deathTestChild);
void removeProcessDir();
}

int main(int argc, char** argv) {
  // A death test's child runs in its parent's folder, which the parent removes.
  bool deathTestChild = false;
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--gtest_internal_run_death_test", 31) == 0) deathTestChild = true;
  ::testing::InitGoogleMock(&argc, argv);
  testsupport::makeProcessDir(deathTestChild);
  const int result = RUN_ALL_TESTS();
  testsupport::removeProcessDir();
  return result;
}
