#include "base/DisplayLines.h"

#include <richedit.h>

#include <algorithm>

#include "base/RichEdit.h"

namespace tv {
namespace {

// The most of the window's time one batch takes.
constexpr uint32_t kBatchMs = 25;

}  // namespace

// The text is copied once and cut where each display line starts. Where no
// paragraph wraps, the display lines are the paragraphs and the control is
// asked nothing more; otherwise it is asked where each line starts, which
// under Wine walks the text from its top for every line.
std::vector<std::wstring> CopyDisplayLines(const UiCalls& bridge, HWND pane, const Flag& busy) {
  std::wstring text;
  LRESULT count = 0;
  bridge.call([&] {
    text = GetRichText(pane);
    count = SendMessageW(pane, EM_GETLINECOUNT, 0, 0);
  });
  std::vector<std::size_t> starts;
  const std::size_t paragraphs = 1 + static_cast<std::size_t>(std::count(text.begin(), text.end(), L'\r'));
  if (count > 0 && static_cast<std::size_t>(count) == paragraphs) {
    starts.reserve(paragraphs + 1);
    starts.push_back(0);
    for (std::size_t at = 0; at < text.size(); ++at)
      if (text[at] == L'\r') starts.push_back(at + 1);
  } else {
    starts.reserve(count > 0 ? static_cast<std::size_t>(count) + 1 : 1);
    for (LRESULT next = 0; next < count && busy;) {
      bridge.call([&] {
        const uint32_t begun = SystemClock().nowMs();
        for (; next < count && busy && SystemClock().nowMs() - begun < kBatchMs; ++next) {
          LRESULT start = SendMessageW(pane, EM_LINEINDEX, static_cast<WPARAM>(next), 0);
          // Kept in order and inside the copy, whatever an edit made meanwhile.
          std::size_t at = start < 0 ? text.size() : static_cast<std::size_t>(start);
          if (at > text.size()) at = text.size();
          if (!starts.empty() && at < starts.back()) at = starts.back();
          starts.push_back(at);
        }
      });
      // The window is gone: nothing more will come.
      if (!bridge.attached()) break;
    }
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

std::vector<std::wstring> CopyParagraphs(const UiCalls& bridge, HWND pane, const Flag& busy) {
  std::wstring text;
  bridge.call([&] { text = GetRichText(pane); });
  std::vector<std::wstring> paragraphs;
  if (!busy) return paragraphs;
  std::size_t start = 0;
  for (std::size_t at = 0; at <= text.size(); ++at) {
    if (at < text.size() && text[at] != L'\r' && text[at] != L'\n') continue;
    paragraphs.emplace_back(text, start, at - start);
    // A CR LF pair is one mark.
    if (at + 1 < text.size() && text[at] == L'\r' && text[at + 1] == L'\n') ++at;
    start = at + 1;
  }
  return paragraphs;
}

}  // namespace tv
