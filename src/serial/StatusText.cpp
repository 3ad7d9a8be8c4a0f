#include "serial/StatusText.h"

#include "base/Format.h"

namespace tv {

std::wstring VanishedPortText(const std::wstring& portName) {
  return Format(L"端口%s已神秘消失!", {portName});
}

std::wstring StatusText(const StatusFacts& f) {
  return Format(L"%s[%d/%d]%s \n◇波特率:%d ◇数据位:%d ◇停止位:%s ◇校验:%s",
                {f.portOpen ? L"★" : L"☆", f.position, f.portCount, f.portText, f.baudRate,
                 f.dataBits, f.stopBitsName, f.parityName});
}

}  // namespace tv
