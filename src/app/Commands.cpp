// The command routing table, and the commands that make a choice: line
// settings, ports, delay modes and the delay box, the send buttons, the
// topmost box.
#include "base/DisplayLines.h"
#include "app/CustomBaud.h"
#include "app/MainDialog.h"
#include "app/QuickSlots.h"
#include "base/RichEdit.h"
#include "resources/resource.h"

namespace tv {
namespace {

// Nonzero while the "最前端" box handles the release of a click or of the
// space bar: only then is its BN_CLICKED the user's. UI thread.
int g_topMostPress = 0;
WNDPROC g_topMostProc = nullptr;  // UI thread

LRESULT CALLBACK TopMostButtonProc(HWND button, UINT msg, WPARAM wp, LPARAM lp) {
  bool press = msg == WM_LBUTTONUP || (msg == WM_KEYUP && wp == VK_SPACE);
  if (press) ++g_topMostPress;
  LRESULT result = CallWindowProcW(g_topMostProc, button, msg, wp, lp);
  if (press) --g_topMostPress;
  return result;
}

}  // namespace

bool MainDialog::routeCommand(WORD code, WORD id, HWND control) {
  if (code == EN_ERRSPACE) {
    // The receive view's copy has no id yet: known by its handle.
    receiveText_.noteNoSpace(control);
  } else if (id == IDC_HEX_SEND) {
    pressJob(JobKind::Hex);
  } else if (id == IDC_TEXT_SEND) {
    if (code != BN_CLICKED) return true;
    pressJob(JobKind::Text);
  } else if (id == IDCANCEL) {
    close();
  } else if (id == IDC_TOPMOST) {
    onTopMostCommand(control);
  } else if (id == IDC_PORT_BUTTON) {
    session_.togglePort();
  } else if (id == IDC_RECEIVE_MODE) {
    session_.toggleView();
  } else if (id == IDC_CLEAR_RECEIVE) {
    if (code == BN_CLICKED) session_.clearView();
  } else if (id == ID_CANCEL_SELECTION) {
    session_.cancel(JobKind::Selection);
  } else if (id == ID_SEND_SELECTION) {
    if (!selectAllFirst_) {
      selectionFromHexPane_ = menuTargetId_ == IDC_HEX_PANE;
      pressJob(JobKind::Selection);
    }
  } else if (id == ID_CLEAR || id == ID_SELECT_ALL || id == ID_CLEAR_ALL || id == ID_COPY || id == ID_CUT ||
             id == ID_PASTE || id == ID_CLEAR_AND_PASTE) {
    onEditCommand(id);
  } else if (id == ID_LOAD_FILE) {
    loadFileByDialog();
  } else if (id == ID_SEND_FILE) {
    pressJob(JobKind::File);
  } else if (id == IDC_DELAY_BOX) {
    if (code == EN_UPDATE || code == EN_CHANGE) onDelayBoxUpdate();
  } else if (KindOfCommand(id) != LineSettingKind::None) {
    onLineSettingCommand(id);
  } else if (id >= ID_PORT_FIRST && id < ID_PORT_FIRST + session_.ports().count()) {
    onPortCommand(id);
  } else if (IsDelayModeItem(id)) {
    onDelayModeCommand(id);
  } else if ((id >= ID_LOG_TO_FILE && id <= ID_ANSI_COLORS) || IsFrameGapItem(id) || IsLineEndItem(id) ||
             IsChecksumItem(id) || IsDtrItem(id) || IsRtsItem(id) || id == ID_BREAK || id == ID_AUTO_RECONNECT) {
    onOptionCommand(id);
  } else if (id >= ID_SLOT_FIRST && id <= ID_SLOT_LAST) {
    HWND target = menuTarget();
    RunSlotCommand(store_, id - ID_SLOT_FIRST, target,
                   target != nullptr && (target == hexPane_ || target == textPane_),
                   [this](HWND pane) { return clearView(pane); });
  } else {
    return false;
  }
  return true;
}

void MainDialog::onLineSettingCommand(int id) {
  if (id == ID_CUSTOM_BAUD) {
    uint32_t rate = choices_.options.customBaud;
    if (!AskCustomBaud(hwnd_, rate)) return;
    // A rate of the list is that item's.
    if (int32_t listed = BaudItemOf(rate)) {
      id = listed;
    } else {
      choices_.options.customBaud = rate;
      saveSetting(SettingId::CustomBaudRate);
    }
  }
  LineSelection& line = choices_.line;
  SettingId setting = SettingId::BaudRate;
  switch (KindOfCommand(id)) {
    case LineSettingKind::BaudRate: line.baudItem = id; setting = SettingId::BaudRate; break;
    case LineSettingKind::DataBits: line.dataBitsItem = id; setting = SettingId::DataBits; break;
    case LineSettingKind::StopBits: line.stopBitsItem = id; setting = SettingId::StopBits; break;
    case LineSettingKind::Parity: line.parityItem = id; setting = SettingId::Parity; break;
    case LineSettingKind::FlowControl: line.flowItem = id; setting = SettingId::FlowControl; break;
    case LineSettingKind::None: return;
  }
  session_.chooseLine(LineValuesOf(choices_));
  saveSetting(setting);
}

void MainDialog::onOptionCommand(int id) {
  Options& o = choices_.options;
  SettingId setting = SettingId::LogToFile;
  auto flip = [&setting](bool& flag, SettingId which) {
    flag = !flag;
    setting = which;
  };
  auto pick = [&setting, id](int32_t& item, SettingId which) {
    item = id;
    setting = which;
  };
  switch (id) {
    case ID_LOG_TO_FILE: flip(o.logToFile, SettingId::LogToFile); break;
    case ID_TIMESTAMPS: flip(o.timestamps, SettingId::Timestamps); break;
    case ID_UTF8: flip(o.utf8, SettingId::Utf8); break;
    case ID_ECHO_SENT: flip(o.echoSent, SettingId::EchoSent); break;
    case ID_ANSI_COLORS: flip(o.ansiColors, SettingId::AnsiColors); break;
    case ID_AUTO_RECONNECT: flip(o.autoReconnect, SettingId::AutoReconnect); break;
    case ID_BREAK:
      session_.sendBreak();
      return;
    default:
      if (IsFrameGapItem(id)) pick(o.frameGapItem, SettingId::FrameGap);
      if (IsLineEndItem(id)) pick(o.lineEndItem, SettingId::TextLineEnd);
      if (IsChecksumItem(id)) pick(o.checksumItem, SettingId::HexChecksum);
      if (IsDtrItem(id)) pick(o.dtrItem, SettingId::Dtr);
      if (IsRtsItem(id)) pick(o.rtsItem, SettingId::Rts);
      break;
  }
  saveSetting(setting);
  applyOptions(setting);
}

void MainDialog::toggleModemLine(bool dtr) {
  // A line the flow mode owns is the driver's.
  const int32_t flowMode = FlowControlItems().valueOf(choices_.line.flowItem);
  if (flowMode == (dtr ? 2 : 1)) return;
  // The first press goes to the level opposite the one last applied; on
  // when that is not known.
  const std::optional<bool> applied = dtr ? session_.appliedDtr() : session_.appliedRts();
  const bool on = !(applied && *applied);
  onOptionCommand(dtr ? (on ? ID_DTR_ON : ID_DTR_OFF) : (on ? ID_RTS_ON : ID_RTS_OFF));
}

void MainDialog::applyOptions(SettingId changed) {
  const Options& o = choices_.options;
  switch (changed) {
    case SettingId::LogToFile:
      session_.chooseLogging(o.logToFile);
      break;
    case SettingId::Dtr:
    case SettingId::Rts:
      session_.chooseModemLines(LineLevelOf(o.dtrItem), LineLevelOf(o.rtsItem));
      break;
    case SettingId::AutoReconnect:
      session_.chooseReconnect(o.autoReconnect);
      break;
    case SettingId::TextLineEnd:
    case SettingId::HexChecksum:
      session_.chooseSendEnds(LineEndOf(o.lineEndItem), ChecksumOf(o.checksumItem));
      break;
    default:
      session_.chooseReceiveOptions(
          ReceiveOptions{o.timestamps, o.utf8, o.echoSent, o.ansiColors, FrameGapMsOf(o.frameGapItem)});
      break;
  }
}

void MainDialog::onPortCommand(int id) {
  const PortEntries& ports = session_.ports();
  int index = id - ID_PORT_FIRST;
  if (index < 0 || index >= ports.count()) return;
  choices_.portName = ports.portNameAt(index);
  session_.choosePort(choices_.portName);
  saveSetting(SettingId::PortName);
}

void MainDialog::onDelayModeCommand(int id) {
  choices_.delayModeItem = id;
  session_.chooseDelayMode(DelayModeOf(id));
  saveSetting(SettingId::DelayType);
  rebuildTitle();
}

void MainDialog::onDelayBoxUpdate() {
  // The box reports every repaint as an update, not only edits, and an
  // edit as a change too: a number that did not change is not written
  // again (and a first start leaves the key empty). Jobs read the number
  // at every pause.
  int32_t typed = ParseDelayText(GetRichText(delayBox_).c_str());
  if (typed == choices_.delayTimeMs) return;
  choices_.delayTimeMs = typed;
  session_.chooseDelayTime(typed);
  saveSetting(SettingId::DelayTime);
}

void MainDialog::pressJob(JobKind job) {
  switch (job) {
    case JobKind::Text:
      session_.pressText([this] { return GetRichText(textPane_); });
      break;
    case JobKind::Hex: {
      HWND pane = hexPane_;
      session_.pressHex([this, pane](const Flag& busy, bool paragraphs) {
        return paragraphs ? CopyParagraphs(bridge_, pane, busy) : CopyDisplayLines(bridge_, pane, busy);
      });
      break;
    }
    case JobKind::Selection:
      if (selectAllFirst_) return;
      session_.pressSelection([this] { return selectedText(); }, selectionFromHexPane_);
      break;
    case JobKind::File:
      if (!choices_.file.loaded) return;
      session_.pressFile(choices_.file.fullName, choices_.file.titleName);
      break;
  }
}

// A radio button also reports a click whenever it gets the focus while
// unchecked: from the arrow keys, or from the dialog handing the focus back
// when the window is activated. Taken for a toggle, that turned topmost back
// on by itself and stored it.
void MainDialog::hookTopMostButton() {
  g_topMostProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
      GetDlgItem(hwnd_, IDC_TOPMOST), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TopMostButtonProc)));
}

void MainDialog::onTopMostCommand(HWND control) {
  // A command that does not come from the box itself still toggles.
  if (control == GetDlgItem(hwnd_, IDC_TOPMOST) && g_topMostPress == 0) return;
  onTopMost();
}

void MainDialog::onTopMost() {
  choices_.topMost = !choices_.topMost;
  saveSetting(SettingId::TopMost);
  render();
}

}  // namespace tv
