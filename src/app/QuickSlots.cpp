// The 31 quick text slots: store the selection (or a label), or put a
// slot's text into a send pane.
#include <windows.h>
#include <richedit.h>

#include <string>

#include "app/QuickSlots.h"

#include "base/RichEdit.h"
#include "settings/SettingsStore.h"
#include "settings/StoredValues.h"

namespace tv {
namespace {

bool Held(int key) { return GetKeyState(key) < 0; }

}  // namespace

void RunSlotCommand(SettingsStore& store, int slot, HWND target, bool targetIsSendPane,
                    const std::function<HWND(HWND)>& clear) {
  if (target == nullptr) return;
  bool labelOnly = Held(VK_SHIFT) || Held(VK_MBUTTON);

  CHARRANGE selection{};
  SendMessageW(target, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  LONG first = selection.cpMin;
  LONG last = selection.cpMax;
  LONG count = last - first + 1;
  if (labelOnly && count > static_cast<LONG>(kSlotLabelUnits)) {
    last = first + static_cast<LONG>(kSlotLabelUnits);
  } else if (count > static_cast<LONG>(kSlotTextUnits)) {
    last = first + static_cast<LONG>(kSlotTextUnits);
  }

  if (count > 1) {
    std::wstring text = GetTextRange(target, static_cast<std::size_t>(first), static_cast<std::size_t>(last));
    store.WriteString((labelOnly ? SlotLabelName(slot) : SlotContentName(slot)).c_str(), text);
    return;
  }

  if (!targetIsSendPane) return;
  std::optional<std::wstring> stored = store.ReadString(SlotContentName(slot).c_str(), kSlotReadUnits);
  if (Held(VK_CONTROL) || Held(VK_MBUTTON)) target = clear(target);
  if (stored) SendMessageW(target, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(stored->c_str()));
}

}  // namespace tv
