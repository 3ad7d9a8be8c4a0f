// The requests the Linux half of the port bridge sends its Windows half, one
// line each, fields separated by tabs:
//   add <TAB> COMn <TAB> product name     an adapter arrived as COMn
//   remove <TAB> COMn                     the adapter of COMn left
#pragma once

#include <cstddef>
#include <string>

namespace tv {

struct BridgeRequest {
  enum class Kind { kInvalid, kAdd, kRemove };
  Kind kind = Kind::kInvalid;
  std::wstring port;
  std::wstring product;  // add only
};

// A product name longer than this is refused: it comes from a device's own
// descriptor, and the friendly name built from it must fit the port menu.
constexpr std::size_t kMaxProductChars = 128;

// Anything but a well-formed add or remove is kInvalid.
BridgeRequest ParseBridgeRequest(const std::wstring& line);

// COM1 to COM256, written without leading zeros (the names Windows gives).
bool IsComPortName(const std::wstring& name);

// The name the port list shows, "FT232R USB UART (COM3)": the port in the
// last parentheses, where the program looks for it.
std::wstring PortFriendlyName(const std::wstring& product, const std::wstring& port);

}  // namespace tv
