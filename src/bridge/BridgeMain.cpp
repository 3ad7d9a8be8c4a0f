// TarnVikBridge: the Windows half of the port bridge that lets Tarn#Vik use
// USB-serial adapters under Wine on Linux. The Linux half watches the
// adapters, links each to a COM port of the prefix and sends one request
// line per change on standard input (BridgeRequest.h); this program keeps a
// Ports-class device for each such port and tells every window of the
// session, as Windows does when an adapter is plugged or pulled. It answers
// each request with one line, "ok" or "err <TAB> why".
//
// It starts by removing the devices an earlier run could not remove (its
// Linux half was killed), then says "ready". When its input ends it removes
// the devices it added: the ports are no longer looked after.
#include <windows.h>
#include <setupapi.h>
#include <initguid.h>
#include <devguid.h>

#include <map>
#include <string>

#include "bridge/BridgeRequest.h"
#include "bridge/Broadcast.h"
#include "bridge/RootDevices.h"

namespace {

// The devices' instance ids are ROOT\TARNVIKPORT\NNNN.
const wchar_t kIdBase[] = L"TARNVIKPORT";
constexpr std::size_t kLongestLine = 4096;

std::wstring FromUtf8(const std::string& s) {
  if (s.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

bool WriteLine(const std::string& line) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  std::string data = line + "\n";
  std::size_t done = 0;
  while (done < data.size()) {
    DWORD n = 0;
    if (!WriteFile(out, data.data() + done, static_cast<DWORD>(data.size() - done), &n, nullptr) || n == 0)
      return false;
    done += n;
  }
  return true;
}

std::string Narrow(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }

// The ports this run added, by name, with their devices' instance ids.
class Ports {
 public:
  std::string add(const tv::BridgeRequest& r) {
    if (devices_.count(r.port)) return "err\t" + Narrow(r.port) + " is already there";
    std::wstring id;
    DWORD error = tv::AddRootDevice(GUID_DEVCLASS_PORTS, kIdBase, tv::PortFriendlyName(r.product, r.port), r.port, &id);
    if (error != ERROR_SUCCESS) return "err\tcould not add the device: error " + std::to_string(error);
    devices_[r.port] = id;
    tv::BroadcastPortChange(true, r.port);
    return "ok";
  }

  std::string remove(const std::wstring& port) {
    auto it = devices_.find(port);
    if (it == devices_.end()) return "err\t" + Narrow(port) + " is not there";
    DWORD error = tv::RemoveDeviceInstance(it->second);
    if (error != ERROR_SUCCESS) return "err\tcould not remove the device: error " + std::to_string(error);
    devices_.erase(it);
    tv::BroadcastPortChange(false, port);
    return "ok";
  }

  void removeAll() {
    while (!devices_.empty()) {
      std::wstring port = devices_.begin()->first;
      if (remove(port) != "ok") devices_.erase(port);
    }
  }

 private:
  std::map<std::wstring, std::wstring> devices_;
};

std::string Handle(Ports& ports, const std::string& line) {
  tv::BridgeRequest r = tv::ParseBridgeRequest(FromUtf8(line));
  switch (r.kind) {
    case tv::BridgeRequest::Kind::kAdd: return ports.add(r);
    case tv::BridgeRequest::Kind::kRemove: return ports.remove(r.port);
    case tv::BridgeRequest::Kind::kInvalid: break;
  }
  return "err\tnot a request";
}

}  // namespace

int main() {
  tv::RemoveRootDevices(kIdBase);
  if (!WriteLine("ready")) return 1;

  Ports ports;
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  std::string pending;
  char buffer[4096];
  for (;;) {
    std::size_t newline = pending.find('\n');
    if (newline == std::string::npos) {
      // A line no request comes near is not kept growing.
      if (pending.size() > kLongestLine) {
        pending.clear();
        if (!WriteLine("err\tline too long")) break;
      }
      DWORD n = 0;
      if (!ReadFile(in, buffer, sizeof(buffer), &n, nullptr) || n == 0) break;
      pending.append(buffer, n);
      continue;
    }
    std::string line = pending.substr(0, newline);
    pending.erase(0, newline + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!WriteLine(Handle(ports, line))) break;
  }
  ports.removeAll();
  return 0;
}
