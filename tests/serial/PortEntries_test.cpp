#include "serial/PortEntries.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

namespace tv {
namespace {

int PlainCompare(const wchar_t* a, const wchar_t* b) { return std::wcscmp(a, b); }

TEST(PortEntries, WhichEntriesArePorts) {
  struct Case {
    const wchar_t* entry;
    bool com;
    const wchar_t* name;
  } cases[] = {
      {L"Serial Port (COM1)", true, L"COM1"},
      {L"USB-SERIAL CH340 (COM7)", true, L"COM7"},
      {L"Port (x) (COM3)", true, L"COM3"},
      {L"Serial (COM4) extra", true, L"COM4"},
      {L"Serial (COM12", true, L"COM12"},
      {L"Odd (COM5 (LPT2)", false, L"LPT2"},
      {L"Printer (LPT1)", false, L"LPT1"},
      {L"Serial (com3)", false, L"com3"},
      {L"Serial ( COM3)", false, L" COM3"},
      {L"Serial (", false, L""},
      {L"()", false, L""},
      {L"XCOM9", true, L"COM9"},
      {L"COM9", false, L"OM9"},
      {L"", false, L""},
      {L"X", false, L""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsComEntry(c.entry), c.com) << testing::PrintToString(std::wstring(c.entry));
    EXPECT_EQ(PortNameOfEntry(c.entry), c.name) << testing::PrintToString(std::wstring(c.entry));
  }
}

TEST(PortEntries, AssignSortsAndFinds) {
  PortEntries ports;
  ports.assign({L"Serial Port (COM2)", L"Printer (LPT1)", L"Serial Port (COM10)", L"Bluetooth (COM5)",
                L"Modem (COM2)"},
               PlainCompare);
  ASSERT_EQ(ports.count(), 4);
  EXPECT_EQ(ports.entryAt(0), L"Bluetooth (COM5)");
  EXPECT_EQ(ports.entryAt(1), L"Modem (COM2)");
  EXPECT_EQ(ports.entryAt(2), L"Serial Port (COM10)");
  EXPECT_EQ(ports.entryAt(3), L"Serial Port (COM2)");
  EXPECT_EQ(ports.portNameAt(2), L"COM10");

  // The first entry with the name wins; names match exactly.
  EXPECT_EQ(ports.findPort(L"COM2"), 1);
  EXPECT_EQ(ports.findPort(L"COM1"), -1);
  EXPECT_EQ(ports.findPort(L"com2"), -1);
  EXPECT_EQ(ports.findPort(L""), -1);
  EXPECT_EQ(ports.friendlyNameOf(L"COM10"), L"Serial Port (COM10)");
  EXPECT_EQ(ports.friendlyNameOf(L"LPT1"), L"");

  // A new list replaces the old one.
  ports.assign({L"Printer (LPT1)"}, PlainCompare);
  EXPECT_EQ(ports.count(), 0);
  EXPECT_EQ(ports.findPort(L"COM2"), -1);
  EXPECT_EQ(ports.friendlyNameOf(L"COM2"), L"");
  EXPECT_EQ(PortEntries().findPort(L"COM1"), -1);
}

}  // namespace
}  // namespace tv
