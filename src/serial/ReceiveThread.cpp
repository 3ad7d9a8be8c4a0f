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
  app.receiveIdle = 0;
  do {
    DWORD count = channel.readAvailable(buffer.data(), kReceiveBufferBytes);
    if (count > 0) {
      std::wstring text;
      if (app.numberReceive) {
        // Half a character held back just before the switch to hex comes
        // first, or it would be lost, or glued to bytes after a switch back.
        uint8_t held = decoder.carried();
        if (held != 0) {
          decoder.reset();
          text = FormatHexBytes(&held, 1);
        }
        text += FormatHexBytes(buffer.data(), count);
      } else {
        text = decoder.decode(buffer.data(), count);
      }
      HWND view = receiveView_;
      // Synchronous, so received text and the window's own messages keep
      // the order in which they happened.
      bridge_.call([view, &text] { PutText(view, text, kAppend); });
    }
    Sleep(1);
  } while (app.receiveRunning);
  app.receiveIdle = 1;
}

}  // namespace tv
