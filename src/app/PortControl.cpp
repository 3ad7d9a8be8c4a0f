// Opening and closing the port, and starting and stopping the workers.
#include "app/AppState.h"
#include "app/MainDialog.h"
#include "app/SerialPort.h"
#include "base/RichEdit.h"
#include "send/BlockWriter.h"

namespace tv {

void MainDialog::togglePort() {
  AppState& app = App();
  SerialPort& serial = Serial();
  int index = serial.ports.findPort(app.portName);
  if (index < 0) return;
  if (app.portOpen) {
    serial.channel.closeChannel();
    app.portOpen = serial.channel.isOpen();
    stopAllJobs();
  } else {
    bool opened = serial.channel.openChannel(serial.ports.portNameAt(index), LookupLineValues(app.line));
    app.portOpen = opened;
    stopAllJobs();
    if (opened) receiver_.start(app.numberReceive);
  }
  refreshStatus();
}

void MainDialog::reopenPort() {
  AppState& app = App();
  SerialPort& serial = Serial();
  int index = serial.ports.findPort(app.portName);
  if (!app.portOpen) return;
  stopAllJobs();
  receiver_.wait(ReceiveWorker::kLastPassWaitMs);
  serial.channel.closeChannel();
  if (index < 0) {
    app.portOpen = false;
  } else {
    app.portOpen = serial.channel.openChannel(serial.ports.portNameAt(index), LookupLineValues(app.line));
  }
  if (app.portOpen) receiver_.start(app.numberReceive);
}

void MainDialog::stopAllJobs() {
  receiver_.stop();
  jobs_.cancelAll();
}

void MainDialog::startOrCancelJob(JobKind job) {
  AppState& app = App();
  if (job == JobKind::Selection && app.selectAllFirst) return;
  if (job == JobKind::File && !file_.loaded) return;

  if (!jobs_.idle(job)) {
    if (jobs_.busy(job)) jobs_.cancel(job);
    return;
  }

  if (!app.portOpen) {
    togglePort();
    if (!app.portOpen) {
      app.portOpenedBySend = false;
      return;
    }
    app.portOpenedBySend = true;
  }

  std::size_t cap = WriteCapBytes(LookupLineValues(app.line));
  bool started = false;
  switch (job) {
    case JobKind::Text: started = jobs_.startText(GetRichText(textPane_), cap); break;
    case JobKind::Hex: started = jobs_.startHex(cap); break;
    case JobKind::Selection: started = jobs_.startSelection(selectedText(), selectionFromHexPane_, cap); break;
    case JobKind::File: started = jobs_.startFile(file_, cap); break;
  }
  if (started) {
    refreshStatus();
  } else {
    onJobEnded(job);
  }
}

}  // namespace tv
