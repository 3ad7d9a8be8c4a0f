// Storing each setting the moment it changes, reading them back at start,
// and the confirmed clear of the whole key.
#include <shlwapi.h>

#include "app/Settings.h"

#include "settings/SettingsStore.h"

namespace tv {
namespace {

// The five line settings, stored as the command ids of their menu items.
struct LineSettingValue {
  SettingId id;
  const wchar_t* name;
  int32_t LineSelection::*field;
};

// In the order they are read back at start.
const LineSettingValue kLineSettingValues[] = {
    {SettingId::BaudRate, L"Selected_BaudRate", &LineSelection::baudItem},
    {SettingId::Parity, L"Selected_Parity", &LineSelection::parityItem},
    {SettingId::DataBits, L"Selected_DataBits", &LineSelection::dataBitsItem},
    {SettingId::StopBits, L"Selected_StopBits", &LineSelection::stopBitsItem},
    {SettingId::FlowControl, L"Selected_FlowControl", &LineSelection::flowItem},
};

// The options: a flag (0 or 1), an item of a group, or a number in a range.
struct OptionValue {
  SettingId id;
  const wchar_t* name;
  bool Options::*flag;
  int32_t Options::*item;
  bool (*inGroup)(int32_t);
};

const OptionValue kOptionValues[] = {
    {SettingId::LogToFile, L"LogToFile", &Options::logToFile, nullptr, nullptr},
    {SettingId::Timestamps, L"Timestamps", &Options::timestamps, nullptr, nullptr},
    {SettingId::Utf8, L"Utf8", &Options::utf8, nullptr, nullptr},
    {SettingId::EchoSent, L"EchoSent", &Options::echoSent, nullptr, nullptr},
    {SettingId::AnsiColors, L"AnsiColors", &Options::ansiColors, nullptr, nullptr},
    {SettingId::FrameGap, L"Selected_FrameGap", nullptr, &Options::frameGapItem, IsFrameGapItem},
    {SettingId::Dtr, L"Selected_Dtr", nullptr, &Options::dtrItem, IsDtrItem},
    {SettingId::Rts, L"Selected_Rts", nullptr, &Options::rtsItem, IsRtsItem},
    {SettingId::AutoReconnect, L"AutoReconnect", &Options::autoReconnect, nullptr, nullptr},
    {SettingId::TextLineEnd, L"Selected_TextLineEnd", nullptr, &Options::lineEndItem, IsLineEndItem},
    {SettingId::HexChecksum, L"Selected_HexChecksum", nullptr, &Options::checksumItem, IsChecksumItem},
};

void RestoreOptions(SettingsStore& store, Choices& app) {
  Options& o = app.options;
  const Options defaults;
  for (const OptionValue& v : kOptionValues) {
    std::optional<uint32_t> n = store.ReadNumber(v.name);
    if (v.flag != nullptr) {
      o.*v.flag = n && *n <= 1 ? *n == 1 : defaults.*v.flag;
    } else {
      o.*v.item = n && v.inGroup(static_cast<int32_t>(*n)) ? static_cast<int32_t>(*n) : defaults.*v.item;
    }
  }
  std::optional<uint32_t> custom = store.ReadNumber(L"CustomBaudRate");
  o.customBaud = custom && *custom >= kLeastCustomBaud && *custom <= kMostCustomBaud ? *custom : 0;
  // The custom rate's item without a rate to stand for: the default rate.
  if (app.line.baudItem == kCustomBaudItem && o.customBaud == 0) app.line.baudItem = LineSelection{}.baudItem;
  // A rate of the list, stored as a custom one by hand, is that item's.
  if (app.line.baudItem == kCustomBaudItem) {
    if (int32_t listed = BaudItemOf(o.customBaud)) app.line.baudItem = listed;
  }
}

}  // namespace

LineValues LineValuesOf(const Choices& choices) {
  LineValues v = LineValuesOf(choices.line, choices.options.customBaud);
  v.dtr = LineLevelOf(choices.options.dtrItem);
  v.rts = LineLevelOf(choices.options.rtsItem);
  return v;
}

void SaveSetting(SettingsStore& store, SettingId id, const Choices& app) {
  const LoadedFile& file = app.file;
  switch (id) {
    case SettingId::PortName:
      store.WriteString(L"SelectedPortFileName", app.portName);
      break;
    case SettingId::TopMost:
      store.WriteDword(L"TopMost", app.topMost ? 1 : 0);
      break;
    case SettingId::DelayType:
      store.WriteDword(L"Selected_DelayType", static_cast<DWORD>(app.delayModeItem));
      break;
    case SettingId::DelayTime:
      store.WriteDword(L"DelayTime", static_cast<DWORD>(app.delayTimeMs));
      break;
    case SettingId::BaudRate:
    case SettingId::Parity:
    case SettingId::DataBits:
    case SettingId::StopBits:
    case SettingId::FlowControl:
      for (const LineSettingValue& v : kLineSettingValues)
        if (v.id == id) store.WriteDword(v.name, static_cast<DWORD>(app.line.*v.field));
      break;
    case SettingId::LoadedFile:
      store.WriteString(L"LoadedFileFullName", file.fullName);
      store.WriteString(L"LoadedFileTitleName", file.titleName);
      break;
    case SettingId::CustomBaudRate:
      store.WriteDword(L"CustomBaudRate", app.options.customBaud);
      break;
    default:
      for (const OptionValue& v : kOptionValues) {
        if (v.id != id) continue;
        const DWORD value = v.flag != nullptr ? (app.options.*v.flag ? 1 : 0) : static_cast<DWORD>(app.options.*v.item);
        store.WriteDword(v.name, value);
      }
      break;
  }
}

void RestoreSettings(SettingsStore& store, Choices& app) {
  constexpr int kFullNameUnits = LoadedFile::kFullNameUnits;
  constexpr int kTitleNameUnits = LoadedFile::kTitleNameUnits;
  LoadedFile& file = app.file;
  auto restoreItem = [&store](const wchar_t* name, int32_t& field) {
    if (auto v = store.ReadDword(name)) field = static_cast<int32_t>(*v);
  };

  // A port name is short; anything longer than a path is not one.
  if (auto name = store.ReadString(L"SelectedPortFileName", MAX_PATH)) app.portName = *name;
  if (auto v = store.ReadDword(L"TopMost")) app.topMost = *v == 1;
  if (auto v = store.ReadDword(L"Selected_DelayType")) app.delayModeItem = static_cast<int32_t>(*v);
  if (auto v = store.ReadDword(L"DelayTime")) app.delayTimeMs = static_cast<int32_t>(*v);
  for (const LineSettingValue& v : kLineSettingValues) restoreItem(v.name, app.line.*v.field);

  // A path that does not fit is refused rather than cut: a cut path could
  // name some other existing file or folder.
  if (auto full = store.ReadString(L"LoadedFileFullName", kFullNameUnits)) {
    if (full->size() < static_cast<std::size_t>(kFullNameUnits))
      lstrcpynW(file.fullName, full->c_str(), kFullNameUnits);
  }
  if (auto title = store.ReadString(L"LoadedFileTitleName", kTitleNameUnits - 1))
    lstrcpynW(file.titleName, title->c_str(), kTitleNameUnits);
  // A folder that has taken the file's name is no file to send.
  file.loaded = file.fullName[0] != L'\0' && PathFileExistsW(file.fullName) && !PathIsDirectoryW(file.fullName);
  RestoreOptions(store, app);
}

void ClearSettings(SettingsStore& store, HWND owner) {
  int answer = MessageBoxW(owner, L"按[确定]  清除注册表相关配置,清除完成后将有提示音\n按[取消]或[X]  放弃清除",
                           L"您打算清除软件配置", MB_OKCANCEL | MB_ICONQUESTION);
  if (answer != IDOK) return;
  if (store.DeleteKey()) MessageBeep(MB_ICONASTERISK);
}

}  // namespace tv
