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
#include "app/PaneSplitter.h"
#include "app/ResizeManager.h"
#include "app/UiBridge.h"
#include "app/WinHandles.h"

namespace tv {

enum class SettingId : int {
  PortName = 0,
  TopMost = 1,
  DelayType = 2,
  DelayTime = 3,
  BaudRate = 4,
  Parity = 5,
  DataBits = 6,
  StopBits = 7,
  FlowControl = 8,
  LoadedFile = 9,
};

class MainDialog {
 public:
  // Capacities of the loaded file's names, terminator included.
  static constexpr int kFullNameUnits = 616;
  static constexpr int kTitleNameUnits = 612;

  MainDialog();
  ~MainDialog();
  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  // Creates the window from template 129; WM_INITDIALOG runs inside.
  HWND create(HINSTANCE instance);
  HWND hwnd() const { return hwnd_; }

  // The message loop's pre-translation filter: true when the message is
  // consumed.
  bool preTranslate(MSG& msg);

  // After the message loop: stop the workers and let go of the port, so
  // nothing still runs while static objects are destroyed.
  void shutdown();

  // ---- port control (UI thread)
  void togglePort();
  void reopenPort();
  void stopAllJobs();
  void startOrCancelJob(JobKind job);

  // ---- status and title
  void refreshStatus();       // UI thread
  void requestRefresh();      // any thread; waits for the refresh
  void rebuildTitle();        // UI thread
  void setProgress(const std::wstring& text);  // any thread; title follows

  // ---- settings
  void saveSetting(SettingId id);
  // Asks first; removes the whole settings key when the user agrees.
  void clearSettings();

  // ---- files (UI thread)
  // Loads the first dropped file (a shortcut's target); releases the drop.
  void loadDroppedFile(HDROP drop);

  // ---- reports into the receive view (UI thread)
  void reportPorts();
  void reportDisks();
  void reportLoadedFile();

  // The views, looked up once at initialisation.
  HWND hexPane() const { return hexPane_; }
  HWND receiveView() const { return receiveView_; }
  HWND textPane() const { return textPane_; }
  HWND statusView() const { return statusView_; }
  HWND delayBox() const { return delayBox_; }

  UiBridge& bridge() { return bridge_; }

  // Thread entries (started by the port control).
  static void ReceiveThreadMain(void* self);
  static void JobThreadMain(void* start);

 private:
  static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
  INT_PTR handleMessage(UINT msg, WPARAM wp, LPARAM lp);
  // The routing table for WM_COMMAND; false when no row matched.
  bool routeCommand(WORD code, WORD id, HWND control);

  BOOL onInitDialog();
  void restoreSettings();
  void initViews();
  void applyHexPaneFormat();
  void close();
  void onTimer(UINT_PTR id);
  void onActivateApp(bool active);
  LRESULT onDeviceChange(WPARAM event, LPARAM record);
  LRESULT onNotify(const NMHDR* header);
  void onContextMenu(int x, int y);
  void onJobEnded(JobKind job);

  // Keyboard and mouse, seen by the pre-translation filter.
  bool onKeyDown(MSG& msg);
  void onAltCommand(unsigned key);
  void insertHexBlankIfNeeded();
  bool filterChar(MSG& msg);
  void onSplitterMouse(UINT message);
  void onFunctionKey(unsigned key);

  // Buttons and edit commands.
  void onTopMost();
  void onTopMostCommand(HWND control);
  void hookTopMostButton();
  void onReceiveMode();
  void onClearReceive();
  void onEditCommand(int id);
  HWND menuTarget() const;

  // Line settings and ports.
  void onLineSettingCommand(int id);
  void onPortCommand(int id);
  void onDelayModeCommand(int id);
  void onDelayBoxUpdate();
  void onSlotCommand(int id);

  // Files.
  void loadFileByDialog();
  void hookDropTargets();

  // Worker threads.
  void startReceiveThread();
  void waitForReceiveThread();
  void runReceive();
  void runTextSend();
  void runHexSend();
  void runSelectionSend();
  void runFileSend();
  void beginJob(Flag& busy, Flag& idle, bool pauses);
  void endJob(JobKind job);
  // A job's wait of the delay box's milliseconds; ends early once busy is cleared.
  void pause(const Flag& busy);

  HWND hwnd_ = nullptr;
  PaneSplitter splitter_;   // UI thread
  ResizeManager resizer_;   // UI thread
  UiBridge bridge_;
  int portCount_ = 0;       // UI thread: bounds the port command range

  // Worker threads. The receive thread is waited for before another one
  // starts; the job threads only at shutdown. UI thread only.
  UniqueHandle receiveThread_;
  UniqueHandle jobThread_;
  DWORD receiveThreadId_ = 0;
  DWORD jobThreadId_ = 0;

  HCURSOR sizeCursor_ = nullptr;
  const wchar_t* viewFace_ = L"";  // UI thread
  HWND hexPane_ = nullptr;
  HWND receiveView_ = nullptr;
  HWND textPane_ = nullptr;
  HWND statusView_ = nullptr;
  HWND delayBox_ = nullptr;

  // Selection captured for the selection job and the quick slots.
  CHARRANGE selectionRange_{};  // UI thread
  std::atomic<uint8_t> selectionFromHexPane_{0};  // UI thread writes before the job starts
  bool fileDialogFree_ = true;                    // UI thread
  bool cursorOverSplitter_ = false;               // UI thread
  bool splitterDragging_ = false;                 // UI thread
  std::atomic<uint8_t> fileLoaded_{0};            // UI thread writes; file job reads

  UniqueHandle cancelEvent_;  // manual reset: cuts a job's pause short

  // The loaded file. Written by the UI thread only while no file send
  // runs; the file job reads them.
  wchar_t loadedFileFullName_[kFullNameUnits] = {};
  wchar_t loadedFileTitleName_[kTitleNameUnits] = {};
};

}  // namespace tv
