#include "send/FileReport.h"

namespace tv {

bool IsTxtPath(const std::wstring& path) {
  std::size_t dot = path.rfind(L'.');
  if (dot == std::wstring::npos) return false;
  std::wstring tail = path.substr(dot);
  for (wchar_t& c : tail)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return tail == L".txt";
}

TextEncoding DetectEncoding(const uint8_t* bytes, std::size_t n) {
  uint8_t b[3] = {0, 0, 0};
  for (std::size_t i = 0; i < n && i < 3; ++i) b[i] = bytes[i];
  if (b[0] == 0xFF && b[1] == 0xFE) return TextEncoding::UnicodeLE;
  if (b[0] == 0xFE && b[1] == 0xFF) return TextEncoding::UnicodeBE;
  if (b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return TextEncoding::Utf8;
  return TextEncoding::Ansi;
}

const wchar_t* EncodingText(TextEncoding e) {
  switch (e) {
    case TextEncoding::UnicodeLE: return L"Unicode_LE\t";
    case TextEncoding::UnicodeBE: return L"Unicode_BE\t";
    case TextEncoding::Utf8: return L"UTF_8\t";
    case TextEncoding::Ansi: break;
  }
  return L"ANSI\t";
}

}  // namespace tv
