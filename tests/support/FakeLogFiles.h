// The log's file system in memory: a folder that cannot be had, names
// already taken, creates, writes and flushes that fail with a given error,
// and writes that stall until the test lets them go, as a disk or a
// pulled stick does and Wine's never does.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "session/LogFiles.h"

namespace tv {

class FakeLogFiles final : public LogFiles {
 public:
  // ---- the script (test thread)
  void failFolder(uint32_t error) { set(folderError_, error); }
  void failCreates(uint32_t error) { set(createError_, error); }
  // Writes fail with error once a file would pass this many bytes.
  void failWritesPast(std::size_t bytes, uint32_t error) {
    std::lock_guard<std::mutex> hold(m_);
    writeLimit_ = bytes;
    writeError_ = error;
  }
  void failFlushes(uint32_t error) { set(flushError_, error); }
  // A name in the folder taken by some other file.
  void take(const std::wstring& name) {
    std::lock_guard<std::mutex> hold(m_);
    files_[kFolder + L"\\" + name] = std::make_unique<File>();
  }
  void stallWrites() {
    std::lock_guard<std::mutex> hold(m_);
    stalled_ = true;
  }
  void releaseWrites() {
    std::lock_guard<std::mutex> hold(m_);
    stalled_ = false;
    changed_.notify_all();
  }
  bool insideWrite() {
    std::lock_guard<std::mutex> hold(m_);
    return insideWrite_;
  }
  LocalTime at{2026, 12, 9, 17, 19, 0};

  // ---- what became of the files (test thread)
  static inline const std::wstring kFolder = L"D:\\Docs\\Tarn#Vik";
  bool exists(const std::wstring& path) {
    std::lock_guard<std::mutex> hold(m_);
    return files_.count(path) != 0;
  }
  std::vector<uint8_t> content(const std::wstring& path) {
    std::lock_guard<std::mutex> hold(m_);
    auto it = files_.find(path);
    return it == files_.end() ? std::vector<uint8_t>() : it->second->bytes;
  }
  // Flushed after its last write, and closed.
  bool finished(const std::wstring& path) {
    std::lock_guard<std::mutex> hold(m_);
    auto it = files_.find(path);
    return it != files_.end() && it->second->flushed && it->second->closed;
  }
  int openFiles() {
    std::lock_guard<std::mutex> hold(m_);
    int n = 0;
    for (auto& f : files_) n += f.second->created && !f.second->closed;
    return n;
  }

  // ---- LogFiles (the writer's thread)
  bool folder(std::wstring& path, uint32_t& error) override {
    std::lock_guard<std::mutex> hold(m_);
    path = kFolder;
    error = folderError_;
    return error == 0;
  }
  Handle create(const std::wstring& path, uint32_t& error) override {
    std::lock_guard<std::mutex> hold(m_);
    if (files_.count(path) != 0) {
      error = kFileExists;
      return nullptr;
    }
    if (createError_ != 0) {
      error = createError_;
      return nullptr;
    }
    auto file = std::make_unique<File>();
    file->created = true;
    File* h = file.get();
    files_[path] = std::move(file);
    return h;
  }
  bool write(Handle h, const uint8_t* bytes, std::size_t n, uint32_t& error) override {
    std::unique_lock<std::mutex> hold(m_);
    insideWrite_ = true;
    changed_.wait(hold, [&] { return !stalled_; });
    insideWrite_ = false;
    File* file = static_cast<File*>(h);
    if (writeError_ != 0 && file->bytes.size() + n > writeLimit_) {
      error = writeError_;
      return false;
    }
    file->bytes.insert(file->bytes.end(), bytes, bytes + n);
    file->flushed = false;
    return true;
  }
  bool flush(Handle h, uint32_t& error) override {
    std::lock_guard<std::mutex> hold(m_);
    error = flushError_;
    if (error != 0) return false;
    static_cast<File*>(h)->flushed = true;
    return true;
  }
  void close(Handle h) override {
    std::lock_guard<std::mutex> hold(m_);
    static_cast<File*>(h)->closed = true;
  }
  std::wstring describe(uint32_t error) override { return L"error " + std::to_wstring(error); }
  LocalTime now() override {
    std::lock_guard<std::mutex> hold(m_);
    return at;
  }

 private:
  struct File {
    std::vector<uint8_t> bytes;
    bool created = false;
    bool flushed = false;
    bool closed = false;
  };
  void set(uint32_t& field, uint32_t value) {
    std::lock_guard<std::mutex> hold(m_);
    field = value;
  }

  std::mutex m_;
  std::condition_variable changed_;
  std::map<std::wstring, std::unique_ptr<File>> files_;  // under m_, as all below
  uint32_t folderError_ = 0;
  uint32_t createError_ = 0;
  uint32_t writeError_ = 0;
  std::size_t writeLimit_ = 0;
  uint32_t flushError_ = 0;
  bool stalled_ = false;
  bool insideWrite_ = false;
};

}  // namespace tv
