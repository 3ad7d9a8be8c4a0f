// Window-free parts of the device reports.
#pragma once

#include <cstdint>
#include <string>

namespace tv {

// The letter of the lowest drive bit among A..Z (bit 0 = A), '-' when none
// of those 26 bits is set.
wchar_t DriveLetterFromMask(uint32_t unitMask);

// The drive-type word of the disk report, by the platform's drive type
// (0 unknown .. 6 RAM disk); empty for anything else.
const wchar_t* DriveTypeText(unsigned driveType);

// Used space from a volume's total and free bytes. Free space can exceed
// the total the caller may use when quotas apply; that is none used rather
// than a wrapped-around count.
uint64_t UsedBytes(uint64_t total, uint64_t free);

struct VolumeSpace {
  uint64_t total = 0;
  uint64_t free = 0;
};

// What the volume lines ask of the system about a drive.
class VolumeQueries {
 public:
  // Zeros when the drive does not say.
  virtual VolumeSpace space(wchar_t letter) = 0;
  // Empty when it cannot be read.
  virtual std::wstring label(wchar_t letter) = 0;

 protected:
  ~VolumeQueries() = default;
};

// The lines a plugged or pulled USB volume adds to the receive view. The
// queries of a slow or failing stick can take seconds, so the lines are
// made away from the UI thread, one after another in the order the events
// came: a pulled volume's label can no longer be read, and its line names
// the label of the volume plugged last before it.
class VolumeReports {
 public:
  explicit VolumeReports(VolumeQueries& queries) : queries_(queries) {}
  std::wstring arrived(wchar_t letter);
  std::wstring removed(wchar_t letter);

 private:
  VolumeQueries& queries_;
  std::wstring lastLabel_ = L"可移动闪存盘";  // the thread making the lines
};

}  // namespace tv
