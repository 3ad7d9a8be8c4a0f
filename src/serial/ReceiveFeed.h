// The one way into the receive view, on the UI thread: received text and
// the program's own messages go in in the order they happened.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "base/TextView.h"
#include "serial/ReceivePipeline.h"

namespace tv {

class ReceiveFeed {
 public:
  // Most received text put into the view at once. A rich edit's insertion
  // costs at least in proportion to its length (under Wine far more), and
  // the window answers nothing meanwhile.
  static constexpr std::size_t kDrainUnits = 16 * 1024;
  // A drain goes on with further insertions while one more would end
  // within this, so a fast view keeps up with a fast line.
  static constexpr uint32_t kDrainMs = 50;

  ReceiveFeed(ReceivePipeline& pipeline, TextView& view, Clock& clock)
      : pipeline_(pipeline), view_(view), clock_(clock) {}

  // The oldest text not shown yet, kDrainUnits at a time for about
  // kDrainMs; the pipeline asks again for the rest.
  void drain();
  // The program's own text, after everything received before it: at once
  // when nothing waits, otherwise in its turn with the received text, so
  // the window never stops to put in a backlog first.
  void append(const std::wstring& text);
  // Everything waiting, for a command that copies or selects the view's text.
  void drainAll();
  // The view's whole text replaced; what was received before goes with it.
  void replaceAll(const std::wstring& text);
  // An empty view; what was received before goes with it.
  void clear();
  // How received bytes are shown from now on (see ReceivePipeline).
  void setOptions(const ReceiveOptions& options, const LocalTime& now);

 private:
  // Text taken, into the view in its looks.
  void put(const std::wstring& text);

  ReceivePipeline& pipeline_;
  TextView& view_;
  Clock& clock_;
  std::vector<StyleRun> runs_;  // of the text last taken
};

}  // namespace tv
