// Received bytes on their way to the receive view. The reader thread polls
// the port and turns what arrives into display text as the view mode is at
// that moment; the UI thread takes the text whenever it gets to it. The
// reader never waits for the view, so a slow view costs no bytes read:
// what the view could never keep is skipped, and it says so.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/Threading.h"
#include "base/WallClock.h"
#include "serial/Port.h"
#include "serial/ReceiveDecoder.h"
#include "serial/ReceiveLayout.h"
#include "serial/ReceiveOptions.h"

namespace tv {

// Bytes exactly as the driver delivered them, before anything is made of
// them (a log). Called on the reader thread for every read; must not wait.
class ReceiveTap {
 public:
  virtual void put(const uint8_t* bytes, std::size_t n) = 0;

 protected:
  ~ReceiveTap() = default;
};

class ReceivePipeline {
 public:
  // Most bytes asked of the port at once.
  static constexpr std::size_t kReadBytes = 1024;
  // Most received bytes held for a view that falls behind while the line
  // has flow control: 2 MiB, over a minute of a 256000-baud line, at most
  // 13 MiB of text (a byte is three UTF-16 units in hex view plus a line
  // end per 16, at most one as text). At the bound the reader stops
  // reading until the view has taken some: the bytes wait in the driver,
  // whose flow control holds the device back, and nothing is thrown away.
  // Without flow control a stop would only move the loss into the driver,
  // which overruns within milliseconds at high rates (a quarter of a
  // 3,000,000-baud stream was lost so): the reader reads on, and the text
  // the view could never keep is skipped instead (see kKeptUnits).
  static constexpr std::size_t kHeldBytesLimit = std::size_t{2} << 20;
  // Without flow control: once the text waiting passes what the view keeps
  // (the view's own bound when it has told it, else this), the oldest
  // waiting text goes, down to half of that, whole reads at a time, and a
  // line of its own says how many received bytes were not shown. Skipping
  // down to half leaves one such line per half a view of backlog, not one
  // per read. The log still gets every byte (the tap comes first).
  static constexpr std::size_t kKeptUnits = std::size_t{4} << 20;
  // Hex bytes on one line of the view.
  static constexpr std::size_t kHexRowBytes = ReceiveLayout::kHexRowBytes;

  // Asks the UI thread to take the text; must not wait. False when the
  // request could not be made (it is made again with the next text).
  using Wake = std::function<bool()>;

  ReceivePipeline(ReceiveDecoder::LeadByteTest isLead, ReceiveDecoder::Converter convert, Wake wake,
                  std::size_t heldBytesLimit = kHeldBytesLimit);

  // Reader thread, never waiting: memory ran out for text just read; the
  // owner frees what it can. The reader then tries again after
  // kLowMemoryRetryMs: bytes once read are not read again, so they are
  // kept, not dropped.
  using LowMemory = std::function<void()>;
  static constexpr uint32_t kLowMemoryRetryMs = 20;
  // Before the reader starts.
  void setLowMemory(LowMemory lowMemory) { lowMemory_ = std::move(lowMemory); }
  // Before the reader starts: every byte read goes to the tap before it is
  // converted, also bytes the view then skips or a clear drops.
  void setTap(ReceiveTap* tap) { tap_ = tap; }
  // Before a reader starts: with flow control on the line, the reader
  // stops at kHeldBytesLimit and never skips; without, it reads on.
  void holdBackAtBound(bool on) { holdBack_ = on ? 1 : 0; }
  // UI thread: the most text the view keeps, in units (0: not known, and
  // kKeptUnits holds).
  void setKeptUnits(std::size_t units) { keptUnits_ = units != 0 ? units : kKeptUnits; }
  // The line that stands for bytes skipped.
  static std::wstring SkippedLine(uint64_t bytes);
  // Before the reader starts: where the time for stamps comes from.
  void setWallClock(WallClock& wall) { wall_ = &wall; }

  // Any thread: how received bytes are shown from the next read on. When
  // stamps are turned on, a line with the day (now's) follows what was
  // received so far.
  void setOptions(const ReceiveOptions& options, const LocalTime& now);
  ReceiveOptions options();

  // Once stopped, the reader reads on until the line has been quiet for
  // kQuietMs, but for no more than kLastPassMs in all. A USB adapter hands
  // over what it received only every few milliseconds (an FTDI one every
  // 16 ms by default), so a read that finds nothing says little, while a
  // device that never stops talking must not hold up the close for ever.
  static constexpr uint32_t kQuietMs = 40;
  static constexpr uint32_t kLastPassMs = 250;

  // Reader thread: polls the port until running is found cleared after a
  // pass, converting as hex while hexMode is set, then reads what the
  // driver still holds and what still arrives (see kQuietMs). Half a
  // character still held at the end is shown alone.
  void run(Port& port, Clock& clock, const Flag& running, const Flag& hexMode);

  // UI thread: the program's own text, queued after everything received
  // so far, so the view shows both in the order they happened.
  void add(const std::wstring& text);
  // UI thread: the same, except that when nothing received waits, text
  // (with its line ends fitted) is left for the caller to put straight
  // into the view, and true is returned.
  bool addOwn(std::wstring& text);
  // Any thread: a line of what a send writes, as the view shows it, after
  // everything received so far. Never part of what was received.
  void echo(const std::wstring& shown);
  // UI thread: true when nothing received waits.
  bool nothingWaiting();

  // UI thread: the text waiting, oldest first, at most maxUnits units (a
  // surrogate pair is never cut). When some is left, the wake is asked
  // again. With runs, its looks go there (the first at 0), or nothing when
  // all of it looks plain.
  std::wstring take(std::size_t maxUnits = static_cast<std::size_t>(-1), std::vector<StyleRun>* runs = nullptr);
  // UI thread: drops what was not taken yet (the view is being cleared, so
  // it would be cleared with it); the view then holds shown alone.
  void discard(const std::wstring& shown = std::wstring());

  std::size_t heldUnits();
  std::size_t heldBytes();
  // Received bytes skipped so far, in all.
  uint64_t skippedBytes();
  // Units copied or shifted by the takes so far: what taking costs, which
  // must grow with what was taken, not with how often.
  uint64_t unitsMoved();

 private:
  // A stretch of the text and the received bytes it shows.
  struct Piece {
    std::size_t units;
    std::size_t bytes;
    uint64_t skipped = 0;  // a line that says this many bytes were skipped
    bool cut = false;      // the view has taken part of it
  };

  // A change of the look from unit `at` (counted from the first unit
  // queued since the last discard) on.
  struct Mark {
    uint64_t at;
    TextStyle style;
  };

  // Lays out and queues, all or nothing: the layout is done under the
  // lock, so line ends, stamps and frames follow the order of everything
  // the view is given. bytes: how many received bytes the text shows.
  template <typename LayOut>
  void push(LayOut layOut, std::size_t bytes);
  // Under lock_: queues what was laid out.
  void queue(const ReceiveLayout::Out& out, std::size_t bytes);
  void dropFront(std::size_t units);  // under lock_
  // Reader thread, after a read went in: without flow control, the oldest
  // waiting text the view would never keep goes (see kKeptUnits).
  void skipBeyondKept();
  // Decodes what was just read at tickMs and queues it.
  void convert(ReceiveDecoder& decoder, const uint8_t* bytes, std::size_t n, bool hex, uint32_t tickMs);
  // Converts and queues what was just read, however long memory is short
  // while running is set.
  void deliver(ReceiveDecoder& decoder, const uint8_t* bytes, std::size_t n, bool hex, Clock& clock,
               const Flag& running);

  const ReceiveDecoder::LeadByteTest isLead_;
  const ReceiveDecoder::Converter convert_;
  const Wake wake_;
  const std::size_t heldBytesLimit_;
  LowMemory lowMemory_;  // set before the reader starts
  ReceiveTap* tap_ = nullptr;  // likewise
  Flag holdBack_{0};  // set before a reader starts
  std::atomic<std::size_t> keptUnits_{kKeptUnits};
  WallClock* wall_ = &SystemWallClock();  // set before the reader starts

  Mutex lock_;
  // Under lock_: appended by the reader (and the UI thread's own text),
  // taken by the UI thread from takenUnits_ on. What was taken is let go
  // only once it is the larger part, so draining a backlog share by share
  // moves each unit at most once more instead of the whole rest each time.
  std::wstring pending_;
  std::size_t takenUnits_ = 0;
  std::deque<Piece> pieces_;
  std::size_t heldBytes_ = 0;
  bool wakeAsked_ = false;  // a take is due and was asked for
  uint64_t unitsMoved_ = 0;
  // The text given to the view so far ends a line (as far as known: the
  // program's own text is taken to end one).
  bool takenEndsLine_ = true;
  uint64_t skippedBytes_ = 0;
  ReceiveOptions options_;
  ReceiveLayout layout_;
  // Looks: where they change in what waits, and the look at its start.
  std::deque<Mark> marks_;
  uint64_t takenInAll_ = 0;  // units taken since the last discard
  TextStyle styleAtTake_ = kPlainStyle;
};

}  // namespace tv
