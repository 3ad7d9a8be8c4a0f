// The port list as the receive view shows it at start and on F4.
#include "base/Format.h"
#include "diagnostics/Reports.h"

namespace tv {

std::wstring PortListReport(const PortEntries& ports) {
  std::wstring out = L"...................串口列表................\n";
  if (ports.count() == 0) {
    out += L"未发现串口!\n";
  } else {
    for (int i = 0; i < ports.count(); ++i) out += Format(L"%d.%s \n", {i + 1, ports.entryAt(i)});
  }
  out += L"...............按F1查看更多帮助.............\n";
  return out;
}

}  // namespace tv
