// The one top-level window: a modeless dialog with five rich-edit views,
// the buttons and the splitter. It owns the session and turns window
// messages into its calls, shows what the session shows, and keeps the
// windows, menus and layout.
#pragma once

#include <windows.h>
#include <richedit.h>
#include <shellapi.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/FocusKeeper.h"
#include "base/PaneSplitter.h"
#include "base/BoundedView.h"
#include "base/ResizeManager.h"
#include "app/Settings.h"
#include "app/UiBridge.h"
#include "base/WinHandles.h"
#include "serial/Win32Comm.h"
#include "session/Session.h"
#include "session/Win32LogFiles.h"
#include "settings/SettingsStore.h"

namespace tv {

// Its handlers are spread over the files of src/app by what they handle;
// each section below names its file.
class MainDialog {
 public:
  MainDialog();
  // On another port interface and port list than the system's: for tests.
  MainDialog(CommApi& comm, std::function<void(PortEntries&)> scanPorts);
  ~MainDialog();
  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  // ---- MainDialog.cpp
  // Creates the window from template 129; WM_INITDIALOG runs inside.
  HWND create(HINSTANCE instance);
  HWND hwnd() const { return hwnd_; }
  // After the message loop, the window gone: everything stops within
  // Session::kExitMs. False when a worker is still inside a call it cannot leave:
  // the process must then end without destroying what it uses.
  bool shutdown();

  // ---- MessageFilter.cpp
  // The message loop's pre-translation filter: true when the message is
  // consumed.
  bool preTranslate(MSG& msg);

  // ---- Views.cpp
  // An allocation failed (any thread's, told here): the receive view
  // makes room.
  void onOutOfMemory();

  // ---- FileDrops.cpp
  // Loads the first dropped file (a shortcut's target); releases the drop.
  void loadDroppedFile(HDROP drop);

  HWND hexPane() const { return hexPane_; }
  HWND receiveView() const { return receiveText_.hwnd(); }
  HWND textPane() const { return textPane_; }
  HWND statusView() const { return statusView_; }
  HWND delayBox() const { return delayBox_; }
  Session& session() { return session_; }
  // What the session shows, shown now.
  void render();

 private:
  // Turns the title's activity character, and looks after the session,
  // while the port is opening or open.
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
  void onSignal(WPARAM wp, LPARAM lp);
  BOOL onInitDialog();
  void close();
  void onTimer(UINT_PTR id);
  void onActivateApp(bool active);
  void rebuildTitle();

  // ---- Commands.cpp: the routing table for WM_COMMAND (false when no
  // row matched) and the commands that make choices.
  bool routeCommand(WORD code, WORD id, HWND control);
  void onLineSettingCommand(int id);
  void onPortCommand(int id);
  void onDelayModeCommand(int id);
  void onOptionCommand(int id);
  // Alt+E and Alt+R.
  void toggleModemLine(bool dtr);
  // The session learns the option that changed (with the others it goes
  // with).
  void applyOptions(SettingId changed);
  void onDelayBoxUpdate();
  void pressJob(JobKind job);
  void onTopMost();
  void onTopMostCommand(HWND control);
  void hookTopMostButton();

  // ---- DeviceEvents.cpp
  LRESULT onDeviceChange(WPARAM event, LPARAM record);

  // ---- ContextMenu.cpp
  void onContextMenu(int x, int y);

  // ---- MessageFilter.cpp: keyboard and mouse, seen by the filter.
  bool onKeyDown(MSG& msg);
  void onAltCommand(unsigned key);
  void onFirstAltPress(unsigned key);
  void insertHexBlankIfNeeded();
  bool filterChar(MSG& msg);
  void onSplitterMouse(UINT message);

  // ---- FunctionKeys.cpp
  void onFunctionKey(unsigned key);

  // ---- EditCommands.cpp: the edit commands of the right-click menu.
  void onEditCommand(int id);
  HWND menuTarget() const;
  // The menu target's selection, for the selection job.
  std::wstring selectedText() const;

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

  void saveSetting(SettingId id) { SaveSetting(store_, id, choices_); }

  HWND hwnd_ = nullptr;
  Win32Comm comm_;
  SettingsStore store_;
  Choices choices_;            // UI thread
  UiBridge bridge_;
  BoundedView receiveText_;    // the receive view, written only through the session
  Win32LogFiles logFiles_;     // where the receive log goes
  Session session_;

  PaneSplitter splitter_;   // UI thread, as everything below
  FocusKeeper focus_;
  ResizeManager resizer_;
  int menuTargetId_ = 0;    // the pane under the last right-click
  bool selectAllFirst_ = false;  // it had no selection then
  int spinnerIndex_ = 0;
  SessionView shown_;       // what render() last showed
  bool shownOnce_ = false;
  bool topMostShown_ = false;

  UniqueIcon bigIcon_;
  UniqueIcon smallIcon_;
  HCURSOR sizeCursor_ = nullptr;
  const wchar_t* viewFace_ = L"";
  HWND hexPane_ = nullptr;
  HWND textPane_ = nullptr;
  HWND statusView_ = nullptr;
  HWND delayBox_ = nullptr;

  bool selectionFromHexPane_ = false;
  bool fileDialogFree_ = true;
  bool cursorOverSplitter_ = false;
  bool splitterDragging_ = false;
};

}  // namespace tv
