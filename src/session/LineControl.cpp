#include "session/LineControl.h"

#include <utility>

#include "base/Format.h"

namespace tv {

void LineControl::add(OrderedWork::Piece piece) {
  if (work_.add(std::move(piece)) && !thread_.start([this] { work_.runAll(); })) work_.notStarted();
}

void LineControl::tell(const std::wstring& text, const std::function<void()>& then) {
  host_.call([this, &text, &then] {
    if (then) then();
    say_(text);
  });
}

void LineControl::setLine(bool dtr, LineLevel level, std::wstring change, std::function<void()> refused) {
  add([this, dtr, level, change = std::move(change), refused = std::move(refused)] {
    uint32_t error = 0;
    if (channel_.setModemLine(dtr, level, error)) {
      tell(change + L"\n");
    } else if (error != 0) {
      tell(Format(L"%s 未生效: 驱动不接受 (错误 %d)\n", {change, static_cast<unsigned long>(error)}), refused);
    }
  });
}

void LineControl::pulseBreak() {
  breaking_ = 1;
  add([this] {
    uint32_t error = 0;
    if (!channel_.setBreak(true, error)) {
      breaking_ = 0;
      if (error != 0) tell(Format(L"BREAK 未生效: 驱动不接受 (错误 %d)\n", {static_cast<unsigned long>(error)}));
      return;
    }
    clock_.sleepMs(kBreakMs);
    // Also when the port was closed meanwhile (its close ends the break):
    // the call then goes nowhere.
    const bool cleared = channel_.setBreak(false, error);
    breaking_ = 0;
    if (cleared) {
      tell(L"BREAK 250 ms\n");
    } else if (error != 0) {
      tell(Format(L"BREAK 未能结束 (错误 %d)\n", {static_cast<unsigned long>(error)}));
    }
  });
}

}  // namespace tv
