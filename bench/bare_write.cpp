// The yardstick for the send benchmark: overlapped WriteFile calls of a
// fixed block size in a bare loop, on a port set up as the program sets up
// its own (same time-outs and queue sizes), each waited for before the next.
//
//   bare_write.exe COM7 <count> [<block bytes> [<baud>]]
//
// Prints "<bytes> <seconds>" for the loop alone on stdout.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bare_write COMn count\n");
    return 2;
  }
  std::wstring path = std::wstring(L"\\\\.\\") + argv[1];
  long count = std::wcstol(argv[2], nullptr, 10);
  long block = argc > 3 ? std::wcstol(argv[3], nullptr, 10) : 1;
  long baud = argc > 4 ? std::wcstol(argv[4], nullptr, 10) : 115200;
  if (block < 1) block = 1;
  HANDLE port = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "cannot open port: %lu\n", GetLastError());
    return 1;
  }
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.WriteTotalTimeoutConstant = 5000;
  SetCommTimeouts(port, &timeouts);
  DCB dcb{};
  dcb.DCBlength = sizeof(dcb);
  GetCommState(port, &dcb);
  dcb.BaudRate = static_cast<DWORD>(baud);
  dcb.ByteSize = 8;
  dcb.StopBits = ONESTOPBIT;
  dcb.Parity = NOPARITY;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  SetCommState(port, &dcb);
  SetupComm(port, 10000, 10000);

  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  long written = 0;
  unsigned char bytes[4096];
  if (block > static_cast<long>(sizeof(bytes))) block = sizeof(bytes);
  for (long i = 0; i < count; i += block) {
    long size = count - i < block ? count - i : block;
    for (long k = 0; k < size; ++k) bytes[k] = static_cast<unsigned char>((i + k) * 7 + ((i + k) >> 8));
    OVERLAPPED ov{};
    ov.hEvent = done;
    DWORD n = 0;
    if (!WriteFile(port, bytes, static_cast<DWORD>(size), &n, &ov)) {
      if (GetLastError() != ERROR_IO_PENDING) break;
      if (WaitForSingleObject(done, 5000) != WAIT_OBJECT_0) CancelIo(port);
      if (!GetOverlappedResult(port, &ov, &n, TRUE)) n = 0;
    }
    written += static_cast<long>(n);
  }
  QueryPerformanceCounter(&end);
  std::printf("%ld %.6f\n", written, double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
  CloseHandle(done);
  CloseHandle(port);
  return 0;
}
