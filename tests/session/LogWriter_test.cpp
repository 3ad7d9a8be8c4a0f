// The receive log's writer over a file system in memory: every byte in
// order, the names, and the failures a disk or a stick can bring, each
// told once, never holding up the reader.
#include "session/LogWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "../support/FakeLogFiles.h"
#include "../support/WaitFor.h"

namespace tv {
namespace {

// What the writer told, in order, as lines.
class Told {
 public:
  LogWriter::Events events() {
    return LogWriter::Events{
        [this](int file, const std::wstring& path) { add(L"started " + std::to_wstring(file) + L" " + path); },
        [this](int file, const std::wstring& path, uint64_t bytes) {
          add(L"ended " + std::to_wstring(file) + L" " + path + L" " + std::to_wstring(bytes));
        },
        [this](int file, const std::wstring& path, const std::wstring& why) {
          add(L"failed " + std::to_wstring(file) + L" " + path + L": " + why);
        }};
  }
  std::vector<std::wstring> lines() {
    std::lock_guard<std::mutex> hold(m_);
    return lines_;
  }
  bool waitFor(std::size_t n) {
    return WaitFor([&] { return lines().size() >= n; }, 10);
  }

 private:
  void add(const std::wstring& line) {
    std::lock_guard<std::mutex> hold(m_);
    lines_.push_back(line);
  }
  std::mutex m_;
  std::vector<std::wstring> lines_;
};

const std::wstring kFirst = FakeLogFiles::kFolder + L"\\COM3_20261209_171900.log";

std::vector<uint8_t> Pattern(std::size_t n, unsigned seed) {
  std::vector<uint8_t> out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(i * seed + (i >> 11));
  return out;
}

// Puts data in reads of the sizes given, in turn.
void PutInReads(LogWriter& log, const std::vector<uint8_t>& data, std::vector<std::size_t> sizes) {
  for (std::size_t at = 0, k = 0; at < data.size(); ++k) {
    const std::size_t n = std::min(sizes[k % sizes.size()], data.size() - at);
    log.put(data.data() + at, n);
    at += n;
  }
}

TEST(LogWriter, AFileGetsEveryBytePutInOrderFlushedAndNamedByItsPortAndMoment) {
  FakeLogFiles files;
  Told told;
  LogWriter log(files, told.events());
  const uint8_t before[] = {1, 2, 3};
  log.put(before, 3);  // no file yet: goes nowhere

  EXPECT_EQ(log.start(L"COM3"), 1);
  // Reads of every size, some larger than the writer's pieces.
  const std::vector<uint8_t> data = Pattern(1 << 20, 31);
  PutInReads(log, data, {1, 1024, 4096, 3, LogWriter::kChunkBytes + 5, 700});
  log.end();
  log.put(before, 3);  // ended: goes nowhere
  ASSERT_TRUE(log.wait(10000));
  ASSERT_EQ(told.lines().size(), 2u);
  EXPECT_EQ(told.lines()[0], L"started 1 " + kFirst);
  EXPECT_EQ(told.lines()[1], L"ended 1 " + kFirst + L" " + std::to_wstring(data.size()));
  EXPECT_EQ(files.content(kFirst), data);
  EXPECT_TRUE(files.finished(kFirst)) << "not flushed and closed at its end";

  // The same moment again, with the next name taken by some other file:
  // the first name free, never an existing file appended to.
  files.take(L"COM3_20261209_171900_2.log");
  EXPECT_EQ(log.start(L"COM3"), 2);
  log.put(before, 3);
  // A new file without an end in between: the first one ends first.
  files.at.second = 1;
  EXPECT_EQ(log.start(L"COM3"), 3);
  log.put(before + 1, 2);
  log.end();
  ASSERT_TRUE(log.wait(10000));
  const std::wstring third = FakeLogFiles::kFolder + L"\\COM3_20261209_171900_3.log";
  const std::wstring fourth = FakeLogFiles::kFolder + L"\\COM3_20261209_171901.log";
  ASSERT_EQ(told.lines().size(), 6u);
  EXPECT_EQ(told.lines()[2], L"started 2 " + third);
  EXPECT_EQ(told.lines()[3], L"ended 2 " + third + L" 3");
  EXPECT_EQ(told.lines()[4], L"started 3 " + fourth);
  EXPECT_EQ(told.lines()[5], L"ended 3 " + fourth + L" 2");
  EXPECT_EQ(files.content(third), std::vector<uint8_t>(before, before + 3));
  EXPECT_EQ(files.openFiles(), 0);

  // A port name is never a path.
  EXPECT_EQ(LogWriter::BaseName(L"\\\\.\\COM12", LocalTime{2027, 1, 2, 3, 4, 5}), L"__._COM12_20270102_030405");
}

// Bytes must reach the disk while logging goes on, not only at its end:
// a crash then loses at most the last moments.
TEST(LogWriter, BytesReachTheFileWithoutWaitingForTheEnd) {
  FakeLogFiles files;
  Told told;
  LogWriter log(files, told.events());
  log.start(L"COM3");
  const uint8_t few[] = {'o', 'k'};
  log.put(few, 2);
  WaitFor([&] { return files.content(kFirst).size() >= 2; }, 5);
  EXPECT_EQ(files.content(kFirst), std::vector<uint8_t>(few, few + 2));
  EXPECT_EQ(told.lines().size(), 1u);
}

// A file that cannot be made or written ends the logging, said once with
// the system's message; nothing more goes to it and no end is told.
TEST(LogWriter, AFileThatCannotBeMadeOrWrittenFailsOnceAndTakesNothingMore) {
  FakeLogFiles files;
  Told told;
  LogWriter log(files, told.events());
  const std::vector<uint8_t> data = Pattern(300000, 7);

  files.failFolder(5);
  log.start(L"COM3");
  log.put(data.data(), 100);
  log.end();
  ASSERT_TRUE(log.wait(10000));
  ASSERT_EQ(told.lines(), std::vector<std::wstring>{L"failed 1 " + kFirst + L": error 5"});
  EXPECT_FALSE(files.exists(kFirst));

  files.failFolder(0);
  files.failCreates(3);
  log.start(L"COM3");
  log.put(data.data(), 100);
  log.end();
  ASSERT_TRUE(log.wait(10000));
  ASSERT_EQ(told.lines().size(), 2u);
  EXPECT_EQ(told.lines()[1], L"failed 2 " + kFirst + L": error 3");

  // Full halfway: what fitted stays, the rest is not written, and the
  // bytes that come after the failure go nowhere, also without an end.
  files.failCreates(0);
  files.failWritesPast(100000, 112);
  log.start(L"COM3");
  PutInReads(log, data, {1024});
  ASSERT_TRUE(told.waitFor(4));
  EXPECT_EQ(told.lines()[2], L"started 3 " + kFirst);
  EXPECT_EQ(told.lines()[3], L"failed 3 " + kFirst + L": error 112");
  log.put(data.data(), 1000);
  log.end();
  ASSERT_TRUE(log.wait(10000));
  EXPECT_EQ(told.lines().size(), 4u) << "told more than once, or told an end";
  const std::vector<uint8_t> kept = files.content(kFirst);
  EXPECT_LE(kept.size(), 100000u);
  EXPECT_TRUE(std::equal(kept.begin(), kept.end(), data.begin())) << "what was written is not the start of the data";
  EXPECT_EQ(files.openFiles(), 0);

  // A stick pulled just before the end: the flush fails, and that is
  // what is told, not an end with a count the disk does not hold.
  files.failWritesPast(0, 0);
  files.failFlushes(21);
  files.at.minute = 20;
  const std::wstring last = FakeLogFiles::kFolder + L"\\COM3_20261209_172000.log";
  log.start(L"COM3");
  log.put(data.data(), 10);
  log.end();
  ASSERT_TRUE(log.wait(10000));
  ASSERT_EQ(told.lines().size(), 6u);
  EXPECT_EQ(told.lines()[4], L"started 4 " + last);
  EXPECT_EQ(told.lines()[5], L"failed 4 " + last + L": error 21");
  EXPECT_EQ(files.openFiles(), 0);
}

// A disk that stalls must not stall the reader: the queue fills, the file
// fails (a log with a hole in it would say nothing of the hole), and the
// bytes queued before that are still written once the disk comes back.
TEST(LogWriter, AStalledDiskFillsTheQueueAndFailsTheFileWithoutHoldingUpTheReader) {
  constexpr std::size_t kQueue = 200000;
  FakeLogFiles files;
  Told told;
  LogWriter log(files, told.events(), kQueue);
  const std::vector<uint8_t> data = Pattern(1 << 20, 13);
  files.stallWrites();
  log.start(L"COM3");
  log.put(data.data(), 1000);
  ASSERT_TRUE(WaitFor([&] { return files.insideWrite(); }, 10));
  // Returns while the writer is stuck inside the disk.
  PutInReads(log, std::vector<uint8_t>(data.begin() + 1000, data.end()), {1024});
  files.releaseWrites();
  ASSERT_TRUE(told.waitFor(2));
  EXPECT_EQ(told.lines()[0], L"started 1 " + kFirst);
  EXPECT_EQ(told.lines()[1].rfind(L"failed 1 " + kFirst + L": ", 0), 0u) << told.lines()[1].c_str();
  log.end();
  ASSERT_TRUE(log.wait(10000));
  EXPECT_EQ(told.lines().size(), 2u);
  const std::vector<uint8_t> kept = files.content(kFirst);
  EXPECT_GE(kept.size(), 1000u);
  EXPECT_LE(kept.size(), 1000 + kQueue);
  EXPECT_TRUE(std::equal(kept.begin(), kept.end(), data.begin()));
  EXPECT_EQ(files.openFiles(), 0);
}

}  // namespace
}  // namespace tv
