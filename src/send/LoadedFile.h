// The file loaded for sending. UI thread only: a file send copies the names
// when it starts.
#pragma once

#include <cstdint>

namespace tv {

struct LoadedFile {
  // Capacities of the names, terminator included.
  static constexpr int kFullNameUnits = 616;
  static constexpr int kTitleNameUnits = 612;

  wchar_t fullName[kFullNameUnits] = {};
  wchar_t titleName[kTitleNameUnits] = {};
  bool loaded = false;
};

}  // namespace tv
