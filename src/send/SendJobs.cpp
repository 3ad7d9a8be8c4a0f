// The text, hex and selection send jobs. Each works on a copy of its
// content taken at its start, so edits made meanwhile do not reach it.
#include <richedit.h>

#include <vector>

#include "app/AppState.h"
#include "app/MainDialog.h"
#include "send/HexCodec.h"
#include "send/SendWrite.h"
#include "send/TextLines.h"
#include "send/TimedSend.h"
#include "serial/RichEditText.h"
#include "serial/SerialChannel.h"

namespace tv {
namespace {

// Converts one chunk to the ANSI code page and writes it in one go. A chunk
// boundary inside a surrogate pair is converted as it falls.
void SendTextChunk(SerialChannel& channel, const wchar_t* units, std::size_t n, const Flag& busy) {
  int size = WideCharToMultiByte(CP_ACP, 0, units, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
  if (size <= 0) return;
  uint8_t* staging = channel.prepareStaging(static_cast<std::size_t>(size));
  WideCharToMultiByte(CP_ACP, 0, units, static_cast<int>(n), reinterpret_cast<char*>(staging), size, nullptr,
                      nullptr);
  WriteAll(channel, staging, static_cast<DWORD>(size), busy);
}

// Writes one byte per call, testing the busy flag before each, so a cancel
// stops the output within one byte.
void SendBytes(SerialChannel& channel, const HexCodec& codec, const Flag& busy) {
  for (int32_t i = 0; i < codec.count() && busy; ++i)
    if (!WriteAll(channel, codec.data() + i, 1, busy)) break;
}

// The display lines of the hex pane (it wraps at its width). The text is
// copied once and cut where each display line starts. Asking the control
// for every line's text and length as well made a large pane slow to start
// where each such question walks the text from its top. Starts are read in
// batches so a cancel during a long copy is seen soon.
std::vector<std::wstring> CopyDisplayLines(const UiBridge& bridge, HWND pane, const Flag& busy) {
  std::wstring text;
  LRESULT count = 0;
  bridge.call([&] {
    text = GetRichText(pane);
    count = SendMessageW(pane, EM_GETLINECOUNT, 0, 0);
  });
  std::vector<std::size_t> starts;
  starts.reserve(count > 0 ? static_cast<std::size_t>(count) + 1 : 1);
  constexpr LRESULT kBatch = 1024;
  for (LRESULT first = 0; first < count && busy; first += kBatch) {
    bridge.call([&] {
      for (LRESULT k = first; k < first + kBatch && k < count && busy; ++k) {
        LRESULT start = SendMessageW(pane, EM_LINEINDEX, static_cast<WPARAM>(k), 0);
        // Kept in order and inside the copy, whatever an edit made meanwhile.
        std::size_t at = start < 0 ? text.size() : static_cast<std::size_t>(start);
        if (at > text.size()) at = text.size();
        if (!starts.empty() && at < starts.back()) at = starts.back();
        starts.push_back(at);
      }
    });
  }
  std::vector<std::wstring> lines;
  if (!busy) return lines;
  starts.push_back(text.size());
  lines.reserve(starts.size() - 1);
  for (std::size_t k = 0; k + 1 < starts.size(); ++k) {
    std::size_t begin = starts[k], end = starts[k + 1];
    // The paragraph mark belongs to no line's text.
    while (end > begin && (text[end - 1] == L'\r' || text[end - 1] == L'\n')) --end;
    lines.emplace_back(text, begin, end - begin);
  }
  return lines;
}

}  // namespace

void MainDialog::beginJob(Flag& busy, Flag& idle, bool pauses) {
  busy = 1;
  idle = 0;
  requestRefresh();
  if (pauses) ResetEvent(cancelEvent_.get());
}

void MainDialog::runTextSend() {
  AppState& app = App();
  SerialChannel& channel = Serial().channel;
  beginJob(app.textSendBusy, app.textSendIdle, true);

  std::wstring text;
  HWND pane = textPane_;
  bridge_.call([&] { text = GetRichText(pane); });
  const int total = static_cast<int>(text.size());
  CarriageReturnsToLineFeeds(text);
  const std::vector<TextSpan> lines = SplitTextLines(text);

  ProgressPacer pacer;
  int position = 0;
  auto show = [&] { setProgress(Format(L"%04d/%dB", {position, total})); };
  do {
    for (const TextSpan& line : lines) {
      if (!app.textSendBusy) break;
      for (const TextSpan& chunk : SplitChunks(line)) {
        if (!app.textSendBusy) break;
        SendTextChunk(channel, text.data() + chunk.start, chunk.end - chunk.start, app.textSendBusy);
        position = static_cast<int>(line.end);
        if (pacer.advanced(GetTickCount())) show();
      }
      if (PausesAfterLine(app.delayMode)) {
        if (pacer.catchUp()) show();
        pause(app.textSendBusy);
      }
    }
    if (pacer.catchUp()) show();
    if (PausesAfterPass(app.delayMode)) pause(app.textSendBusy);
    // An empty pane repeating without a pause must not spin a core.
    if (lines.empty()) Sleep(1);
  } while (app.textSendBusy && RepeatsPasses(app.delayMode));
  endJob(JobKind::Text);
}

void MainDialog::runHexSend() {
  AppState& app = App();
  SerialChannel& channel = Serial().channel;
  beginJob(app.hexSendBusy, app.hexSendIdle, true);

  std::vector<std::wstring> lines = CopyDisplayLines(bridge_, hexPane_, app.hexSendBusy);
  const int lineCount = static_cast<int>(lines.size());
  HexCodec codec;
  ProgressPacer pacer;
  int done = 0;
  int total = 0;
  auto show = [&] { setProgress(Format(L"%04d/%dL %04dB", {done, lineCount, total})); };
  do {
    total = 0;
    for (int k = 0; k < lineCount && app.hexSendBusy; ++k) {
      const std::wstring& line = lines[static_cast<std::size_t>(k)];
      if (!line.empty()) {
        total += codec.Parse(line.c_str());
        SendBytes(channel, codec, app.hexSendBusy);
        codec.Release();
      }
      done = k + 1;
      if (pacer.advanced(GetTickCount())) show();
      if (PausesAfterLine(app.delayMode)) {
        if (pacer.catchUp()) show();
        pause(app.hexSendBusy);
      }
    }
    if (pacer.catchUp()) show();
    if (PausesAfterPass(app.delayMode)) pause(app.hexSendBusy);
    if (total == 0) Sleep(1);
  } while (app.hexSendBusy && RepeatsPasses(app.delayMode));
  lines.clear();
  endJob(JobKind::Hex);
}

void MainDialog::runSelectionSend() {
  AppState& app = App();
  SerialChannel& channel = Serial().channel;
  beginJob(app.selectionSendBusy, app.selectionSendIdle, false);

  std::wstring text;
  bridge_.call([&] {
    HWND target = menuTarget();
    if (target == nullptr) return;
    SendMessageW(target, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selectionRange_));
    LONG first = selectionRange_.cpMin, last = selectionRange_.cpMax;
    if (last <= first) return;
    std::vector<wchar_t> buffer(static_cast<std::size_t>(last - first) + 1, L'\0');
    TEXTRANGEW range{{first, last}, buffer.data()};
    LRESULT got = SendMessageW(target, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    if (got < 0) got = 0;
    if (static_cast<std::size_t>(got) >= buffer.size()) got = static_cast<LRESULT>(buffer.size() - 1);
    text.assign(buffer.data(), static_cast<std::size_t>(got));
  });

  if (selectionFromHexPane_) {
    if (!text.empty()) {
      HexCodec codec;
      codec.Parse(text.c_str());
      SendBytes(channel, codec, app.selectionSendBusy);
      codec.Release();
    }
  } else {
    CarriageReturnsToLineFeeds(text);
    for (const TextSpan& chunk : SplitChunks(TextSpan{0, text.size()})) {
      if (!app.selectionSendBusy) break;
      SendTextChunk(channel, text.data() + chunk.start, chunk.end - chunk.start, app.selectionSendBusy);
    }
  }
  endJob(JobKind::Selection);
}

}  // namespace tv
