#include "app/MenuModel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tv {
namespace {

constexpr int kReceiveView = 1005;
constexpr int kTextPane = 1006;
constexpr int kHexPane = 1010;
constexpr int kDelayBox = 1012;

// An item per line: separators as "-", popups with a trailing " >".
std::vector<std::wstring> Texts(const Menu& menu) {
  std::vector<std::wstring> out;
  for (const MenuItem& item : menu) {
    if (item.kind == MenuItem::Kind::Separator) out.push_back(L"-");
    else if (item.kind == MenuItem::Kind::Popup) out.push_back(item.text + L" >");
    else out.push_back(item.text);
  }
  return out;
}

const Menu* PopupOf(const Menu& menu, const std::wstring& text) {
  for (const MenuItem& item : menu)
    if (item.kind == MenuItem::Kind::Popup && item.text == text) return &item.children;
  return nullptr;
}

std::vector<int> CheckedIds(const Menu& menu) {
  std::vector<int> out;
  for (const MenuItem& item : menu) {
    if (item.kind == MenuItem::Kind::Popup) {
      std::vector<int> inner = CheckedIds(item.children);
      out.insert(out.end(), inner.begin(), inner.end());
    } else if (item.checked) {
      out.push_back(item.id);
    }
  }
  return out;
}

MenuFacts PaneFacts(int target, bool withSelection) {
  MenuFacts f;
  f.targetId = target;
  f.selectionEmpty = !withSelection;
  f.ports = {L"USB-SERIAL CH340 (COM7)", L"通讯端口 (COM1)", L"Serial (COM12)"};
  f.currentPort = 1;
  return f;
}

TEST(ContextMenu, EditMenuOrderDependsOnTheSelection) {
  ContextMenuPlan with = PlanContextMenu(PaneFacts(kTextPane, true));
  ASSERT_TRUE(with.show);
  EXPECT_TRUE(with.changesSelectAll);
  EXPECT_FALSE(with.selectAllFirst);
  EXPECT_EQ(Texts(with.items), (std::vector<std::wstring>{L"发送选定", L"清空", L"剪切", L"复制", L"全选", L"粘贴", L"-",
                                                          L"文件发送 >", L"记忆 >", L"串口设定 >"}));
  EXPECT_EQ(with.items[0].id, 4010);

  const Menu* file = PopupOf(with.items, L"文件发送");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(file->size(), 2u);
  EXPECT_EQ((*file)[0].id, 4009);
  EXPECT_EQ((*file)[0].text, L"发送文件");
  EXPECT_EQ((*file)[1].id, 4008);
  EXPECT_EQ((*file)[1].text, L"载入文件");

  const Menu* settings = PopupOf(with.items, L"串口设定");
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(Texts(*settings),
            (std::vector<std::wstring>{L"通讯口 >", L"波特率 >", L"数据位 >", L"停止位 >", L"奇偶位 >"}));

  ContextMenuPlan without = PlanContextMenu(PaneFacts(kHexPane, false));
  ASSERT_TRUE(without.show);
  EXPECT_TRUE(without.changesSelectAll);
  EXPECT_TRUE(without.selectAllFirst);
  EXPECT_EQ(Texts(without.items),
            (std::vector<std::wstring>{L"清空粘贴", L"清空", L"清空所有", L"全选剪切", L"全选复制", L"全选", L"粘贴",
                                       L"-", L"文件发送 >", L"记忆 >", L"串口设定 >"}));
  std::vector<int> ids;
  for (const MenuItem& item : without.items) ids.push_back(item.id);
  EXPECT_EQ(ids, (std::vector<int>{4001, 4004, 4003, 4006, 4005, 4007, 4002, 0, 0, 0, 0}));
  // Nothing is greyed in a send pane with no file loaded but the file send.
  for (const MenuItem& item : without.items) EXPECT_FALSE(item.grayed) << item.id;
}

TEST(ContextMenu, PortPopupChecksTheChosenPortOnly) {
  auto ports = [](const MenuFacts& f) {
    ContextMenuPlan plan = PlanContextMenu(f);
    const Menu* settings = PopupOf(plan.items, L"串口设定");
    EXPECT_NE(settings, nullptr);
    const Menu* list = settings ? PopupOf(*settings, L"通讯口") : nullptr;
    EXPECT_NE(list, nullptr);
    return list ? *list : Menu{};
  };

  MenuFacts f = PaneFacts(kTextPane, false);
  Menu listed = ports(f);
  ASSERT_EQ(listed.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(listed[static_cast<std::size_t>(i)].id, 3000 + i);
    EXPECT_EQ(listed[static_cast<std::size_t>(i)].text, f.ports[static_cast<std::size_t>(i)]);
  }
  EXPECT_EQ(CheckedIds(listed), std::vector<int>{3001});

  f.currentPort = -1;
  EXPECT_TRUE(CheckedIds(ports(f)).empty());

  f.ports.clear();
  EXPECT_TRUE(ports(f).empty());
}

TEST(ContextMenu, DelayBoxMenuChecksTheModeAndIgnoresRunningSends) {
  for (int mode = 2100; mode <= 2103; ++mode) {
    MenuFacts f;
    f.targetId = kDelayBox;
    f.delayMode = mode;
    f.textSendBusy = f.hexSendBusy = f.fileSendBusy = f.selectionSendBusy = true;
    ContextMenuPlan plan = PlanContextMenu(f);
    ASSERT_TRUE(plan.show);
    EXPECT_FALSE(plan.changesSelectAll);
    EXPECT_EQ(Texts(plan.items), (std::vector<std::wstring>{L"禁用定时", L"循环全部", L"循环行间", L"单次行间"}));
    EXPECT_EQ(CheckedIds(plan.items), std::vector<int>{mode});
  }
  for (int mode : {0, 2099, 2104, -1}) {
    MenuFacts f;
    f.targetId = kDelayBox;
    f.delayMode = mode;
    EXPECT_TRUE(CheckedIds(PlanContextMenu(f).items).empty()) << mode;
  }
}

TEST(ContextMenu, NoMenuOffThePanesOrWhileATextOrHexSendRuns) {
  MenuFacts f = PaneFacts(0, true);
  ContextMenuPlan plan = PlanContextMenu(f);
  EXPECT_FALSE(plan.show);
  EXPECT_FALSE(plan.changesSelectAll);

  for (int target : {kReceiveView, kTextPane, kHexPane}) {
    f = PaneFacts(target, false);
    f.textSendBusy = true;
    EXPECT_FALSE(PlanContextMenu(f).show) << target;
    f.textSendBusy = false;
    f.hexSendBusy = true;
    plan = PlanContextMenu(f);
    EXPECT_FALSE(plan.show) << target;
    // The pane's selection state is left as the last menu recorded it.
    EXPECT_FALSE(plan.changesSelectAll);
  }
}

TEST(ContextMenu, FileAndSelectionSendsHideTheLineSettingsAndSelectionSend) {
  MenuFacts f = PaneFacts(kTextPane, true);
  f.fileLoaded = true;
  f.loadedFileTitle = L"a.txt";
  f.fileSendBusy = true;
  ContextMenuPlan plan = PlanContextMenu(f);
  ASSERT_TRUE(plan.show);
  EXPECT_EQ(Texts(plan.items), (std::vector<std::wstring>{L"清空", L"剪切", L"复制", L"全选", L"粘贴", L"-",
                                                          L"文件发送 >", L"记忆 >"}));

  f = PaneFacts(kHexPane, true);
  f.fileLoaded = true;
  f.loadedFileTitle = L"a.txt";
  f.selectionSendBusy = true;
  plan = PlanContextMenu(f);
  EXPECT_EQ(Texts(plan.items), (std::vector<std::wstring>{L"取消发送", L"清空", L"剪切", L"复制", L"全选", L"粘贴",
                                                          L"-", L"文件发送 >", L"记忆 >"}));
  EXPECT_EQ(plan.items[0].id, 4011);
  EXPECT_FALSE(plan.items[0].grayed);
  MenuItem* send = FindCommand(plan.items, 4009);
  ASSERT_NE(send, nullptr);
  EXPECT_TRUE(send->grayed);
  EXPECT_EQ(send->text, L"发送文件");

  // Without a selection the cancel still comes first.
  f.selectionEmpty = true;
  plan = PlanContextMenu(f);
  EXPECT_EQ(plan.items[0].id, 4011);
  EXPECT_EQ(plan.items[1].id, 4001);
  EXPECT_EQ(PopupOf(plan.items, L"串口设定"), nullptr);
}

TEST(ContextMenu, LoadedFileItems) {
  MenuFacts f = PaneFacts(kTextPane, false);
  ContextMenuPlan plan = PlanContextMenu(f);
  EXPECT_TRUE(FindCommand(plan.items, 4009)->grayed);
  EXPECT_FALSE(FindCommand(plan.items, 4008)->grayed);
  EXPECT_EQ(FindCommand(plan.items, 4008)->text, L"载入文件");

  f.fileLoaded = true;
  f.loadedFileTitle = L"日志 2024.txt";
  plan = PlanContextMenu(f);
  EXPECT_EQ(FindCommand(plan.items, 4008)->text, L"已加载:日志 2024.txt");
  EXPECT_FALSE(FindCommand(plan.items, 4008)->grayed);
  EXPECT_EQ(FindCommand(plan.items, 4009)->text, L"发送文件");
  EXPECT_FALSE(FindCommand(plan.items, 4009)->grayed);

  f.fileSendBusy = true;
  plan = PlanContextMenu(f);
  EXPECT_EQ(FindCommand(plan.items, 4008)->text, L"已加载:日志 2024.txt");
  EXPECT_TRUE(FindCommand(plan.items, 4008)->grayed);
  EXPECT_EQ(FindCommand(plan.items, 4009)->text, L"取消发送");
  EXPECT_FALSE(FindCommand(plan.items, 4009)->grayed);
}

TEST(ContextMenu, ReceiveViewGreysWhatWouldChangeIt) {
  for (bool selection : {false, true}) {
    ContextMenuPlan plan = PlanContextMenu(PaneFacts(kReceiveView, selection));
    ASSERT_TRUE(plan.show);
    std::vector<int> grayed;
    for (const MenuItem& item : plan.items)
      if (item.grayed) grayed.push_back(item.id);
    if (selection) EXPECT_EQ(grayed, (std::vector<int>{4006, 4002}));
    else EXPECT_EQ(grayed, (std::vector<int>{4001, 4006, 4002}));
  }
}

TEST(ContextMenu, LineSettingChecks) {
  MenuFacts f = PaneFacts(kTextPane, false);
  f.currentPort = -1;
  f.line = LineSelection{2007, 2042, 2021, 2032, 2051};
  ContextMenuPlan plan = PlanContextMenu(f);
  const Menu* settings = PopupOf(plan.items, L"串口设定");
  ASSERT_NE(settings, nullptr);
  // Flow control has no menu here, so its check lands nowhere.
  EXPECT_EQ(CheckedIds(*settings), (std::vector<int>{2007, 2021, 2032, 2042}));
  EXPECT_EQ(FindCommand(plan.items, 2051), nullptr);
  EXPECT_EQ(PopupOf(*settings, L"波特率")->size(), 19u);
  EXPECT_EQ(PopupOf(*settings, L"奇偶位")->size(), 5u);

  // Stored selections outside the tables check nothing.
  f.line = LineSelection{5, 0, 2099, -1, 7};
  plan = PlanContextMenu(f);
  EXPECT_TRUE(CheckedIds(*PopupOf(plan.items, L"串口设定")).empty());
}

TEST(ContextMenu, QuickSlotTexts) {
  EXPECT_EQ(SlotItemText(0, {}), L"存档00");
  EXPECT_EQ(SlotItemText(30, {}), L"存档1E");
  EXPECT_EQ(SlotItemText(10, {}), L"存档0A");

  std::wstring thirty(30, L'x');
  thirty[29] = L'末';
  EXPECT_EQ(SlotItemText(1, {std::nullopt, thirty}), L"存档01:\"" + thirty + L" ...\"");
  EXPECT_EQ(SlotItemText(1, {std::nullopt, thirty + L"yyyy"}), L"存档01:\"" + thirty + L" ...\"");
  std::wstring twentyNine(29, L'中');
  EXPECT_EQ(SlotItemText(1, {std::nullopt, twentyNine}), L"存档01:\"" + twentyNine + L"\"");
  EXPECT_EQ(SlotItemText(2, {std::wstring(L"greeting"), std::nullopt}), L"greeting:\"\"");
  EXPECT_EQ(SlotItemText(2, {std::wstring(L"greeting"), std::wstring(L"AT\r")}), L"greeting:\"AT\r\"");
  // A stored empty content still shows the quotes.
  EXPECT_EQ(SlotItemText(3, {std::nullopt, std::wstring()}), L"存档03:\"\"");

  MenuFacts f = PaneFacts(kReceiveView, true);
  f.slots[30].label = L"last";
  f.slots[30].content = L"abc";
  ContextMenuPlan plan = PlanContextMenu(f);
  const Menu* slots = PopupOf(plan.items, L"记忆");
  ASSERT_NE(slots, nullptr);
  ASSERT_EQ(slots->size(), 31u);
  for (int n = 0; n < 31; ++n) {
    const MenuItem& item = (*slots)[static_cast<std::size_t>(n)];
    EXPECT_EQ(item.id, 4200 + n);
    EXPECT_FALSE(item.grayed);
  }
  EXPECT_EQ((*slots)[0].text, L"存档00");
  EXPECT_EQ((*slots)[30].text, L"last:\"abc\"");
}

TEST(ContextMenu, StoredTextsKeepTheirAmpersandsOnScreen) {
  // The menus take a single "&" as a shortcut mark and would swallow it.
  EXPECT_EQ(MenuLabel(SlotItemText(4, {std::nullopt, std::wstring(L"AT&F")})), L"存档04:\"AT&&F\"");
  EXPECT_EQ(MenuLabel(L"已加载:R&D&&.txt"), L"已加载:R&&D&&&&.txt");
  EXPECT_EQ(MenuLabel(L"&"), L"&&");
  EXPECT_EQ(MenuLabel(L"串口设定"), L"串口设定");
  EXPECT_EQ(MenuLabel(L""), L"");
}

}  // namespace
}  // namespace tv
