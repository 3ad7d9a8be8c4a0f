// The four send jobs: text, hex, selection and file. Each runs on its own
// thread with its content copied at its start, so edits made meanwhile do
// not reach it, and knows the window only through its host.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/Threading.h"
#include "send/SendOptions.h"
#include "send/TimedSend.h"
#include "serial/Port.h"

namespace tv {

// The window side of a running job.
class JobHost {
 public:
  // The job's position for the title; never waits for the window.
  virtual void showProgress(const std::wstring& text) = 0;
  // The delay box's wait; ends early once the job is cancelled.
  virtual void pause() = 0;

 protected:
  ~JobHost() = default;
};

// Text to bytes in the code page the device gets.
using TextEncoder = std::string (*)(const wchar_t* units, std::size_t n);

// Shows what a job writes among what the port receives, each line before
// it is written, so that a reply never shows above it. Called on the job's
// thread.
class SendEcho {
 public:
  // Whether anything is shown now; when not, a job prepares nothing for it.
  virtual bool wanted() = 0;
  // A line of text (without its line end) and the bytes it goes out as.
  virtual void text(const std::wstring& line, const std::string& bytes) = 0;
  // A line of bytes given as hex.
  virtual void bytes(const uint8_t* data, std::size_t n) = 0;

 protected:
  ~SendEcho() = default;
};

// What every job is handed besides its content.
struct SendContext {
  Port& port;
  Clock& clock;
  JobHost& host;
  const Flag& busy;                        // cleared by a cancel
  const std::atomic<DelayMode>& delayMode;  // looked at at every decision point
  std::size_t capBytes;                   // the most one write carries
  SendEcho* echo = nullptr;               // where what is written is shown, if anywhere
};

// The text pane: line by line, a pause after each line or pass as the delay
// mode says, the progress in UTF-16 units. With an ending chosen, every
// line ends with it, in the same write as the line's last chunk.
class TextSendJob {
 public:
  TextSendJob(const SendContext& context, std::wstring text, TextEncoder encode, LineEnd end = LineEnd::AsIs)
      : c_(context), text_(std::move(text)), encode_(encode), end_(end) {}
  void run();

 private:
  const SendContext& c_;
  std::wstring text_;
  TextEncoder encode_;
  LineEnd end_;
};

// The hex pane's lines, each parsed to bytes; progress in lines. With a
// check chosen, each line is a frame (the pane's paragraphs, then): its
// bytes and their check go out in one write of their own.
class HexSendJob {
 public:
  HexSendJob(const SendContext& context, std::vector<std::wstring> lines, Checksum check = Checksum::None)
      : c_(context), lines_(std::move(lines)), check_(check) {}
  void run();

 private:
  const SendContext& c_;
  std::vector<std::wstring> lines_;
  Checksum check_;
};

// A selection, once, as hex pairs or as text; no pauses, no progress. Text
// gets the ending after every line as the text job does; hex bytes go out
// as they are.
class SelectionSendJob {
 public:
  SelectionSendJob(const SendContext& context, std::wstring text, bool asHex, TextEncoder encode,
                   LineEnd end = LineEnd::AsIs)
      : c_(context), text_(std::move(text)), asHex_(asHex), encode_(encode), end_(end) {}
  void run();

 private:
  const SendContext& c_;
  std::wstring text_;
  bool asHex_;
  TextEncoder encode_;
  LineEnd end_;
};

// Where the file job's bytes come from.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Back to the first byte; false when that failed.
  virtual bool rewind() = 0;
  // Up to n bytes; fewer only when the source failed or ended early.
  virtual std::size_t read(uint8_t* buffer, std::size_t n) = 0;
};

// Opens the file at path for the file job: null when it cannot be opened
// or its size read, which then goes into size.
using OpenByteSource = std::function<std::unique_ptr<ByteSource>(const std::wstring& path, uint64_t& size)>;

// The loaded file, byte for byte; a pause after each 0x0A or each pass as
// the delay mode says; progress in bytes.
class FileSendJob {
 public:
  static constexpr std::size_t kChunkBytes = 65536;

  // A null source is a file that could not be opened.
  FileSendJob(const SendContext& context, ByteSource* source, uint64_t size)
      : c_(context), source_(source), size_(size) {}
  // True when every pass went out whole: false when cancelled, or when the
  // file could not be read or was cut short (it was not sent).
  bool run();

 private:
  const SendContext& c_;
  ByteSource* source_;
  uint64_t size_;
};

}  // namespace tv
