#include "session/LogWriter.h"

#include <new>
#include <utility>

#include "base/Format.h"

namespace tv {
namespace {

// How long the destructor waits for the writer to close its file.
constexpr uint32_t kDestroyWaitMs = 5000;

// The disk took less than the line brought for longer than the queue
// covers: there is no system error to show for it.
const wchar_t kQueueFullText[] = L"写入太慢,缓冲区已满";

}  // namespace

LogWriter::LogWriter(LogFiles& files, Events events, std::size_t queueBytes)
    : files_(files), events_(std::move(events)), queueBytes_(queueBytes) {}

LogWriter::~LogWriter() {
  end();
  thread_.wait(kDestroyWaitMs);
}

std::wstring LogWriter::BaseName(const std::wstring& portName, const LocalTime& at) {
  std::wstring port = portName;
  // A port's name is a file name's part: nothing that would make a path of it.
  for (wchar_t& c : port)
    if (c < L' ' || c == L'\\' || c == L'/' || c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' ||
        c == L'>' || c == L'|')
      c = L'_';
  return Format(L"%s_%04d%02d%02d_%02d%02d%02d",
                {port, at.year, at.month, at.day, at.hour, at.minute, at.second});
}

int LogWriter::start(const std::wstring& portName) {
  Item item;
  item.kind = Item::Kind::Start;
  item.port = portName;
  item.at = files_.now();
  MutexLock hold(lock_);
  item.file = lastFile_ + 1;
  if (!enqueue(std::move(item))) return 0;
  // The writer ends an earlier file before it makes this one.
  lastFile_ = lastFile_ + 1;
  open_ = true;
  accepting_ = true;
  return lastFile_;
}

void LogWriter::end() {
  MutexLock hold(lock_);
  if (!open_) return;
  open_ = false;
  accepting_ = false;
  Item item;
  item.kind = Item::Kind::End;
  item.file = lastFile_;
  enqueue(std::move(item));
}

bool LogWriter::enqueue(Item item) {
  try {
    queue_.push_back(std::move(item));
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!running_) running_ = thread_.start([this] { runQueue(); });
  if (!running_) {
    queue_.pop_back();
    return false;
  }
  wake_.set();
  return true;
}

void LogWriter::put(const uint8_t* bytes, std::size_t n) {
  if (n == 0) return;
  bool wake = false;
  {
    MutexLock hold(lock_);
    if (!accepting_) return;
    Overflow overflow = queuedBytes_ + n > queueBytes_ ? Overflow::Full : Overflow::None;
    bool fresh = false;
    if (overflow == Overflow::None && (queue_.empty() || queue_.back().kind != Item::Kind::Bytes ||
                                       queue_.back().bytes.size() + n > queue_.back().bytes.capacity())) {
      try {
        Item item;
        item.bytes.reserve(n > kChunkBytes ? n : kChunkBytes);
        queue_.push_back(std::move(item));
        fresh = true;
      } catch (const std::bad_alloc&) {
        overflow = Overflow::NoMemory;
      }
    }
    if (overflow != Overflow::None) {
      // The file fails right after what was queued before: its writer
      // says so, once.
      accepting_ = false;
      if (queue_.empty()) {
        overflowNow_ = overflow;
      } else {
        queue_.back().overflowAfter = overflow;
      }
      wake = true;
    } else {
      // Within the capacity reserved: no allocation.
      std::vector<uint8_t>& chunk = queue_.back().bytes;
      chunk.insert(chunk.end(), bytes, bytes + n);
      queuedBytes_ += n;
      // A chunk was filled before this one: the writer need not wait.
      wake = fresh && queue_.size() > 1;
    }
  }
  if (wake) wake_.set();
}

void LogWriter::runQueue() {
  for (;;) {
    std::deque<Item> items;
    Overflow overflowed = Overflow::None;
    {
      MutexLock hold(lock_);
      wake_.reset();
      if (queue_.empty() && overflowNow_ == Overflow::None && current_.handle == nullptr) {
        running_ = false;
        return;
      }
      items.swap(queue_);
      queuedBytes_ = 0;
      overflowed = overflowNow_;
      overflowNow_ = Overflow::None;
    }
    fail(overflowed);
    for (Item& item : items) {
      handle(item);
      // What was written goes now, not with the whole batch.
      std::vector<uint8_t>().swap(item.bytes);
    }
    items.clear();
    if (current_.handle != nullptr) wake_.wait(kWriteEveryMs);
  }
}

void LogWriter::handle(Item& item) {
  switch (item.kind) {
    case Item::Kind::Start:
      open(item);
      break;
    case Item::Kind::Bytes:
      if (current_.handle != nullptr) write(item.bytes);
      break;
    case Item::Kind::End:
      if (current_.handle != nullptr && current_.file == item.file) close();
      break;
  }
  fail(item.overflowAfter);
}

void LogWriter::fail(Overflow why) {
  if (why == Overflow::None || current_.handle == nullptr) return;
  fail(why == Overflow::Full ? std::wstring(kQueueFullText) : files_.describe(kNoMemory));
}

void LogWriter::open(const Item& item) {
  if (current_.handle != nullptr) close();
  const std::wstring base = BaseName(item.port, item.at);
  std::wstring folder;
  uint32_t error = 0;
  current_.file = item.file;
  if (!files_.folder(folder, error)) {
    current_.path = folder + L"\\" + base + L".log";
    fail(files_.describe(error));
    return;
  }
  for (int n = 1; n <= kMostNames; ++n) {
    current_.path = folder + L"\\" + base + (n > 1 ? Format(L"_%d", {n}) : std::wstring()) + L".log";
    current_.handle = files_.create(current_.path, error);
    if (current_.handle != nullptr) {
      current_.bytes = 0;
      if (events_.started) events_.started(current_.file, current_.path);
      return;
    }
    if (error != LogFiles::kFileExists && error != LogFiles::kAlreadyExists) break;
  }
  fail(files_.describe(error));
}

void LogWriter::write(const std::vector<uint8_t>& bytes) {
  uint32_t error = 0;
  if (bytes.empty()) return;
  if (!files_.write(current_.handle, bytes.data(), bytes.size(), error)) {
    fail(files_.describe(error));
    return;
  }
  current_.bytes += bytes.size();
}

void LogWriter::close() {
  uint32_t error = 0;
  // Flushed, so what the log says it holds is on the disk, not in a cache
  // a pulled stick or a power cut takes along.
  if (!files_.flush(current_.handle, error)) {
    fail(files_.describe(error));
    return;
  }
  files_.close(current_.handle);
  const Current ended = std::move(current_);
  current_ = Current{};
  if (events_.ended) events_.ended(ended.file, ended.path, ended.bytes);
}

void LogWriter::fail(const std::wstring& why) {
  if (current_.handle != nullptr) files_.close(current_.handle);
  const Current failed = std::move(current_);
  current_ = Current{};
  {
    MutexLock hold(lock_);
    // Nothing more goes to a file that failed; a newer one is left alone.
    if (failed.file == lastFile_) accepting_ = false;
  }
  if (events_.failed) events_.failed(failed.file, failed.path, why);
}

}  // namespace tv
