#include "base/RichEdit.h"

#include <richedit.h>

#include <vector>

namespace tv {

LRESULT PutText(HWND control, const std::wstring& text, unsigned flags) {
  if (flags & kSelectAll) SendMessageW(control, EM_SETSEL, 0, -1);
  if (flags & kClearSelection) SendMessageW(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
  if (flags & kCaretToEnd) SendMessageW(control, EM_SETSEL, static_cast<WPARAM>(-1), -1);
  LRESULT result = SendMessageW(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  if (flags & kScrollToBottom) result = SendMessageW(control, WM_VSCROLL, SB_BOTTOM, 0);
  if (flags & kCaretToStart) result = SendMessageW(control, EM_SETSEL, 0, 0);
  return result;
}

int AppendFormat(HWND control, const wchar_t* format, std::initializer_list<FormatArg> args) {
  std::wstring text = Format(format, args);
  PutText(control, text, kAppend);
  return static_cast<int>(text.size());
}

void ClearView(HWND control) {
  SendMessageW(control, EM_SETSEL, 0, -1);
  SendMessageW(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
}

std::wstring GetRichText(HWND control) {
  GETTEXTLENGTHEX len{GTL_NUMCHARS | GTL_PRECISE, 1200};
  LRESULT n = SendMessageW(control, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&len), 0);
  if (n <= 0) return std::wstring();
  std::vector<wchar_t> buffer(static_cast<std::size_t>(n) + 1, L'\0');
  GETTEXTEX get{};
  get.cb = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  get.flags = GT_DEFAULT;
  get.codepage = 1200;
  LRESULT got = SendMessageW(control, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get),
                             reinterpret_cast<LPARAM>(buffer.data()));
  if (got < 0) got = 0;
  if (static_cast<std::size_t>(got) >= buffer.size()) got = static_cast<LPARAM>(buffer.size() - 1);
  return std::wstring(buffer.data(), static_cast<std::size_t>(got));
}

std::size_t TextLength(HWND control) {
  GETTEXTLENGTHEX len{GTL_NUMCHARS, 1200};
  LRESULT n = SendMessageW(control, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&len), 0);
  return n > 0 ? static_cast<std::size_t>(n) : 0;
}

std::wstring GetTextRange(HWND control, std::size_t first, std::size_t last) {
  if (last <= first) return std::wstring();
  std::vector<wchar_t> buffer(last - first + 1, L'\0');
  TEXTRANGEW range{{static_cast<LONG>(first), static_cast<LONG>(last)}, buffer.data()};
  LRESULT got = SendMessageW(control, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
  if (got < 0) got = 0;
  if (static_cast<std::size_t>(got) >= buffer.size()) got = static_cast<LRESULT>(buffer.size() - 1);
  return std::wstring(buffer.data(), static_cast<std::size_t>(got));
}

}  // namespace tv
