// The sorted list of present serial ports, as friendly names such as
// "USB-SERIAL CH340 (COM7)". The chosen port is remembered by its bare
// name (COM7), never by its position, so a changed list never changes it.
#pragma once

#include <string>
#include <vector>

namespace tv {

// Whether a Ports-class device with this friendly name is a COM port: the
// text after its last "(" starts with "COM" (after position 0 when there is
// no "(" at all).
bool IsComEntry(const std::wstring& friendlyName);

// The bare port name: from after the last "(" up to the first ")" after it,
// or to the end when none follows.
std::wstring PortNameOfEntry(const std::wstring& friendlyName);

using StringCompare = int (*)(const wchar_t*, const wchar_t*);

class PortEntries {
 public:
  // Keeps the COM entries, ordered by the given comparison of the whole
  // friendly names (the platform's locale-aware one in the program).
  void assign(std::vector<std::wstring> friendlyNames, StringCompare compare);

  int count() const { return static_cast<int>(entries_.size()); }
  // Callers keep to indexes below count().
  const std::wstring& entryAt(int i) const { return entries_[static_cast<std::size_t>(i)]; }
  std::wstring portNameAt(int i) const { return PortNameOfEntry(entryAt(i)); }
  // The first entry whose port name equals name exactly, or -1.
  int findPort(const std::wstring& name) const;
  // The whole entry for a port name, or empty.
  std::wstring friendlyNameOf(const std::wstring& name) const;

 private:
  std::vector<std::wstring> entries_;
};

}  // namespace tv
