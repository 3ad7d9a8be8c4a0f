// The file system as the receive log sees it: the system's calls in the
// program, a fake in the tests, so a folder that cannot be made, a name
// already taken and a write that fails halfway (a full disk, a stick
// pulled) can all be tested.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/WallClock.h"

namespace tv {

class LogFiles {
 public:
  using Handle = void*;
  // ERROR_FILE_EXISTS and ERROR_ALREADY_EXISTS: a name already taken.
  static constexpr uint32_t kFileExists = 80;
  static constexpr uint32_t kAlreadyExists = 183;

  // The folder the logs go in, made when missing; false, with the
  // system's error, when it cannot be had.
  virtual bool folder(std::wstring& path, uint32_t& error) = 0;
  // A new file, opened for appending, which others may read while it
  // grows; null with the system's error (kFileExists when the name is
  // taken).
  virtual Handle create(const std::wstring& path, uint32_t& error) = 0;
  // All n bytes at the end of the file, or false with the system's error.
  virtual bool write(Handle file, const uint8_t* bytes, std::size_t n, uint32_t& error) = 0;
  // What the system still holds of the file reaches the disk.
  virtual bool flush(Handle file, uint32_t& error) = 0;
  virtual void close(Handle file) = 0;
  // The system's message for the error, on one line.
  virtual std::wstring describe(uint32_t error) = 0;
  virtual LocalTime now() = 0;

 protected:
  ~LogFiles() = default;
};

}  // namespace tv
