// The receive view as the receive feed writes to it.
#pragma once

#include <windows.h>

#include <string>

#include "base/RichEdit.h"
#include "serial/ReceiveFeed.h"

namespace tv {

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
