// The receive log's files on the system's calls: the folder under the
// user's Documents folder (XP has no known-folder call: SHGetFolderPathW).
#pragma once

#include <string>
#include <utility>

#include "session/LogFiles.h"

namespace tv {

class Win32LogFiles final : public LogFiles {
 public:
  // folderName: the folder made under Documents for the logs.
  explicit Win32LogFiles(std::wstring folderName) : folderName_(std::move(folderName)) {}

  bool folder(std::wstring& path, uint32_t& error) override;
  Handle create(const std::wstring& path, uint32_t& error) override;
  bool write(Handle file, const uint8_t* bytes, std::size_t n, uint32_t& error) override;
  bool flush(Handle file, uint32_t& error) override;
  void close(Handle file) override;
  std::wstring describe(uint32_t error) override;
  LocalTime now() override;

 private:
  const std::wstring folderName_;
};

}  // namespace tv
