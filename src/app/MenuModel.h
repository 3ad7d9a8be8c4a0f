// The right-click menus as plain data: what the window shows is built from
// this description, so the rules that decide the items can be checked
// without a window.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "app/LineItems.h"

namespace tv {

struct MenuItem {
  enum class Kind { Command, Separator, Popup };
  Kind kind = Kind::Command;
  int id = 0;  // command id; 0 for separators and popups
  std::wstring text;
  bool checked = false;
  bool grayed = false;
  std::vector<MenuItem> children;  // popups only

  static MenuItem Command(int id, std::wstring text) { return MenuItem{Kind::Command, id, std::move(text), false, false, {}}; }
  static MenuItem Separator() { return MenuItem{Kind::Separator, 0, L"", false, false, {}}; }
  static MenuItem Popup(std::wstring text, std::vector<MenuItem> children) {
    return MenuItem{Kind::Popup, 0, std::move(text), false, false, std::move(children)};
  }
};

using Menu = std::vector<MenuItem>;

// Searches popups too, as the platform's by-command operations do. Returns
// null when no item has the id.
MenuItem* FindCommand(Menu& menu, int id);
void CheckCommand(Menu& menu, int id);
void GrayCommand(Menu& menu, int id);
void SetCommandText(Menu& menu, int id, const std::wstring& text);

// The menu resources' contents: 201's popup (edit menu), 202's popup
// (line settings) and 210's popup (delay modes).
Menu EditMenuTemplate();
Menu LineMenuTemplate();
Menu DelayMenuTemplate();

struct SlotValues {
  std::optional<std::wstring> label;    // "saveIndexNN"
  std::optional<std::wstring> content;  // "存档NN"
};

// A quick slot's item text in the "记忆" popup.
std::wstring SlotItemText(int slot, const SlotValues& values);

// An item's text as the platform's menus are to show it. They read "&" as
// the mark of a shortcut letter, so a literal one (a stored "AT&F", a file
// named "R&D.txt") is doubled.
std::wstring MenuLabel(const std::wstring& text);

// Everything the menus depend on.
struct MenuFacts {
  int targetId = 0;  // 1005, 1006, 1010, 1012 or 0
  bool textSendBusy = false;
  bool hexSendBusy = false;
  bool fileSendBusy = false;
  bool selectionSendBusy = false;
  int delayModeItem = kDelayOffItem;
  std::vector<std::wstring> ports;  // list entries, in list order
  int currentPort = -1;             // index of the chosen port, -1 when not listed
  LineSelection line;
  bool fileLoaded = false;
  std::wstring loadedFileTitle;
  bool selectionEmpty = true;
  std::array<SlotValues, 31> slots;
  // The options' items checked (their ids, or flags).
  bool logToFile = false;
  bool timestamps = false;
  bool utf8 = false;
  bool echoSent = false;
  bool ansiColors = false;
  int frameGapItem = kNoFrameGapItem;
  int dtrItem = kDtrFollowItem;
  int rtsItem = kRtsFollowItem;
  bool autoReconnect = false;
  int lineEndItem = kAsIsLineEndItem;
  int checksumItem = kNoChecksumItem;
  bool breakAllowed = false;  // the port is open and no send runs
};

struct ContextMenuPlan {
  bool show = false;           // false: no menu at all
  bool selectAllFirst = false; // copy and cut then act on the whole text
  bool changesSelectAll = false;  // whether selectAllFirst is to be updated
  Menu items;                  // the popup that is tracked
};

ContextMenuPlan PlanContextMenu(const MenuFacts& facts);

}  // namespace tv
