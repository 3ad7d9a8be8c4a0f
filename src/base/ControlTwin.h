// A new control made like one of the dialog's: the same class, styles and
// rectangle, placed right after it in the tab order. A rich edit holding
// much text is replaced by such a twin rather than emptied, since emptying
// one costs time that grows faster than its length (under Wine seconds
// for a few hundred thousand characters) while making a new one and
// destroying the old costs little.
#pragma once

#include <windows.h>

namespace tv {

// Hidden twins get no id until they take the original's place, so the
// dialog's lookups by id keep finding the original meanwhile. The dialog's
// font is set; everything else (format, limits, event mask, subclassing)
// is for the caller. Null when the control could not be made.
HWND MakeTwin(HWND original, bool visible);

// The twin takes the original's id, its current rectangle and the focus
// if it had it, and is shown; the original stays as it is, for the caller
// to destroy.
void PutTwinInPlace(HWND original, HWND twin);

}  // namespace tv
