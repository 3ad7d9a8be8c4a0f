#include "send/JobInputs.h"

#include <richedit.h>

#include "serial/RichEditText.h"

namespace tv {

std::string WideToAnsi(const wchar_t* units, std::size_t n) {
  int size = WideCharToMultiByte(CP_ACP, 0, units, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, units, static_cast<int>(n), &bytes[0], size, nullptr, nullptr);
  return bytes;
}

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

HANDLE OpenForReading(const wchar_t* path) {
  return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_READONLY, nullptr);
}

FileByteSource::FileByteSource(const wchar_t* path) : file_(OpenForReading(path)) {
  LARGE_INTEGER size{};
  if (file_ && !GetFileSizeEx(file_.get(), &size)) file_.reset();
  size_ = file_ ? static_cast<uint64_t>(size.QuadPart) : 0;
}

bool FileByteSource::rewind() {
  LARGE_INTEGER zero{};
  return file_ && SetFilePointerEx(file_.get(), zero, nullptr, FILE_BEGIN) != FALSE;
}

std::size_t FileByteSource::read(uint8_t* buffer, std::size_t n) {
  DWORD want = n < 0x40000000 ? static_cast<DWORD>(n) : 0x40000000;
  DWORD got = 0;
  if (!file_ || !ReadFile(file_.get(), buffer, want, &got, nullptr)) return 0;
  return got;
}

}  // namespace tv
