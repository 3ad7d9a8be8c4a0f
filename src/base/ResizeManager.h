// Keeps the controls anchored as the dialog is resized, never lets it get
// smaller than it opened, and owns the size grip.
#pragma once

#include <windows.h>

#include <vector>

#include "base/Geometry.h"

namespace tv {

class ResizeManager {
 public:
  struct Rule {
    int id;
    Anchor anchor;
    bool repaint;
  };

  // gripId: the id of the size grip it makes.
  void init(HWND dialog, const std::vector<Rule>& rules, int gripId);
  void onSize(WPARAM type, int clientWidth, int clientHeight);
  void onGetMinMaxInfo(MINMAXINFO* info) const;
  // A control was replaced by a new one in the same place: it follows the
  // same rule.
  void replaceControl(HWND old, HWND fresh);

 private:
  struct Tracked {
    HWND control;
    Anchor anchor;
    bool repaint;
    Rect initial;
  };

  HWND dialog_ = nullptr;
  HWND grip_ = nullptr;
  SIZE initialClient_{};
  POINT minTrack_{};
  std::vector<Tracked> tracked_;
};

}  // namespace tv
