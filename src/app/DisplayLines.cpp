#include "app/DisplayLines.h"

#include <richedit.h>

#include "base/RichEdit.h"

namespace tv {

// The text is copied once and cut where each display line starts. Asking
// the control for every line's text and length as well made a large pane
// slow to start where each such question walks the text from its top.
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

}  // namespace tv
