// What the send jobs read from the window and the disk, gathered for them
// on the Windows side.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/Threading.h"
#include "app/UiBridge.h"
#include "app/WinHandles.h"
#include "send/SendJobs.h"

namespace tv {

// The text in the ANSI code page, as the device gets it.
std::string WideToAnsi(const wchar_t* units, std::size_t n);

// Job thread: the display lines of the hex pane (it wraps at its width),
// asked of the UI thread in batches so a cancel during a long copy is seen
// soon. Empty once busy is cleared.
std::vector<std::wstring> CopyDisplayLines(const UiBridge& bridge, HWND pane, const Flag& busy);

// A file opened for reading, for the file job.
class FileByteSource final : public ByteSource {
 public:
  explicit FileByteSource(const wchar_t* path);
  // False when the file could not be opened or its size not read.
  bool opened() const { return file_.valid(); }
  uint64_t size() const { return size_; }
  bool rewind() override;
  std::size_t read(uint8_t* buffer, std::size_t n) override;

 private:
  UniqueHandle file_;
  uint64_t size_ = 0;
};

// Opened for the load report and for sending: shared with readers only.
HANDLE OpenForReading(const wchar_t* path);

}  // namespace tv
