// The input rules of the hex pane and the delay box, apart from the
// window that applies them.
#pragma once

namespace tv {

// The hex pane puts a blank between pairs by itself: before a typed digit
// at position p when the two characters before it are neither blanks nor
// carriage returns. Never at positions 0 and 1.
bool HexPaneNeedsBlank(long p, wchar_t beforePrevious, wchar_t previous);

// What a typed character becomes in the hex pane: upper-case digits, '+'
// as a blank; 0 when it is refused.
wchar_t FilterHexPaneChar(wchar_t c);

// The delay box takes decimal digits only.
inline bool IsDelayBoxChar(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Keys that pass the delay box's key filter (virtual-key codes): digits,
// keypad digits, Backspace and Delete.
bool IsDelayBoxKey(unsigned key);

}  // namespace tv
