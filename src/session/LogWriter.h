// The receive log: every byte read from the port, as the driver delivered
// it, written to a file on a thread of its own. The reader hands its bytes
// over without waiting (a bounded queue), and the window never waits for
// the disk either: files are made, written, flushed and closed on the
// writer's thread, which tells what became of each file through events.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "base/Threading.h"
#include "base/WorkerThread.h"
#include "serial/ReceivePipeline.h"
#include "session/LogFiles.h"

namespace tv {

class LogWriter final : public ReceiveTap {
 public:
  // Most bytes waiting for the writer: 8 MiB, 27 s of a 3,000,000-baud
  // line (over a minute at 921600), so a disk or stick that stalls for
  // seconds costs nothing. Past it the file fails: the log is never
  // silently incomplete, and the reader never waits for the disk.
  static constexpr std::size_t kQueueBytes = std::size_t{8} << 20;
  // Bytes go to the file in pieces of up to this much; a full one wakes
  // the writer at once.
  static constexpr std::size_t kChunkBytes = std::size_t{64} << 10;
  // Otherwise the writer writes what waits this often, so a crash loses at
  // most this much of the log (and never more than a second).
  static constexpr uint32_t kWriteEveryMs = 250;
  // Names tried for one moment: <name>.log, <name>_2.log ... _<this>.log.
  static constexpr int kMostNames = 999;
  // ERROR_NOT_ENOUGH_MEMORY.
  static constexpr uint32_t kNoMemory = 8;

  // Told on the writer's thread, for the file that start() numbered.
  struct Events {
    // Made: the bytes go to path from now on.
    std::function<void(int file, const std::wstring& path)> started;
    // Ended as asked, with every byte written and flushed.
    std::function<void(int file, const std::wstring& path, uint64_t bytes)> ended;
    // Could not be made or written (why: the system's message): the file
    // takes nothing more, and no end is told for it.
    std::function<void(int file, const std::wstring& path, const std::wstring& why)> failed;
  };

  LogWriter(LogFiles& files, Events events, std::size_t queueBytes = kQueueBytes);
  // Ends the file and waits a while for the writer.
  ~LogWriter();
  LogWriter(const LogWriter&) = delete;
  LogWriter& operator=(const LogWriter&) = delete;

  // The owner's thread: the bytes put from now on go to a new file for the
  // port, named by this moment (<port>_<yyyyMMdd>_<HHmmss>.log in the
  // folder); an earlier file ends first. The file's number, or 0 when no
  // writer could be had (the bytes then go nowhere).
  int start(const std::wstring& portName);
  // Why start() gave 0: the system's message for want of memory.
  std::wstring noWriterText() { return files_.describe(kNoMemory); }
  // The owner's thread: the file ends after the bytes put so far.
  void end();
  // The owner's thread: true when the writer has nothing left to do
  // within ms (after an end, the file is flushed and closed).
  bool wait(uint32_t ms) { return thread_.wait(ms); }

  // The reader's thread, never waiting.
  void put(const uint8_t* bytes, std::size_t n) override;

  // The name a file started at that moment for that port gets, before a
  // suffix for a name taken.
  static std::wstring BaseName(const std::wstring& portName, const LocalTime& at);

 private:
  // Why bytes put found no room: the queue was full (the disk took less
  // than the line brought), or memory ran out.
  enum class Overflow : uint8_t { None, Full, NoMemory };
  struct Item {
    enum class Kind : uint8_t { Start, Bytes, End };
    Kind kind = Kind::Bytes;
    int file = 0;                 // Start
    std::wstring port;            // Start
    LocalTime at;                 // Start
    std::vector<uint8_t> bytes;   // Bytes
    // The bytes put right after this found no room: the file it belongs
    // to fails.
    Overflow overflowAfter = Overflow::None;
  };
  // The file the writer keeps (its thread's only).
  struct Current {
    int file = 0;
    LogFiles::Handle handle = nullptr;
    std::wstring path;
    uint64_t bytes = 0;
  };

  // Under lock_: queues a marker for a writer that runs; false when it
  // could not be queued or no writer could be had.
  bool enqueue(Item item);
  // The writer's thread.
  void runQueue();
  void handle(Item& item);
  void open(const Item& item);
  void write(const std::vector<uint8_t>& bytes);
  void close();
  void fail(const std::wstring& why);
  void fail(Overflow why);

  LogFiles& files_;
  const Events events_;
  const std::size_t queueBytes_;

  Mutex lock_;
  std::deque<Item> queue_;      // under lock_
  std::size_t queuedBytes_ = 0;  // under lock_
  bool open_ = false;            // under lock_: started by the owner and not ended
  bool accepting_ = false;       // under lock_: a file takes the bytes put
  // Under lock_: bytes found no room while the queue was empty (nothing to
  // mark): the writer's file fails before it takes anything more.
  Overflow overflowNow_ = Overflow::None;
  bool running_ = false;         // under lock_: a writer thread runs the queue
  int lastFile_ = 0;             // under lock_: the newest file's number
  Event wake_;
  WorkerThread thread_;          // the owner's
  Current current_;              // the writer's
};

}  // namespace tv
