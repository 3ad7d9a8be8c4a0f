#include "send/SendJobs.h"

#include <functional>
#include <string>

#include "base/Format.h"
#include "base/HexCodec.h"
#include "base/Throttle.h"
#include "send/BlockWriter.h"
#include "send/FrameCheck.h"
#include "send/TextLines.h"
#include "send/TimedSend.h"

namespace tv {
namespace {

// Shows a job's position, at most every interval and exactly before pauses
// and at the end of a pass.
class Progress {
 public:
  Progress(Clock& clock, std::function<void()> show) : clock_(clock), show_(std::move(show)) {}
  void moved() {
    if (pacer_.due(clock_.nowMs())) show_();
  }
  void exact() {
    if (pacer_.owed()) show_();
  }

 private:
  Clock& clock_;
  std::function<void()> show_;
  Throttle pacer_{kProgressIntervalMs};
};

// A line is done: in the line modes its last bytes go out, the position is
// shown and the pause taken.
void AfterLine(const SendContext& c, BlockWriter& writer, Progress& progress) {
  if (!PausesAfterLine(c.delayMode)) return;
  writer.flush();
  progress.exact();
  c.host.pause();
}

// A pass is done: its last bytes go out, its position is shown, then the
// pause the delay mode asks for.
void AfterPass(const SendContext& c, BlockWriter& writer, Progress& progress) {
  writer.flush();
  progress.exact();
  if (PausesAfterPass(c.delayMode)) c.host.pause();
}

// Converts the units and hands them on.
bool AppendText(BlockWriter& writer, TextEncoder encode, const wchar_t* units, std::size_t n) {
  std::string bytes = encode(units, n);
  return writer.append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// One line of a text send, chunk by chunk; the ending goes with the last
// chunk, or alone for an empty line. moved: after each piece handed on.
void AppendLine(const SendContext& c, BlockWriter& writer, TextEncoder encode, const std::wstring& text,
                const SendLine& line, const char* ending, const std::function<void()>& moved) {
  const std::vector<TextSpan> chunks = SplitChunks(text, line.body);
  const std::size_t endingBytes = std::char_traits<char>::length(ending);
  if (chunks.empty() && endingBytes > 0) {
    writer.append(reinterpret_cast<const uint8_t*>(ending), endingBytes);
    moved();
  }
  for (std::size_t k = 0; k < chunks.size() && c.busy; ++k) {
    std::string bytes = encode(text.data() + chunks[k].start, chunks[k].end - chunks[k].start);
    if (k + 1 == chunks.size()) bytes.append(ending, endingBytes);
    writer.append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    moved();
  }
}

// The echo of a line of text, when one is wanted.
void EchoText(const SendContext& c, TextEncoder encode, const std::wstring& text, TextSpan line) {
  if (c.echo == nullptr || !c.echo->wanted()) return;
  std::size_t end = line.end;
  if (end > line.start && text[end - 1] == L'\n') --end;
  const std::wstring shown = text.substr(line.start, end - line.start);
  c.echo->text(shown, encode(shown.data(), shown.size()));
}

void EchoBytes(const SendContext& c, const uint8_t* data, std::size_t n) {
  if (c.echo != nullptr && c.echo->wanted()) c.echo->bytes(data, n);
}

}  // namespace

void TextSendJob::run() {
  BlockWriter writer(c_.port, c_.clock, c_.busy, c_.capBytes);
  const int total = static_cast<int>(text_.size());
  const std::vector<SendLine> lines = SplitSendLines(text_, end_);
  const char* ending = LineEndBytes(end_);
  int position = 0;
  Progress progress(c_.clock, [&] { c_.host.showProgress(Format(L"%04d/%dB", {position, total})); });
  do {
    for (const SendLine& line : lines) {
      if (!c_.busy) break;
      EchoText(c_, encode_, text_, line.body);
      AppendLine(c_, writer, encode_, text_, line, ending, [&] {
        position = static_cast<int>(line.next);
        progress.moved();
      });
      AfterLine(c_, writer, progress);
    }
    AfterPass(c_, writer, progress);
    // An empty pane repeating without a pause must not spin a core.
    if (lines.empty()) c_.clock.sleepMs(1);
  } while (c_.busy && RepeatsPasses(c_.delayMode));
}

void HexSendJob::run() {
  BlockWriter writer(c_.port, c_.clock, c_.busy, c_.capBytes);
  const int lineCount = static_cast<int>(lines_.size());
  HexCodec codec;
  std::vector<uint8_t> frame;
  int done = 0;
  int total = 0;
  Progress progress(c_.clock, [&] { c_.host.showProgress(Format(L"%04d/%dL %04dB", {done, lineCount, total})); });
  do {
    total = 0;
    for (int k = 0; k < lineCount && c_.busy; ++k) {
      const std::wstring& line = lines_[static_cast<std::size_t>(k)];
      if (!line.empty()) {
        const int32_t n = codec.Parse(line.c_str());
        if (n > 0 && check_ != Checksum::None) {
          // A frame is never joined with the bytes before or after it: a
          // device reading frames by the gaps between them would take two
          // for one.
          frame.assign(codec.data(), codec.data() + n);
          AppendCheck(check_, frame);
          total += static_cast<int>(frame.size());
          EchoBytes(c_, frame.data(), frame.size());
          writer.write(frame.data(), frame.size());
        } else {
          total += n;
          if (n > 0) EchoBytes(c_, codec.data(), static_cast<std::size_t>(n));
          writer.append(codec.data(), static_cast<std::size_t>(n));
        }
        codec.Release();
      }
      done = k + 1;
      progress.moved();
      AfterLine(c_, writer, progress);
    }
    AfterPass(c_, writer, progress);
    if (total == 0) c_.clock.sleepMs(1);
  } while (c_.busy && RepeatsPasses(c_.delayMode));
}

void SelectionSendJob::run() {
  BlockWriter writer(c_.port, c_.clock, c_.busy, c_.capBytes);
  if (asHex_) {
    if (text_.empty()) return;
    HexCodec codec;
    codec.Parse(text_.c_str());
    if (codec.count() > 0) EchoBytes(c_, codec.data(), static_cast<std::size_t>(codec.count()));
    writer.write(codec.data(), static_cast<std::size_t>(codec.count()));
    codec.Release();
    return;
  }
  if (end_ != LineEnd::AsIs) {
    const char* ending = LineEndBytes(end_);
    for (const SendLine& line : SplitSendLines(text_, end_)) {
      if (!c_.busy) break;
      EchoText(c_, encode_, text_, line.body);
      AppendLine(c_, writer, encode_, text_, line, ending, [] {});
    }
    writer.flush();
    return;
  }
  CarriageReturnsToLineFeeds(text_);
  for (const TextSpan& line : SplitTextLines(text_)) {
    EchoText(c_, encode_, text_, line);
    for (const TextSpan& chunk : SplitChunks(text_, line)) {
      if (!c_.busy) break;
      AppendText(writer, encode_, text_.data() + chunk.start, chunk.end - chunk.start);
    }
    if (!c_.busy) break;
  }
  writer.flush();
}

bool FileSendJob::run() {
  if (source_ == nullptr) return false;
  std::vector<uint8_t> buffer(kChunkBytes);
  unsigned long long sent = 0;
  const unsigned long long total = size_;
  Progress progress(c_.clock, [&] { c_.host.showProgress(Format(L"%04I64d/%I64dB", {sent, total})); });
  BlockWriter writer(c_.port, c_.clock, c_.busy, c_.capBytes, [&](std::size_t n) {
    sent += n;
    progress.moved();
  });
  bool unreadable = false;
  bool cancelled = false;
  do {
    if (!source_->rewind()) unreadable = true;
    uint64_t remaining = unreadable ? 0 : total;
    sent = 0;
    while (remaining > 0 && !cancelled) {
      std::size_t want = remaining < kChunkBytes ? static_cast<std::size_t>(remaining) : kChunkBytes;
      std::size_t got = source_->read(buffer.data(), want);
      if (got > want) got = want;
      // A file that is cut short or cannot be read was not sent.
      if (got < want) unreadable = true;
      remaining = unreadable ? 0 : remaining - want;
      for (std::size_t at = 0; at < got && !cancelled;) {
        // Lines short enough to wait for their line end write nothing
        // that would notice a cancel.
        if (!c_.busy) {
          cancelled = true;
          break;
        }
        // The mode is looked at for every write, so a change takes effect
        // at once, not a chunk later.
        if (!PausesAfterLine(c_.delayMode)) {
          std::size_t end = got - at > c_.capBytes ? at + c_.capBytes : got;
          cancelled = !writer.write(buffer.data() + at, end - at);
          at = end;
          continue;
        }
        // In the line modes each line, up to and including its 0x0A, goes
        // out whole where it fits one write, and the pause follows it.
        std::size_t end = at;
        while (end < got && buffer[end] != 0x0A) ++end;
        const bool lineEnd = end < got;
        if (lineEnd) ++end;
        cancelled = !writer.append(buffer.data() + at, end - at);
        at = end;
        if (lineEnd && !cancelled) AfterLine(c_, writer, progress);
      }
    }
    // The last line, without a 0x0A.
    if (!writer.flush()) cancelled = true;
    progress.exact();
    if (PausesAfterPass(c_.delayMode) && !unreadable && !cancelled) c_.host.pause();
    if (total == 0) c_.clock.sleepMs(1);
  } while (c_.busy && RepeatsPasses(c_.delayMode) && !unreadable && !cancelled);
  return !unreadable && !cancelled;
}

}  // namespace tv
