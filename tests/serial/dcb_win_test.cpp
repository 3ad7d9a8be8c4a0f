#include <gtest/gtest.h>

#include <cstring>

#include "serial/DcbConvert.h"

namespace tv {
namespace {

// Every field the program decides goes from the driver's DCB to DcbFields
// and back, and every other field keeps what the driver reported.
TEST(DcbConvert, CopiesTheDecidedFieldsBothWays) {
  DCB from;
  DCB into;
  std::memset(&from, 0x5A, sizeof from);
  std::memset(&into, 0xA5, sizeof into);
  DCB expected = from;
  expected.DCBlength = into.DCBlength;
  expected.fTXContinueOnXoff = into.fTXContinueOnXoff;
  expected.fDummy2 = into.fDummy2;
  expected.wReserved = into.wReserved;
  expected.ErrorChar = into.ErrorChar;
  expected.EofChar = into.EofChar;
  expected.EvtChar = into.EvtChar;
  expected.wReserved1 = into.wReserved1;
  StoreFieldsInDcb(FieldsOfDcb(from), into);
  EXPECT_EQ(std::memcmp(&into, &expected, sizeof into), 0);
}

}  // namespace
}  // namespace tv
