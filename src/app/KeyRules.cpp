#include "app/KeyRules.h"

namespace tv {
namespace {

constexpr unsigned kKeyBack = 0x08;
constexpr unsigned kKeyDelete = 0x2E;
constexpr unsigned kKeyNumpad0 = 0x60;
constexpr unsigned kKeyNumpad9 = 0x69;

bool IsBreakOrBlank(wchar_t c) { return c == L' ' || c == L'\r'; }

}  // namespace

bool HexPaneNeedsBlank(long p, wchar_t beforePrevious, wchar_t previous) {
  return p >= 2 && !IsBreakOrBlank(beforePrevious) && !IsBreakOrBlank(previous);
}

wchar_t FilterHexPaneChar(wchar_t c) {
  if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  if (c == L'+') c = L' ';
  if ((c >= L'A' && c <= L'F') || (c >= L'0' && c <= L'9') || c == L' ') return c;
  return 0;
}

bool IsDelayBoxKey(unsigned key) {
  return (key >= '0' && key <= '9') || (key >= kKeyNumpad0 && key <= kKeyNumpad9) || key == kKeyBack ||
         key == kKeyDelete;
}

}  // namespace tv
