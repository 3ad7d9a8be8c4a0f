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

using Lines = std::vector<std::wstring>;

// One line per item: "text id", then " grey" / " checked"; popups as
// "text >", separators as "-".
Lines Describe(const Menu& menu) {
  Lines out;
  for (const MenuItem& item : menu) {
    if (item.kind == MenuItem::Kind::Separator) {
      out.push_back(L"-");
    } else if (item.kind == MenuItem::Kind::Popup) {
      out.push_back(item.text + L" >");
    } else {
      out.push_back(item.text + L" " + std::to_wstring(item.id) + (item.grayed ? L" grey" : L"") +
                    (item.checked ? L" checked" : L""));
    }
  }
  return out;
}

Menu PopupOf(const Menu& menu, const std::wstring& text) {
  for (const MenuItem& item : menu)
    if (item.kind == MenuItem::Kind::Popup && item.text == text) return item.children;
  ADD_FAILURE() << "no popup";
  return {};
}

std::vector<int> CheckedIds(const Menu& menu) {
  std::vector<int> out;
  for (const MenuItem& item : menu) {
    std::vector<int> inner = CheckedIds(item.children);
    out.insert(out.end(), inner.begin(), inner.end());
    if (item.checked) out.push_back(item.id);
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
  EXPECT_EQ(Describe(with.items), (Lines{L"发送选定 4010", L"清空 4004", L"剪切 4006", L"复制 4005", L"全选 4007",
                                         L"粘贴 4002", L"-", L"文件发送 >", L"记忆 >", L"串口设定 >", L"选项 >"}));
  EXPECT_EQ(Describe(PopupOf(with.items, L"文件发送")), (Lines{L"发送文件 4009 grey", L"载入文件 4008"}));
  EXPECT_EQ(Describe(PopupOf(with.items, L"串口设定")),
            (Lines{L"通讯口 >", L"波特率 >", L"数据位 >", L"停止位 >", L"奇偶位 >", L"-", L"DTR\tAlt+E >",
                   L"RTS\tAlt+R >", L"BREAK 2076 grey", L"自动重连 2077"}));

  ContextMenuPlan without = PlanContextMenu(PaneFacts(kHexPane, false));
  ASSERT_TRUE(without.show);
  EXPECT_TRUE(without.changesSelectAll);
  EXPECT_TRUE(without.selectAllFirst);
  EXPECT_EQ(Describe(without.items),
            (Lines{L"清空粘贴 4001", L"清空 4004", L"清空所有 4003", L"全选剪切 4006", L"全选复制 4005", L"全选 4007",
                   L"粘贴 4002", L"-", L"文件发送 >", L"记忆 >", L"串口设定 >", L"选项 >"}));
}

TEST(ContextMenu, PortPopupChecksTheChosenPortOnly) {
  auto ports = [](const MenuFacts& f) { return PopupOf(PopupOf(PlanContextMenu(f).items, L"串口设定"), L"通讯口"); };
  MenuFacts f = PaneFacts(kTextPane, false);
  EXPECT_EQ(Describe(ports(f)),
            (Lines{L"USB-SERIAL CH340 (COM7) 3000", L"通讯端口 (COM1) 3001 checked", L"Serial (COM12) 3002"}));
  f.currentPort = -1;
  EXPECT_TRUE(CheckedIds(ports(f)).empty());
  f.ports.clear();
  EXPECT_TRUE(ports(f).empty());
}

TEST(ContextMenu, DelayBoxMenuChecksTheModeAndIgnoresRunningSends) {
  MenuFacts f;
  f.targetId = kDelayBox;
  f.textSendBusy = f.hexSendBusy = f.fileSendBusy = f.selectionSendBusy = true;
  f.delayModeItem = 2102;
  ContextMenuPlan plan = PlanContextMenu(f);
  ASSERT_TRUE(plan.show);
  EXPECT_FALSE(plan.changesSelectAll);
  EXPECT_EQ(Describe(plan.items),
            (Lines{L"禁用定时 2100", L"循环全部 2101", L"循环行间 2102 checked", L"单次行间 2103"}));
  for (int mode : {2100, 2103}) {
    f.delayModeItem = mode;
    EXPECT_EQ(CheckedIds(PlanContextMenu(f).items), std::vector<int>{mode});
  }
  for (int mode : {0, 2099, 2104, -1}) {
    f.delayModeItem = mode;
    EXPECT_TRUE(CheckedIds(PlanContextMenu(f).items).empty()) << mode;
  }
}

TEST(ContextMenu, NoMenuOffThePanesOrWhileATextOrHexSendRuns) {
  ContextMenuPlan plan = PlanContextMenu(PaneFacts(0, true));
  EXPECT_FALSE(plan.show);
  EXPECT_FALSE(plan.changesSelectAll);
  for (int target : {kReceiveView, kTextPane, kHexPane}) {
    MenuFacts f = PaneFacts(target, false);
    f.textSendBusy = true;
    EXPECT_FALSE(PlanContextMenu(f).show) << target;
    f.textSendBusy = false;
    f.hexSendBusy = true;
    plan = PlanContextMenu(f);
    EXPECT_FALSE(plan.show) << target;
    // The selection state recorded by the last menu stays.
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
  EXPECT_EQ(Describe(plan.items), (Lines{L"清空 4004", L"剪切 4006", L"复制 4005", L"全选 4007", L"粘贴 4002", L"-",
                                         L"文件发送 >", L"记忆 >", L"选项 >"}));

  f.fileSendBusy = false;
  f.selectionSendBusy = true;
  plan = PlanContextMenu(f);
  EXPECT_EQ(Describe(plan.items), (Lines{L"取消发送 4011", L"清空 4004", L"剪切 4006", L"复制 4005", L"全选 4007",
                                         L"粘贴 4002", L"-", L"文件发送 >", L"记忆 >", L"选项 >"}));
  EXPECT_EQ(Describe(PopupOf(plan.items, L"文件发送")), (Lines{L"发送文件 4009 grey", L"已加载:a.txt 4008"}));

  // Without a selection the cancel still comes first.
  f.selectionEmpty = true;
  plan = PlanContextMenu(f);
  EXPECT_EQ(Describe(plan.items)[0], L"取消发送 4011");
  EXPECT_EQ(Describe(plan.items)[1], L"清空粘贴 4001");
}

TEST(ContextMenu, LoadedFileItems) {
  MenuFacts f = PaneFacts(kTextPane, false);
  f.fileLoaded = true;
  f.loadedFileTitle = L"日志 2024.txt";
  EXPECT_EQ(Describe(PopupOf(PlanContextMenu(f).items, L"文件发送")),
            (Lines{L"发送文件 4009", L"已加载:日志 2024.txt 4008"}));
  f.fileSendBusy = true;
  EXPECT_EQ(Describe(PopupOf(PlanContextMenu(f).items, L"文件发送")),
            (Lines{L"取消发送 4009", L"已加载:日志 2024.txt 4008 grey"}));
}

TEST(ContextMenu, ReceiveViewGreysWhatWouldChangeIt) {
  EXPECT_EQ(Describe(PlanContextMenu(PaneFacts(kReceiveView, false)).items),
            (Lines{L"清空粘贴 4001 grey", L"清空 4004", L"清空所有 4003", L"全选剪切 4006 grey", L"全选复制 4005",
                   L"全选 4007", L"粘贴 4002 grey", L"-", L"文件发送 >", L"记忆 >", L"串口设定 >", L"选项 >"}));
  EXPECT_EQ(Describe(PlanContextMenu(PaneFacts(kReceiveView, true)).items),
            (Lines{L"发送选定 4010", L"清空 4004", L"剪切 4006 grey", L"复制 4005", L"全选 4007", L"粘贴 4002 grey", L"-",
                   L"文件发送 >", L"记忆 >", L"串口设定 >", L"选项 >"}));
}

TEST(ContextMenu, LineSettingChecks) {
  MenuFacts f = PaneFacts(kTextPane, false);
  f.currentPort = -1;
  f.line = LineSelection{2007, 2042, 2021, 2032, 2051};
  ContextMenuPlan plan = PlanContextMenu(f);
  Menu settings = PopupOf(plan.items, L"串口设定");
  // Flow control has no menu here, so its check lands nowhere.
  EXPECT_EQ(CheckedIds(settings), (std::vector<int>{2007, 2021, 2032, 2042, 2070, 2073}));
  EXPECT_EQ(FindCommand(plan.items, 2051), nullptr);
  EXPECT_EQ(PopupOf(settings, L"波特率").size(), 29u);
  EXPECT_EQ(Describe(PopupOf(settings, L"停止位")), (Lines{L"1 2030", L"1.5 2031", L"2 2032 checked"}));

  // Stored selections outside the tables check nothing.
  f.line = LineSelection{5, 0, 2099, -1, 7};
  f.dtrItem = f.rtsItem = f.frameGapItem = f.lineEndItem = f.checksumItem = 0;
  EXPECT_TRUE(CheckedIds(PlanContextMenu(f).items).empty());
}

TEST(ContextMenu, QuickSlotTexts) {
  EXPECT_EQ(SlotItemText(0, {}), L"存档00");
  EXPECT_EQ(SlotItemText(30, {}), L"存档1E");

  std::wstring thirty(29, L'x');
  thirty += L'末';
  EXPECT_EQ(SlotItemText(1, {std::nullopt, thirty}), L"存档01:\"" + thirty + L" ...\"");
  EXPECT_EQ(SlotItemText(1, {std::nullopt, thirty + L"yyyy"}), L"存档01:\"" + thirty + L" ...\"");
  std::wstring twentyNine(29, L'中');
  EXPECT_EQ(SlotItemText(1, {std::nullopt, twentyNine}), L"存档01:\"" + twentyNine + L"\"");
  EXPECT_EQ(SlotItemText(2, {std::wstring(L"greeting"), std::nullopt}), L"greeting:\"\"");
  EXPECT_EQ(SlotItemText(2, {std::wstring(L"greeting"), std::wstring(L"AT\r")}), L"greeting:\"AT\r\"");
  EXPECT_EQ(SlotItemText(3, {std::nullopt, std::wstring()}), L"存档03:\"\"");

  MenuFacts f = PaneFacts(kReceiveView, true);
  f.slots[30] = SlotValues{std::wstring(L"last"), std::wstring(L"abc")};
  Menu slots = PopupOf(PlanContextMenu(f).items, L"记忆");
  ASSERT_EQ(slots.size(), 31u);
  for (int n = 0; n < 31; ++n) EXPECT_EQ(slots[static_cast<std::size_t>(n)].id, 4200 + n);
  EXPECT_EQ(Describe(slots)[10], L"存档0A 4210");
  EXPECT_EQ(Describe(slots)[30], L"last:\"abc\" 4230");

  // The menus take a single "&" as a shortcut mark and would swallow it.
  EXPECT_EQ(MenuLabel(SlotItemText(4, {std::nullopt, std::wstring(L"AT&F")})), L"存档04:\"AT&&F\"");
  EXPECT_EQ(MenuLabel(L"已加载:R&D&&.txt"), L"已加载:R&&D&&&&.txt");
  EXPECT_EQ(MenuLabel(L"串口设定"), L"串口设定");
}

}  // namespace
}  // namespace tv
