#include "app/MenuModel.h"

#include "settings/StoredValues.h"

namespace tv {
namespace {

constexpr int kReceiveView = 1005;
constexpr int kDelayBox = 1012;

MenuItem* Find(Menu& menu, int id) {
  for (MenuItem& item : menu) {
    if (item.kind == MenuItem::Kind::Command && item.id == id) return &item;
    if (item.kind == MenuItem::Kind::Popup) {
      if (MenuItem* found = Find(item.children, id)) return found;
    }
  }
  return nullptr;
}

void InsertAt(Menu& menu, std::size_t position, MenuItem item) {
  if (position > menu.size()) position = menu.size();
  menu.insert(menu.begin() + static_cast<std::ptrdiff_t>(position), std::move(item));
}

Menu PortPopup(const MenuFacts& f) {
  Menu ports;
  for (std::size_t i = 0; i < f.ports.size(); ++i) {
    MenuItem item = MenuItem::Command(3000 + static_cast<int>(i), f.ports[i]);
    item.checked = static_cast<int>(i) == f.currentPort;
    ports.push_back(item);
  }
  return ports;
}

Menu Group(int firstId, std::initializer_list<const wchar_t*> texts, int checked) {
  Menu items;
  int id = firstId;
  for (const wchar_t* text : texts) {
    items.push_back(MenuItem::Command(id, text));
    items.back().checked = id++ == checked;
  }
  return items;
}

MenuItem Toggle(int id, const wchar_t* text, bool on) {
  MenuItem item = MenuItem::Command(id, text);
  item.checked = on;
  return item;
}

// The modem lines, the break and reconnecting, after the line settings; a
// line the flow mode owns (RTS in mode 1, DTR in mode 2) is the driver's.
void AppendLineControl(Menu& settings, const MenuFacts& f) {
  const int32_t flowMode = FlowControlItems().valueOf(f.line.flowItem);
  Menu dtr = Group(kDtrFollowItem, {L"跟随流控", L"开", L"关"}, f.dtrItem);
  Menu rts = Group(kRtsFollowItem, {L"跟随流控", L"开", L"关"}, f.rtsItem);
  for (MenuItem& item : dtr) item.grayed = flowMode == 2;
  for (MenuItem& item : rts) item.grayed = flowMode == 1;
  MenuItem pause = MenuItem::Command(kBreakItem, L"BREAK");
  pause.grayed = !f.breakAllowed;
  settings.push_back(MenuItem::Separator());
  settings.push_back(MenuItem::Popup(L"DTR\tAlt+E", std::move(dtr)));
  settings.push_back(MenuItem::Popup(L"RTS\tAlt+R", std::move(rts)));
  settings.push_back(pause);
  settings.push_back(Toggle(kReconnectItem, L"自动重连", f.autoReconnect));
}

Menu OptionsPopup(const MenuFacts& f) {
  return {
      Toggle(4012, L"保存到文件\tAlt+L", f.logToFile),
      Toggle(4013, L"时间戳\tAlt+T", f.timestamps),
      Toggle(4014, L"UTF-8", f.utf8),
      Toggle(4015, L"显示发送", f.echoSent),
      Toggle(4016, L"终端色彩", f.ansiColors),
      MenuItem::Popup(L"分包", Group(kNoFrameGapItem, {L"不分包", L"20 ms", L"50 ms", L"100 ms", L"200 ms", L"500 ms"},
                                   f.frameGapItem)),
      MenuItem::Separator(),
      MenuItem::Popup(L"行尾", Group(kAsIsLineEndItem, {L"原样", L"CR", L"LF", L"CR LF"}, f.lineEndItem)),
      MenuItem::Popup(L"校验", Group(kNoChecksumItem, {L"无", L"SUM8", L"XOR8", L"CRC16 Modbus", L"CRC16 CCITT"},
                                   f.checksumItem)),
  };
}

Menu SlotPopup(const MenuFacts& f) {
  Menu slots;
  for (int n = 0; n < static_cast<int>(f.slots.size()); ++n)
    slots.push_back(MenuItem::Command(4200 + n, SlotItemText(n, f.slots[static_cast<std::size_t>(n)])));
  return slots;
}

}  // namespace

MenuItem* FindCommand(Menu& menu, int id) { return Find(menu, id); }

void CheckCommand(Menu& menu, int id) {
  if (MenuItem* item = Find(menu, id)) item->checked = true;
}

void GrayCommand(Menu& menu, int id) {
  if (MenuItem* item = Find(menu, id)) item->grayed = true;
}

void SetCommandText(Menu& menu, int id, const std::wstring& text) {
  if (MenuItem* item = Find(menu, id)) item->text = text;
}

Menu EditMenuTemplate() {
  return {
      MenuItem::Command(4004, L"清空"),
      MenuItem::Command(4006, L"剪切"),
      MenuItem::Command(4005, L"复制"),
      MenuItem::Command(4007, L"全选"),
      MenuItem::Command(4002, L"粘贴"),
      MenuItem::Separator(),
      MenuItem::Popup(L"文件发送", {MenuItem::Command(4009, L"发送文件"), MenuItem::Command(4008, L"载入文件")}),
  };
}

Menu LineMenuTemplate() {
  auto rows = [](const LineItemTable& table) {
    Menu items;
    for (const LineItem& row : table) items.push_back(MenuItem::Command(row.commandId, row.name));
    return items;
  };
  return {
      MenuItem::Popup(L"波特率", rows(BaudRateItems())),
      MenuItem::Popup(L"数据位", rows(DataBitsItems())),
      MenuItem::Popup(L"停止位", rows(StopBitsItems())),
      MenuItem::Popup(L"奇偶位", rows(ParityItems())),
  };
}

Menu DelayMenuTemplate() {
  return {
      MenuItem::Command(2100, L"禁用定时"),
      MenuItem::Command(2101, L"循环全部"),
      MenuItem::Command(2102, L"循环行间"),
      MenuItem::Command(2103, L"单次行间"),
  };
}

std::wstring SlotItemText(int slot, const SlotValues& v) {
  std::wstring label = SlotContentName(slot);
  if (!v.label && !v.content) return label;
  if (v.label) label = *v.label;
  std::wstring content = v.content ? *v.content : std::wstring();
  if (content.size() >= 30) content = content.substr(0, 30) + L" ...";
  return label + L":\"" + content + L"\"";
}

std::wstring MenuLabel(const std::wstring& text) {
  std::wstring label;
  label.reserve(text.size());
  for (wchar_t c : text) {
    if (c == L'&') label.push_back(L'&');
    label.push_back(c);
  }
  return label;
}

ContextMenuPlan PlanContextMenu(const MenuFacts& f) {
  ContextMenuPlan plan;
  if (f.targetId == kDelayBox) {
    plan.show = true;
    plan.items = DelayMenuTemplate();
    CheckCommand(plan.items, f.delayModeItem);
    return plan;
  }
  if (f.targetId == 0 || f.hexSendBusy || f.textSendBusy) return plan;
  plan.show = true;

  bool settingsShown = !f.fileSendBusy && !f.selectionSendBusy;
  Menu settings;
  if (settingsShown) {
    settings = LineMenuTemplate();
    // The higher rates and a rate of the user's own, after the rates of old.
    Menu& rates = settings[0].children;
    rates.push_back(MenuItem::Separator());
    for (const LineItem& row : HighBaudRateItems()) rates.push_back(MenuItem::Command(row.commandId, row.name));
    rates.push_back(MenuItem::Command(kCustomBaudItem, L"自定义..."));
    for (int id : {f.line.baudItem, f.line.parityItem, f.line.dataBitsItem, f.line.stopBitsItem, f.line.flowItem})
      CheckCommand(settings, id);
    AppendLineControl(settings, f);
    InsertAt(settings, 0, MenuItem::Popup(L"通讯口", PortPopup(f)));
  }

  Menu& edit = plan.items;
  edit = EditMenuTemplate();
  if (f.fileLoaded) {
    SetCommandText(edit, 4008, L"已加载:" + f.loadedFileTitle);
    if (f.fileSendBusy) {
      GrayCommand(edit, 4008);
      SetCommandText(edit, 4009, L"取消发送");
    }
  } else {
    GrayCommand(edit, 4009);
  }
  if (f.selectionSendBusy) GrayCommand(edit, 4009);

  plan.changesSelectAll = true;
  if (f.selectionEmpty) {
    plan.selectAllFirst = true;
    SetCommandText(edit, 4005, L"全选复制");
    SetCommandText(edit, 4006, L"全选剪切");
    InsertAt(edit, 0, MenuItem::Command(4001, L"清空粘贴"));
    InsertAt(edit, 2, MenuItem::Command(4003, L"清空所有"));
  } else {
    plan.selectAllFirst = false;
    if (settingsShown) InsertAt(edit, 0, MenuItem::Command(4010, L"发送选定"));
  }
  if (f.selectionSendBusy) InsertAt(edit, 0, MenuItem::Command(4011, L"取消发送"));

  if (f.targetId == kReceiveView) {
    GrayCommand(edit, 4006);
    GrayCommand(edit, 4002);
    GrayCommand(edit, 4001);
  }

  edit.push_back(MenuItem::Popup(L"记忆", SlotPopup(f)));
  if (settingsShown) edit.push_back(MenuItem::Popup(L"串口设定", std::move(settings)));
  edit.push_back(MenuItem::Popup(L"选项", OptionsPopup(f)));
  return plan;
}

}  // namespace tv
