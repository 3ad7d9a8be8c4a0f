// The function keys, acting on release: help, test texts, reports, clearing
// the views and the stored settings.
#include <cstdlib>
#include <vector>

#include "app/AppState.h"
#include "app/MainDialog.h"
#include "diagnostics/Reports.h"
#include "diagnostics/Texts.h"
#include "send/HexCodec.h"
#include "serial/RichEditText.h"
#include "serial/SerialPort.h"

namespace tv {
namespace {

// Which pair F3 shows next: the mixed text first. UI thread only.
bool g_nextTestTextMixed = true;

// The text's bytes in the ANSI code page, as hex pairs.
std::wstring AnsiHex(const wchar_t* text) {
  int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::wstring();
  std::vector<char> bytes(static_cast<std::size_t>(size));
  WideCharToMultiByte(CP_ACP, 0, text, -1, bytes.data(), size, nullptr, nullptr);
  // The terminating zero is converted but not shown.
  return FormatHexBytes(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<std::size_t>(size - 1));
}

}  // namespace

void MainDialog::onFunctionKey(unsigned key) {
  AppState& app = App();
  bool panesFree = app.textSendIdle && app.hexSendIdle && app.selectionSendIdle;
  bool allFree = panesFree && app.fileSendIdle;
  switch (key) {
    case VK_F1:
      feed_.replaceAll(HelpText());
      break;
    case VK_F2:
      if (panesFree) {
        const wchar_t* text = TestTexts()[static_cast<std::size_t>(std::rand()) % kTestTextCount];
        PutText(textPane_, text, kReplaceAll);
        PutText(hexPane_, AnsiHex(text), kReplaceAll);
        PutText(textPane_, text, kReplaceAll);
      }
      break;
    case VK_F3:
      if (panesFree) {
        bool mixed = g_nextTestTextMixed;
        g_nextTestTextMixed = !g_nextTestTextMixed;
        if (mixed) {
          PutText(hexPane_, ByteListing(0, 255), kReplaceAll);
          PutText(textPane_, MixedTestText(), kReplaceAll);
        } else {
          PutText(hexPane_, ByteListing(32, 125) + HexPattern(), kReplaceAll);
          PutText(textPane_, EnglishTestText(), kReplaceAll);
        }
      }
      break;
    case VK_F4:
      feed_.append(PortListReport(Serial().ports));
      break;
    case VK_F5:
      feed_.append(DiskReport());
      break;
    case VK_F7:
      if (allFree) feed_.clear();
      break;
    case VK_F8:
      if (allFree) {
        ClearView(textPane_);
        feed_.clear();
        ClearView(hexPane_);
      }
      break;
    case VK_F9:
      ClearSettings(hwnd_);
      break;
    default:
      break;
  }
}

}  // namespace tv
