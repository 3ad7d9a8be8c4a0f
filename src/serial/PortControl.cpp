// Opening and closing the port, and starting and stopping the workers.
#include <process.h>

#include "app/AppState.h"
#include "app/MainDialog.h"
#include "serial/SerialChannel.h"

namespace tv {
namespace {

struct JobStart {
  MainDialog* dialog;
  JobKind job;
};

Flag& IdleFlag(JobKind job) {
  AppState& app = App();
  switch (job) {
    case JobKind::Text: return app.textSendIdle;
    case JobKind::Hex: return app.hexSendIdle;
    case JobKind::Selection: return app.selectionSendIdle;
    case JobKind::File: break;
  }
  return app.fileSendIdle;
}

Flag& BusyFlag(JobKind job) {
  AppState& app = App();
  switch (job) {
    case JobKind::Text: return app.textSendBusy;
    case JobKind::Hex: return app.hexSendBusy;
    case JobKind::Selection: return app.selectionSendBusy;
    case JobKind::File: break;
  }
  return app.fileSendBusy;
}

HANDLE StartThread(unsigned(__stdcall* entry)(void*), void* arg, DWORD* id) {
  unsigned threadId = 0;
  uintptr_t h = _beginthreadex(nullptr, 0, entry, arg, 0, &threadId);
  *id = threadId;
  return reinterpret_cast<HANDLE>(h);
}

unsigned __stdcall ReceiveEntry(void* self) {
  MainDialog::ReceiveThreadMain(self);
  return 0;
}

unsigned __stdcall JobEntry(void* param) {
  MainDialog::JobThreadMain(param);
  return 0;
}

}  // namespace

void MainDialog::togglePort() {
  AppState& app = App();
  SerialPort& serial = Serial();
  int index = serial.ports.findPort(app.portName);
  if (index < 0) return;
  if (app.portOpen) {
    serial.channel.closeChannel();
    app.portOpen = serial.channel.isOpen() ? 1 : 0;
    stopAllJobs();
  } else {
    bool opened = serial.channel.openChannel(serial.ports.portNameAt(index), LookupLineValues(app.line));
    app.portOpen = opened ? 1 : 0;
    stopAllJobs();
    if (opened) startReceiveThread();
  }
  refreshStatus();
}

void MainDialog::reopenPort() {
  AppState& app = App();
  SerialPort& serial = Serial();
  int index = serial.ports.findPort(app.portName);
  if (!app.portOpen) return;
  stopAllJobs();
  serial.channel.closeChannel();
  if (index < 0) {
    app.portOpen = 0;
  } else {
    app.portOpen = serial.channel.openChannel(serial.ports.portNameAt(index), LookupLineValues(app.line)) ? 1 : 0;
  }
  if (app.portOpen) startReceiveThread();
}

void MainDialog::stopAllJobs() {
  AppState& app = App();
  SetEvent(cancelEvent_.get());
  app.receiveRunning = 0;
  app.textSendBusy = 0;
  app.hexSendBusy = 0;
  app.fileSendBusy = 0;
  app.selectionSendBusy = 0;
}

void MainDialog::startOrCancelJob(JobKind job) {
  AppState& app = App();
  if (job == JobKind::Selection && app.selectAllFirst) return;
  if (job == JobKind::File && !fileLoaded_) return;

  if (!app.portOpen) {
    togglePort();
    if (!app.portOpen) {
      app.portOpenedBySend = 0;
      return;
    }
    app.portOpenedBySend = 1;
  }

  Flag& idle = IdleFlag(job);
  Flag& busy = BusyFlag(job);
  if (idle) {
    // Marked here as well as by the job itself, so a second press that
    // arrives before the thread runs cancels instead of starting another.
    busy = 1;
    idle = 0;
    DWORD id = 0;
    HANDLE h = StartThread(JobEntry, new JobStart{this, job}, &id);
    if (h == nullptr) {
      busy = 0;
      idle = 1;
      onJobEnded(job);
      return;
    }
    jobThread_.reset(h);
    jobThreadId_ = id;
  } else if (busy) {
    busy = 0;
    if (job == JobKind::Text || job == JobKind::Hex) SetEvent(cancelEvent_.get());
  }
}

void MainDialog::startReceiveThread() {
  waitForReceiveThread();
  // Set before the thread exists, so a stop that comes before its first
  // pass still ends it.
  App().receiveRunning = 1;
  App().receiveIdle = 0;
  DWORD id = 0;
  HANDLE h = StartThread(ReceiveEntry, this, &id);
  if (h == nullptr) {
    App().receiveRunning = 0;
    App().receiveIdle = 1;
    return;
  }
  receiveThread_.reset(h);
  receiveThreadId_ = id;
}

void MainDialog::waitForReceiveThread() {
  if (!receiveThread_) return;
  HANDLE h = receiveThread_.get();
  // The ending thread may be waiting for this thread to insert its last
  // text: keep handling sent messages (only those) while waiting.
  for (;;) {
    DWORD r = MsgWaitForMultipleObjects(1, &h, FALSE, INFINITE, QS_SENDMESSAGE);
    if (r != WAIT_OBJECT_0 + 1) break;
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  receiveThread_.reset();
}

void MainDialog::JobThreadMain(void* param) {
  JobStart start = *static_cast<JobStart*>(param);
  delete static_cast<JobStart*>(param);
  switch (start.job) {
    case JobKind::Text: start.dialog->runTextSend(); break;
    case JobKind::Hex: start.dialog->runHexSend(); break;
    case JobKind::Selection: start.dialog->runSelectionSend(); break;
    case JobKind::File: start.dialog->runFileSend(); break;
  }
}

void MainDialog::endJob(JobKind job) {
  BusyFlag(job) = 0;
  IdleFlag(job) = 1;
  bridge_.postJobEnded(job);
}

}  // namespace tv
