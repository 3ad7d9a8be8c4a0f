// The function keys, acting on release: help, test texts, reports, clearing
// the views and the stored settings.
#include <cstdlib>
#include <cwchar>
#include <string>

#include "app/MainDialog.h"
#include "base/CodePage.h"
#include "base/HexCodec.h"
#include "base/RichEdit.h"
#include "base/Utf8.h"
#include "diagnostics/Reports.h"
#include "diagnostics/Texts.h"

namespace tv {
namespace {

// Which pair F3 shows next: the mixed text first. UI thread only.
bool g_nextTestTextMixed = true;

// The text's bytes in the ANSI code page (or in UTF-8 while text is read
// and sent that way), as hex pairs.
std::wstring TextHex(const wchar_t* text, bool utf8) {
  std::string bytes = utf8 ? EncodeUtf8(text, wcslen(text)) : WideToAnsi(text, wcslen(text));
  return FormatHexBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

void MainDialog::onFunctionKey(unsigned key) {
  const JobRunner& jobs = session_.jobs();
  bool panesFree = jobs.idle(JobKind::Text) && jobs.idle(JobKind::Hex) && jobs.idle(JobKind::Selection);
  bool allFree = panesFree && jobs.idle(JobKind::File);
  switch (key) {
    case VK_F1:
      session_.replaceView(HelpText());
      break;
    case VK_F2:
      if (panesFree) {
        const wchar_t* text = TestTexts()[static_cast<std::size_t>(std::rand()) % kTestTextCount];
        replacePaneText(textPane_, text);
        replacePaneText(hexPane_, TextHex(text, choices_.options.utf8));
        // Written again on purpose, as F2 always has: the text pane is the
        // last one written, so it is the one left showing its first line.
        replacePaneText(textPane_, text);
      }
      break;
    case VK_F3:
      if (panesFree) {
        bool mixed = g_nextTestTextMixed;
        g_nextTestTextMixed = !g_nextTestTextMixed;
        if (mixed) {
          replacePaneText(hexPane_, ByteListing(0, 255));
          replacePaneText(textPane_, MixedTestText());
        } else {
          replacePaneText(hexPane_, ByteListing(32, 125) + HexPattern());
          replacePaneText(textPane_, EnglishTestText());
        }
      }
      break;
    case VK_F4:
      session_.say(PortListReport(session_.ports()));
      break;
    case VK_F5:
      session_.report(DiskReport);
      break;
    case VK_F7:
      if (allFree) session_.clearView();
      break;
    case VK_F8:
      if (allFree) {
        clearView(textPane_);
        session_.clearView();
        clearView(hexPane_);
      }
      break;
    case VK_F9:
      ClearSettings(store_, hwnd_);
      break;
    case VK_F11:
      session_.say(session_.countsText());
      break;
    case VK_F12:
      session_.replaceView(NewFeaturesText());
      break;
    default:
      break;
  }
}

}  // namespace tv
