// Changing and reading the rich-edit views through their own messages.
// UI thread only: workers go through the UI bridge.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

#include "app/Format.h"
#include "serial/ReceiveFeed.h"

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

// A rich edit as the receive feed writes to it.
class RichEditView final : public TextView {
 public:
  void attach(HWND control) { control_ = control; }
  HWND hwnd() const { return control_; }
  void append(const std::wstring& text) override { PutText(control_, text, kAppend); }
  void replaceAll(const std::wstring& text) override { PutText(control_, text, kReplaceAll); }
  void clear() override { ClearView(control_); }

 private:
  HWND control_ = nullptr;  // UI thread
};

}  // namespace tv
