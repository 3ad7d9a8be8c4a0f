// What one append costs the receive view's control as its text grows: a
// rich edit like the receive view (same class, style and width), filled by
// appends of a fixed size, timing every sixteenth append.
//
//   view_append.exe hex|text <bytes per append> <total bytes> [<characters per text line>]
//
// Hex appends are "%02X " per byte with no line break (as the hex view
// shows them), text appends are printable lines. Prints one line per
// measured append: the view's length and the milliseconds the append took.
// Run under Wine it shows why the hex view slows down as it fills: the
// control lays out the whole paragraph again on every insertion.
#include <windows.h>
#include <richedit.h>

#include <cstdio>
#include <string>

namespace {

double Seconds() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return double(c.QuadPart) / double(f.QuadPart);
}

std::wstring Piece(bool hex, std::size_t bytes, std::size_t at, std::size_t lineChars) {
  std::wstring s;
  wchar_t pair[4];
  for (std::size_t i = 0; i < bytes; ++i) {
    std::size_t k = at + i;
    if (hex) {
      swprintf(pair, 4, L"%02X ", static_cast<unsigned>(k * 7) & 0xFF);
      s += pair;
    } else {
      s += k % lineChars == lineChars - 1 ? L'\n' : static_cast<wchar_t>(0x21 + k % 94);
    }
  }
  return s;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: view_append hex|text bytes-per-append total-bytes [line-chars]\n");
    return 2;
  }
  bool hex = std::wstring(argv[1]) == L"hex";
  std::size_t piece = static_cast<std::size_t>(_wtoi(argv[2]));
  std::size_t total = static_cast<std::size_t>(_wtoi(argv[3]));
  std::size_t lineChars = argc > 4 ? static_cast<std::size_t>(_wtoi(argv[4])) : 64;
  if (piece == 0 || lineChars < 2) return 2;
  LoadLibraryW(L"msftedit.dll");
  HWND top = CreateWindowW(L"STATIC", L"view", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 500, 400, nullptr, nullptr,
                           nullptr, nullptr);
  HWND view = CreateWindowExW(0, L"RichEdit50W", L"",
                              WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL, 0, 0,
                              480, 200, top, nullptr, nullptr, nullptr);
  SendMessageW(view, EM_EXLIMITTEXT, 0, 0x7FFFFFFF);
  std::size_t step = 0;
  for (std::size_t at = 0; at < total; at += piece, ++step) {
    std::wstring text = Piece(hex, piece, at, lineChars);
    double t0 = Seconds();
    SendMessageW(view, EM_SETSEL, static_cast<WPARAM>(-1), -1);
    SendMessageW(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(view, WM_VSCROLL, SB_BOTTOM, 0);
    double t1 = Seconds();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    if (step % 16 == 0) {
      std::printf("%zu characters before, %zu appended: %.1f ms\n", at * (hex ? 3 : 1), text.size(), (t1 - t0) * 1e3);
      std::fflush(stdout);
    }
  }
  DestroyWindow(top);
  return 0;
}
