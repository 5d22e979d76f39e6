#include "platform/system/Files.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "platform/system/Errors.h"
#include "platform/system/Text.h"
#include "tests/support/TestEnvironment.h"

namespace {

using platform::system::utf8ToUtf16;

class FilesTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    m_tmpdir = std::getenv("TMPDIR");
  }
  void TearDown() override { setenv("TMPDIR", m_tmpdir.c_str(), 1); }

  std::u16string write(const std::string& name, std::size_t size) {
    const auto path = dir() / name;
    std::ofstream(path) << std::string(size, 'x');
    return utf8ToUtf16(path.string());
  }

  std::string m_tmpdir;
};

TEST_F(FilesTest, TempPathEndsWithOneSlash) {
  setenv("TMPDIR", "/var/tmp/qm", 1);
  EXPECT_EQ(platform::system::tempPath(), u"/var/tmp/qm/");
  setenv("TMPDIR", "/var/tmp/qm/", 1);
  EXPECT_EQ(platform::system::tempPath(), u"/var/tmp/qm/");
  unsetenv("TMPDIR");
  EXPECT_EQ(platform::system::tempPath(), u"/tmp/");
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(platform::system::tempPath(), u"/tmp/");
}

TEST_F(FilesTest, GetTempPathAnswersTheNeededSizeWhenShort) {
  setenv("TMPDIR", "/var/tmp/qm", 1);  // "/var/tmp/qm/" is 12 characters
  char16_t small[12];
  small[0] = u'#';
  EXPECT_EQ(GetTempPathW(12, small), 13u);
  EXPECT_EQ(small[0], u'#');
  char16_t buffer[MAX_PATH];
  EXPECT_EQ(GetTempPathW(MAX_PATH, buffer), 12u);
  EXPECT_EQ(std::u16string(buffer), u"/var/tmp/qm/");
}

TEST_F(FilesTest, FindTakesTheNameLiterally) {
  const std::u16string star = write("a*", 3);
  const std::u16string question = write("?", 4);
  write("ab.txt", 5);
  WIN32_FIND_DATAW data{};
  for (const auto& [name, size] : {std::pair{star, 3u}, std::pair{question, 4u}}) {
    HANDLE find = FindFirstFileW(name.c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.nFileSizeLow, size);
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(FindClose(find));
  }
  EXPECT_EQ(std::u16string(data.cFileName), u"?");
  // A pattern is just a name that no file has.
  EXPECT_EQ(FindFirstFileW(utf8ToUtf16((dir() / "*.txt").string()).c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FindFirstFileW(utf8ToUtf16((dir() / "no" / "file").string()).c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(FilesTest, FindReportsFoldersAndLargeSizes) {
  WIN32_FIND_DATAW data{};
  HANDLE find = FindFirstFileW(utf8ToUtf16(dir().string()).c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_FALSE(FindNextFileW(find, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(FindClose(find));
  EXPECT_FALSE(FindClose(find));  // a closed handle is refused, not freed twice
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  const auto big = dir() / "big.bin";
  const int fd = ::open(big.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, (5LL << 30) + 7), 0);  // sparse: takes no space
  ::close(fd);
  find = FindFirstFileW(utf8ToUtf16(big.string()).c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.nFileSizeHigh, 1u);
  EXPECT_EQ(data.nFileSizeLow, 0x40000007u);
  FindClose(find);
}

}  // namespace
