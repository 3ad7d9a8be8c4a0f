#include "diagnostics/DeviceText.h"

#include "base/ByteSize.h"
#include "base/Format.h"

namespace tv {

wchar_t DriveLetterFromMask(uint32_t unitMask) {
  for (int i = 0; i < 26; ++i)
    if (unitMask & (1u << i)) return static_cast<wchar_t>(L'A' + i);
  return L'-';
}

const wchar_t* DriveTypeText(unsigned driveType) {
  switch (driveType) {
    case 0: return L"§未知§";
    case 1: return L"路径未找到!";
    case 2: return L"■可移动硬盘■";
    case 3: return L"□本地硬盘□";
    case 4: return L"○网盘○";
    case 5: return L"△光驱△";
    case 6: return L"内存盘";
    default: return L"";
  }
}

uint64_t UsedBytes(uint64_t total, uint64_t free) { return total >= free ? total - free : 0; }

std::wstring VolumeReports::arrived(wchar_t letter) {
  VolumeSpace space = queries_.space(letter);
  lastLabel_ = queries_.label(letter);
  return Format(L">>>发现U盘 %c:[%s]<<<\n拢共:%s\n用掉:%s\n剩余:%s\n",
                {letter, lastLabel_, FormatByteSize(space.total), FormatByteSize(UsedBytes(space.total, space.free)),
                 FormatByteSize(space.free)});
}

std::wstring VolumeReports::removed(wchar_t letter) {
  return Format(L">>>移除U盘%c:[%s]<<< \n", {letter, lastLabel_});
}

}  // namespace tv
