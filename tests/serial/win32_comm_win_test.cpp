// The channel's system calls as Windows makes them, on the one kind of
// handle every Windows has without a serial port: the client end of a
// named pipe, opened overlapped as a port is. What only a serial driver
// answers (line state, queues, time-outs) is left to the scripted tests.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/Format.h"
#include "base/WinHandles.h"
#include "serial/Win32Comm.h"

namespace tv {
namespace {

// The device's end: the server end of a one-instance byte pipe.
class Win32CommPipe : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = Format(L"\\\\.\\pipe\\tv-comm-test-%lu", {GetCurrentProcessId()});
    server_.reset(CreateNamedPipeW(name_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr));
    ASSERT_TRUE(server_.valid()) << GetLastError();
    uint32_t error = 0;
    port_ = comm_.open(name_, error);
    ASSERT_NE(port_, nullptr) << GetLastError();
  }
  void TearDown() override {
    // A transfer a failed test left pending still owns its record.
    if (port_ != nullptr) comm_.cancel(port_);
    for (CommIo* io : ios_)
      if (port_ != nullptr && comm_.result(port_, io).error == comm_error::kIoIncomplete) comm_.waitIo(io, 5000, false);
    comm_.close(port_);
    for (CommIo* io : ios_) comm_.freeIo(io);
  }

  CommIo* newIo(uint32_t capacity) {
    CommIo* io = comm_.newIo(capacity);
    if (io != nullptr) ios_.push_back(io);
    return io;
  }

  // The device end's transfers, each waited for.
  bool deviceWrites(const std::string& bytes) {
    UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED ov{};
    ov.hEvent = done.get();
    DWORD n = 0;
    if (!WriteFile(server_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &n, &ov) &&
        GetLastError() != ERROR_IO_PENDING)
      return false;
    return GetOverlappedResult(server_.get(), &ov, &n, TRUE) && n == bytes.size();
  }
  std::string deviceReads(std::size_t count) {
    std::string got;
    while (got.size() < count) {
      UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
      OVERLAPPED ov{};
      ov.hEvent = done.get();
      char buffer[256];
      DWORD n = 0;
      DWORD want = static_cast<DWORD>(count - got.size() < sizeof(buffer) ? count - got.size() : sizeof(buffer));
      if (!ReadFile(server_.get(), buffer, want, &n, &ov) && GetLastError() != ERROR_IO_PENDING) break;
      if (WaitForSingleObject(done.get(), 5000) != WAIT_OBJECT_0) {
        CancelIo(server_.get());
        GetOverlappedResult(server_.get(), &ov, &n, TRUE);
        break;
      }
      if (!GetOverlappedResult(server_.get(), &ov, &n, FALSE)) break;
      got.append(buffer, n);
    }
    return got;
  }

  Win32Comm comm_;
  std::wstring name_;
  UniqueHandle server_;
  CommApi::Handle port_ = nullptr;
  std::vector<CommIo*> ios_;
};

// Each record has a buffer of its own, whole, for the system to read from
// or write into; a write completes with its count, a read with what came.
TEST_F(Win32CommPipe, TransfersGoThroughTheirRecordsBuffers) {
  CommIo* out = newIo(64);
  CommIo* in = newIo(64);
  ASSERT_NE(out, nullptr);
  ASSERT_NE(in, nullptr);
  ASSERT_NE(out->data, nullptr);
  ASSERT_NE(in->data, nullptr);
  EXPECT_EQ(out->capacity, 64u);
  EXPECT_EQ(in->capacity, 64u);
  std::memset(out->data, 0xAB, out->capacity);
  std::memset(in->data, 0xCD, in->capacity);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out->data), 64), std::string(64, '\xAB'));

  const std::string sent = "AT+VERSION?\r\n";
  std::memcpy(out->data, sent.data(), sent.size());
  CommResult started = comm_.startWrite(port_, out, static_cast<uint32_t>(sent.size()));
  if (!started.ok) {
    EXPECT_EQ(started.error, comm_error::kIoPending);
  }
  ASSERT_EQ(comm_.waitIo(out, 5000, false), CommWait::Done);
  CommResult wrote = comm_.result(port_, out);
  EXPECT_TRUE(wrote.ok);
  EXPECT_EQ(wrote.bytes, sent.size());
  EXPECT_EQ(deviceReads(sent.size()), sent);

  ASSERT_TRUE(deviceWrites("OK\r\n"));
  started = comm_.startRead(port_, in, in->capacity);
  if (!started.ok) {
    EXPECT_EQ(started.error, comm_error::kIoPending);
  }
  ASSERT_EQ(comm_.waitIo(in, 5000, false), CommWait::Done);
  CommResult read = comm_.result(port_, in);
  EXPECT_TRUE(read.ok);
  ASSERT_EQ(read.bytes, 4u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(in->data), 4), "OK\r\n");
}

// A read that waits for bytes that do not come: an abortable wait ends as
// soon as the record's wake is raised (a close cuts a wait short so), a
// plain one does not; the transfer itself goes on until it is cancelled,
// and then says so with nothing moved.
TEST_F(Win32CommPipe, APendingReadIsCutShortByItsWakeAndEndedByACancel) {
  CommIo* io = newIo(16);
  ASSERT_NE(io, nullptr);
  CommResult started = comm_.startRead(port_, io, 16);
  ASSERT_FALSE(started.ok);
  EXPECT_EQ(started.error, comm_error::kIoPending);
  EXPECT_EQ(comm_.waitIo(io, 20, true), CommWait::TimedOut);
  CommResult pending = comm_.result(port_, io);
  EXPECT_FALSE(pending.ok);
  EXPECT_EQ(pending.error, comm_error::kIoIncomplete);
  EXPECT_EQ(pending.bytes, 0u);

  comm_.raiseWake(io, true);
  EXPECT_EQ(comm_.waitIo(io, 5000, true), CommWait::Aborted);
  EXPECT_EQ(comm_.waitIo(io, 20, false), CommWait::TimedOut);
  EXPECT_EQ(comm_.result(port_, io).error, comm_error::kIoIncomplete) << "the wake ended the read";

  comm_.cancel(port_);
  ASSERT_EQ(comm_.waitIo(io, 5000, false), CommWait::Done);
  CommResult cancelled = comm_.result(port_, io);
  EXPECT_FALSE(cancelled.ok);
  EXPECT_EQ(cancelled.error, comm_error::kOperationAborted);
  EXPECT_EQ(cancelled.bytes, 0u);

  // Lowered, the wake cuts nothing short; the next read gets what comes.
  comm_.raiseWake(io, false);
  started = comm_.startRead(port_, io, 16);
  ASSERT_FALSE(started.ok);
  EXPECT_EQ(started.error, comm_error::kIoPending);
  EXPECT_EQ(comm_.waitIo(io, 20, true), CommWait::TimedOut);
  ASSERT_TRUE(deviceWrites("abc"));
  ASSERT_EQ(comm_.waitIo(io, 5000, true), CommWait::Done);
  CommResult read = comm_.result(port_, io);
  EXPECT_TRUE(read.ok);
  ASSERT_EQ(read.bytes, 3u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(io->data), 3), "abc");
}

// Nothing to open, or held by another (a port is opened for one user
// only), is no handle; a close lets go of it, so the device end sees it go.
TEST_F(Win32CommPipe, OpenFindsNoneOrABusyOneAndCloseLetsGo) {
  // The system's error comes with it: the open tells a port held by
  // another program from one that is not there.
  uint32_t error = 0;
  EXPECT_EQ(comm_.open(name_ + L"-none", error), nullptr);
  EXPECT_EQ(error, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(comm_.open(name_, error), nullptr) << "the only instance is taken";
  EXPECT_EQ(error, static_cast<uint32_t>(ERROR_PIPE_BUSY));
  comm_.close(nullptr);

  comm_.close(port_);
  port_ = nullptr;
  char byte = 0;
  DWORD n = 0;
  UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED ov{};
  ov.hEvent = done.get();
  BOOL ok = ReadFile(server_.get(), &byte, 1, &n, &ov);
  if (!ok && GetLastError() == ERROR_IO_PENDING) ok = GetOverlappedResult(server_.get(), &ov, &n, TRUE);
  EXPECT_FALSE(ok);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
}

}  // namespace
}  // namespace tv
