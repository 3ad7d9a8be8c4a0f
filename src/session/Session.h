// The serial session behind the window: the chosen port and its line
// settings, the channel, the list of present ports, the receive pipeline,
// the send jobs and the opener, and every rule that ties them together.
// It knows no window: the window layer turns its messages into the calls
// below (one per event) and shows view(); workers reach the window only
// through the host.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Threading.h"
#include "base/WallClock.h"
#include "send/SendJobs.h"
#include "send/SendOptions.h"
#include "send/TimedSend.h"
#include "serial/CommApi.h"
#include "serial/LineSettings.h"
#include "serial/PortEntries.h"
#include "serial/ReceiveDecoder.h"
#include "serial/ReceiveFeed.h"
#include "serial/ReceiveOptions.h"
#include "serial/ReceiveWorker.h"
#include "serial/SerialChannel.h"
#include "session/JobRunner.h"
#include "session/LineControl.h"
#include "session/LogFiles.h"
#include "session/LogWriter.h"
#include "session/PortOpener.h"
#include "session/ReportWorker.h"
#include "session/SessionHost.h"
#include "session/Title.h"

namespace tv {

// What the window shows of the session.
struct SessionView {
  std::wstring status;         // the status view's two lines
  bool portOpen = false;       // the activity character turns
  bool busyWithPort = false;   // opening or open: the window's timer looks after the session
  const wchar_t* portButton = L"开";
  bool portButtonEnabled = true;
  const wchar_t* receiveMode = L"文";
  const wchar_t* hexSend = L"HEX发送";
  bool hexSendEnabled = true;
  bool hexPaneEnabled = true;
  const wchar_t* textSend = L"文本发送";
  bool textSendEnabled = true;
  bool textPaneEnabled = true;
  bool clearEnabled = true;
  bool acceptsDrops = true;
  // Received bytes go to a log file (or will, at the next open): off once
  // the log has failed, whatever was chosen.
  bool logging = false;

  bool operator==(const SessionView& o) const;
  bool operator!=(const SessionView& o) const { return !(*this == o); }
};

class Session {
 public:
  // What the session is built on. scanPorts reads the present ports into a
  // list; isLead and decode turn received bytes into text, encode text
  // into bytes for the line; openFile opens the file a file job sends.
  struct Parts {
    CommApi& api;
    Clock& clock;
    SessionHost& host;
    TextView& view;
    std::function<void(PortEntries&)> scanPorts;
    ReceiveDecoder::LeadByteTest isLead;
    ReceiveDecoder::Converter decode;
    TextEncoder encode;
    OpenByteSource openFile;
    // Where the receive log goes; none, no log.
    LogFiles* logFiles = nullptr;
    // The local time for stamps; the system's when null.
    WallClock* wall = nullptr;
  };

  // Reads the port list once.
  explicit Session(const Parts& parts);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Everything below on the window's thread.

  // ---- choices, as restored at start: nothing opens or reopens.
  void restore(const std::wstring& portName, const LineValues& line, DelayMode mode, int32_t delayMs);
  // ---- choices made by the user: an open port is opened again with them,
  // also when the choice is the one already made.
  void choosePort(const std::wstring& portName);
  void chooseLine(const LineValues& line);
  void chooseDelayMode(DelayMode mode) { delayMode_ = mode; }
  void chooseDelayTime(int32_t ms) { delayMs_ = ms; }
  // Received bytes shown as text or as hex from now on.
  void toggleView();

  // ---- options
  // How received bytes are shown from now on.
  void chooseReceiveOptions(const ReceiveOptions& options);
  // Every byte read goes to a log file too while on. A file lasts while
  // logging stays on and the chosen port stays the same (closes, reopens
  // and reconnects append to it); it starts when logging is turned on
  // with the port open, else at the next open. A file that fails turns
  // logging off.
  void chooseLogging(bool on);
  bool logging() const { return logging_; }
  // How text sends end their lines and what hex sends append.
  void chooseSendEnds(LineEnd lineEnd, Checksum checksum);
  // DTR and RTS held on or off, or left to the flow mode; an open port's
  // lines change at once, without a reopen.
  void chooseModemLines(LineLevel dtr, LineLevel rts);
  // The level last applied to each line: unknown while the port is closed
  // or the driver keeps its own.
  std::optional<bool> appliedDtr() const;
  std::optional<bool> appliedRts() const;
  // Holds the open port's line in break for 250 ms, when no send runs.
  void sendBreak();
  bool canSendBreak() const;
  // A port the user opened that is lost is opened again once it is back:
  // the same name with the same settings, on its arrival and every
  // kReconnectStepMs while it is listed, for kReconnectForMs. The port
  // button, another port or turning this off ends the wait.
  void chooseReconnect(bool on);
  static constexpr uint32_t kReconnectStepMs = 1000;
  static constexpr uint32_t kReconnectForMs = 10 * 60 * 1000;
  // A lost port is waited for.
  bool waitingToReconnect() const { return !waitingFor_.empty(); }
  // What F11 says: the bytes read and written since the user opened the
  // port, and the log file.
  std::wstring countsText() const;

  // ---- the port
  void togglePort();
  // A port the system announced, or some device that came or went
  // without saying which (the list is read again).
  void portArrived(const std::wstring& name) { portChanged(name, true); }
  void portRemoved(const std::wstring& name) { portChanged(name, false); }
  void devicesChanged();

  // ---- the send jobs. A press starts the job, or cancels it when it
  // runs; a job pressed while the port is closed opens it, starts once it
  // is open and closes it when it ends. The content is taken at the press.
  void pressText(const std::function<std::wstring()>& text);
  // lines: called on the job's thread, the hex pane's display lines, or
  // its paragraphs (lines as typed) when asked for: with a check chosen,
  // each paragraph is a frame. Empty once busy is found cleared.
  using HexLines = std::function<std::vector<std::wstring>(const Flag& busy, bool paragraphs)>;
  void pressHex(HexLines lines);
  void pressSelection(const std::function<std::wstring()>& text, bool asHex);
  void pressFile(const std::wstring& fullName, const std::wstring& titleName);
  void cancel(JobKind job);

  // ---- the receive view
  // The oldest received text not shown yet (see ReceiveFeed::drain).
  void drain() { feed_.drain(); }
  // Everything received so far, before a command reads the view.
  void drainAll() { feed_.drainAll(); }
  // The program's own text, after what was received before it.
  void say(const std::wstring& text) { feed_.append(text); }
  void replaceView(const std::wstring& text) { feed_.replaceAll(text); }
  void clearView() { feed_.clear(); }
  // Made on a worker (a slow drive), then said in the order asked for.
  void report(std::function<std::wstring()> make) { reports_.add(std::move(make)); }

  // ---- the window's messages
  void onSignal(Signal signal, int detail);
  // Now and then while the port is opening or open, in case a signal could
  // not be made.
  void tick();
  // At exit, with the window gone: everything stops within ms in all.
  // False when a worker is still inside a call it cannot leave (a driver
  // that keeps a call, a file read on a stalled share): it may still use
  // the session, so the process must end without destroying it.
  bool exit(uint32_t ms);
  // The exit's deadline when nobody gives one.
  static constexpr uint32_t kExitMs = 3000;

  // ---- what the window shows and asks
  SessionView view() const;
  std::wstring title() { return title_.compose(delayMode_); }
  TitleParts& titleParts() { return title_; }
  const PortEntries& ports() const { return ports_; }
  // The chosen port's place in the list, -1 when it is not listed.
  int chosenPort() const { return ports_.findPort(portName_); }
  const JobRunner& jobs() const { return jobs_; }
  JobRunner& jobs() { return jobs_; }
  bool portOpen() const { return state_ == PortState::Open; }
  bool hexView() const { return hexView_ != 0; }

 private:
  enum class PortState : uint8_t { Closed, Opening, Open };

  void portChanged(const std::wstring& name, bool arrived);
  void onPortLost();
  void onJobEnded();
  void onOpenDone();
  // Text goes to the line in UTF-8 or the code page, as received text is read.
  TextEncoder textEncoder() const;

  // What the jobs write, shown in the receive view while that is chosen.
  class Echo final : public SendEcho {
   public:
    explicit Echo(Session& session) : s_(session) {}
    bool wanted() override;
    void text(const std::wstring& line, const std::string& bytes) override;
    void bytes(const uint8_t* data, std::size_t n) override;

   private:
    Session& s_;
  };

  void beginOpen();
  // A lost port the user had opened: waited for when reconnecting is on.
  void waitForLostPort(const std::wstring& name);
  // The wait ends, and an open it began is abandoned.
  void endWait();
  // Opens the port waited for, as the wait's attempt.
  void tryReconnect();
  // Now and then while waiting: the next attempt, or the end of the wait.
  void reconnectTick();
  // DTR (dtr) or RTS of the open port to the level chosen.
  void changeModemLine(bool dtr);
  // From any state to closed: an open under way is abandoned.
  void closePort();
  // An open or opening port is opened again with the current choice;
  // readerDone: its reader has had its last pass already.
  void reopen(bool readerDone);
  // Reads the list again; a chosen port no longer listed counts as closed.
  void rescan();
  // The one way every transfer stops: the reader, each job, each job
  // waiting for the port to open.
  void stopAllJobs();
  // A new log file for the chosen port, when logging is on and none is
  // kept; the current one ends.
  void startLog();
  void endLog();
  // The writer's news of a file, on the window's thread.
  void onLogStarted(int file, const std::wstring& path);
  void onLogEnded(const std::wstring& path, uint64_t bytes);
  void onLogFailed(int file, const std::wstring& path, const std::wstring& why);
  void press(JobKind job, const std::function<JobRunner::Body()>& make);
  void launchWaitingJobs();
  // A job waiting for the port that will not run: idle again, and ended.
  void dropWaitingJob(JobKind job);

  Clock& clock_;
  SessionHost& host_;
  const std::function<void(PortEntries&)> scanPorts_;
  const TextEncoder encode_;
  const OpenByteSource openFile_;
  const ReceiveDecoder::LeadByteTest isLead_;
  const ReceiveDecoder::Converter decode_;
  WallClock& wall_;

  // The choices. The two numbers are read by the jobs at every decision
  // point and pause; everything else is the window's thread's.
  std::wstring portName_ = L"COM100";
  LineValues line_;
  std::atomic<DelayMode> delayMode_{DelayMode::Off};
  std::atomic<int32_t> delayMs_{0};
  Flag hexView_{0};  // read by the reader for every read
  ReceiveOptions receiveOptions_;
  bool logging_ = false;
  int logFile_ = 0;        // the log file kept now (the writer's number), 0 none
  std::wstring logPort_;   // its port
  std::wstring logPath_;   // its path, once made
  LineEnd lineEnd_ = LineEnd::AsIs;
  Checksum checksum_ = Checksum::None;
  bool reconnect_ = false;
  // What the open port's DTR and RTS were last set to, where known.
  std::optional<bool> appliedDtr_;
  std::optional<bool> appliedRts_;
  // A refused rate is said once, not at every open that fails with it.
  int32_t refusedRateSaid_ = 0;
  std::wstring waitingFor_;  // the lost port waited for; empty when none
  uint32_t waitSinceMs_ = 0;
  uint32_t lastTryMs_ = 0;
  bool reconnecting_ = false;  // the open under way is the wait's

  PortState state_ = PortState::Closed;
  bool openedBySend_ = false;
  PortEntries ports_;
  std::array<JobRunner::Body, kJobKindCount> waiting_;  // jobs pressed while the port opens

  TitleParts title_;
  // Declared before the reader, so it outlives the reader that taps every
  // read into it.
  std::unique_ptr<LogWriter> log_;
  SerialChannel channel_;
  ReceiveWorker receiver_;
  ReceiveFeed feed_;
  JobRunner jobs_;
  ReportWorker reports_;
  PortOpener opener_;
  LineControl lineControl_;
  Echo echo_{*this};
};

}  // namespace tv
