// The file the file job sends, read from the disk.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/WinHandles.h"
#include "send/SendJobs.h"

namespace tv {

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
