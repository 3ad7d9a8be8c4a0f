#include "diagnostics/Texts.h"

#include "TarnVikVersion.h"
#include "base/Format.h"

namespace tv {

const wchar_t* HelpText() {
  return L"\tTarn#Vik v" TV_VERSION_TEXT L" 帮助说明\n"
         L"...............................................\n"
         L"Tarn#Vik是一款Windows平台上串口调试辅助软件,界面精简,功能实用,支持中文,支持串口列表显示,能实时侦测串口移除与装卸,能自动保存设定\n"
         L"..................快捷键列表....................\n"
         L"F1...本说明信息\n"
         L"F2...中文随机测试文本\n"
         L"F3...中文英文测试文本切换\n"
         L"F4...列出串口清单\n"
         L"F5...列出硬盘信息\n"
         L"F7...清除接收显示\n"
         L"F8...清空所有显示\n"
         L"F9...清除注册表相关配置\n"
         L"文本发送\t\tAlt+'A'\n"
         L"HEX发送\t\t\tAlt+'S' \n"
         L"文件加载\t\tAlt+'D'\n"
         L"发送或取消文件发送\tAlt+'F'\n"
         L"文本接收或数字接收\tAlt+'Z'\n"
         L"打开或关闭串口\t\tAlt+'X'\n"
         L"串口切换\t\tAlt+'C'\n"
         L"前端显示切换\t\tAlt+'V'\n"
         L"HEX&ASCII分割窗口调节\t\tAlt+Up/Down\n"
         L"..........................\n"
         L"最低配置:Windows XP\n"
         L"右键点击各窗格可设定串口参数、定时发送方式与记忆存档。\n"
         L"本软件免费使用,欢迎转发;发现问题请记下操作步骤与串口设定,以便重现。\n"
         L"注意:所有设定即时保存在注册表中,按F9可全部清除。\n"
         L"版本历史:\n"
         L"2026-10-12 v0.10 串口列表、收发显示、文本与HEX发送\n"
         L"2026-11-09 v0.15 定时发送、文件发送、拖放载入与快捷方式解析\n"
         L"2026-12-07 v0.20 设定保存、右键菜单、记忆存档、设备侦测与硬盘信息\n";
}

const wchar_t* NewFeaturesText() {
  return L"\t新增功能\n"
         L"...............................................\n"
         L"右键菜单\"选项\"与\"串口设定\"中的新设定,均即时保存,按F9可与其余设定一同清除。\n"
         L"保存到文件\tAlt+L\t接收的字节原样写入\"文档\\Tarn#Vik\"中的文件\n"
         L"时间戳\t\tAlt+T\t每行(HEX每行或每包)前加上收到的时间\n"
         L"分包\t\t\t空闲超过所选时间的字节另起一行\n"
         L"UTF-8\t\t\t按UTF-8显示接收的文本,发送的文本也按UTF-8编码\n"
         L"显示发送\t\t\t在接收区以\"发→\"显示发送的数据\n"
         L"终端色彩\t\t\t隐藏终端控制序列,显示其颜色\n"
         L"F11\t\t\t显示已接收与已发送的字节数\n"
         L"DTR\t\tAlt+E\t跟随流控、开或关;Alt+E在开与关之间切换\n"
         L"RTS\t\tAlt+R\t跟随流控、开或关;Alt+R在开与关之间切换\n"
         L"BREAK\t\t\t线路保持BREAK状态250毫秒\n"
         L"行尾\t\t\t文本发送的每一行以CR、LF或CR LF结束\n"
         L"校验\t\t\tHEX发送的每一段加上SUM8、XOR8或CRC16校验\n"
         L"波特率\t\t\t新增230400至3000000及自定义波特率\n"
         L"自动重连\t\t\t串口断开后等待其重新出现并自动打开\n"
         L"F12\t\t\t本说明\n";
}

const wchar_t* EnglishTestText() {
  return L"0123456789\nabcdefghijklmnopqrstuvwxyz\nABCDEFGHIJKLMNOPQRSTUVWXYZ\n";
}

std::wstring ByteListing(int first, int last) {
  std::wstring out;
  for (int b = first; b <= last; ++b) out += Format(L"%02X ", {b});
  return out;
}

const wchar_t* HexPattern() {
  return L"0A 0A A1 F6 7C A1 E8 A1 F4 A1 EF A1 F8 A1 F6 A1 E8 A1 F1 A1 F4 A1 EF 7C A1 F8 0A 0A 7C 7C 7C 7C 7C 7C "
         L"7C 7C 7C 7C 7C 7C 7C 7C 7C 7C 7C 7C 7C 7C 7C 7C 7C 7C 0A 0A A1 E8 7C FE EF 7C 4A 5F 7E A1 F8 7C 7C FE "
         L"EF 7C 4A 5F 7E A1 F8 7C A1 E8 0A 0A";
}

}  // namespace tv
