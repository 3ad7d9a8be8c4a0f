#include "serial/DcbSetup.h"

#include <gtest/gtest.h>

#include <tuple>

namespace tv {
namespace {

// What a driver may hand back after another program: every flag that
// drops or blocks data set, handshakes on, XON equal to XOFF (which
// SetCommState refuses) and limits beyond any queue.
DcbFields Hostile() {
  DcbFields d;
  d.baudRate = 1200;
  d.byteSize = 5;
  d.parity = 2;
  d.stopBits = 2;
  d.fBinary = 0;
  d.fParity = 1;
  d.fOutxCtsFlow = 1;
  d.fOutxDsrFlow = 1;
  d.fDtrControl = kControlHandshake;
  d.fDsrSensitivity = 1;
  d.fOutX = 1;
  d.fInX = 1;
  d.fErrorChar = 1;
  d.fNull = 1;
  d.fRtsControl = kControlHandshake;
  d.fAbortOnError = 1;
  d.xonLim = 0xFFFF;
  d.xoffLim = 0xFFFF;
  d.xonChar = 0x13;
  d.xoffChar = 0x13;
  return d;
}

TEST(DcbSetup, NothingTheLastProgramLeftDropsOrBlocksData) {
  const DcbFields starts[] = {Hostile(), DcbFields{}};
  for (const DcbFields& start : starts) {
    for (int32_t mode = 0; mode <= 4; ++mode) {
      for (uint8_t parity = 0; parity <= 4; ++parity) {
        SCOPED_TRACE(testing::Message() << "mode " << mode << " parity " << int{parity});
        DcbFields d = start;
        PrepareDcb(d, LineValues{115200, 8, 0, parity, mode});
        EXPECT_EQ(d.baudRate, 115200u);
        EXPECT_EQ(d.byteSize, 8);
        EXPECT_EQ(d.stopBits, 0);
        EXPECT_EQ(d.parity, parity);
        EXPECT_EQ(d.fBinary, 1);
        EXPECT_EQ(d.fParity, parity != 0 ? 1 : 0);
        EXPECT_EQ(d.fNull, 0);
        EXPECT_EQ(d.fAbortOnError, 0);
        EXPECT_EQ(d.fDsrSensitivity, 0);
        EXPECT_EQ(d.fErrorChar, 0);
        EXPECT_EQ(d.xonChar, 0x11);
        EXPECT_EQ(d.xoffChar, 0x13);
        // XOFF goes out before the queue is full and XON once it has
        // drained well below that point.
        EXPECT_GT(d.xonLim, 0);
        EXPECT_GT(d.xoffLim, 0);
        EXPECT_LT(d.xonLim + d.xoffLim, kPortQueueBytes);
      }
    }
  }
}

// The flow modes' own fields: each mode undoes the handshakes the other
// modes switch on and leaves the driver's CTS and DSR output checks alone;
// "none" clears everything.
TEST(DcbSetup, FlowModes) {
  struct Case {
    int32_t mode;
    DcbFields start;
    uint8_t cts, dsr, dtr, rts, outX, inX;
  } cases[] = {
      {0, Hostile(), 0, 0, kControlDisable, kControlDisable, 0, 0},
      {1, Hostile(), 1, 1, kControlEnable, kControlHandshake, 0, 0},
      {2, Hostile(), 1, 1, kControlHandshake, kControlEnable, 0, 0},
      {3, Hostile(), 1, 1, kControlEnable, kControlEnable, 1, 1},
      {1, DcbFields{}, 0, 0, kControlDisable, kControlHandshake, 0, 0},
      {2, DcbFields{}, 0, 0, kControlHandshake, kControlDisable, 0, 0},
      {3, DcbFields{}, 0, 0, kControlDisable, kControlDisable, 1, 1},
      {9, Hostile(), 1, 1, kControlHandshake, kControlHandshake, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " from DTR " << int{c.start.fDtrControl});
    DcbFields d = c.start;
    PrepareDcb(d, LineValues{9600, 8, 0, 0, c.mode});
    EXPECT_EQ(d.fOutxCtsFlow, c.cts);
    EXPECT_EQ(d.fOutxDsrFlow, c.dsr);
    EXPECT_EQ(d.fDtrControl, c.dtr);
    EXPECT_EQ(d.fRtsControl, c.rts);
    EXPECT_EQ(d.fOutX, c.outX);
    EXPECT_EQ(d.fInX, c.inX);
  }
}

auto Everything(const DcbFields& d) {
  return std::make_tuple(d.baudRate, d.byteSize, d.parity, d.stopBits, d.fBinary, d.fParity, d.fOutxCtsFlow,
                         d.fOutxDsrFlow, d.fDtrControl, d.fDsrSensitivity, d.fOutX, d.fInX, d.fErrorChar, d.fNull,
                         d.fRtsControl, d.fAbortOnError, d.xonLim, d.xoffLim, d.xonChar, d.xoffChar);
}

// DTR or RTS held on or off goes into the configuration in every flow
// mode but the one that drives that line (RTS in mode 1, DTR in mode 2),
// where the handshake stays; following the mode keeps what the mode gives;
// nothing else of the configuration changes with the levels.
TEST(DcbSetup, HeldModemLevelsInEveryFlowMode) {
  const LineLevel levels[] = {LineLevel::FollowFlow, LineLevel::On, LineLevel::Off};
  auto control = [](LineLevel level, bool driven, uint8_t followed) -> uint8_t {
    if (driven) return kControlHandshake;
    if (level == LineLevel::FollowFlow) return followed;
    return level == LineLevel::On ? kControlEnable : kControlDisable;
  };
  for (const DcbFields& start : {Hostile(), DcbFields{}}) {
    for (int32_t mode = 0; mode <= 3; ++mode) {
      DcbFields followed = start;
      PrepareDcb(followed, LineValues{9600, 8, 0, 0, mode});
      for (LineLevel dtr : levels) {
        for (LineLevel rts : levels) {
          SCOPED_TRACE(testing::Message() << "mode " << mode << " DTR " << int(dtr) << " RTS " << int(rts));
          DcbFields d = start;
          PrepareDcb(d, LineValues{9600, 8, 0, 0, mode, dtr, rts});
          EXPECT_EQ(d.fDtrControl, control(dtr, mode == 2, followed.fDtrControl));
          EXPECT_EQ(d.fRtsControl, control(rts, mode == 1, followed.fRtsControl));
          d.fDtrControl = followed.fDtrControl;
          d.fRtsControl = followed.fRtsControl;
          EXPECT_EQ(Everything(d), Everything(followed));
        }
      }
    }
  }
}

}  // namespace
}  // namespace tv
