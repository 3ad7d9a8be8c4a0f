#include "session/ReportWorker.h"

#include <utility>

namespace tv {

void ReportWorker::add(std::function<std::wstring()> report) {
  bool start = work_.add([this, report = std::move(report)] {
    std::wstring text = report();
    host_.call([this, &text] { say_(text); });
  });
  if (start && !thread_.start([this] { work_.runAll(); })) work_.notStarted();
}

}  // namespace tv
