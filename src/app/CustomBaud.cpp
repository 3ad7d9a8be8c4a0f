#include "app/CustomBaud.h"

#include <string>
#include <vector>

#include "app/LineItems.h"
#include "base/Format.h"
#include "resources/resource.h"

namespace tv {
namespace {

struct BoxState {
  uint32_t rate;
  bool underWine;
};

// Wine's ntdll has this export and Windows' never has; looked up at run
// time, so the program needs nothing of Wine to start.
bool UnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::wstring TypedText(HWND box) {
  HWND edit = GetDlgItem(box, IDC_BAUD_EDIT);
  const int n = GetWindowTextLengthW(edit);
  std::vector<wchar_t> buffer(static_cast<std::size_t>(n > 0 ? n : 0) + 1, L'\0');
  GetWindowTextW(edit, buffer.data(), static_cast<int>(buffer.size()));
  return std::wstring(buffer.data());
}

// Beside what is typed: under Wine, that a rate Linux has no constant for
// runs at 38400 there.
void ShowNote(HWND box, const BoxState& state) {
  uint32_t rate = 0;
  const bool slowed = state.underWine && ParseCustomBaud(TypedText(box), rate) && !LinuxHasRate(rate);
  SetDlgItemTextW(box, IDC_BAUD_NOTE, slowed ? L"在Linux(Wine)下, 此波特率实际以38400运行" : L"");
}

INT_PTR CALLBACK BoxProc(HWND box, UINT msg, WPARAM wp, LPARAM lp) {
  auto* state = reinterpret_cast<BoxState*>(GetWindowLongPtrW(box, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      state = reinterpret_cast<BoxState*>(lp);
      SetWindowLongPtrW(box, DWLP_USER, lp);
      HWND edit = GetDlgItem(box, IDC_BAUD_EDIT);
      // 12000000 has eight digits.
      SendMessageW(edit, EM_LIMITTEXT, 8, 0);
      if (state->rate != 0) SetWindowTextW(edit, Format(L"%d", {static_cast<unsigned long>(state->rate)}).c_str());
      SendMessageW(edit, EM_SETSEL, 0, -1);
      ShowNote(box, *state);
      SetFocus(edit);
      return FALSE;
    }
    case WM_COMMAND:
      if (state == nullptr) return FALSE;
      if (LOWORD(wp) == IDC_BAUD_EDIT && HIWORD(wp) == EN_CHANGE) {
        ShowNote(box, *state);
        return TRUE;
      }
      if (LOWORD(wp) == IDOK) {
        uint32_t rate = 0;
        if (ParseCustomBaud(TypedText(box), rate)) {
          state->rate = rate;
          EndDialog(box, IDOK);
        } else {
          // Digits are all the box takes; a paste can bring anything.
          SetDlgItemTextW(box, IDC_BAUD_NOTE, L"请输入50至12000000之间的波特率");
          HWND edit = GetDlgItem(box, IDC_BAUD_EDIT);
          SetFocus(edit);
          SendMessageW(edit, EM_SETSEL, 0, -1);
        }
        return TRUE;
      }
      // Esc and the close box.
      if (LOWORD(wp) == IDCANCEL) {
        EndDialog(box, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

bool AskCustomBaud(HWND owner, uint32_t& rate) {
  BoxState state{rate, UnderWine()};
  const INT_PTR answer = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CUSTOM_BAUD), owner,
                                         BoxProc, reinterpret_cast<LPARAM>(&state));
  if (answer != IDOK) return false;
  rate = state.rate;
  return true;
}

}  // namespace tv
