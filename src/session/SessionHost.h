// How the session reaches the window it serves: it declares what it needs,
// and the window layer provides it. Workers never touch the window; they
// signal, or ask for a call on the window's thread.
#pragma once

#include <cstdint>
#include <functional>

namespace tv {

enum class JobKind : int { Text, Hex, Selection, File };
constexpr int kJobKindCount = 4;
constexpr JobKind kAllJobs[kJobKindCount] = {JobKind::Text, JobKind::Hex, JobKind::Selection, JobKind::File};

enum class Signal : uint8_t {
  Received,     // received text waits for the view: the window calls Session::drain
  LowMemory,    // an allocation failed somewhere: the window makes room
  Title,        // a job's progress moved: the window shows the title again
  ReaderEnded,  // a reader let go of the port           } the window hands
  PortLost,     // the open port failed hard              } these back to
  JobEnded,     // a send job ended; detail: its JobKind  } Session::onSignal
  OpenDone,     // an open on the opener's thread returned}
};

class SessionHost {
 public:
  // Any thread, never waiting; the window acts on it on its own thread.
  // False when it could not be told (the session then tells again later,
  // or the window's timer looks).
  virtual bool signal(Signal signal, int detail) = 0;
  // A worker thread: fn runs on the window's thread, and this returns once
  // it has. Nothing runs once the window is gone.
  virtual void call(const std::function<void()>& fn) = 0;
  // The window's thread: what the window shows of the session may have
  // changed (Session::view).
  virtual void changed() = 0;

 protected:
  ~SessionHost() = default;
};

}  // namespace tv
