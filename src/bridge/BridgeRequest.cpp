#include "bridge/BridgeRequest.h"

#include <vector>

namespace tv {
namespace {

std::vector<std::wstring> SplitTabs(const std::wstring& line) {
  std::vector<std::wstring> fields;
  std::size_t start = 0;
  for (;;) {
    std::size_t tab = line.find(L'\t', start);
    fields.push_back(line.substr(start, tab == std::wstring::npos ? std::wstring::npos : tab - start));
    if (tab == std::wstring::npos) return fields;
    start = tab + 1;
  }
}

bool IsProductName(const std::wstring& s) {
  if (s.empty() || s.size() > kMaxProductChars) return false;
  for (wchar_t c : s)
    if (c < 0x20 || c == 0x7F) return false;
  return true;
}

}  // namespace

bool IsComPortName(const std::wstring& name) {
  if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, L"COM") != 0 || name[3] == L'0') return false;
  unsigned number = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (name[i] < L'0' || name[i] > L'9') return false;
    number = number * 10 + static_cast<unsigned>(name[i] - L'0');
  }
  return number <= 256;
}

BridgeRequest ParseBridgeRequest(const std::wstring& line) {
  BridgeRequest request;
  std::vector<std::wstring> f = SplitTabs(line);
  if (f.size() < 2 || !IsComPortName(f[1])) return request;
  if (f[0] == L"add" && f.size() == 3 && IsProductName(f[2])) {
    request.kind = BridgeRequest::Kind::kAdd;
    request.product = f[2];
  } else if (f[0] == L"remove" && f.size() == 2) {
    request.kind = BridgeRequest::Kind::kRemove;
  } else {
    return request;
  }
  request.port = f[1];
  return request;
}

std::wstring PortFriendlyName(const std::wstring& product, const std::wstring& port) {
  return product + L" (" + port + L")";
}

}  // namespace tv
