// The right-click menus: which pane was hit, what the menu holds in the
// current state, and showing it.
#include <windows.h>
#include <richedit.h>

#include "app/MainDialog.h"
#include "app/MenuModel.h"
#include "resources/resource.h"
#include "settings/SettingsStore.h"
#include "settings/StoredValues.h"

namespace tv {
namespace {

HMENU BuildMenu(const Menu& items) {
  HMENU menu = CreatePopupMenu();
  if (menu == nullptr) return nullptr;
  for (const MenuItem& item : items) {
    switch (item.kind) {
      case MenuItem::Kind::Separator:
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        break;
      case MenuItem::Kind::Popup:
        if (HMENU child = BuildMenu(item.children))
          AppendMenuW(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(child), MenuLabel(item.text).c_str());
        break;
      case MenuItem::Kind::Command: {
        UINT flags = MF_STRING | (item.checked ? MF_CHECKED : 0) | (item.grayed ? MF_GRAYED : 0);
        AppendMenuW(menu, flags, static_cast<UINT_PTR>(item.id), MenuLabel(item.text).c_str());
        break;
      }
    }
  }
  return menu;
}

// A point off every screen (a menu requested from far outside) is moved
// into the nearest monitor's work area, left to right.
int ClampX(int x, int y) {
  POINT pt{x, y};
  if (MonitorFromPoint(pt, MONITOR_DEFAULTTONULL) != nullptr) return x;
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (!GetMonitorInfoW(MonitorFromPoint(pt, MONITOR_DEFAULTTONEAREST), &info)) return x;
  if (x < info.rcWork.left) return info.rcWork.left;
  if (x >= info.rcWork.right) return info.rcWork.right - 1;
  return x;
}

}  // namespace

void MainDialog::onContextMenu(int x, int y) {
  menuTargetId_ = 0;
  // The context-menu key reports (-1, -1): no pane is meant.
  if (!(x == -1 && y == -1)) {
    POINT pt{x, y};
    for (int id : {IDC_RECEIVE_VIEW, IDC_TEXT_PANE, IDC_HEX_PANE, IDC_DELAY_BOX}) {
      RECT r;
      if (GetWindowRect(GetDlgItem(hwnd_, id), &r) && PtInRect(&r, pt)) menuTargetId_ = id;
    }
  }

  const JobRunner& jobs = session_.jobs();
  MenuFacts facts;
  facts.targetId = menuTargetId_;
  facts.textSendBusy = jobs.busy(JobKind::Text);
  facts.hexSendBusy = jobs.busy(JobKind::Hex);
  facts.fileSendBusy = jobs.busy(JobKind::File);
  facts.selectionSendBusy = jobs.busy(JobKind::Selection);
  facts.delayModeItem = choices_.delayModeItem;
  const PortEntries& ports = session_.ports();
  for (int i = 0; i < ports.count(); ++i) facts.ports.push_back(ports.entryAt(i));
  facts.currentPort = session_.chosenPort();
  facts.line = choices_.line;
  facts.fileLoaded = choices_.file.loaded;
  facts.loadedFileTitle = choices_.file.titleName;
  if (HWND target = menuTarget()) {
    CHARRANGE sel{};
    SendMessageW(target, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&sel));
    facts.selectionEmpty = sel.cpMin == sel.cpMax;
  }
  for (int n = 0; n < kSlotCount; ++n) {
    SlotValues& slot = facts.slots[static_cast<std::size_t>(n)];
    slot.content = store_.ReadString(SlotContentName(n).c_str(), kSlotReadUnits);
    slot.label = store_.ReadString(SlotLabelName(n).c_str(), kSlotReadUnits);
  }

  const Options& o = choices_.options;
  facts.logToFile = o.logToFile;
  facts.timestamps = o.timestamps;
  facts.utf8 = o.utf8;
  facts.echoSent = o.echoSent;
  facts.ansiColors = o.ansiColors;
  facts.frameGapItem = o.frameGapItem;
  facts.dtrItem = o.dtrItem;
  facts.rtsItem = o.rtsItem;
  facts.autoReconnect = o.autoReconnect;
  facts.lineEndItem = o.lineEndItem;
  facts.checksumItem = o.checksumItem;
  facts.breakAllowed = session_.canSendBreak();

  ContextMenuPlan plan = PlanContextMenu(facts);
  if (plan.changesSelectAll) selectAllFirst_ = plan.selectAllFirst;
  if (!plan.show) return;

  UniqueMenu menu(BuildMenu(plan.items));
  if (menu.get() == nullptr) return;
  TrackPopupMenu(menu.get(), TPM_RIGHTBUTTON, ClampX(x, y), y, 0, hwnd_, nullptr);
}

}  // namespace tv
