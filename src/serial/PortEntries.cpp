#include "serial/PortEntries.h"

#include <algorithm>

namespace tv {
namespace {

std::size_t StartOfName(const std::wstring& s) {
  std::size_t p = s.rfind(L'(');
  return p == std::wstring::npos ? 1 : p + 1;
}

}  // namespace

bool IsComEntry(const std::wstring& friendlyName) {
  std::size_t start = StartOfName(friendlyName);
  return friendlyName.size() >= start + 3 && friendlyName.compare(start, 3, L"COM") == 0;
}

std::wstring PortNameOfEntry(const std::wstring& friendlyName) {
  std::size_t start = StartOfName(friendlyName);
  if (start >= friendlyName.size()) return std::wstring();
  std::size_t close = friendlyName.find(L')', start);
  return friendlyName.substr(start, close == std::wstring::npos ? std::wstring::npos : close - start);
}

void PortEntries::assign(std::vector<std::wstring> names, StringCompare compare) {
  names.erase(std::remove_if(names.begin(), names.end(),
                             [](const std::wstring& n) { return !IsComEntry(n); }),
              names.end());
  std::sort(names.begin(), names.end(), [compare](const std::wstring& a, const std::wstring& b) {
    return compare(a.c_str(), b.c_str()) < 0;
  });
  entries_ = std::move(names);
}

int PortEntries::findPort(const std::wstring& name) const {
  for (int i = 0; i < count(); ++i)
    if (portNameAt(i) == name) return i;
  return -1;
}

std::wstring PortEntries::friendlyNameOf(const std::wstring& name) const {
  int i = findPort(name);
  return i < 0 ? std::wstring() : entryAt(i);
}

}  // namespace tv
