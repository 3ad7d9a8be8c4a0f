// Polls the open port and shows what arrives, as text or as hex.
#include <vector>

#include "app/AppState.h"
#include "app/MainDialog.h"
#include "send/HexCodec.h"
#include "serial/ReceiveDecoder.h"
#include "serial/RichEditText.h"
#include "serial/SerialChannel.h"

namespace tv {
namespace {

constexpr DWORD kReceiveBufferBytes = 1024;
// At most this much read in full passes is shown in one insertion, so the
// window is never busy with one for long.
constexpr std::size_t kBatchBytes = 32 * 1024;

bool IsAnsiLeadByte(uint8_t b) { return IsDBCSLeadByte(b) != FALSE; }

std::wstring AnsiToWide(const char* bytes, std::size_t n) {
  int units = MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(n), nullptr, 0);
  if (units <= 0) return std::wstring();
  std::wstring out(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(n), &out[0], units);
  return out;
}

}  // namespace

void MainDialog::ReceiveThreadMain(void* self) { static_cast<MainDialog*>(self)->runReceive(); }

void MainDialog::runReceive() {
  AppState& app = App();
  SerialChannel& channel = Serial().channel;
  // One spare zero byte after the data, as the reads leave it.
  std::vector<uint8_t> buffer(kReceiveBufferBytes + 1, 0);
  ReceiveDecoder decoder(IsAnsiLeadByte, AnsiToWide);
  std::wstring pending;
  std::size_t pendingBytes = 0;
  HWND view = receiveView_;
  app.receiveIdle = 0;
  do {
    DWORD count = channel.readAvailable(buffer.data(), kReceiveBufferBytes);
    if (count > 0) {
      if (app.numberReceive) {
        // Half a character held back just before the switch to hex comes
        // first, or it would be lost, or glued to bytes after a switch back.
        uint8_t held = decoder.carried();
        if (held != 0) {
          decoder.reset();
          pending += FormatHexBytes(&held, 1);
        }
        pending += FormatHexBytes(buffer.data(), count);
      } else {
        pending += decoder.decode(buffer.data(), count);
      }
      pendingBytes += count;
    }
    // A full pass means more is waiting: read on at once and show it in one
    // go, since each insertion into the view costs about the same whatever
    // its length. Otherwise show what there is now and wait a moment.
    bool more = count == kReceiveBufferBytes && pendingBytes < kBatchBytes;
    if (!more && !pending.empty()) {
      // Synchronous, so received text and the window's own messages keep
      // the order in which they happened.
      bridge_.call([view, &pending] { PutText(view, pending, kAppend); });
      pending.clear();
      pendingBytes = 0;
    }
    if (count < kReceiveBufferBytes) Sleep(1);
  } while (app.receiveRunning);
  if (!pending.empty()) bridge_.call([view, &pending] { PutText(view, pending, kAppend); });
  app.receiveIdle = 1;
}

}  // namespace tv
