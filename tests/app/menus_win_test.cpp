// The menus the program shows are built from MenuModel's templates; the
// menu resources must say the same, or the two would drift apart.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/MenuModel.h"

namespace tv {
namespace {

Menu ReadMenu(HMENU menu) {
  Menu items;
  int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = 255;
    GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
    if (info.fType & MFT_SEPARATOR) {
      items.push_back(MenuItem::Separator());
    } else if (info.hSubMenu != nullptr) {
      items.push_back(MenuItem::Popup(text, ReadMenu(info.hSubMenu)));
    } else {
      items.push_back(MenuItem::Command(static_cast<int>(info.wID), text));
    }
  }
  return items;
}

void ExpectSame(const Menu& expected, const Menu& actual, const std::wstring& where) {
  ASSERT_EQ(expected.size(), actual.size()) << std::string(where.begin(), where.end());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].kind, actual[i].kind);
    EXPECT_EQ(expected[i].id, actual[i].id);
    EXPECT_EQ(expected[i].text, actual[i].text);
    ExpectSame(expected[i].children, actual[i].children, where + L"/" + expected[i].text);
  }
}

TEST(MenuResources, MatchTheTemplatesTheMenusAreBuiltFrom) {
  struct {
    int resource;
    Menu expected;
  } menus[] = {{201, EditMenuTemplate()}, {202, LineMenuTemplate()}, {210, DelayMenuTemplate()}};
  for (auto& m : menus) {
    HMENU loaded = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m.resource));
    ASSERT_NE(loaded, nullptr) << m.resource;
    ExpectSame(m.expected, ReadMenu(GetSubMenu(loaded, 0)), L"menu");
    DestroyMenu(loaded);
  }
}

}  // namespace
}  // namespace tv
