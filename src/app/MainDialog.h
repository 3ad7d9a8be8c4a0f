// The one top-level window: a modeless dialog with five rich-edit views,
// the buttons, the splitter, and every handler the message map routes to.
#pragma once

#include <windows.h>
#include <richedit.h>
#include <shellapi.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "app/AppState.h"
#include "app/Globals.h"
#include "app/JobRunner.h"
#include "app/PaneSplitter.h"
#include "app/ReportWorker.h"
#include "app/ResizeManager.h"
#include "app/ReceiveView.h"
#include "app/Settings.h"
#include "app/UiBridge.h"
#include "base/WinHandles.h"
#include "send/LoadedFile.h"
#include "serial/ReceiveFeed.h"
#include "serial/ReceiveWorker.h"

namespace tv {

// Its handlers are spread over the files of src/app by what they handle;
// each section below names its file.
class MainDialog {
 public:
  MainDialog();
  ~MainDialog();
  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  // ---- MainDialog.cpp
  // Creates the window from template 129; WM_INITDIALOG runs inside.
  HWND create(HINSTANCE instance);
  HWND hwnd() const { return hwnd_; }
  // After the message loop: stop the workers and let go of the port. False
  // when a worker is still running after its wait (a file read on a
  // stalled share, a driver that keeps a call): it may still use the
  // dialog and the static objects, so the process must end without
  // destroying them.
  bool shutdown();

  // ---- MessageFilter.cpp
  // The message loop's pre-translation filter: true when the message is
  // consumed.
  bool preTranslate(MSG& msg);

  // ---- Views.cpp
  // An allocation failed (any thread's, told here): the receive view
  // makes room.
  void onOutOfMemory();

  // ---- PortControl.cpp (UI thread)
  void togglePort();
  void reopenPort();
  void stopAllJobs();
  void startOrCancelJob(JobKind job);

  // ---- StatusLine.cpp, Title.cpp (UI thread)
  void refreshStatus();
  void rebuildTitle();

  // ---- FileDrops.cpp (UI thread)
  // Loads the first dropped file (a shortcut's target); releases the drop.
  void loadDroppedFile(HDROP drop);

  // The views, looked up once at initialisation.
  HWND hexPane() const { return hexPane_; }
  HWND receiveView() const { return receiveText_.hwnd(); }
  HWND textPane() const { return textPane_; }
  HWND statusView() const { return statusView_; }
  HWND delayBox() const { return delayBox_; }
  // The send jobs, to ask whether one runs.
  JobRunner& jobs() { return jobs_; }

 private:
  // Turns the title's activity character; set by the status refresh while
  // the port is open.
  static constexpr UINT_PTR kSpinnerTimer = 1;
  static constexpr UINT kSpinnerMs = 200;
  // Received text waits for the view.
  static constexpr UINT_PTR kReceiveTimer = 2;
  // Set on a device-tree change, so a burst of them costs one scan.
  static constexpr UINT_PTR kRescanTimer = 3;
  static constexpr UINT kRescanDelayMs = 500;

  // ---- MainDialog.cpp: the message map and the window's life.
  static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
  INT_PTR handleMessage(UINT msg, WPARAM wp, LPARAM lp);
  // The routing table for WM_COMMAND; false when no row matched.
  bool routeCommand(WORD code, WORD id, HWND control);
  BOOL onInitDialog();
  void close();
  void onTimer(UINT_PTR id);
  void onActivateApp(bool active);
  void onJobEnded(JobKind job);

  // ---- DeviceEvents.cpp
  LRESULT onDeviceChange(WPARAM event, LPARAM record);
  // A port came or went: every transfer stops and the list is read again.
  void onPortChange(const std::wstring& name, bool arrived);
  // The open port failed hard: stopped, closed and shown closed.
  void onPortLost();
  // Some device came or went a moment ago (reported without saying which,
  // and in bursts): the list is read again, and an open port that has left
  // it is handled as removed.
  void onDevicesChanged();

  // ---- ContextMenu.cpp
  void onContextMenu(int x, int y);

  // ---- MessageFilter.cpp: keyboard and mouse, seen by the filter.
  bool onKeyDown(MSG& msg);
  void onAltCommand(unsigned key);
  void insertHexBlankIfNeeded();
  bool filterChar(MSG& msg);
  void onSplitterMouse(UINT message);

  // ---- FunctionKeys.cpp
  void onFunctionKey(unsigned key);

  // ---- EditCommands.cpp: buttons and edit commands.
  void onTopMost();
  void onTopMostCommand(HWND control);
  void hookTopMostButton();
  void onReceiveMode();
  void onClearReceive();
  void onEditCommand(int id);
  HWND menuTarget() const;
  // The menu target's selection, for the selection job.
  std::wstring selectedText() const;

  // ---- LineCommands.cpp: line settings and ports.
  void onLineSettingCommand(int id);
  void onPortCommand(int id);

  // ---- Title.cpp: the delay mode and the delay box.
  void onDelayModeCommand(int id);
  void onDelayBoxUpdate();

  // ---- Views.cpp: the rich-edit views.
  void initViews();
  void setUpReceiveView(HWND view);
  void setUpPane(HWND pane, bool hex);
  void applyHexPaneFormat();
  // Empties a view; the receive view and the send panes by putting a new
  // control in their place, however much they hold. Returns the control
  // now in the view's place.
  HWND clearView(HWND view);
  // A send pane's whole text replaced, shown from its first line.
  void replacePaneText(HWND pane, const std::wstring& text);
  // ---- FileDrops.cpp
  LRESULT onNotify(const NMHDR* header);
  void loadFileByDialog();
  void hookDropTarget(HWND pane);
  void reportLoadedFile();

  // ---- Settings.cpp
  void saveSetting(SettingId id) { SaveSetting(id, App(), file_); }

  HWND hwnd_ = nullptr;
  PaneSplitter splitter_;   // UI thread
  ResizeManager resizer_;   // UI thread
  UiBridge bridge_;
  int portCount_ = 0;       // UI thread: bounds the port command range

  // The receive view, the reader that feeds it and the only way into it.
  ReceiveView receiveText_;
  ReceiveWorker receiver_;
  ReceiveFeed feed_;
  JobRunner jobs_;
  ReportWorker reports_;  // the volume lines and the disk report

  HCURSOR sizeCursor_ = nullptr;
  const wchar_t* viewFace_ = L"";  // UI thread
  HWND hexPane_ = nullptr;
  HWND textPane_ = nullptr;
  HWND statusView_ = nullptr;
  HWND delayBox_ = nullptr;

  bool selectionFromHexPane_ = false;  // UI thread, for the selection job
  bool fileDialogFree_ = true;         // UI thread
  bool cursorOverSplitter_ = false;    // UI thread
  bool splitterDragging_ = false;      // UI thread
  LoadedFile file_;                    // UI thread; a file send copies the names
};

}  // namespace tv
