// tvhelper: the Windows-side hands of the end-to-end tests.
//
// The tests run on Linux and drive the program under Wine. Everything that
// has to happen inside Windows (finding windows, reading controls across
// processes, the registry, SetupAPI devices, COM ports) goes through this
// program. Starting a Wine process costs a noticeable fraction of a second,
// so the normal mode is "serve": one helper per test session answering
// requests read line by line from stdin.
//
// Protocol (UTF-8, one request line in, one answer line out):
//   request:  command <TAB> arg <TAB> arg ...
//   answer:   ok [<TAB> field]...      or      err <TAB> message
// In every field, backslash, tab, CR and LF are written as \\ \t \r \n.
// Answers listing records put the fields of each record one after the
// other; the command's description says how many fields a record has.
//
// Other modes:
//   tvhelper.exe <command> <args...>   one request; prints the fields
//                                      (escaped, tab separated) or the
//                                      error on stderr with exit code 1.
//   tvhelper.exe test-window [title]   a small stand-in window for the
//                                      harness's own tests.

#include <windows.h>
#include <setupapi.h>
#include <initguid.h>
#include <devguid.h>
#include <dbt.h>
#include <shellapi.h>
#include <io.h>
#include <fcntl.h>
#include <stdio.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/PortRecord.h"
#include "bridge/RootDevices.h"

namespace {

struct Fail {
    std::string message;
};

using Args = std::vector<std::wstring>;
using Fields = std::vector<std::string>;

DWORD g_send_timeout_ms = 5000;

// ---------------------------------------------------------------- text

std::string utf8(const std::wstring& w) {
    if (w.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, nullptr, nullptr);
    return s;
}

std::wstring wide(const std::string& s) {
    if (s.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), &w[0], n);
    return w;
}

std::string escape(const std::string& s) {
    std::string out;
    out.reserve(s.size() + 8);
    for (char c : s) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        default: out += c;
        }
    }
    return out;
}

std::string unescape(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c != '\\' || i + 1 == s.size()) {
            out += c;
            continue;
        }
        char n = s[++i];
        switch (n) {
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case '\\': out += '\\'; break;
        default: out += '\\'; out += n;
        }
    }
    return out;
}

std::vector<std::string> split_tabs(const std::string& line) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        if (tab == std::string::npos) {
            parts.push_back(line.substr(start));
            return parts;
        }
        parts.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
}

std::string num(long long v) { return std::to_string(v); }
std::string unum(unsigned long long v) { return std::to_string(v); }

std::string win_error(DWORD code) {
    wchar_t* buf = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), (LPWSTR)&buf, 0, nullptr);
    std::string text = buf ? utf8(buf) : std::string();
    if (buf) LocalFree(buf);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return "error " + std::to_string(code) + (text.empty() ? "" : " (" + text + ")");
}

[[noreturn]] void fail(const std::string& what) { throw Fail{what}; }
[[noreturn]] void fail_last(const std::string& what) { throw Fail{what + ": " + win_error(GetLastError())}; }
[[noreturn]] void fail_code(const std::string& what, LONG code) { throw Fail{what + ": " + win_error((DWORD)code)}; }

// ---------------------------------------------------------------- arguments

void need(const Args& a, size_t min, size_t max, const char* usage) {
    if (a.size() < min || a.size() > max) fail(std::string("usage: ") + usage);
}

long long parse_int(const std::wstring& s, const char* what) {
    if (s.empty()) fail(std::string("empty ") + what);
    wchar_t* end = nullptr;
    errno = 0;
    long long v;
    if (s[0] == L'-')
        v = wcstoll(s.c_str(), &end, 0);
    else
        v = (long long)wcstoull(s.c_str(), &end, 0);
    if (!end || *end != L'\0' || errno == ERANGE) fail(std::string("bad ") + what + ": " + utf8(s));
    return v;
}

HWND parse_hwnd(const std::wstring& s) { return (HWND)(uintptr_t)parse_int(s, "window handle"); }

std::string hwnd_str(HWND h) { return unum((unsigned long long)(uintptr_t)h); }

HWND window_arg(const Args& a, size_t i) {
    HWND h = parse_hwnd(a.at(i));
    if (!IsWindow(h)) fail("no such window: " + utf8(a[i]));
    return h;
}

// The window itself, or its child control when a non-zero id follows.
HWND target_arg(const Args& a, size_t i) {
    HWND h = window_arg(a, i);
    if (a.size() > i + 1) {
        int id = (int)parse_int(a[i + 1], "control id");
        if (id != 0) {
            HWND c = GetDlgItem(h, id);
            if (!c) fail("no control " + std::to_string(id));
            return c;
        }
    }
    return h;
}

std::vector<unsigned char> parse_hex(const std::wstring& s) {
    std::vector<unsigned char> out;
    int hi = -1;
    for (wchar_t c : s) {
        int v;
        if (c >= L'0' && c <= L'9') v = c - L'0';
        else if (c >= L'a' && c <= L'f') v = c - L'a' + 10;
        else if (c >= L'A' && c <= L'F') v = c - L'A' + 10;
        else if (c == L' ' || c == L':' || c == L'-' || c == L',') continue;
        else fail("bad hex: " + utf8(s));
        if (hi < 0) hi = v;
        else { out.push_back((unsigned char)(hi * 16 + v)); hi = -1; }
    }
    if (hi >= 0) fail("odd number of hex digits: " + utf8(s));
    return out;
}

std::string to_hex(const unsigned char* p, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

// ---------------------------------------------------------------- windows

// Every query that needs the program's cooperation is bounded, so a hung
// program turns into a failing test instead of a hung suite.
LRESULT send_bounded(HWND h, UINT msg, WPARAM w, LPARAM l) {
    DWORD_PTR result = 0;
    SetLastError(0);
    if (!SendMessageTimeoutW(h, msg, w, l, SMTO_NORMAL | SMTO_ABORTIFHUNG, g_send_timeout_ms, &result)) {
        DWORD e = GetLastError();
        if (e == 0 || e == ERROR_TIMEOUT)
            fail("timeout: window " + hwnd_str(h) + " did not answer message " + std::to_string(msg) + " within " +
                 std::to_string(g_send_timeout_ms) + " ms");
        fail_last("SendMessageTimeout");
    }
    return (LRESULT)result;
}

std::wstring window_title(HWND h) {
    // GetWindowTextW reads another process's caption without sending it a
    // message, so it works even when that process hangs.
    std::vector<wchar_t> buf(512);
    for (;;) {
        int n = GetWindowTextW(h, buf.data(), (int)buf.size());
        if (n < (int)buf.size() - 1) return std::wstring(buf.data(), n);
        buf.resize(buf.size() * 4);
    }
}

std::wstring class_name(HWND h) {
    wchar_t buf[256];
    int n = GetClassNameW(h, buf, 256);
    return std::wstring(buf, n > 0 ? n : 0);
}

std::wstring control_text(HWND h) {
    LRESULT len = send_bounded(h, WM_GETTEXTLENGTH, 0, 0);
    if (len < 0) len = 0;
    // The length can grow between the two messages (the program may be
    // receiving data), so retry with a bigger buffer when the text fills it.
    size_t size = (size_t)len + 64;
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::vector<wchar_t> buf(size + 1, L'\0');
        LRESULT n = send_bounded(h, WM_GETTEXT, size + 1, (LPARAM)buf.data());
        if (n < 0) n = 0;
        if ((size_t)n < size) return std::wstring(buf.data(), (size_t)n);
        size *= 2;
    }
    fail("text keeps growing");
}

struct FindState {
    std::wstring prefix;
    DWORD pid;
    bool want_pid;
    HWND visible_match;
    HWND any_match;
};

BOOL CALLBACK find_proc(HWND h, LPARAM lp) {
    FindState* st = (FindState*)lp;
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (st->want_pid && pid != st->pid) return TRUE;
    std::wstring t = window_title(h);
    if (t.compare(0, st->prefix.size(), st->prefix) != 0) return TRUE;
    if (IsWindowVisible(h)) {
        st->visible_match = h;
        return FALSE;
    }
    if (!st->any_match) st->any_match = h;
    return TRUE;
}

BOOL CALLBACK collect_proc(HWND h, LPARAM lp) {
    ((std::vector<HWND>*)lp)->push_back(h);
    return TRUE;
}

// ---------------------------------------------------------------- registry

struct RegPath {
    HKEY root;
    std::wstring sub;
};

// Paths are under HKLM unless they start with HKLM\, HKCU\ or HKU\.
RegPath reg_path(const std::wstring& p) {
    struct Root { const wchar_t* name; HKEY key; };
    static const Root roots[] = {
        {L"HKEY_LOCAL_MACHINE\\", HKEY_LOCAL_MACHINE}, {L"HKLM\\", HKEY_LOCAL_MACHINE},
        {L"HKEY_CURRENT_USER\\", HKEY_CURRENT_USER},   {L"HKCU\\", HKEY_CURRENT_USER},
        {L"HKEY_USERS\\", HKEY_USERS},                 {L"HKU\\", HKEY_USERS},
    };
    for (const Root& r : roots) {
        size_t n = wcslen(r.name);
        if (p.size() >= n && _wcsnicmp(p.c_str(), r.name, n) == 0) return {r.key, p.substr(n)};
    }
    return {HKEY_LOCAL_MACHINE, p};
}

struct Key {
    HKEY h = nullptr;
    ~Key() { if (h) RegCloseKey(h); }
};

// Returns false when the key does not exist.
bool reg_open(const std::wstring& path, REGSAM access, Key& k) {
    RegPath rp = reg_path(path);
    LONG r = RegOpenKeyExW(rp.root, rp.sub.c_str(), 0, access | KEY_WOW64_64KEY, &k.h);
    if (r == ERROR_FILE_NOT_FOUND) return false;
    if (r != ERROR_SUCCESS) fail_code("RegOpenKeyEx " + utf8(path), r);
    return true;
}

void reg_create(const std::wstring& path, Key& k) {
    RegPath rp = reg_path(path);
    LONG r = RegCreateKeyExW(rp.root, rp.sub.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &k.h,
                             nullptr);
    if (r != ERROR_SUCCESS) fail_code("RegCreateKeyEx " + utf8(path), r);
}

std::vector<std::wstring> reg_subkeys(HKEY k) {
    std::vector<std::wstring> names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD n = 256;
        LONG r = RegEnumKeyExW(k, i, name, &n, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) fail_code("RegEnumKeyEx", r);
        names.emplace_back(name, n);
    }
    return names;
}

// RegDeleteTree is Vista and later; the walk below works on every version.
bool reg_delete_tree(const RegPath& rp) {
    HKEY k = nullptr;
    LONG r = RegOpenKeyExW(rp.root, rp.sub.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &k);
    if (r == ERROR_FILE_NOT_FOUND) return false;
    if (r != ERROR_SUCCESS) fail_code("RegOpenKeyEx " + utf8(rp.sub), r);
    std::vector<std::wstring> subs;
    try {
        subs = reg_subkeys(k);
    } catch (...) {
        RegCloseKey(k);
        throw;
    }
    RegCloseKey(k);
    for (const std::wstring& s : subs) reg_delete_tree({rp.root, rp.sub + L"\\" + s});
    r = RegDeleteKeyW(rp.root, rp.sub.c_str());
    if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) fail_code("RegDeleteKey " + utf8(rp.sub), r);
    return true;
}

// RegSetValueEx stores exactly the bytes given. For string types it would
// count a terminator the caller left out when one happens to follow the data
// in memory (Windows does this too), so the data is copied into a buffer
// followed by non-zero bytes.
void reg_set_exact(const std::wstring& path, const std::wstring& name, DWORD type, const void* data, size_t size) {
    std::vector<unsigned char> buf(size + 4, 0xFF);
    if (size) memcpy(buf.data(), data, size);
    Key k;
    reg_create(path, k);
    LONG r = RegSetValueExW(k.h, name.c_str(), 0, type, buf.data(), (DWORD)size);
    if (r != ERROR_SUCCESS) fail_code("RegSetValueEx", r);
}

struct RegValue {
    std::wstring name;
    DWORD type;
    std::vector<unsigned char> data;
};

std::vector<RegValue> reg_values(HKEY k) {
    std::vector<RegValue> out;
    DWORD max_name = 0, max_data = 0;
    LONG r = RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &max_name, &max_data,
                              nullptr, nullptr);
    if (r != ERROR_SUCCESS) fail_code("RegQueryInfoKey", r);
    for (DWORD i = 0;; ++i) {
        std::vector<wchar_t> name(max_name + 2);
        std::vector<unsigned char> data(max_data + 2);
        DWORD nlen = (DWORD)name.size(), dlen = (DWORD)data.size(), type = 0;
        r = RegEnumValueW(k, i, name.data(), &nlen, nullptr, &type, data.data(), &dlen);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r == ERROR_MORE_DATA) {  // changed under us: ask for sizes again
            RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &max_name, &max_data,
                             nullptr, nullptr);
            max_name += 64;
            max_data += 64;
            --i;
            continue;
        }
        if (r != ERROR_SUCCESS) fail_code("RegEnumValue", r);
        data.resize(dlen);
        out.push_back({std::wstring(name.data(), nlen), type, data});
    }
    return out;
}

// ---------------------------------------------------------------- devices

// MAX_DEVICE_ID_LEN (200) lives in cfgmgr32.h; a little more room is harmless.
const DWORD kDeviceIdChars = 512;

std::wstring device_add(const GUID& cls, const wchar_t* base, const std::wstring& friendly,
                        const std::wstring& port_name) {
    std::wstring id;
    DWORD e = tv::AddRootDevice(cls, base, friendly, port_name, &id);
    if (e != ERROR_SUCCESS) fail_code("add device", (LONG)e);
    return id;
}

void device_remove(const std::wstring& instance_id) {
    DWORD e = tv::RemoveDeviceInstance(instance_id);
    if (e != ERROR_SUCCESS) fail_code("remove device " + utf8(instance_id), (LONG)e);
}

std::wstring device_property(HDEVINFO set, SP_DEVINFO_DATA* d, DWORD prop) {
    std::vector<unsigned char> buf(1024);
    DWORD type = 0, size = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, d, prop, &type, buf.data(), (DWORD)buf.size(), &size)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::wstring();
        buf.resize(size + 2);
        if (!SetupDiGetDeviceRegistryPropertyW(set, d, prop, &type, buf.data(), (DWORD)buf.size(), &size))
            return std::wstring();
    }
    std::wstring s((const wchar_t*)buf.data(), size / sizeof(wchar_t));
    while (!s.empty() && s.back() == L'\0') s.pop_back();
    return s;
}

std::wstring guid_str(const GUID& g) {
    wchar_t buf[64];
    _snwprintf(buf, 64, L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", (unsigned long)g.Data1, g.Data2,
               g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
               g.Data4[7]);
    return buf;
}

// Present devices as the program is expected to enumerate them; with a
// class given, only that class; each record: instance id, class, friendly.
Fields list_devices(const GUID* only) {
    HDEVINFO set = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_PROFILE);
    if (set == INVALID_HANDLE_VALUE) fail_last("SetupDiGetClassDevs");
    Fields out;
    SP_DEVINFO_DATA d;
    d.cbSize = sizeof(d);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &d); ++i) {
        if (only && !IsEqualGUID(d.ClassGuid, *only)) continue;
        wchar_t id[kDeviceIdChars] = L"";
        SetupDiGetDeviceInstanceIdW(set, &d, id, kDeviceIdChars, nullptr);
        out.push_back(utf8(id));
        out.push_back(utf8(guid_str(d.ClassGuid)));
        out.push_back(utf8(device_property(set, &d, SPDRP_FRIENDLYNAME)));
    }
    SetupDiDestroyDeviceInfoList(set);
    return out;
}

Fields friendly_names(const GUID& cls) {
    Fields records = list_devices(&cls);
    Fields names;
    for (size_t i = 2; i < records.size(); i += 3) names.push_back(records[i]);
    return names;
}

// ---------------------------------------------------------------- COM ports

std::map<std::wstring, HANDLE> g_ports;

std::wstring port_key(const std::wstring& name) {
    std::wstring k = name;
    for (wchar_t& c : k) c = (wchar_t)towupper(c);
    if (k.compare(0, 4, L"\\\\.\\") == 0) k = k.substr(4);
    return k;
}

HANDLE port_handle(const std::wstring& name) {
    auto it = g_ports.find(port_key(name));
    if (it == g_ports.end()) fail("port not open here: " + utf8(name));
    return it->second;
}

HANDLE port_open(const std::wstring& name) {
    std::wstring key = port_key(name);
    if (g_ports.count(key)) fail("port already open here: " + utf8(name));
    std::wstring path = name.find(L'\\') == std::wstring::npos ? L"\\\\.\\" + name : name;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) fail_last("open " + utf8(name));
    g_ports[key] = h;
    return h;
}

void port_config(HANDLE h, DWORD baud, BYTE bits, BYTE parity, BYTE stop) {
    DCB dcb;
    ZeroMemory(&dcb, sizeof(dcb));
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(h, &dcb)) fail_last("GetCommState");
    dcb.BaudRate = baud;
    dcb.ByteSize = bits;
    dcb.Parity = parity;
    dcb.StopBits = stop;
    dcb.fBinary = TRUE;
    dcb.fParity = parity != NOPARITY;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    if (!SetCommState(h, &dcb)) fail_last("SetCommState");
}

std::string port_read(HANDLE h, size_t max, DWORD timeout_ms) {
    // Reads return at once with what is queued; the loop waits for more
    // until `max` bytes came or the time is up.
    COMMTIMEOUTS to = {MAXDWORD, 0, 0, 0, 0};
    if (!SetCommTimeouts(h, &to)) fail_last("SetCommTimeouts");
    std::vector<unsigned char> got;
    DWORD start = GetTickCount();
    while (got.size() < max) {
        DWORD errors = 0;
        COMSTAT st;
        ZeroMemory(&st, sizeof(st));
        if (!ClearCommError(h, &errors, &st)) fail_last("ClearCommError");
        if (st.cbInQue > 0) {
            std::vector<unsigned char> buf(std::min<size_t>(st.cbInQue, max - got.size()));
            DWORD n = 0;
            if (!ReadFile(h, buf.data(), (DWORD)buf.size(), &n, nullptr)) fail_last("ReadFile");
            got.insert(got.end(), buf.begin(), buf.begin() + n);
            continue;
        }
        if (GetTickCount() - start >= timeout_ms) break;
        Sleep(2);
    }
    return to_hex(got.data(), got.size());
}

// ---------------------------------------------------------------- clipboard

struct ClipboardOpen {
    ClipboardOpen() {
        // Another process (the program) may hold it for a moment.
        for (int i = 0; i < 100; ++i) {
            if (OpenClipboard(nullptr)) return;
            Sleep(20);
        }
        fail_last("OpenClipboard");
    }
    ~ClipboardOpen() { CloseClipboard(); }
};

// Format 0 only empties the clipboard.
void clipboard_set(UINT format, const void* data, size_t size) {
    ClipboardOpen open;
    if (!EmptyClipboard()) fail_last("EmptyClipboard");
    if (!format) return;
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, size ? size : 1);
    if (!mem) fail_last("GlobalAlloc");
    void* p = GlobalLock(mem);
    if (size) memcpy(p, data, size);
    GlobalUnlock(mem);
    if (!SetClipboardData(format, mem)) {
        GlobalFree(mem);
        fail_last("SetClipboardData");
    }
}

bool clipboard_get(UINT format, std::vector<unsigned char>& out) {
    ClipboardOpen open;
    HANDLE h = GetClipboardData(format);
    if (!h) return false;
    const void* p = GlobalLock(h);
    if (!p) return false;
    out.assign((const unsigned char*)p, (const unsigned char*)p + GlobalSize(h));
    GlobalUnlock(h);
    return true;
}

// ---------------------------------------------------------------- commands

using Handler = std::function<Fields(const Args&)>;

Fields yes_no(bool v) { return {v ? "1" : "0"}; }

DWORD pid_of(HWND h) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    return pid;
}

Fields devchange_port(const Args& a) {
    need(a, 3, 3, "devchange-port <hwnd> <arrival|removal> <port name>");
    HWND h = window_arg(a, 0);
    WPARAM event;
    if (a[1] == L"arrival") event = DBT_DEVICEARRIVAL;
    else if (a[1] == L"removal") event = DBT_DEVICEREMOVECOMPLETE;
    else event = (WPARAM)parse_int(a[1], "event");
    std::vector<unsigned char> rec = tv::PortRecord(a[2]);
    return {num(send_bounded(h, WM_DEVICECHANGE, event, (LPARAM)rec.data()))};
}

Fields devchange_volume(const Args& a) {
    need(a, 3, 4, "devchange-volume <hwnd> <arrival|removal> <unitmask> [flags]");
    HWND h = window_arg(a, 0);
    WPARAM event;
    if (a[1] == L"arrival") event = DBT_DEVICEARRIVAL;
    else if (a[1] == L"removal") event = DBT_DEVICEREMOVECOMPLETE;
    else event = (WPARAM)parse_int(a[1], "event");
    DEV_BROADCAST_VOLUME v;
    ZeroMemory(&v, sizeof(v));
    v.dbcv_size = sizeof(v);
    v.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    v.dbcv_unitmask = (DWORD)parse_int(a[2], "unit mask");
    v.dbcv_flags = a.size() > 3 ? (WORD)parse_int(a[3], "flags") : 0;
    return {num(send_bounded(h, WM_DEVICECHANGE, event, (LPARAM)&v))};
}

BYTE parse_parity(const std::wstring& s) {
    if (s.empty()) fail("empty parity");
    switch (towupper(s[0])) {
    case L'N': return NOPARITY;
    case L'O': return ODDPARITY;
    case L'E': return EVENPARITY;
    case L'M': return MARKPARITY;
    case L'S': return SPACEPARITY;
    }
    fail("bad parity (N O E M S): " + utf8(s));
}

BYTE parse_stop(const std::wstring& s) {
    if (s == L"1") return ONESTOPBIT;
    if (s == L"1.5") return ONE5STOPBITS;
    if (s == L"2") return TWOSTOPBITS;
    fail("bad stop bits (1 1.5 2): " + utf8(s));
}

Fields cmd_help(const Args&);

std::map<std::string, Handler>& commands() {
    static std::map<std::string, Handler> c;
    if (!c.empty()) return c;

    // --- session
    c["ping"] = [](const Args& a) -> Fields { return {"pong"}; };
    c["exit"] = [](const Args& a) -> Fields { return {}; };  // handled by the loop
    c["help"] = cmd_help;
    c["pid"] = [](const Args& a) -> Fields { return {unum(GetCurrentProcessId())}; };
    c["acp"] = [](const Args& a) -> Fields { return {unum(GetACP())}; };
    c["timeout"] = [](const Args& a) -> Fields {
        need(a, 0, 1, "timeout [ms]");
        if (!a.empty()) g_send_timeout_ms = (DWORD)parse_int(a[0], "timeout");
        return {unum(g_send_timeout_ms)};
    };
    c["sleep"] = [](const Args& a) -> Fields {
        need(a, 1, 1, "sleep <ms>");
        Sleep((DWORD)parse_int(a[0], "ms"));
        return {};
    };
    c["screen-size"] = [](const Args& a) -> Fields {
        return {num(GetSystemMetrics(SM_CXSCREEN)), num(GetSystemMetrics(SM_CYSCREEN))};
    };

    // --- windows
    c["find-window"] = [](const Args& a) -> Fields {
        need(a, 1, 2, "find-window <title prefix> [pid]");
        FindState st{a[0], 0, a.size() > 1, nullptr, nullptr};
        if (st.want_pid) st.pid = (DWORD)parse_int(a[1], "pid");
        EnumWindows(find_proc, (LPARAM)&st);
        HWND h = st.visible_match ? st.visible_match : st.any_match;
        return {h ? hwnd_str(h) : std::string()};
    };
    // Records of 5: hwnd, pid, visible, class, title.
    c["list-windows"] = [](const Args& a) -> Fields {
        need(a, 0, 1, "list-windows [pid]");
        std::vector<HWND> all;
        EnumWindows(collect_proc, (LPARAM)&all);
        DWORD want = a.empty() ? 0 : (DWORD)parse_int(a[0], "pid");
        Fields out;
        for (HWND h : all) {
            DWORD pid = pid_of(h);
            if (want && pid != want) continue;
            out.push_back(hwnd_str(h));
            out.push_back(unum(pid));
            out.push_back(IsWindowVisible(h) ? "1" : "0");
            out.push_back(utf8(class_name(h)));
            out.push_back(utf8(window_title(h)));
        }
        return out;
    };
    // Records of 5: hwnd, control id, class, visible, enabled.
    c["children"] = [](const Args& a) -> Fields {
        need(a, 1, 1, "children <hwnd>");
        HWND h = window_arg(a, 0);
        std::vector<HWND> all;
        EnumChildWindows(h, collect_proc, (LPARAM)&all);
        Fields out;
        for (HWND ch : all) {
            out.push_back(hwnd_str(ch));
            out.push_back(num(GetDlgCtrlID(ch)));
            out.push_back(utf8(class_name(ch)));
            out.push_back(IsWindowVisible(ch) ? "1" : "0");
            out.push_back(IsWindowEnabled(ch) ? "1" : "0");
        }
        return out;
    };
    c["is-window"] = [](const Args& a) -> Fields {
        need(a, 1, 1, "is-window <hwnd>");
        return yes_no(IsWindow(parse_hwnd(a[0])));
    };
    c["window-pid"] = [](const Args& a) -> Fields {
        need(a, 1, 1, "window-pid <hwnd>");
        return {unum(pid_of(window_arg(a, 0)))};
    };
    c["title"] = [](const Args& a) -> Fields {
        need(a, 1, 1, "title <hwnd>");
        return {utf8(window_title(window_arg(a, 0)))};
    };
    c["class"] = [](const Args& a) -> Fields {
        need(a, 1, 2, "class <hwnd> [id]");
        return {utf8(class_name(target_arg(a, 0)))};
    };
    c["control-hwnd"] = [](const Args& a) -> Fields {
        need(a, 2, 2, "control-hwnd <hwnd> <id>");
        return {hwnd_str(target_arg(a, 0))};
    };
    c["control-id"] = [](const Args& a) -> Fields {
        need(a, 1, 1, "control-id <hwnd>");
        return {num(GetDlgCtrlID(window_arg(a, 0)))};
    };
    c["rect"] = [](const Args& a) -> Fields {
        need(a, 1, 2, "rect <hwnd> [id]");
        RECT r;
        if (!GetWindowRect(target_arg(a, 0), &r)) fail_last("GetWindowRect");
        return {num(r.left), num(r.top), num(r.right), num(r.bottom)};
    };
    // In screen coordinates, so that the answer can be used for clicking.
    c["client-rect"] = [](const Args& a) -> Fields {
        need(a, 1, 2, "client-rect <hwnd> [id]");
        HWND h = target_arg(a, 0);
        RECT r;
        if (!GetClientRect(h, &r)) fail_last("GetClientRect");
        POINT tl = {r.left, r.top}, br = {r.right, r.bottom};
        ClientToScreen(h, &tl);
        ClientToScreen(h, &br);
        return {num(tl.x), num(tl.y), num(br.x), num(br.y)};
    };
    c["style"] = [](const Args& a) -> Fields {
        need(a, 1, 2, "style <hwnd> [id]");
        return {unum((DWORD)GetWindowLongW(target_arg(a, 0), GWL_STYLE))};
    };
    c["exstyle"] = [](const Args& a) -> Fields {
        need(a, 1, 2, "exstyle <hwnd> [id]");
        return {unum((DWORD)GetWindowLongW(target_arg(a, 0), GWL_EXSTYLE))};
    };
    c["enabled"] = [](const Args& a) -> Fields {
        need(a, 1, 2, "enabled <hwnd> [id]");
        return yes_no(IsWindowEnabled(target_arg(a, 0)));
    };
    c["visible"] = [](const Args& a) -> Fields {
        need(a, 1, 2, "visible <hwnd> [id]");
        return yes_no(IsWindowVisible(target_arg(a, 0)));
    };
    c["checked"] = [](const Args& a) -> Fields {
        need(a, 1, 2, "checked <hwnd> [id]");
        return {num(send_bounded(target_arg(a, 0), BM_GETCHECK, 0, 0))};
    };
    // Records: focus hwnd, its control id, active hwnd, capture hwnd.
    c["focus"] = [](const Args& a) -> Fields {
        need(a, 1, 1, "focus <hwnd>");
        HWND h = window_arg(a, 0);
        GUITHREADINFO gi;
        ZeroMemory(&gi, sizeof(gi));
        gi.cbSize = sizeof(gi);
        if (!GetGUIThreadInfo(GetWindowThreadProcessId(h, nullptr), &gi)) fail_last("GetGUIThreadInfo");
        return {hwnd_str(gi.hwndFocus), num(gi.hwndFocus ? GetDlgCtrlID(gi.hwndFocus) : 0), hwnd_str(gi.hwndActive),
                hwnd_str(gi.hwndCapture)};
    };
    c["foreground"] = [](const Args& a) -> Fields { return {hwnd_str(GetForegroundWindow())}; };
    c["text"] = [](const Args& a) -> Fields {
        need(a, 1, 2, "text <hwnd> [id]");
        return {utf8(control_text(target_arg(a, 0)))};
    };
    c["text-length"] = [](const Args& a) -> Fields {
        need(a, 1, 2, "text-length <hwnd> [id]");
        return {num(send_bounded(target_arg(a, 0), WM_GETTEXTLENGTH, 0, 0))};
    };
    c["set-text"] = [](const Args& a) -> Fields {
        need(a, 3, 3, "set-text <hwnd> <id> <text>");
        return {num(send_bounded(target_arg(a, 0), WM_SETTEXT, 0, (LPARAM)a[2].c_str()))};
    };
    c["replace-sel"] = [](const Args& a) -> Fields {
        need(a, 3, 3, "replace-sel <hwnd> <id> <text>");
        return {num(send_bounded(target_arg(a, 0), EM_REPLACESEL, TRUE, (LPARAM)a[2].c_str()))};
    };
    c["set-sel"] = [](const Args& a) -> Fields {
        need(a, 4, 4, "set-sel <hwnd> <id> <start> <end>");
        HWND h = target_arg(a, 0);
        send_bounded(h, EM_SETSEL, (WPARAM)parse_int(a[2], "start"), (LPARAM)parse_int(a[3], "end"));
        return {};
    };
    c["get-sel"] = [](const Args& a) -> Fields {
        need(a, 2, 2, "get-sel <hwnd> <id>");
        HWND h = target_arg(a, 0);
        DWORD s = MAXDWORD, e = MAXDWORD;
        LRESULT r = send_bounded(h, EM_GETSEL, (WPARAM)&s, (LPARAM)&e);
        if (s == MAXDWORD) s = LOWORD(r);
        if (e == MAXDWORD) e = HIWORD(r);
        return {unum(s), unum(e)};
    };
    auto command = [](const Args& a, bool post) -> Fields {
        need(a, 2, 4, post ? "post-command <hwnd> <id> [code] [lparam|child]"
                           : "send-command <hwnd> <id> [code] [lparam|child]");
        HWND h = window_arg(a, 0);
        int id = (int)parse_int(a[1], "id");
        int code = a.size() > 2 ? (int)parse_int(a[2], "notify code") : 0;
        LPARAM lp = 0;
        if (a.size() > 3) {
            if (a[3] == L"child") {
                lp = (LPARAM)GetDlgItem(h, id);
                if (!lp) fail("no control " + std::to_string(id));
            } else {
                lp = (LPARAM)parse_int(a[3], "lparam");
            }
        }
        WPARAM wp = MAKEWPARAM((WORD)id, (WORD)code);
        if (post) {
            if (!PostMessageW(h, WM_COMMAND, wp, lp)) fail_last("PostMessage");
            return {};
        }
        return {num(send_bounded(h, WM_COMMAND, wp, lp))};
    };
    c["post-command"] = [command](const Args& a) { return command(a, true); };
    c["send-command"] = [command](const Args& a) { return command(a, false); };
    c["post-message"] = [](const Args& a) -> Fields {
        need(a, 4, 4, "post-message <hwnd> <msg> <wparam> <lparam>");
        if (!PostMessageW(window_arg(a, 0), (UINT)parse_int(a[1], "msg"), (WPARAM)parse_int(a[2], "wparam"),
                          (LPARAM)parse_int(a[3], "lparam")))
            fail_last("PostMessage");
        return {};
    };
    c["send-message"] = [](const Args& a) -> Fields {
        need(a, 4, 4, "send-message <hwnd> <msg> <wparam> <lparam>");
        return {num(send_bounded(window_arg(a, 0), (UINT)parse_int(a[1], "msg"), (WPARAM)parse_int(a[2], "wparam"),
                                 (LPARAM)parse_int(a[3], "lparam")))};
    };
    c["devchange-port"] = devchange_port;
    c["devchange-volume"] = devchange_volume;

    // --- registry (64-bit view; paths under HKLM unless prefixed)
    c["reg-delete-key"] = [](const Args& a) -> Fields {
        need(a, 1, 1, "reg-delete-key <path>");
        return {reg_delete_tree(reg_path(a[0])) ? "deleted" : "absent"};
    };
    c["reg-delete-value"] = [](const Args& a) -> Fields {
        need(a, 2, 2, "reg-delete-value <path> <name>");
        Key k;
        if (!reg_open(a[0], KEY_SET_VALUE, k)) return {"absent"};
        LONG r = RegDeleteValueW(k.h, a[1].c_str());
        if (r == ERROR_FILE_NOT_FOUND) return {"absent"};
        if (r != ERROR_SUCCESS) fail_code("RegDeleteValue", r);
        return {"deleted"};
    };
    c["reg-create-key"] = [](const Args& a) -> Fields {
        need(a, 1, 1, "reg-create-key <path>");
        Key k;
        reg_create(a[0], k);
        return {};
    };
    c["reg-set-dword"] = [](const Args& a) -> Fields {
        need(a, 3, 3, "reg-set-dword <path> <name> <value>");
        DWORD v = (DWORD)parse_int(a[2], "value");
        reg_set_exact(a[0], a[1], REG_DWORD, &v, sizeof(v));
        return {};
    };
    // No terminating NUL is stored: the reader must not rely on one.
    c["reg-set-sz"] = [](const Args& a) -> Fields {
        need(a, 3, 3, "reg-set-sz <path> <name> <text>");
        reg_set_exact(a[0], a[1], REG_SZ, a[2].data(), a[2].size() * sizeof(wchar_t));
        return {};
    };
    c["reg-set-binary"] = [](const Args& a) -> Fields {
        need(a, 3, 4, "reg-set-binary <path> <name> <hex> [type]");
        std::vector<unsigned char> data = parse_hex(a[2]);
        DWORD type = a.size() > 3 ? (DWORD)parse_int(a[3], "type") : REG_BINARY;
        reg_set_exact(a[0], a[1], type, data.data(), data.size());
        return {};
    };
    c["reg-get"] = [](const Args& a) -> Fields {
        need(a, 2, 2, "reg-get <path> <name>");
        Key k;
        if (!reg_open(a[0], KEY_QUERY_VALUE, k)) return {"absent"};
        std::vector<unsigned char> buf(256);
        for (;;) {
            DWORD type = 0, size = (DWORD)buf.size();
            LONG r = RegQueryValueExW(k.h, a[1].c_str(), nullptr, &type, buf.data(), &size);
            if (r == ERROR_FILE_NOT_FOUND) return {"absent"};
            if (r == ERROR_MORE_DATA) {
                buf.resize(size + 16);
                continue;
            }
            if (r != ERROR_SUCCESS) fail_code("RegQueryValueEx", r);
            return {unum(type), to_hex(buf.data(), size)};
        }
    };
    c["reg-list"] = [](const Args& a) -> Fields {
        need(a, 1, 1, "reg-list <path>");
        Key k;
        if (!reg_open(a[0], KEY_QUERY_VALUE, k)) fail("no such key: " + utf8(a[0]));
        Fields out;
        for (const RegValue& v : reg_values(k.h)) out.push_back(utf8(v.name));
        return out;
    };
    // Records of 3: name, type, hex data.
    c["reg-dump"] = [](const Args& a) -> Fields {
        need(a, 1, 1, "reg-dump <path>");
        Key k;
        if (!reg_open(a[0], KEY_QUERY_VALUE, k)) fail("no such key: " + utf8(a[0]));
        Fields out;
        for (const RegValue& v : reg_values(k.h)) {
            out.push_back(utf8(v.name));
            out.push_back(unum(v.type));
            out.push_back(to_hex(v.data.data(), v.data.size()));
        }
        return out;
    };
    c["reg-list-keys"] = [](const Args& a) -> Fields {
        need(a, 1, 1, "reg-list-keys <path>");
        Key k;
        if (!reg_open(a[0], KEY_ENUMERATE_SUB_KEYS, k)) fail("no such key: " + utf8(a[0]));
        Fields out;
        for (const std::wstring& s : reg_subkeys(k.h)) out.push_back(utf8(s));
        return out;
    };
    c["reg-key-exists"] = [](const Args& a) -> Fields {
        need(a, 1, 1, "reg-key-exists <path>");
        Key k;
        return yes_no(reg_open(a[0], KEY_QUERY_VALUE, k));
    };

    // --- devices
    c["port-add"] = [](const Args& a) -> Fields {
        need(a, 1, 2, "port-add <friendly name> [PortName value]");
        return {utf8(device_add(GUID_DEVCLASS_PORTS, L"TVPORT", a[0], a.size() > 1 ? a[1] : std::wstring()))};
    };
    c["disk-add"] = [](const Args& a) -> Fields {
        need(a, 1, 1, "disk-add <friendly name>");
        return {utf8(device_add(GUID_DEVCLASS_DISKDRIVE, L"TVDISK", a[0], std::wstring()))};
    };
    auto remove = [](const Args& a) -> Fields {
        need(a, 1, 1, "port-remove|disk-remove <instance id>");
        device_remove(a[0]);
        return {};
    };
    c["port-remove"] = remove;
    c["disk-remove"] = remove;
    c["device-remove"] = remove;
    c["list-ports"] = [](const Args& a) -> Fields { return friendly_names(GUID_DEVCLASS_PORTS); };
    c["list-disks"] = [](const Args& a) -> Fields { return friendly_names(GUID_DEVCLASS_DISKDRIVE); };
    c["list-devices"] = [](const Args& a) -> Fields { return list_devices(nullptr); };

    // --- COM ports (held by this helper until com-close)
    c["com-open"] = [](const Args& a) -> Fields {
        need(a, 1, 2, "com-open <name> [baud]");
        HANDLE h = port_open(a[0]);
        try {
            if (a.size() > 1) port_config(h, (DWORD)parse_int(a[1], "baud"), 8, NOPARITY, ONESTOPBIT);
        } catch (...) {
            CloseHandle(h);
            g_ports.erase(port_key(a[0]));
            throw;
        }
        return {};
    };
    // Opens without touching the line, as another program would.
    c["com-busy"] = [](const Args& a) -> Fields {
        need(a, 1, 1, "com-busy <name>");
        port_open(a[0]);
        return {};
    };
    c["com-config"] = [](const Args& a) -> Fields {
        need(a, 5, 5, "com-config <name> <baud> <data bits> <parity N|O|E|M|S> <stop 1|1.5|2>");
        port_config(port_handle(a[0]), (DWORD)parse_int(a[1], "baud"), (BYTE)parse_int(a[2], "data bits"),
                    parse_parity(a[3]), parse_stop(a[4]));
        return {};
    };
    c["com-write"] = [](const Args& a) -> Fields {
        need(a, 2, 2, "com-write <name> <hex>");
        HANDLE h = port_handle(a[0]);
        std::vector<unsigned char> data = parse_hex(a[1]);
        size_t done = 0;
        while (done < data.size()) {
            DWORD n = 0;
            if (!WriteFile(h, data.data() + done, (DWORD)(data.size() - done), &n, nullptr)) fail_last("WriteFile");
            if (n == 0) fail("WriteFile wrote nothing");
            done += n;
        }
        return {unum(done)};
    };
    c["com-read"] = [](const Args& a) -> Fields {
        need(a, 2, 3, "com-read <name> <max bytes> [timeout ms]");
        HANDLE h = port_handle(a[0]);
        size_t max = (size_t)parse_int(a[1], "max");
        DWORD timeout = a.size() > 2 ? (DWORD)parse_int(a[2], "timeout") : 1000;
        return {port_read(h, max, timeout)};
    };
    c["com-close"] = [](const Args& a) -> Fields {
        need(a, 0, 1, "com-close [name]");
        if (a.empty()) {
            for (auto& p : g_ports) CloseHandle(p.second);
            g_ports.clear();
            return {};
        }
        HANDLE h = port_handle(a[0]);
        CloseHandle(h);
        g_ports.erase(port_key(a[0]));
        return {};
    };
    c["com-list-open"] = [](const Args& a) -> Fields {
        Fields out;
        for (auto& p : g_ports) out.push_back(utf8(p.first));
        return out;
    };
    // EscapeCommFunction: SETRTS 3, CLRRTS 4, SETDTR 5, CLRDTR 6, SETBREAK 8, CLRBREAK 9.
    c["com-escape"] = [](const Args& a) -> Fields {
        need(a, 2, 2, "com-escape <name> <function>");
        if (!EscapeCommFunction(port_handle(a[0]), (DWORD)parse_int(a[1], "function")))
            fail_last("EscapeCommFunction");
        return {};
    };
    // GetCommModemStatus: CTS 0x10, DSR 0x20, RING 0x40, RLSD 0x80.
    c["com-modem"] = [](const Args& a) -> Fields {
        need(a, 1, 1, "com-modem <name>");
        DWORD st = 0;
        if (!GetCommModemStatus(port_handle(a[0]), &st)) fail_last("GetCommModemStatus");
        return {unum(st)};
    };

    // --- clipboard (Unicode text, or raw bytes of any format)
    c["clipboard-set-text"] = [](const Args& a) -> Fields {
        need(a, 1, 1, "clipboard-set-text <text>");
        clipboard_set(CF_UNICODETEXT, a[0].c_str(), (a[0].size() + 1) * sizeof(wchar_t));
        return {};
    };
    c["clipboard-set"] = [](const Args& a) -> Fields {
        need(a, 2, 2, "clipboard-set <format> <hex>");
        std::vector<unsigned char> data = parse_hex(a[1]);
        clipboard_set((UINT)parse_int(a[0], "format"), data.data(), data.size());
        return {};
    };
    c["clipboard-get-text"] = [](const Args& a) -> Fields {
        need(a, 0, 0, "clipboard-get-text");
        std::vector<unsigned char> data;
        if (!clipboard_get(CF_UNICODETEXT, data)) return {"absent"};
        std::wstring text((const wchar_t*)data.data(), data.size() / sizeof(wchar_t));
        text = text.substr(0, wcsnlen(text.c_str(), text.size()));
        return {"text", utf8(text)};
    };
    c["clipboard-get"] = [](const Args& a) -> Fields {
        need(a, 1, 1, "clipboard-get <format>");
        std::vector<unsigned char> data;
        if (!clipboard_get((UINT)parse_int(a[0], "format"), data)) return {"absent"};
        return {"data", to_hex(data.data(), data.size())};
    };
    c["clipboard-clear"] = [](const Args& a) -> Fields {
        need(a, 0, 0, "clipboard-clear");
        clipboard_set(0, nullptr, 0);
        return {};
    };
    return c;
}

Fields cmd_help(const Args&) {
    Fields out;
    for (auto& p : commands()) out.push_back(p.first);
    return out;
}

// Runs one request; returns the answer line without the trailing LF.
std::string run(const std::string& name, const Args& args) {
    auto& c = commands();
    auto it = c.find(name);
    if (it == c.end()) return "err\t" + escape("unknown command: " + name);
    try {
        // The program replaces a view's control when it clears it or drops
        // its oldest text: a control looked up by id just before it was
        // destroyed takes no message. Looked up again, the next one does.
        for (int attempt = 0;; ++attempt) {
            try {
                Fields f = it->second(args);
                std::string line = "ok";
                for (const std::string& s : f) line += "\t" + escape(s);
                return line;
            } catch (const Fail& e) {
                bool gone = e.message.find("SendMessageTimeout") != std::string::npos &&
                            (e.message.find("error 5 ") != std::string::npos ||
                             e.message.find("error 1400 ") != std::string::npos);
                if (!gone || attempt == 4) throw;
                Sleep(20);
            }
        }
    } catch (const Fail& e) {
        return "err\t" + escape(e.message);
    } catch (const std::exception& e) {
        return "err\t" + escape(std::string("internal: ") + e.what());
    }
}

void write_all(HANDLE out, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        DWORD n = 0;
        if (!WriteFile(out, s.data() + done, (DWORD)(s.size() - done), &n, nullptr) || n == 0) ExitProcess(3);
        done += n;
    }
    FlushFileBuffers(out);
}

int serve() {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    std::string pending;
    char buf[65536];
    for (;;) {
        size_t nl;
        while ((nl = pending.find('\n')) == std::string::npos) {
            DWORD n = 0;
            if (!ReadFile(in, buf, sizeof(buf), &n, nullptr) || n == 0) return 0;  // stdin closed: done
            pending.append(buf, n);
        }
        std::string line = pending.substr(0, nl);
        pending.erase(0, nl + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        std::vector<std::string> parts = split_tabs(line);
        std::string name = unescape(parts[0]);
        Args args;
        for (size_t i = 1; i < parts.size(); ++i) args.push_back(wide(unescape(parts[i])));
        write_all(out, run(name, args) + "\n");
        if (name == "exit") return 0;
    }
}

// ---------------------------------------------------------------- test window

// A stand-in for the program's main window so the harness can test itself
// without the program: same title, a few controls with the program's ids,
// and a log (control 1000) of what it was sent. Command 1099 makes it stop
// answering for lParam milliseconds, with " (hung)" after its title.
const int kLog = 1000, kRich = 1005, kTyping = 1006, kButton = 1007, kDisabled = 1009, kCheck = 1011, kHang = 1099;

void log_line(HWND w, const std::wstring& s) {
    HWND log = GetDlgItem(w, kLog);
    int len = GetWindowTextLengthW(log);
    SendMessageW(log, EM_SETSEL, len, len);
    SendMessageW(log, EM_REPLACESEL, FALSE, (LPARAM)(s + L"\r\n").c_str());
}

LRESULT CALLBACK test_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND: {
        int id = LOWORD(wp), code = HIWORD(wp);
        if (id == IDCANCEL) {
            DestroyWindow(w);
            return 0;
        }
        if (id == kLog || id == kRich || id == kTyping) return 0;  // edit notifications
        if (id == kHang) {  // plays a program that stops answering
            // The caption says so for as long as it lasts: another process
            // reads it without a message, so a test can wait for the hang
            // to have begun before it sends anything.
            std::wstring title = window_title(w);
            SetWindowTextW(w, (title + L" (hung)").c_str());
            Sleep(lp ? (DWORD)lp : 3000);
            SetWindowTextW(w, title.c_str());
            return 0;
        }
        log_line(w, L"command " + std::to_wstring(id) + L" " + std::to_wstring(code));
        return 0;
    }
    case WM_DEVICECHANGE: {
        std::wstring s = L"devchange " + std::to_wstring(wp);
        DEV_BROADCAST_HDR* h = (DEV_BROADCAST_HDR*)lp;
        if (h && h->dbch_devicetype == DBT_DEVTYP_PORT)
            s += L" port " + std::wstring(((DEV_BROADCAST_PORT_W*)h)->dbcp_name);
        else if (h && h->dbch_devicetype == DBT_DEVTYP_VOLUME)
            s += L" volume " + std::to_wstring(((DEV_BROADCAST_VOLUME*)h)->dbcv_unitmask) + L" " +
                 std::to_wstring(((DEV_BROADCAST_VOLUME*)h)->dbcv_flags);
        log_line(w, s);
        return TRUE;
    }
    case WM_CLOSE:
        DestroyWindow(w);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(2);
        return 0;
    }
    return DefWindowProcW(w, msg, wp, lp);
}

int test_window(const std::wstring& title) {
    HINSTANCE inst = GetModuleHandleW(nullptr);
    LoadLibraryW(L"msftedit.dll");
    WNDCLASSW wc;
    ZeroMemory(&wc, sizeof(wc));
    wc.lpfnWndProc = test_proc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, (LPCWSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"TvHelperTestWindow";
    RegisterClassW(&wc);
    HWND w = CreateWindowExW(WS_EX_APPWINDOW, wc.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, 100, 100, 520,
                             380, nullptr, nullptr, inst, nullptr);
    if (!w) return 4;
    auto child = [&](const wchar_t* cls, const wchar_t* text, DWORD style, int id, int x, int y, int cx, int cy) {
        return CreateWindowExW(WS_EX_CLIENTEDGE, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, cx, cy, w,
                               (HMENU)(INT_PTR)id, inst, nullptr);
    };
    child(L"EDIT", L"", ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL, kLog, 10, 10, 490, 110);
    child(L"RichEdit50W", L"", ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL, kRich, 10, 130, 490, 70);
    HWND typing = child(L"EDIT", L"", ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP,
                        kTyping, 10, 210, 300, 80);
    child(L"BUTTON", L"开", BS_PUSHBUTTON | WS_TABSTOP, kButton, 320, 210, 80, 30);
    HWND disabled = child(L"BUTTON", L"清", BS_PUSHBUTTON, kDisabled, 410, 210, 80, 30);
    HWND check = child(L"BUTTON", L"最前端", BS_AUTOCHECKBOX | WS_TABSTOP, kCheck, 320, 250, 170, 30);
    EnableWindow(disabled, FALSE);
    SendMessageW(check, BM_SETCHECK, BST_CHECKED, 0);
    SetWindowTextW(GetDlgItem(w, kRich), L"第一行\r\nsecond line");
    ShowWindow(w, SW_SHOWNORMAL);
    SetForegroundWindow(w);
    SetFocus(typing);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return (int)m.wParam;
}

}  // namespace

int main() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return 3;
    std::string mode = argc > 1 ? utf8(argv[1]) : std::string("serve");
    if (mode == "serve") return serve();
    if (mode == "test-window") return test_window(argc > 2 ? argv[2] : L"Tarn#Vik    ");

    Args args(argv + 2, argv + argc);
    std::string answer = run(mode, args);
    if (answer.compare(0, 4, "err\t") == 0) {
        std::string msg = unescape(answer.substr(4)) + "\n";
        write_all(GetStdHandle(STD_ERROR_HANDLE), msg);
        return 1;
    }
    std::string fields = answer.size() > 3 ? answer.substr(3) : std::string();
    write_all(GetStdHandle(STD_OUTPUT_HANDLE), fields + "\n");
    return 0;
}
