#include "send/FileSource.h"

namespace tv {

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
