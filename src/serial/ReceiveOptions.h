// How received bytes are shown, beyond the text or hex view.
#pragma once

#include <cstdint>

namespace tv {

struct ReceiveOptions {
  bool timestamps = false;   // each line or row starts with the time of its first byte
  bool utf8 = false;         // text decoded as UTF-8, not the ANSI code page
  bool echoSent = false;     // what a send writes shows among what arrives
  bool ansiColors = false;   // escape sequences hidden, colours shown
  uint32_t frameGapMs = 0;   // an idle gap this long starts a new line; 0 none

  bool operator==(const ReceiveOptions& o) const {
    return timestamps == o.timestamps && utf8 == o.utf8 && echoSent == o.echoSent && ansiColors == o.ansiColors &&
           frameGapMs == o.frameGapMs;
  }
  bool operator!=(const ReceiveOptions& o) const { return !(*this == o); }
};

}  // namespace tv
