#include "send/SendJobs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/FakeClock.h"
#include "../support/FakePort.h"
#include "base/Format.h"
#include "base/Utf8.h"
#include "send/BlockWriter.h"
#include "send/TimedSend.h"

namespace tv {
namespace {

// Records the progress and, at every pause, the bytes out by then and the
// progress last shown.
struct RecordingHost final : JobHost {
  explicit RecordingHost(FakePort& p) : port(p) {}
  void showProgress(const std::wstring& text) override { progress = text; }
  void pause() override { pauses.push_back({port.written().size(), progress}); }
  struct Pause {
    std::size_t written;
    std::wstring progress;
  };
  FakePort& port;
  std::wstring progress;
  std::vector<Pause> pauses;
};

std::string Narrow(const wchar_t* units, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<char>(units[i]));
  return out;
}

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::vector<uint8_t> bytes, std::size_t cutAfter = SIZE_MAX)
      : bytes_(std::move(bytes)), cutAfter_(cutAfter) {}
  bool rewind() override {
    at_ = 0;
    return true;
  }
  std::size_t read(uint8_t* buffer, std::size_t n) override {
    std::size_t end = std::min({at_ + n, bytes_.size(), cutAfter_});
    std::size_t got = end > at_ ? end - at_ : 0;
    std::copy(bytes_.begin() + static_cast<std::ptrdiff_t>(at_), bytes_.begin() + static_cast<std::ptrdiff_t>(at_ + got),
              buffer);
    at_ += got;
    return got;
  }

 private:
  std::vector<uint8_t> bytes_;
  std::size_t cutAfter_;
  std::size_t at_ = 0;
};

class Sending : public ::testing::Test {
 protected:
  SendContext context(std::size_t block) { return SendContext{port, clock, host, busy, mode, block}; }
  FakePort port;
  // Time stands still unless a job sleeps: the progress is then shown only
  // when a job must show it exactly.
  FakeClock clock;
  RecordingHost host{port};
  Flag busy{1};
  std::atomic<DelayMode> mode{DelayMode::Off};
};

TEST(LineTime, ByteTimesAndTheWriteCap) {
  EXPECT_EQ(ByteMicros(LineValues{256000, 8, 0, 0, 0}), 40u);  // 10 bits a byte
  EXPECT_EQ(ByteMicros(LineValues{115200, 7, 2, 2, 0}), 96u);  // 1 + 7 + parity + 2 stop bits, rounded up
  EXPECT_EQ(ByteMicros(LineValues{128000, 8, 1, 0, 0}), 83u);  // one and a half stop bits, rounded up
  EXPECT_EQ(ByteMicros(LineValues{75, 8, 0, 0, 0}), 133334u);
  EXPECT_EQ(ByteMicros(LineValues{0, 8, 0, 0, 0}), 0u);
  // 4 KiB, or 100 ms of the line where that is more.
  EXPECT_EQ(WriteCapBytes(LineValues{9600, 8, 0, 0, 0}), 4096u);
  EXPECT_EQ(WriteCapBytes(LineValues{256000, 8, 0, 0, 0}), 4096u);
  EXPECT_EQ(WriteCapBytes(LineValues{921600, 8, 0, 0, 0}), 9090u);
  EXPECT_EQ(WriteCapBytes(LineValues{0, 8, 0, 0, 0}), 4096u);
}

// Modbus RTU allows 1.5 character times of silence inside a frame (0.78 ms
// at 19200 baud): a frame written a byte at a time, each write waiting on a
// USB round trip, reached the device split. A piece no pause splits goes
// out in one write at every rate: a hex line, a text line, a file's line.
TEST(WholeFrames, APieceNoPauseSplitsIsOneWriteAtEveryRate) {
  for (int32_t baud : {9600, 19200, 256000}) {
    SCOPED_TRACE(baud);
    FakePort port;
    FakeClock clock;
    RecordingHost host(port);
    Flag busy{1};
    std::atomic<DelayMode> mode{DelayMode::Off};
    const std::size_t cap = WriteCapBytes(LineValues{baud, 8, 0, 0, 0});
    SendContext c{port, clock, host, busy, mode, cap};
    HexSendJob(c, {L"01 03 00 00 00 0A C5 CD"}).run();
    EXPECT_EQ(port.writeCalls(), (std::vector<std::size_t>{8}));

    // Each line its own write before its pause.
    mode = DelayMode::LoopLines;
    struct StopAfterPauses final : JobHost {
      void showProgress(const std::wstring&) override {}
      void pause() override {
        if (++count == 3) busy->store(0);
      }
      Flag* busy;
      int count = 0;
    } stopper;
    stopper.busy = &busy;
    SendContext paused{port, clock, stopper, busy, mode, cap};
    HexSendJob(paused, {L"01 03 00 00 00 0A C5 CD", L"01 06 00 01 00 03 98 0B", L"11 22"}).run();
    EXPECT_EQ(port.writeCalls(), (std::vector<std::size_t>{8, 8, 8, 2}));

    busy = 1;
    mode = DelayMode::OnceLines;
    std::wstring text = std::wstring(120, L'x') + L"\r" + L"yz";
    TextSendJob(c, text, Narrow).run();
    std::vector<uint8_t> file(300, 'f');
    file[199] = 0x0A;
    MemorySource source(file);
    EXPECT_TRUE(FileSendJob(c, &source, file.size()).run());
    EXPECT_EQ(std::vector<std::size_t>(port.writeCalls().begin() + 4, port.writeCalls().end()),
              (std::vector<std::size_t>{121, 2, 200, 100}));
  }
}

TEST_F(Sending, FileBlocksEndWhereALinePauseIsDueAndTheProgressIsExactThere) {
  std::vector<uint8_t> data;
  for (int line = 0; line < 40; ++line) {
    data.insert(data.end(), static_cast<std::size_t>(line * 3 % 70), static_cast<uint8_t>('a' + line % 26));
    data.push_back(0x0A);
  }
  data.insert(data.end(), {'e', 'n', 'd'});
  MemorySource file(data);
  mode = DelayMode::OnceLines;
  ASSERT_TRUE(FileSendJob(context(25), &file, data.size()).run());
  EXPECT_EQ(port.written(), data);

  std::size_t at = 0;
  for (std::size_t call : port.writeCalls()) {
    EXPECT_LE(call, 25u);
    auto lineEnd = std::find(data.begin() + static_cast<std::ptrdiff_t>(at), data.end(), 0x0A);
    // A block never runs past a line end.
    EXPECT_LE(at + call, static_cast<std::size_t>(lineEnd - data.begin()) + 1);
    at += call;
  }
  ASSERT_EQ(host.pauses.size(), 40u);
  const int total = static_cast<int>(data.size());
  for (const auto& p : host.pauses) {
    EXPECT_EQ(data[p.written - 1], 0x0A);
    EXPECT_EQ(p.progress, Format(L"%04d/%dB", {static_cast<int>(p.written), total}));
  }
  EXPECT_EQ(host.progress, Format(L"%04d/%dB", {total, total}));
}

TEST_F(Sending, WritesTheDeviceTookOnlyInPartAreRetriedUntilEveryByteIsOut) {
  std::vector<uint8_t> data(500);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  port.scriptWrites({{7, IoStatus::TimedOut}, {0, IoStatus::Failed}, {0, IoStatus::TimedOut}, {30, IoStatus::Done},
                     {1, IoStatus::Done}});
  MemorySource file(data);
  ASSERT_TRUE(FileSendJob(context(64), &file, data.size()).run());
  EXPECT_EQ(port.written(), data);
  EXPECT_EQ(host.progress, L"0500/500B");
}

TEST_F(Sending, ACancelStopsTheOutputWithinABlock) {
  std::vector<uint8_t> data(100000, 0x55);
  port.afterWrite = [&](std::size_t out) {
    if (out >= 3000) busy = 0;
  };
  MemorySource file(data);
  EXPECT_FALSE(FileSendJob(context(25), &file, data.size()).run());
  EXPECT_GE(port.written().size(), 3000u);
  EXPECT_LT(port.written().size(), 3000u + 25u);
}

// In the line modes a cancel during a pause ends the pass there, rather
// than reading the rest of the file line by line with nothing written.
TEST_F(Sending, ACancelInALinePauseEndsTheFileSend) {
  std::vector<uint8_t> data(100000, 'x');
  for (std::size_t i = 9; i < data.size(); i += 10) data[i] = 0x0A;
  struct ReadCountingSource final : ByteSource {
    explicit ReadCountingSource(const std::vector<uint8_t>& d) : file(d) {}
    bool rewind() override { return file.rewind(); }
    std::size_t read(uint8_t* buffer, std::size_t n) override {
      ++reads;
      return file.read(buffer, n);
    }
    MemorySource file;
    int reads = 0;
  } source(data);
  struct CancelAtSecondPause final : JobHost {
    void showProgress(const std::wstring&) override {}
    void pause() override {
      if (++count == 2) busy->store(0);
    }
    Flag* busy;
    int count = 0;
  } canceller;
  canceller.busy = &busy;
  mode = DelayMode::OnceLines;
  EXPECT_FALSE(FileSendJob(SendContext{port, clock, canceller, busy, mode, 4096}, &source, data.size()).run());
  EXPECT_EQ(port.written().size(), 20u);
  EXPECT_EQ(source.reads, 1);
}

TEST_F(Sending, AFileCutShortOrMissingIsNotReportedAsSent) {
  std::vector<uint8_t> data(200000, 0x31);
  MemorySource cut(data, 70000);
  EXPECT_FALSE(FileSendJob(context(25), &cut, data.size()).run());
  EXPECT_EQ(port.written().size(), 70000u);
  EXPECT_FALSE(FileSendJob(context(25), nullptr, 0).run());
}

TEST_F(Sending, HexAndSelectionJobsWriteBlocksWithTheLinePausesBetweenLines) {
  mode = DelayMode::OnceLines;
  std::wstring line(3 * 60, L' ');
  for (std::size_t i = 0; i < 60; ++i) {
    line[3 * i] = L'A';
    line[3 * i + 1] = static_cast<wchar_t>(L'0' + i % 10);
  }
  HexSendJob(context(16), {line, L"", L"FF 0"}).run();
  ASSERT_EQ(port.written().size(), 62u);
  EXPECT_EQ(port.writeCalls(), (std::vector<std::size_t>{16, 16, 16, 12, 2}));
  ASSERT_EQ(host.pauses.size(), 3u);
  EXPECT_EQ(host.pauses[0].written, 60u);
  EXPECT_EQ(host.pauses[0].progress, L"0001/3L 0060B");
  EXPECT_EQ(host.progress, L"0003/3L 0062B");

  // With no pause due, whole lines run on together as long as they fit one
  // write; a line never goes out split when it fits one.
  mode = DelayMode::Off;
  HexSendJob(context(16), {L"01 02 03 04 05 06", L"07 08 09 0A 0B 0C", line, L"FF 0"}).run();
  EXPECT_EQ(port.written().size(), 62u + 74u);
  EXPECT_EQ(std::vector<std::size_t>(port.writeCalls().begin() + 5, port.writeCalls().end()),
            (std::vector<std::size_t>{12, 16, 16, 16, 12, 2}));

  SelectionSendJob(context(16), L"41 42\r43", true, Narrow).run();
  SelectionSendJob(context(16), L"41\r42", false, Narrow).run();
  EXPECT_EQ(std::string(port.written().end() - 8, port.written().end()), "ABC41\n42");
}

TEST_F(Sending, TextIsWrittenInBlocksAndACancelInsideAPauseEndsTheRepeats) {
  mode = DelayMode::LoopLines;
  std::wstring text = std::wstring(120, L'x') + L"\r" + L"yz";
  struct CancellingHost final : JobHost {
    void showProgress(const std::wstring&) override {}
    void pause() override {
      if (++count == 5) busy->store(0);
    }
    Flag* busy;
    int count = 0;
  } canceller;
  canceller.busy = &busy;
  SendContext c{port, clock, canceller, busy, mode, 25};
  TextSendJob(c, text, Narrow).run();
  // Two whole passes and the first line of a third, then nothing.
  EXPECT_EQ(port.written().size(), 2 * 123u + 121u);
  for (std::size_t call : port.writeCalls()) EXPECT_LE(call, 25u);
}

// A device that reads frames by the gaps between them (Modbus RTU) takes
// two frames written together for one bad one: with a check, each
// paragraph goes out with its check in a write of its own, the progress
// counts the check bytes, and a line without a byte sends nothing.
TEST_F(Sending, EachHexLineIsAFrameWithItsCheckInAWriteOfItsOwn) {
  const std::vector<std::wstring> lines{L"01 03 00 0A 00 02", L"", L"-- ::", L"31 32 33 34 35 36 37 38 39"};
  HexSendJob(context(4096), lines, Checksum::Crc16Modbus).run();
  EXPECT_EQ(port.writeCalls(), (std::vector<std::size_t>{8, 11}));
  EXPECT_EQ(std::vector<uint8_t>(port.written().begin(), port.written().begin() + 8),
            (std::vector<uint8_t>{0x01, 0x03, 0x00, 0x0A, 0x00, 0x02, 0xE4, 0x09}));
  EXPECT_EQ(std::vector<uint8_t>(port.written().end() - 2, port.written().end()), (std::vector<uint8_t>{0x37, 0x4B}));
  EXPECT_EQ(host.progress, L"0004/4L 0019B");

  // Without a check the same lines run together in one write, as before.
  HexSendJob(context(4096), lines).run();
  EXPECT_EQ(port.writeCalls().back(), 15u);
}

// With an ending, each line of a text send ends with it, the last one
// too; the ending rides in the write of the line's last chunk, an empty
// line sends the ending alone, and a CR LF in the text is one break.
TEST_F(Sending, WithALineEndEveryLineEndsWithItInTheWriteOfItsLastChunk) {
  mode = DelayMode::OnceLines;
  TextSendJob(context(4096), L"AT", Narrow, LineEnd::Cr).run();
  EXPECT_EQ(std::string(port.written().begin(), port.written().end()), "AT\r");
  EXPECT_EQ(host.progress, L"0002/2B");

  TextSendJob(context(4096), L"AT+CSQ\r\nATI\r\rX\r", Narrow, LineEnd::CrLf).run();
  EXPECT_EQ(std::string(port.written().begin() + 3, port.written().end()), "AT+CSQ\r\nATI\r\n\r\nX\r\n");
  EXPECT_EQ(std::vector<std::size_t>(port.writeCalls().begin() + 1, port.writeCalls().end()),
            (std::vector<std::size_t>{8, 5, 2, 3}));
  EXPECT_EQ(host.progress, L"0015/15B");

  // A line of 120 units in blocks of 60: the ending is not a write of its own.
  TextSendJob(context(60), std::wstring(120, L'x'), Narrow, LineEnd::Lf).run();
  EXPECT_EQ(std::vector<std::size_t>(port.writeCalls().end() - 3, port.writeCalls().end()),
            (std::vector<std::size_t>{50, 50, 21}));
  EXPECT_EQ(port.written().back(), '\n');

  // A selection of text ends its lines the same way; one of hex bytes is
  // sent as it is.
  const std::size_t before = port.written().size();
  SelectionSendJob(context(4096), L"OK\rAT", false, Narrow, LineEnd::Cr).run();
  SelectionSendJob(context(4096), L"41 42\r43", true, Narrow, LineEnd::Cr).run();
  EXPECT_EQ(std::string(port.written().begin() + static_cast<std::ptrdiff_t>(before), port.written().end()),
            "OK\rAT\rABC");
}

}  // namespace
}  // namespace tv

namespace tv {
namespace {

// Records each echo with the bytes the port had taken when it came.
struct RecordingEcho final : SendEcho {
  explicit RecordingEcho(FakePort& p) : port(p) {}
  bool wanted() override { return on; }
  void text(const std::wstring& line, const std::string& bytes) override {
    shown.push_back({port.written().size(), line + L"|" + std::wstring(bytes.begin(), bytes.end())});
  }
  void bytes(const uint8_t* data, std::size_t n) override {
    shown.push_back({port.written().size(), L"hex " + std::to_wstring(n)});
  }
  struct Shown {
    std::size_t writtenBefore;
    std::wstring what;
  };
  FakePort& port;
  bool on = true;
  std::vector<Shown> shown;
};

// The echo of each line comes before the line's bytes go out (so a reply
// can never show above it): one per text line, without its line end, one
// per hex line; nothing at all while the echo is off.
TEST_F(Sending, EachLineIsEchoedBeforeItIsWritten) {
  RecordingEcho echo(port);
  SendContext c = context(4096);
  c.echo = &echo;
  mode = DelayMode::OnceLines;
  TextSendJob(c, L"AT\r\nATI\nlast", Narrow).run();
  HexSendJob(c, {L"01 02 03", L"", L"FF"}).run();
  SelectionSendJob(c, L"sel\nx", false, Narrow).run();
  ASSERT_EQ(echo.shown.size(), 3u + 1u + 2u + 2u) << "the empty line of the CR LF is a line too";
  const std::vector<std::wstring> what = {L"AT|AT", L"|", L"ATI|ATI", L"last|last", L"hex 3",
                                          L"hex 1", L"sel|sel", L"x|x"};
  const std::vector<std::size_t> before = {0, 3, 4, 8, 12, 15, 16, 20};
  for (std::size_t i = 0; i < what.size(); ++i) {
    EXPECT_EQ(echo.shown[i].what, what[i]) << i;
    EXPECT_LE(echo.shown[i].writtenBefore, before[i]) << "echoed after its bytes went out: " << i;
  }

  echo.on = false;
  echo.shown.clear();
  TextSendJob(c, L"quiet", Narrow).run();
  EXPECT_TRUE(echo.shown.empty());
}

// Text sent as UTF-8 reaches the device as the characters typed, one
// beyond the BMP on the boundary of the job's chunks included.
TEST_F(Sending, Utf8TextGoesOutWholeAcrossChunks) {
  std::wstring text(49, L'a');
  text += {0xD83D, 0xDE00, 0x4E2D, L'\n'};
  TextSendJob(context(4096), text, EncodeUtf8).run();
  const std::string expected = std::string(49, 'a') + "\xF0\x9F\x98\x80\xE4\xB8\xAD\n";
  EXPECT_EQ(port.written(), std::vector<uint8_t>(expected.begin(), expected.end()));
}

}  // namespace
}  // namespace tv
