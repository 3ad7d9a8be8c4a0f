// The receive log's file calls as Windows makes them, in a folder of the
// test's own (the profile's Documents folder is the user's): a name taken
// is told as taken, never appended to; the user can read the log while it
// grows, but nothing else writes to it; the system's message is one line.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/Format.h"
#include "base/WinHandles.h"
#include "session/Win32LogFiles.h"

namespace tv {
namespace {

class LogFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    folder_ = Format(L"%stv-log-test-%lu", {temp, GetCurrentProcessId()});
    ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr)) << GetLastError();
    path_ = folder_ + L"\\COM3_20261209_171900.log";
  }
  void TearDown() override {
    DeleteFileW(path_.c_str());
    RemoveDirectoryW(folder_.c_str());
  }

  std::string readAll() {
    UniqueHandle h(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
    if (!h.valid()) return "<not readable: " + std::to_string(GetLastError()) + ">";
    char buffer[256] = {};
    DWORD got = 0;
    ReadFile(h.get(), buffer, sizeof buffer, &got, nullptr);
    return std::string(buffer, got);
  }

  Win32LogFiles files_{L"Tarn#Vik"};
  std::wstring folder_;
  std::wstring path_;
};

TEST_F(LogFilesTest, ANewFileGrowsReadableByOthersAndANameTakenIsNeverAppendedTo) {
  uint32_t error = 0;
  LogFiles::Handle log = files_.create(path_, error);
  ASSERT_NE(log, nullptr) << error;
  const uint8_t first[] = {'o', 'n', 'e', 0, 0xFF};
  ASSERT_TRUE(files_.write(log, first, sizeof first, error)) << error;
  // The user opens it while it grows, as an editor would.
  EXPECT_EQ(readAll(), std::string("one\0\xFF", 5));
  // Nobody else writes to it meanwhile.
  UniqueHandle other(CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(other.valid());
  const uint8_t second[] = {'t', 'w', 'o'};
  ASSERT_TRUE(files_.write(log, second, sizeof second, error)) << error;
  EXPECT_TRUE(files_.flush(log, error)) << error;
  files_.close(log);
  EXPECT_EQ(readAll(), std::string("one\0\xFFtwo", 8));

  // Taken: told so, and what it holds stays as it is.
  error = 0;
  EXPECT_EQ(files_.create(path_, error), nullptr);
  EXPECT_TRUE(error == LogFiles::kFileExists || error == LogFiles::kAlreadyExists) << error;
  EXPECT_EQ(readAll(), std::string("one\0\xFFtwo", 8));

  // A folder that is not there: an error the log can show, on one line.
  EXPECT_EQ(files_.create(folder_ + L"\\missing\\x.log", error), nullptr);
  const std::wstring why = files_.describe(error);
  EXPECT_FALSE(why.empty());
  EXPECT_EQ(why.find_first_of(L"\r\n"), std::wstring::npos);

  const LocalTime now = files_.now();
  EXPECT_GE(now.year, 2000);
  EXPECT_TRUE(now.month >= 1 && now.month <= 12 && now.day >= 1 && now.day <= 31);
}

}  // namespace
}  // namespace tv
