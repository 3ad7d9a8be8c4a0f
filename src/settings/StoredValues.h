// How stored registry data is turned back into settings, and the names of
// the quick-slot values. Stored data can be anything another program put
// there, so nothing here trusts its size or type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tv {

// A number needs four bytes of data; shorter data counts as absent.
std::optional<uint32_t> DwordFromData(const uint8_t* data, std::size_t size);

// UTF-16LE text up to its first zero unit (or the end of the data), cut to
// at most maxUnits units. An odd trailing byte is ignored.
std::wstring StringFromData(const uint8_t* data, std::size_t size, std::size_t maxUnits);

// Quick slots 0..30 (commands 4200..4230) are named by two upper-case hex
// digits: "存档00".."存档1E" hold the text, "saveIndex00".. the label.
constexpr int kSlotCount = 31;
constexpr std::size_t kSlotTextUnits = 6000;
constexpr std::size_t kSlotLabelUnits = 20;
// How much of a stored slot value is read back: another program may have
// put far more there than the program itself ever stores.
constexpr std::size_t kSlotReadUnits = 1 << 20;
std::wstring SlotKey(int slot);
std::wstring SlotContentName(int slot);
std::wstring SlotLabelName(int slot);

}  // namespace tv
