// Changing and reading rich-edit controls through their own messages, on
// the thread that owns the control.
#pragma once

#include <windows.h>

#include <cstddef>
#include <initializer_list>
#include <string>

#include "base/Format.h"

namespace tv {

enum PutTextFlags : unsigned {
  kScrollToBottom = 0x01,
  kCaretToEnd = 0x02,
  kSelectAll = 0x04,
  kCaretToStart = 0x08,
  kClearSelection = 0x20,
  kAppend = kCaretToEnd | kScrollToBottom,                             // 3
  kReplaceAll = kSelectAll | kClearSelection | kCaretToEnd | kCaretToStart,  // 0x2E
};

LRESULT PutText(HWND control, const std::wstring& text, unsigned flags);
inline LRESULT PutText(HWND dialog, int controlId, const std::wstring& text, unsigned flags) {
  return PutText(GetDlgItem(dialog, controlId), text, flags);
}

// Formats (cut to the 1024-unit buffer) and appends at the end, scrolled to
// the bottom. Returns the formatted length.
int AppendFormat(HWND control, const wchar_t* format, std::initializer_list<FormatArg> args);

// Selects everything and replaces it with nothing.
void ClearView(HWND control);

// The whole text as UTF-16; a paragraph break is a single carriage return.
std::wstring GetRichText(HWND control);

// The number of characters, a paragraph break counted as one. Cheap: it
// does not walk the text.
std::size_t TextLength(HWND control);

// The characters from first up to last, as GetRichText gives them.
std::wstring GetTextRange(HWND control, std::size_t first, std::size_t last);

}  // namespace tv
